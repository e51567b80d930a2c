// Where the program keeps its files: the portable layout of a build folder
// and the installed layout under a prefix, decided by location only.
#include "common/FileWrite.h"
#include "support/TestSupport.h"
#include "shell/Link.h"
#include "shell/StartOptions.h"

#include <gtest/gtest.h>

namespace {

using testing_support::Exists;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

TEST(LayoutTest, DecidedByWhatStandsBesideTheProgram) {
  TempFolder root;
  // Each case is a fresh prefix under root: its bin/ and what stands around it.
  struct Case {
    const char* name;
    bool dllBeside;     // bin/dll/ exists
    bool dllIsFile;     // bin/dll exists as a plain file instead
    bool share;         // share/glyphreel/ exists
    const char* xdg;    // XDG_CONFIG_HOME ("" unset); "@" stands for root
    bool installed;
    const char* settingsUnderRoot;  // expected settings file, relative to the case's folder
  };
  const Case cases[] = {
      {"build", true, false, false, "", false, "bin/dll/Kinograf.ini"},
      // A dll/ folder beside the program wins even when a share folder exists too.
      {"both", true, false, true, "", false, "bin/dll/Kinograf.ini"},
      {"bare", false, false, false, "", false, "bin/dll/Kinograf.ini"},
      {"usr", false, false, true, "", true, "home/.config/glyphreel/Kinograf.ini"},
      {"xdg", false, false, true, "@cfg", true, "cfg/glyphreel/Kinograf.ini"},
      // A relative XDG_CONFIG_HOME is not valid and falls back to ~/.config.
      {"relxdg", false, false, true, "cfg", true, "home/.config/glyphreel/Kinograf.ini"},
      // Only a folder named dll counts.
      {"dllfile", false, true, true, "", true, "home/.config/glyphreel/Kinograf.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = root / (std::string(c.name) + "/");
    const std::string bin = base + "bin/";
    ASSERT_TRUE(fileio::MakePath(bin, nullptr));
    if (c.dllBeside) {
      ASSERT_TRUE(fileio::MakePath(bin + "dll", nullptr));
    }
    if (c.dllIsFile) WriteAll(bin + "dll", "");
    if (c.share) {
      ASSERT_TRUE(fileio::MakePath(base + "share/glyphreel", nullptr));
    }
    LayoutEnvironment environment{base + "home", ""};
    if (c.xdg[0] == '@') environment.xdgConfigHome = base + (c.xdg + 1);
    else environment.xdgConfigHome = c.xdg;

    const ProgramLayout layout = LayoutFor(bin, environment);
    EXPECT_EQ(c.installed, layout.installed);
    EXPECT_EQ(base + c.settingsUnderRoot, layout.settingsFile);
    if (c.installed) {
      EXPECT_EQ(base + "home/Glyphreel/", layout.pathBase);
      EXPECT_EQ(base + "share/glyphreel/", layout.supportFolder);
      EXPECT_EQ(base + "share/glyphreel/Kinograf.ini", layout.defaultSettings);
    } else {
      EXPECT_EQ(bin, layout.pathBase);
      EXPECT_EQ(bin + "dll/", layout.supportFolder);
      EXPECT_EQ("", layout.defaultSettings);
    }
  }
}

TEST(LayoutTest, StoredPathsHangFromTheUsersFolderWhenInstalled) {
  TempFolder root;
  ASSERT_TRUE(fileio::MakePath(root / "usr/bin", nullptr));
  ASSERT_TRUE(fileio::MakePath(root / "usr/share/glyphreel", nullptr));
  const std::string saved[] = {AppPath, IniFileName, SupportFolder};
  UseLayout(LayoutFor(root / "usr/bin/", {root / "home", ""}));
  EXPECT_EQ(root / "home/Glyphreel/output/", MakeAbsolutePath("output"));
  EXPECT_EQ("frames/", MakeRelativePath(root / "home/Glyphreel/frames"));
  EXPECT_EQ(root / "usr/share/glyphreel/", SupportFolder);
  EXPECT_EQ(root / "home/.config/glyphreel/Kinograf.ini", IniFileName);
  AppPath = saved[0];
  IniFileName = saved[1];
  SupportFolder = saved[2];
}

TEST(LayoutTest, SettingsFileStartsFromThePackagedDefaults) {
  TempFolder root;
  ASSERT_TRUE(fileio::MakePath(root / "usr/bin", nullptr));
  ASSERT_TRUE(fileio::MakePath(root / "usr/share/glyphreel", nullptr));
  const std::string defaults = "[Setting]\r\nOutPutSize=4\r\n";
  WriteAll(root / "usr/share/glyphreel/Kinograf.ini", defaults);
  const ProgramLayout layout = LayoutFor(root / "usr/bin/", {root / "home", root / "cfg"});

  // First start: made, with its folders, from the defaults.
  std::string error;
  ASSERT_TRUE(PrepareSettingsFile(layout, &error)) << error;
  EXPECT_EQ(defaults, ReadAll(root / "cfg/glyphreel/Kinograf.ini"));
  // Later starts keep the user's own file.
  WriteAll(root / "cfg/glyphreel/Kinograf.ini", "[Setting]\r\nOutPutSize=7\r\n");
  ASSERT_TRUE(PrepareSettingsFile(layout, &error)) << error;
  EXPECT_EQ("[Setting]\r\nOutPutSize=7\r\n", ReadAll(root / "cfg/glyphreel/Kinograf.ini"));

  // A disk that fails while the copy is written leaves no half file behind.
  const ProgramLayout second = LayoutFor(root / "usr/bin/", {root / "home2", ""});
  {
    fileio::ScopedFault fault({fileio::FaultPoint::AfterBytes, "Kinograf", 5});
    EXPECT_FALSE(PrepareSettingsFile(second, &error));
    EXPECT_NE(std::string::npos, error.find("Kinograf")) << error;
  }
  EXPECT_FALSE(Exists(second.settingsFile));

  // Packaged defaults missing: an error naming them, nothing made.
  fileio::RemoveFile(root / "usr/share/glyphreel/Kinograf.ini", nullptr);
  EXPECT_FALSE(PrepareSettingsFile(second, &error));
  EXPECT_NE(std::string::npos, error.find("share/glyphreel/Kinograf.ini")) << error;
  EXPECT_FALSE(Exists(second.settingsFile));

  // The portable layout has nothing to prepare and touches nothing.
  ASSERT_TRUE(fileio::MakePath(root / "build/dll", nullptr));
  const ProgramLayout portable = LayoutFor(root / "build/", {root / "home3", ""});
  EXPECT_TRUE(PrepareSettingsFile(portable, &error));
  EXPECT_FALSE(Exists(portable.settingsFile));
}

TEST(StartOptionsTest, CommandLineSamples) {
  using Action = StartOptions::Action;
  struct Sample {
    std::vector<std::string> args;
    Action action;
    const char* file;
  };
  const Sample samples[] = {
      {{}, Action::Run, ""},
      {{"clip.avi"}, Action::Run, "clip.avi"},
      {{"--help"}, Action::Help, ""},
      {{"-h"}, Action::Help, ""},
      {{"clip.avi", "--version"}, Action::Version, ""},
      {{"-v"}, Action::Version, ""},
      {{"--", "-odd name.avi"}, Action::Run, "-odd name.avi"},
      {{"--", "--help"}, Action::Run, "--help"},
      {{"-"}, Action::Run, "-"},
      {{"--frobnicate"}, Action::BadUsage, ""},
      {{"a.avi", "b.avi"}, Action::BadUsage, ""},
      {{""}, Action::BadUsage, ""},
  };
  for (const Sample& s : samples) {
    const StartOptions o = ParseStartOptions(s.args);
    const std::string shown = s.args.empty() ? std::string("(none)") : s.args.front();
    EXPECT_EQ(s.action, o.action) << shown;
    EXPECT_EQ(s.file, o.file) << shown;
    EXPECT_EQ(s.action == Action::BadUsage, !o.error.empty()) << shown;
  }
  EXPECT_EQ("Glyphreel 1.0.0.0\n", StartVersionText());
  EXPECT_NE(std::string::npos, StartHelpText().find("usage: glyphreel [FILE]"));
}

TEST(StartOptionsTest, CharacterMovieToldFromVideoByContent) {
  TempFolder dir;
  const std::string m = "\x80\x80";
  const std::string row(20, 'a');
  struct Sample {
    const char* name;
    std::string bytes;
    bool movie;
  };
  const std::string bigPrefix(kMovieProbeBytes - 4, 'x');
  const Sample samples[] = {
      {"movie.txt", row + "\r\n" + m + "\r\n67\r\n", true},
      {"lf.txt", row + "\n" + m + "\n67\n", true},
      {"cr.txt", row + "\r" + m + "\r67\r", true},
      {"at-start.txt", m + "\r\n", true},
      {"marker-at-end", row + "\r\n" + m, true},
      // A name says nothing: a movie under a video's name is still a movie.
      {"clip.avi", row + "\r\n" + m + "\r\n67\r\n", true},
      // Marker bytes inside a line (as in any binary file) are not a marker line.
      {"binary.avi", std::string("RIFF\0\0", 6) + m + "AVI LIST" + m, false},
      {"half.txt", row + "\r\n\x80\r\n", false},
      {"glued.txt", row + "\r\n" + m + "x\r\n", false},
      {"empty.txt", "", false},
      // Only the head of a file is searched.
      {"late.txt", bigPrefix + "\r\n\r\n" + m + "\r\n", false},
  };
  for (const Sample& s : samples) {
    WriteAll(dir / s.name, s.bytes);
    EXPECT_EQ(s.movie, HoldsFrameMarkerLine(dir / s.name, m)) << s.name;
  }
  EXPECT_FALSE(HoldsFrameMarkerLine(dir / "missing.txt", m));
  EXPECT_FALSE(HoldsFrameMarkerLine(dir.Path(), m));  // a folder
  EXPECT_FALSE(HoldsFrameMarkerLine(dir / "movie.txt", ""));
}

}  // namespace
