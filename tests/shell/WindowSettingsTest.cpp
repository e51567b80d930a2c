// The settings value without a window: each key's default and range rule
// on reading, and what a write puts into the file.
#include "shell/WindowSettings.h"

#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "support/TestSupport.h"
#include "shell/IniFile.h"
#include "shell/Link.h"

#include <gtest/gtest.h>

namespace {

using testing_support::TempFolder;
using testing_support::WriteAll;

class WindowSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedAppPath_ = AppPath;
    AppPath = app.Path();
    fileio::MakePath(app / "output", nullptr);
    fileio::MakePath(app / "frames", nullptr);
  }
  void TearDown() override { AppPath = savedAppPath_; }
  WindowSettings ReadFrom(const std::string& text) {
    WriteAll(app / "s.ini", text);
    return WindowSettings::Read(IniFile(app / "s.ini"));
  }

  TempFolder app;
  std::string savedAppPath_;
};

TEST_F(WindowSettingsTest, EachValueIsBroughtIntoItsRange) {
  const struct {
    const char* ini;
    int type, size, frame;
    const char* savePath;
  } cases[] = {
      // Missing keys: their defaults (the first entries of the lists).
      {"", 0, 0, 0, "output/"},
      // Outside the lists, -1 included: the entries the boxes show by design.
      {"[Setting]\nOutPutSize=9\nOutPutFrame=15\n", 0, 4, 5, "output/"},
      {"[Setting]\nOutPutSize=-1\nOutPutFrame=-1\nOutPutType=-1\n", -1, 4, 5, "output/"},
      {"[Setting]\nOutPutSize=three\nOutPutFrame=0x7FFFFFFF\nOutPutType=-9\n", -1, 0, 5, "output/"},
      // In range: as stored; the type is clamped rather than dropped.
      {"[Setting]\nOutPutSize=8\nOutPutFrame=14\nOutPutType=7\n", 3, 8, 14, "output/"},
      // The folder must exist; one character is never a folder.
      {"[Setting]\nSavePath=frames\n", 0, 0, 0, "frames"},
      {"[Setting]\nSavePath=missing/\n", 0, 0, 0, "output/"},
      {"[Setting]\nSavePath=f\n", 0, 0, 0, "output/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    const WindowSettings s = ReadFrom(c.ini);
    EXPECT_EQ(s.outputType, OutputFormAt(c.type));
    EXPECT_EQ(s.outputSize, c.size);
    EXPECT_EQ(s.outputFrame, c.frame);
    EXPECT_EQ(s.savePath, c.savePath);
    EXPECT_EQ(s.grayList.size(), 20u);
  }
}

TEST_F(WindowSettingsTest, WhatIsWrittenReadsBackTheSame) {
  WindowSettings s;
  s.width = 812;
  s.height = 577;
  s.outputType = OutputForm::Excel;
  s.autoConvert = false;
  s.outputSize = 7;
  s.outputFrame = 3;
  s.savePath = "frames/";
  s.grayword = "AB\xB9\xFA";
  s.grayList.assign(20, gbk::DefaultGrayTable());
  s.grayList[4] = "xyz";
  WriteAll(app / "s.ini", "");
  IniFile ini(app / "s.ini");
  std::string error;
  ASSERT_TRUE(s.Write(ini, &error)) << error;
  EXPECT_EQ(WindowSettings::Read(IniFile(app / "s.ini")), s);

  // Maximized: the file keeps the last normal size.
  WindowSettings big = s;
  big.maximized = true;
  big.width = 1920;
  ASSERT_TRUE(big.Write(ini, &error)) << error;
  const WindowSettings back = WindowSettings::Read(IniFile(app / "s.ini"));
  EXPECT_TRUE(back.maximized);
  EXPECT_EQ(back.width, 812);

  // No output type is stored as -1 and reads back as none.
  WindowSettings none = s;
  none.outputType = std::nullopt;
  ASSERT_TRUE(none.Write(ini, &error)) << error;
  EXPECT_NE(testing_support::ReadAll(app / "s.ini").find("OutPutType=-1"), std::string::npos);
  EXPECT_EQ(WindowSettings::Read(IniFile(app / "s.ini")), none);
}

TEST_F(WindowSettingsTest, AFailedWriteStopsAtTheFirstKeyAndSaysWhere) {
  WriteAll(app / "s.ini", "[Setting]\nOutPutType=1\n");
  IniFile ini(app / "s.ini");
  WindowSettings s;
  s.outputType = OutputForm::Frames;
  std::string error;
  {
    fileio::ScopedFault fault({fileio::FaultPoint::Open, "s.ini"});
    EXPECT_FALSE(s.Write(ini, &error));
  }
  EXPECT_EQ(error, "Unable to write to " + app / "s.ini");
  EXPECT_EQ(testing_support::ReadAll(app / "s.ini"), "[Setting]\nOutPutType=1\n");
}

}  // namespace
