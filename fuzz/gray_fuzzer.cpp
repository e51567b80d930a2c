// Gray tables of arbitrary bytes. After every input:
//  - the unit walk covers the table exactly, unit after unit, each of one or
//    two bytes by the selection rules, and CountGrayUnits agrees with it
//    (apart from the one rule where the count differs: 0x7F pairing);
//  - for a table the conversion accepts (1 to kMaxGrayLevels units),
//    GrayToUnit of every level 0..255 is the walk's unit number
//    level / s + 1 (s = 256 / units, rounded half to even; levels past the
//    last unit take the last), and a frame built from a picture holding
//    every level is made of exactly those units;
//  - for any other table every level gives an empty unit and the options
//    are refused;
//  - the fine picture calibrates every accepted table: each level takes one
//    of its units, every unit has a measured ink, and a lighter level never
//    takes a darker unit.
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"
#include "fuzz/FuzzSupport.h"

#include <QImage>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The count by its own rule, written out plainly: a byte >= 0x80 takes the
// next byte with it; a byte <= 0x7F takes a next byte below 0x7F with it.
int32_t ExpectedCount(std::string_view table) {
  int32_t count = 0;
  for (size_t i = 0; i < table.size(); ++count) {
    const auto b = static_cast<unsigned char>(table[i]);
    const bool hasNext = i + 1 < table.size();
    const bool nextLow = hasNext && static_cast<unsigned char>(table[i + 1]) < 0x7F;
    if (b >= 0x80) {
      i += hasNext ? 2 : 1;
    } else {
      i += nextLow ? 2 : 1;
    }
  }
  return count;
}

void CheckWalk(std::string_view table, const std::vector<GrayUnit>& units) {
  size_t at = 0;
  for (const GrayUnit& unit : units) {
    FUZZ_CHECK(unit.offset == at);
    FUZZ_CHECK(unit.length == 1 || unit.length == 2);
    FUZZ_CHECK(unit.offset + unit.length <= table.size());
    const auto b = static_cast<unsigned char>(table[at]);
    const bool hasNext = at + 1 < table.size();
    if (b >= 0x80) {
      FUZZ_CHECK(unit.length == (hasNext ? 2u : 1u));
    } else if (b < 0x7F) {
      const bool nextLow = hasNext && static_cast<unsigned char>(table[at + 1]) < 0x7F;
      FUZZ_CHECK(unit.length == (nextLow ? 2u : 1u));
    } else {
      FUZZ_CHECK(unit.length == 1);
    }
    at += unit.length;
  }
  FUZZ_CHECK(at == table.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string table(reinterpret_cast<const char*>(data), size);
  const std::vector<GrayUnit> units = WalkGrayUnits(table);
  CheckWalk(table, units);
  const int32_t count = CountGrayUnits(table);
  FUZZ_CHECK(count == ExpectedCount(table));
  // A 0x7F byte is the only place the count and the walk part ways.
  if (table.find('\x7f') == std::string::npos) FUZZ_CHECK(count == static_cast<int32_t>(units.size()));

  TConverter converter;
  converter.GrayTable = table;
  converter.GrayLevels = count;
  converter.OutputRect = Rect{0, 0, 16, 16};
  converter.FrameMarker = kFrameMarker;
  std::string error;
  // Units are mapped for any count in range; a conversion also needs clean GBK.
  const bool inRange = count >= 1 && count <= kMaxGrayLevels;
  const bool accepted = inRange && CheckGrayTable(table, nullptr);
  FUZZ_CHECK(converter.CheckOptions(&error) == accepted);
  FUZZ_CHECK(accepted || !error.empty());

  std::vector<std::string> expected(256);
  if (inRange) {
    const int s = static_cast<int>(std::nearbyint(256.0L / count));  // the default mode rounds half to even
    FUZZ_CHECK(s >= 1);
    for (int gray = 0; gray < 256; ++gray) {
      const size_t k = std::min<size_t>(static_cast<size_t>(gray / s + 1), units.size());
      expected[static_cast<size_t>(gray)] = table.substr(units[k - 1].offset, units[k - 1].length);
    }
  }
  for (int gray = 0; gray < 256; ++gray) {
    FUZZ_CHECK(converter.GrayToUnit(gray) == expected[static_cast<size_t>(gray)]);
  }
  FUZZ_CHECK(converter.GrayToUnit(-1).empty() && converter.GrayToUnit(256).empty());
  if (!accepted) return 0;

  // A 16 x 16 picture of every gray level: its frame's rows are the units.
  QImage picture(16, 16, QImage::Format_RGB888);
  std::string rows;
  for (int y = 0; y < 16; ++y) {
    uchar* line = picture.scanLine(y);
    for (int x = 0; x < 16; ++x) {
      const int v = y * 16 + x;
      line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = static_cast<uchar>(v);
      rows += expected[static_cast<size_t>(GrayLevelOf(v, v, v))];
    }
    rows += "\r\n";
  }
  std::string frame;
  const size_t rowsEnd = converter.AppendFrame(picture, &frame);
  FUZZ_CHECK(rowsEnd == rows.size());
  FUZZ_CHECK(frame.compare(0, rowsEnd, rows) == 0);

  std::set<std::string> tableUnits;
  for (const GrayUnit& unit : units) tableUnits.insert(table.substr(unit.offset, unit.length));
  converter.FinePicture = true;
  int64_t lastInk = 0;
  for (int gray = 0; gray < 256; ++gray) {
    const std::string unit = converter.GrayToUnit(gray);
    FUZZ_CHECK(tableUnits.count(unit) == 1);
    const int64_t ink = fine::UnitInk(unit);
    FUZZ_CHECK(ink >= 0 && ink >= lastInk);
    lastInk = ink;
  }
  return 0;
}
