// The fine picture: cells as exact area means, gray tables calibrated by the
// committed ink measurements, and the bytes of a committed picture.
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testing_support::MakeImage;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

const std::string kData = std::string(GLYPHREEL_SOURCE_DIR) + "/tests/conversion/fine/";

// Whatever the table, a lighter gray never takes a darker unit, the ends
// take the darkest and the lightest unit, and every unit is measured.
TEST(FinePicture, CalibratedLevelsRiseWithMeasuredInk) {
  const std::string tables[] = {
      gbk::DefaultGrayTable(),
      fine::FineGrayTable(),
      "MMWW@@##%%**++==--::..",                                  // single-byte pairs
      gbk::EncodeOrThrow(QStringLiteral("一二国MM四..三") + "a"),  // mixed, out of order, a lone byte last
      gbk::EncodeOrThrow(QStringLiteral("国国国")),              // units that measure the same
  };
  for (const std::string& table : tables) {
    SCOPED_TRACE(gbk::Decode(table).toStdString());
    const std::vector<GrayUnit> units = WalkGrayUnits(table);
    std::vector<int64_t> ink;
    for (const GrayUnit& u : units) ink.push_back(fine::UnitInk(std::string_view(table).substr(u.offset, u.length)));
    for (int64_t v : ink) ASSERT_GE(v, 0) << "every unit has a measurement";
    const std::array<uint16_t, 256> levels = fine::CalibratedLevels(table);
    EXPECT_EQ(ink[levels[0]], *std::min_element(ink.begin(), ink.end()));
    EXPECT_EQ(ink[levels[255]], *std::max_element(ink.begin(), ink.end()));
    for (int g = 1; g < 256; ++g) EXPECT_LE(ink[levels[g - 1]], ink[levels[g]]) << "level " << g;
  }
  // The default table's order is not its ink's: 懒 measures darker than 厲,
  // so black takes 懒; equal units give the first of them.
  EXPECT_EQ(fine::CalibratedLevels(gbk::DefaultGrayTable())[0], 2);
  EXPECT_EQ(fine::CalibratedLevels(tables[4])[255], 0);
  // The fine table is 32 double-byte units, █ first, the full-width space last.
  EXPECT_EQ(fine::FineGrayTable().size(), 64u);
  EXPECT_EQ(gbk::Decode(fine::FineGrayTable()).front(), QChar(0x2588));
  EXPECT_EQ(gbk::Decode(fine::FineGrayTable()).back(), QChar(0x3000));
}

// A cell is the mean of the area it covers, pixels straddling its edge by
// their share, rounded half up from the exact sum.
TEST(FinePicture, CellsAreTheExactMeanOfTheAreaTheyCover) {
  struct Case {
    const char* name;
    int sourceWidth, sourceHeight;
    std::vector<unsigned> pixels;  // gray levels row by row, or colours with `rgb`
    bool rgb;
    int cells, rows;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {"two cells of 2 x 2", 4, 2, {0, 100, 200, 255, 10, 20, 30, 40}, false, 2, 1, {33, 131}},  // 32.5 up, 131.25
      {"a pixel shared by two cells", 3, 1, {0, 90, 255}, false, 2, 1, {30, 200}},               // (2*0+90)/3, (90+2*255)/3
      {"one pixel over many cells", 1, 1, {77}, false, 3, 2, {77, 77, 77, 77, 77, 77}},
      {"colour by 0.3 R + 0.59 G + 0.11 B", 1, 1, {0xFF0000}, true, 1, 1, {77}},  // 76.5, half up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage picture = MakeImage(c.sourceWidth, c.sourceHeight, [&](int x, int y) {
      const unsigned v = c.pixels[static_cast<size_t>(y * c.sourceWidth + x)];
      return c.rgb ? v : v * 0x010101u;
    });
    std::vector<uint8_t> grays;
    fine::AreaMeanGrays(picture, c.cells, c.rows, &grays);
    EXPECT_EQ(grays, c.expected);
  }
}

// A committed photo (50 x 37 pixels, so most cells share pixels with their
// neighbours) as frames of 24 x 18 cells, with the built-in table and with
// the default table calibrated: the bytes every machine writes.
TEST(FinePicture, ACommittedPictureGivesTheCommittedBytes) {
  TempFolder in, out;
  WriteAll(in / "1.bmp", ReadAll(kData + "picture.bmp"));
  const struct {
    std::string table;
    const char* expected;
  } cases[] = {{fine::FineGrayTable(), "fine-table.txt"}, {gbk::DefaultGrayTable(), "default-table.txt"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    TConverter engine;
    engine.FrameMarker = kFrameMarker;
    engine.FinePicture = true;
    engine.GrayTable = c.table;
    engine.GrayLevels = CountGrayUnits(c.table);
    engine.Interval = 100;
    engine.OutputRect = Rect{0, 0, 24, 18};
    std::string error;
    ASSERT_TRUE(engine.ConvertBitmapsToText(out.Path(), in.Path(), 1, &error)) << error;
    EXPECT_EQ(ReadAll(out / "1.txt"), ReadAll(kData + c.expected));
  }
}

}  // namespace
