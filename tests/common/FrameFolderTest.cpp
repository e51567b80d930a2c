// The frame folder's names: what a recording writes, what a conversion finds
// and what clearing deletes.
#include "common/FrameFolder.h"

#include "common/FileWrite.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace testing_support;

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FrameFolder, FrameNFileName) {
  EXPECT_EQ(frames::BitmapName(1), "1.bmp");
  EXPECT_EQ(frames::BitmapName(12345678901), "12345678901.bmp");
  EXPECT_EQ(frames::BitmapPath("/data/frames/", 29), "/data/frames/29.bmp");
}

// A folder of the kinds of entries a record folder meets: frames in either
// letter case, a folder named like a frame (it can be neither read nor
// deleted), and files that are no frames.
class FrameFolderEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"1.bmp", "1.BMP", "2.Bmp", "note.bmp", "keep.txt", "bmp", "3.bmp.txt"}) {
      WriteAll(dir / name, name);
    }
    ASSERT_TRUE(fileio::MakePath(dir / "4.bmp", nullptr));
    WriteAll(dir / "4.bmp/inside", "x");
  }
  TempFolder dir;
};

TEST_F(FrameFolderEntries, FindsBmpInAnyLetterCaseTheLowerCaseNameFirst) {
  const std::vector<std::string> expected{"1.BMP", "1.bmp", "2.Bmp", "4.bmp", "note.bmp"};
  EXPECT_EQ(Sorted(frames::Bitmaps(dir.Path())), expected);
  const auto byNumber = frames::BitmapsByNumber(dir.Path());
  EXPECT_EQ(byNumber.size(), 4u);
  EXPECT_EQ(byNumber.at("1"), "1.bmp");
  EXPECT_EQ(byNumber.at("2"), "2.Bmp");
  EXPECT_EQ(byNumber.at("4"), "4.bmp") << "an entry of any kind counts";
  EXPECT_EQ(byNumber.count("3"), 0u);
  EXPECT_TRUE(frames::Bitmaps(dir / "missing/").empty());
}

TEST_F(FrameFolderEntries, ClearingDeletesEveryBitmapItCanAndNamesTheRest) {
  const std::vector<std::string> errors = frames::ClearBitmaps(dir.Path());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(dir / "4.bmp"), std::string::npos) << errors[0];
  for (const char* gone : {"1.bmp", "1.BMP", "2.Bmp", "note.bmp"}) EXPECT_FALSE(Exists(dir / gone)) << gone;
  for (const char* kept : {"keep.txt", "bmp", "3.bmp.txt", "4.bmp/inside"}) EXPECT_TRUE(Exists(dir / kept)) << kept;
  EXPECT_TRUE(frames::ClearBitmaps(dir / "missing/").empty());
}

}  // namespace
