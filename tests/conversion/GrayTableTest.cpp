// Gray levels, gray units and the small helpers of the conversion engine.
#include "conversion/BmpTxt.h"

#include "common/Gbk.h"

#include <gtest/gtest.h>

namespace {

std::string Gbk(const char* utf8) { return gbk::EncodeOrThrow(QString::fromUtf8(utf8)); }

// The formula as written: extended-precision products summed in order, then
// rounded half to even.
int ReferenceLevel(int r, int g, int b) {
  const long double sum = 0.3L * r + 0.59L * g + 0.11L * b;
  return static_cast<int>(std::nearbyintl(sum));  // default rounding mode: half to even
}

TEST(GrayLevel, MatchesTheExtendedFormulaForEveryColour) {
  int mismatches = 0;
  for (int r = 0; r < 256; ++r) {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) {
        if (GrayLevelOf(r, g, b) != ReferenceLevel(r, g, b) && ++mismatches <= 5) {
          ADD_FAILURE() << "colour " << r << "," << g << "," << b << ": " << GrayLevelOf(r, g, b) << " vs "
                        << ReferenceLevel(r, g, b);
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(GrayLevel, PixelsThatCheaperArithmeticGetsWrong) {
  // Halves where double precision or exact integers round the other way.
  struct {
    int r, g, b, level;
  } samples[] = {
      {0, 45, 45, 32}, {0, 86, 116, 64}, {0, 201, 81, 128},  // double lands on the other side
      {0, 19, 39, 15},                                        // exact 15.5 would round to 16
      {0, 0, 0, 0},    {255, 255, 255, 255}, {255, 0, 0, 76}, {0, 255, 0, 150}, {0, 0, 255, 28},
  };
  for (const auto& s : samples) {
    EXPECT_EQ(GrayLevelOf(s.r, s.g, s.b), s.level) << s.r << "," << s.g << "," << s.b;
  }
  // The same pixels through the engine pick different units of the default table
  // than their neighbouring levels would.
  TConverter engine;
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = 16;
  EXPECT_EQ(engine.PixelToCell(0, 45, 45), Gbk("懒"));   // level 32: third unit
  EXPECT_EQ(engine.PixelToCell(0, 86, 116), Gbk("蛤"));  // level 64: fifth unit
  EXPECT_EQ(engine.PixelToCell(0, 201, 81), Gbk("圀"));  // level 128: ninth unit
  EXPECT_EQ(engine.PixelToCell(0, 19, 39), Gbk("厲"));   // level 15: first unit
}

TEST(GrayUnits, WalkAndCount) {
  struct Sample {
    std::string table;
    std::vector<std::string> walk;
    int count;
  } samples[] = {
      {"", {}, 0},
      {"AB", {"AB"}, 1},
      {"ABC", {"AB", "C"}, 2},
      {"abcd", {"ab", "cd"}, 2},
      {Gbk("A厲"), {"A", Gbk("厲")}, 2},  // a single byte before a double-byte character stands alone
      {Gbk("厲A"), {Gbk("厲"), "A"}, 2},
      {"\x7F" "A-.", {"\x7F", "A-", "."}, 2},  // 0x7F pairs with what follows only in the count
      {"A\x7F", {"A", "\x7F"}, 2},
      {"\x7F\x7F" "a", {"\x7F", "\x7F", "a"}, 2},
      {"\xD2", {"\xD2"}, 1},  // a lead byte cut off at the end
  };
  for (const Sample& s : samples) {
    std::vector<std::string> walk;
    for (const GrayUnit& u : WalkGrayUnits(s.table)) walk.push_back(s.table.substr(u.offset, u.length));
    EXPECT_EQ(walk, s.walk) << "table of " << s.table.size() << " bytes";
    EXPECT_EQ(CountGrayUnits(s.table), s.count) << "table of " << s.table.size() << " bytes";
  }
  EXPECT_EQ(CountGrayUnits(gbk::DefaultGrayTable()), 16);
}

TEST(GrayUnits, LevelToUnit) {
  TConverter engine;
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = 16;
  for (int g = 0; g <= 15; ++g) EXPECT_EQ(engine.GrayToUnit(g), Gbk("厲")) << g;
  EXPECT_EQ(engine.GrayToUnit(16), Gbk("嵌"));
  EXPECT_EQ(engine.GrayToUnit(128), Gbk("圀"));
  for (int g = 240; g <= 255; ++g) EXPECT_EQ(engine.GrayToUnit(g), Gbk("一")) << g;

  // Ten pairs: s = 26, so level 25 is the first unit and 26 the second.
  engine.GrayTable = "aabbccddeeffgghhiijj";
  engine.GrayLevels = 10;
  EXPECT_EQ(engine.GrayToUnit(25), "aa");
  EXPECT_EQ(engine.GrayToUnit(26), "bb");
  EXPECT_EQ(engine.GrayToUnit(255), "jj");  // 255 / 26 + 1 = 10

  // Three units: s = 85, level 255 gives k = 4, past the table: the last unit.
  engine.GrayTable = "aabbcc";
  engine.GrayLevels = 3;
  EXPECT_EQ(engine.GrayToUnit(254), "cc");
  EXPECT_EQ(engine.GrayToUnit(255), "cc");

  // One unit serves every level.
  engine.GrayTable = Gbk("国");
  engine.GrayLevels = 1;
  for (int g : {0, 100, 255}) EXPECT_EQ(engine.GrayToUnit(g), Gbk("国"));

  // The count decides s, the walk decides the unit: "\x7FA-." counts 2 (s = 128)
  // and walks 3 units, so level 128 takes the walk's second unit.
  engine.GrayTable = "\x7F" "A-.";
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  EXPECT_EQ(engine.GrayToUnit(127), "\x7F");
  EXPECT_EQ(engine.GrayToUnit(128), "A-");

  EXPECT_EQ(engine.GrayToUnit(-1), "");
  EXPECT_EQ(engine.GrayToUnit(256), "");
}

TEST(GrayUnits, TablesTheEngineRefuses) {
  TConverter engine;
  engine.OutputRect = {0, 0, 60, 45};
  std::string error;
  struct {
    std::string table;
    bool accepted;
  } samples[] = {
      {"", false},
      {std::string(2 * 511, 'a'), true},   // 511 units: s = round(0.501) = 1
      {std::string(2 * 512, 'a'), false},  // 512 units: s rounds to 0
      {"ab", true},
  };
  for (const auto& s : samples) {
    engine.GrayTable = s.table;
    engine.GrayLevels = CountGrayUnits(s.table);
    error.clear();
    EXPECT_EQ(engine.CheckOptions(&error), s.accepted) << s.table.size() << " bytes";
    EXPECT_EQ(error.empty(), s.accepted);
    if (!s.accepted) {
      EXPECT_EQ(engine.GrayToUnit(0), "");
    }
  }
  engine.GrayTable = "ab";
  engine.GrayLevels = 1;
  engine.OutputRect = {0, 0, 0, 45};
  EXPECT_FALSE(engine.CheckOptions(&error));
}

TEST(GrayUnits, EveryCallerRefusesTablesThatAreNotCleanGbk) {
  // One check for the editor, the command line, gray files and settings:
  // no single-byte space, whole GBK characters, no NUL.
  TConverter engine;
  engine.OutputRect = {0, 0, 60, 45};
  const std::string yi = "\xD2\xBB";  // 一
  struct {
    std::string table;
    bool accepted;
    const char* what;
  } samples[] = {
      {gbk::DefaultGrayTable(), true, "the default table"},
      {"@#*.", true, "single-byte pairs"},
      {yi + "#", true, "a single-byte character at the very end"},
      {"#" + yi, true, "a single-byte character before a double-byte one"},
      {"\x7F" "A-.", true, "0x7F pairs with what follows"},
      {"@#*. ", false, "a single-byte space"},
      {yi + " " + yi, false, "a space between characters"},
      {yi + "\xD2", false, "a lone lead byte at the end"},
      {"\xD2\x30" + yi, false, "a lead byte without a valid trail byte"},
      {"\xD2\x7F" + yi, false, "0x7F is never a trail byte"},
      {std::string("ab\0cd", 5), false, "a NUL byte"},
      {"\x80\x80", false, "0x80 is not a character"},
      {"\xFF\xA1", false, "0xFF is not a lead byte"},
  };
  for (const auto& s : samples) {
    std::string error;
    EXPECT_EQ(CheckGrayTable(s.table, &error), s.accepted) << s.what;
    engine.GrayTable = s.table;
    engine.GrayLevels = CountGrayUnits(s.table);
    EXPECT_EQ(engine.CheckOptions(&error), s.accepted) << s.what << ": " << error;
    EXPECT_EQ(error.empty(), s.accepted) << s.what;
  }
}

TEST(Helpers, ZeroPadStripExtensionAndOutputSizes) {
  EXPECT_EQ(ZeroPad(7, 3), "007");
  EXPECT_EQ(ZeroPad(160, 3), "160");
  EXPECT_EQ(ZeroPad(1000, 3), "1000");  // never cut
  EXPECT_EQ(ZeroPad(100000, 5), "100000");
  EXPECT_EQ(ZeroPad(0, 0), "0");

  const std::pair<std::string, std::string> paths[] = {
      {"/a/clip.avi", "/a/clip"},       {"/a/clip", "/a/clip"},        {"/a.b/clip", "/a.b/clip"},
      {"/a/clip.tar.gz", "/a/clip.tar"}, {"clip.", "clip"},             {"/a/.hidden", "/a/"},
      {"c:clip.avi", "c:clip"},          {"", ""},
  };
  for (const auto& [in, out] : paths) EXPECT_EQ(StripExtension(in), out) << in;

  OutputSizeTable sizes;
  BuildOutputSizes(sizes);
  const int expected[9][2] = {{60, 45},   {80, 60},   {100, 75},  {120, 90},  {160, 120},
                              {200, 150}, {240, 180}, {280, 210}, {320, 240}};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(sizes[i].Left, 0);
    EXPECT_EQ(sizes[i].Top, 0);
    EXPECT_EQ(sizes[i].Right, expected[i][0]) << i;
    EXPECT_EQ(sizes[i].Bottom, expected[i][1]) << i;
  }
}

}  // namespace
