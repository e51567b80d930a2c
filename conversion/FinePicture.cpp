#include "conversion/FinePicture.h"

#include "conversion/BmpTxt.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace fine {
namespace data {
#include "conversion/InkData.inc"
}  // namespace data

namespace {

constexpr int kLeadFirst = 0x81, kLeadCount = 0xFE - 0x81 + 1;
constexpr int kTrailFirst = 0x40, kTrailCount = 0xFE - 0x40;  // without 0x7F
constexpr int kSingleCount = 0x7F;                            // bytes 0x01..0x7F

int TrailIndex(uint8_t trail) { return trail < 0x7F ? trail - kTrailFirst : trail - kTrailFirst - 1; }

int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }
uint16_t HexAt(const char* text, int index) {
  const char* p = text + 4 * index;
  return static_cast<uint16_t>(HexDigit(p[0]) << 12 | HexDigit(p[1]) << 8 | HexDigit(p[2]) << 4 | HexDigit(p[3]));
}

// The committed sums, unpacked once: the brightness (0..255) of every pixel
// of the unit's area added up.
struct Sums {
  std::vector<uint16_t> pairs;  // (lead - 0x81) * kTrailCount + TrailIndex(trail)
  std::array<uint16_t, kSingleCount + 1> first{}, second{};  // by byte
};

const Sums& CommittedSums() {
  static const Sums sums = [] {
    Sums s;
    s.pairs.resize(static_cast<size_t>(kLeadCount * kTrailCount));
    for (int lead = 0; lead < kLeadCount; ++lead) {
      for (int t = 0; t < kTrailCount; ++t) s.pairs[static_cast<size_t>(lead * kTrailCount + t)] = HexAt(data::kPairs[lead], t);
    }
    for (int b = 1; b <= kSingleCount; ++b) {
      s.first[static_cast<size_t>(b)] = HexAt(data::kFirstHalves, b - 1);
      s.second[static_cast<size_t>(b)] = HexAt(data::kSecondHalves, b - 1);
    }
    return s;
  }();
  return sums;
}

// Pixels of a whole cell and of its two halves at the reference size.
int64_t WholeArea() { return int64_t{data::kCell} * data::kCell; }
int64_t FirstArea() { return int64_t{data::kCell / 2} * data::kCell; }

}  // namespace

int InkCellPixels() { return data::kCell; }
const char* InkFace() { return data::kFace; }

int64_t InkScale() {
  const int64_t second = WholeArea() - FirstArea();
  return std::lcm(std::lcm(WholeArea(), FirstArea()), second);
}

int64_t UnitInk(std::string_view unit) {
  const Sums& sums = CommittedSums();
  const auto b0 = unit.empty() ? 0 : static_cast<uint8_t>(unit[0]);
  if (unit.size() == 2 && b0 >= 0x80) {
    const auto b1 = static_cast<uint8_t>(unit[1]);
    if (b0 < kLeadFirst || b0 > 0xFE || b1 < kTrailFirst || b1 > 0xFE || b1 == 0x7F) return -1;
    const uint16_t sum = sums.pairs[static_cast<size_t>((b0 - kLeadFirst) * kTrailCount + TrailIndex(b1))];
    return sum * (InkScale() / WholeArea());
  }
  if (unit.size() == 2) {
    const auto b1 = static_cast<uint8_t>(unit[1]);
    if (b0 == 0 || b1 == 0 || b1 >= 0x80) return -1;
    return (sums.first[b0] + sums.second[b1]) * (InkScale() / WholeArea());
  }
  if (unit.size() == 1 && b0 != 0 && b0 < 0x80) return sums.first[b0] * (InkScale() / FirstArea());
  return -1;
}

std::array<uint16_t, 256> CalibratedLevels(std::string_view table) {
  const std::vector<GrayUnit> units = WalkGrayUnits(table);
  struct Measured {
    int64_t ink;
    uint16_t index;
  };
  std::vector<Measured> order;
  order.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const int64_t ink = UnitInk(table.substr(units[i].offset, units[i].length));
    order.push_back({std::max<int64_t>(ink, 0), static_cast<uint16_t>(i)});
  }
  std::array<uint16_t, 256> levels{};
  if (order.empty()) return levels;
  // Darkest first; equal ink keeps the table's order.
  std::stable_sort(order.begin(), order.end(), [](const Measured& a, const Measured& b) { return a.ink < b.ink; });
  // Of units that measure the same, only the first can ever be nearest.
  order.erase(std::unique(order.begin(), order.end(), [](const Measured& a, const Measured& b) { return a.ink == b.ink; }),
              order.end());
  const int64_t darkest = order.front().ink;
  const int64_t span = order.back().ink - darkest;
  // Level g and unit ink v meet where g / 255 = (v - darkest) / span: compare
  // g x span with 255 x (v - darkest), both exact. The nearest unit only moves
  // lighter as g rises, so one walk over the sorted units serves every level.
  size_t at = 0;
  for (int g = 0; g < 256; ++g) {
    const auto distance = [&](size_t i) { return std::llabs(g * span - 255 * (order[i].ink - darkest)); };
    while (at + 1 < order.size() && distance(at + 1) < distance(at)) ++at;
    levels[static_cast<size_t>(g)] = order[at].index;
  }
  return levels;
}

const std::string& FineGrayTable() {
  static const std::string table(data::kFineTable);
  return table;
}

namespace {

// The area rule of AreaMeanGrays and AreaMeanColours: for every cell, the
// sums of `Channels` values of each pixel (`values(pixel, out)` gives them
// from an RGB888 pixel) over the area the cell covers, pixels that straddle
// its edge weighted by their share in it; then `finish(cell, sums, whole)`
// with `whole` the weight of a whole cell. Exact integers.
template <int Channels, typename Values, typename Finish>
void AreaSums(const QImage& picture, int width, int height, Values&& values, Finish&& finish) {
  const QImage rgb =
      picture.format() == QImage::Format_RGB888 ? picture : picture.convertToFormat(QImage::Format_RGB888);
  const int64_t ws = rgb.width(), hs = rgb.height();

  // Scaled by the cell counts, source pixel i spans [i * width, (i + 1) * width)
  // and cell x spans [x * ws, (x + 1) * ws): the overlaps are whole numbers.
  struct Share {
    int cell;
    int64_t weight;
  };
  const auto shares = [](int64_t sourceLength, int cells) {
    std::vector<std::vector<Share>> out(static_cast<size_t>(sourceLength));
    for (int64_t i = 0; i < sourceLength; ++i) {
      const int64_t from = i * cells, to = (i + 1) * cells;
      for (int64_t c = from / sourceLength; c * sourceLength < to && c < cells; ++c) {
        const int64_t overlap = std::min(to, (c + 1) * sourceLength) - std::max(from, c * sourceLength);
        if (overlap > 0) out[static_cast<size_t>(i)].push_back({static_cast<int>(c), overlap});
      }
    }
    return out;
  };
  const auto columns = shares(ws, width);
  const auto rows = shares(hs, height);

  using Sums = std::array<int64_t, Channels>;
  std::vector<Sums> rowSums(static_cast<size_t>(width));
  std::vector<Sums> cellSums(static_cast<size_t>(width) * static_cast<size_t>(height), Sums{});
  for (int64_t y = 0; y < hs; ++y) {
    std::fill(rowSums.begin(), rowSums.end(), Sums{});
    const uchar* px = rgb.constScanLine(static_cast<int>(y));
    for (int64_t x = 0; x < ws; ++x, px += 3) {
      Sums v;
      values(px, &v);
      for (const Share& s : columns[static_cast<size_t>(x)]) {
        Sums& sum = rowSums[static_cast<size_t>(s.cell)];
        for (int k = 0; k < Channels; ++k) sum[k] += s.weight * v[k];
      }
    }
    for (const Share& r : rows[static_cast<size_t>(y)]) {
      Sums* cells = cellSums.data() + static_cast<size_t>(r.cell) * static_cast<size_t>(width);
      for (int c = 0; c < width; ++c) {
        for (int k = 0; k < Channels; ++k) cells[c][k] += r.weight * rowSums[static_cast<size_t>(c)][k];
      }
    }
  }
  // A cell covers ws x hs scaled units.
  for (size_t i = 0; i < cellSums.size(); ++i) finish(i, cellSums[i], ws * hs);
}

// sum / whole rounded half up, at most 255.
uint8_t RoundedMean(int64_t sum, int64_t whole) {
  return static_cast<uint8_t>(std::min<int64_t>(255, (2 * sum + whole) / (2 * whole)));
}

}  // namespace

void AreaMeanGrays(const QImage& picture, int width, int height, std::vector<uint8_t>* grays) {
  grays->assign(static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height)), 0);
  if (width <= 0 || height <= 0 || picture.isNull()) return;
  AreaSums<1>(
      picture, width, height,
      [](const uchar* px, std::array<int64_t, 1>* v) { (*v)[0] = 30 * px[0] + 59 * px[1] + 11 * px[2]; },
      // A gray level is a hundredth of the weight.
      [&](size_t cell, const std::array<int64_t, 1>& sum, int64_t whole) {
        (*grays)[cell] = RoundedMean(sum[0], 100 * whole);
      });
}

void AreaMeanColours(const QImage& picture, int width, int height, std::vector<QRgb>* colours) {
  colours->assign(static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height)), qRgb(0, 0, 0));
  if (width <= 0 || height <= 0 || picture.isNull()) return;
  AreaSums<3>(
      picture, width, height,
      [](const uchar* px, std::array<int64_t, 3>* v) { *v = {px[0], px[1], px[2]}; },
      [&](size_t cell, const std::array<int64_t, 3>& sum, int64_t whole) {
        (*colours)[cell] = qRgb(RoundedMean(sum[0], whole), RoundedMean(sum[1], whole), RoundedMean(sum[2], whole));
      });
}

}  // namespace fine
