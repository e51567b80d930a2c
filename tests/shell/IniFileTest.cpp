#include "shell/IniFile.h"

#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "support/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::FirstDifference;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

// A file as a person might write it: odd spacing, quotes, mixed letter case,
// comments, a duplicate section (holding a key of its own, "depth", and one
// the first section holds too, "width"), and no break after the last line.
std::string HandWritten() {
  return "; Glyphreel settings, edited by hand\r\n"
         "\r\n"
         "[Window]\r\n"
         "  Width =  800  \r\n"
         "HEIGHT=0x1E0\r\n"
         "max = \"2\"\r\n"
         "\r\n"
         "# width=1\r\n"
         "[ setting ]\r\n"
         "SavePath = 'output/'\r\n"
         "Grayword=" + gbk::DefaultGrayTable() + "\r\n"
         "OutPutSize=$3\r\n"
         "Graywordlist1=\r\n"
         "AutoConvert=yes\r\n"
         "Padded = \"  two blanks  \"\r\n"
         "Half='quote\r\n"
         "\r\n"
         "; end of the section\r\n"
         "[window]\r\n"
         "width=1\r\n"
         "depth=2\r\n"
         "[Other]\r\n"
         "x=1";
}

TEST(IniFileTest, ReadsAHandWrittenFile) {
  TempFolder folder;
  WriteAll(folder / "a.ini", HandWritten());
  const IniFile ini(folder / "a.ini");
  ASSERT_TRUE(ini.Loaded());

  // The first section of a name wins; names match in any letter case.
  EXPECT_EQ(800, ini.ReadInteger("window", "width", 640));
  // A key only the later section of the name holds is not there.
  EXPECT_EQ(7, ini.ReadInteger("Window", "depth", 7));
  EXPECT_EQ("d", ini.ReadString("window", "DEPTH", "d"));
  EXPECT_EQ(480, ini.ReadInteger("WINDOW", "height", 0));
  EXPECT_TRUE(ini.ReadBool("window", "Max", false));
  EXPECT_EQ("output/", ini.ReadString("Setting", "SavePath", ""));
  EXPECT_EQ(gbk::DefaultGrayTable(), ini.ReadString("Setting", "grayword", ""));
  EXPECT_EQ(3, ini.ReadInteger("Setting", "OutPutSize", 0));
  // Present but empty: empty text, and the default for a number.
  EXPECT_EQ("", ini.ReadString("Setting", "Graywordlist1", "default"));
  EXPECT_EQ(7, ini.ReadInteger("Setting", "Graywordlist1", 7));
  EXPECT_TRUE(ini.ReadBool("Setting", "AutoConvert", true));   // a word: the default
  EXPECT_FALSE(ini.ReadBool("Setting", "AutoConvert", false));
  EXPECT_EQ("  two blanks  ", ini.ReadString("Setting", "Padded", ""));
  EXPECT_EQ("'quote", ini.ReadString("Setting", "Half", ""));
  EXPECT_EQ("1", ini.ReadString("other", "X", ""));
  // Missing keys and sections, and comment lines, give the default.
  EXPECT_EQ("d", ini.ReadString("Setting", "Nothing", "d"));
  EXPECT_EQ("d", ini.ReadString("Nowhere", "width", "d"));
  EXPECT_EQ("d", ini.ReadString("window", "# width", "d"));
}

TEST(IniFileTest, WritingChangesOnlyTheLinesWritten) {
  TempFolder folder;
  const std::string path = folder / "a.ini";
  WriteAll(path, HandWritten());
  IniFile ini(path);
  std::string error;
  ASSERT_TRUE(ini.WriteInteger("WINDOW", "width", 1024, &error)) << error;
  ASSERT_TRUE(ini.WriteBool("window", "MAX", false, &error)) << error;
  ASSERT_TRUE(ini.WriteString("setting", "SavePath", "/data/out/", &error)) << error;
  ASSERT_TRUE(ini.WriteInteger("Setting", "OutPutType", 2, &error)) << error;
  ASSERT_TRUE(ini.WriteString("Extra", "Name", "x", &error)) << error;
  // Held only by the later [window]: written into the first one as a new key.
  ASSERT_TRUE(ini.WriteInteger("window", "depth", 3, &error)) << error;

  std::string expected = HandWritten();
  auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = expected.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    expected.replace(at, from.size(), to);
  };
  replace("  Width =  800  \r\n", "  Width =  1024\r\n");
  // The first [Window] gains depth; the later one keeps its own "depth=2".
  replace("max = \"2\"\r\n", "max = 0\r\ndepth=3\r\n");
  replace("SavePath = 'output/'\r\n", "SavePath = /data/out/\r\n");
  // A new key goes after the section's last line with content.
  replace("Half='quote\r\n", "Half='quote\r\nOutPutType=2\r\n");
  // A new section goes at the end, after a break for the unfinished last line.
  expected += "\r\n[Extra]\r\nName=x\r\n";

  const std::string actual = ReadAll(path);
  EXPECT_EQ(expected, actual) << FirstDifference(expected, actual);
  EXPECT_EQ(expected, ini.Bytes());
  const IniFile again(path);
  EXPECT_EQ(1024, again.ReadInteger("window", "width", 0));
  EXPECT_EQ(3, again.ReadInteger("window", "depth", 0));
  EXPECT_EQ(2, again.ReadInteger("Setting", "OutPutType", 0));
}

TEST(IniFileTest, FillsAnEmptyFileAndFollowsTheFilesLineBreaks) {
  TempFolder folder;
  WriteAll(folder / "empty.ini", "");
  IniFile empty(folder / "empty.ini");
  std::string error;
  ASSERT_TRUE(empty.WriteInteger("window", "width", 640, &error)) << error;
  ASSERT_TRUE(empty.WriteInteger("Setting", "OutPutType", 0, &error)) << error;
  ASSERT_TRUE(empty.WriteInteger("window", "height", 480, &error)) << error;
  EXPECT_EQ("[window]\r\nwidth=640\r\nheight=480\r\n[Setting]\r\nOutPutType=0\r\n", ReadAll(folder / "empty.ini"));

  WriteAll(folder / "lf.ini", "[a]\nx=1\n");
  IniFile lf(folder / "lf.ini");
  ASSERT_TRUE(lf.WriteInteger("a", "y", 2, &error)) << error;
  ASSERT_TRUE(lf.WriteInteger("b", "z", 3, &error)) << error;
  EXPECT_EQ("[a]\nx=1\ny=2\n[b]\nz=3\n", ReadAll(folder / "lf.ini"));

  // Breaks of both kinds: a key added after a line ended by LF, in a file
  // whose first break is a lone CR, must not join the empty line after it.
  WriteAll(folder / "mixed.ini", "[S]\rk=1\n\n[T]\r");
  IniFile mixed(folder / "mixed.ini");
  ASSERT_TRUE(mixed.WriteString("S", "new", "v", &error)) << error;
  EXPECT_EQ("[S]\rk=1\nnew=v\r\n\n[T]\r", ReadAll(folder / "mixed.ini"));
  EXPECT_EQ("v", IniFile(folder / "mixed.ini").ReadString("s", "NEW", ""));
}

TEST(IniFileTest, ValuesReadBackExactly) {
  TempFolder folder;
  const std::string path = folder / "v.ini";
  WriteAll(path, "");
  IniFile ini(path);
  const std::string values[] = {"", " leading", "trailing\t", "'single'", "\"double\"", "\"open", "a = b",
                                gbk::DefaultGrayTable(), "$10"};
  int n = 0;
  for (const std::string& value : values) {
    std::string error;
    const std::string key = "k" + std::to_string(++n);
    ASSERT_TRUE(ini.WriteString("s", key, value, &error)) << error;
    EXPECT_EQ(value, IniFile(path).ReadString("s", key, "default")) << "[" << value << "]";
  }
  // A line break would split the value over two lines: refused, nothing written.
  const std::string before = ReadAll(path);
  std::string error;
  EXPECT_FALSE(ini.WriteString("s", "k1", "two\r\nlines", &error));
  EXPECT_EQ("Unable to write to " + path, error);
  EXPECT_EQ(before, ReadAll(path));
}

TEST(IniFileTest, IntegerText) {
  struct Case {
    const char* text;
    bool parses;
    int32_t value;
  };
  const Case cases[] = {
      {"12", true, 12},           {"-7", true, -7},           {"+7", true, 7},
      {"0x1f", true, 31},         {"0XFF", true, 255},        {"$ff", true, 255},
      {"$FFFFFFFF", true, -1},    {"-$10", true, -16},        {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN}, {"007", true, 7},
      {"2147483648", false, 0},   {"0x100000000", false, 0},  {"12a", false, 0},
      {"1 2", false, 0},          {"", false, 0},             {"0x", false, 0},
      {"$", false, 0},            {"x10", false, 0},          {"-", false, 0},
      {"yes", false, 0},          {"1.5", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(c.parses, ParseIniInteger(c.text, &value)) << c.text;
    if (c.parses) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

TEST(IniFileTest, NamesAndLongValues) {
  // A double-byte character whose trail byte is an ASCII letter compares
  // whole: 0x81 0x41 and 0x81 0x61 are different characters.
  TempFolder folder;
  const std::string longValue(3000, 'v');
  std::string split(2046, 'v');
  split += gbk::DefaultGrayTable();  // a double-byte character straddles byte 2047
  WriteAll(folder / "n.ini", "[\x81\x41]\r\nk=upper\r\n[s]\r\nlong=" + longValue + "\r\nsplit=" + split + "\r\n");
  const IniFile ini(folder / "n.ini");
  EXPECT_EQ("upper", ini.ReadString("\x81\x41", "K", ""));
  EXPECT_EQ("", ini.ReadString("\x81\x61", "k", ""));
  EXPECT_EQ(longValue.substr(0, 2047), ini.ReadString("s", "long", ""));
  EXPECT_EQ(split.substr(0, 2046), ini.ReadString("s", "split", ""));
}

// The folder holds only the settings file: no temporary file stays behind.
void ExpectOnlyFile(const std::string& folder, const char* name) {
  const QStringList entries = QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  EXPECT_EQ(QStringList{QString::fromUtf8(name)}, entries);
}

TEST(IniFileTest, AFailedWriteLeavesTheFileAsItWas) {
  struct Case {
    const char* what;
    fileio::Fault fault;
  };
  const Case cases[] = {
      {"open", {fileio::FaultPoint::Open, "", 0, 0, ENOSPC}},
      {"part-way", {fileio::FaultPoint::AfterBytes, "", 10, 0, ENOSPC}},
      {"rename", {fileio::FaultPoint::Rename, "", 0, 0, EIO}},
      // The second key write fails part-way: the first one stays written.
      {"second write", {fileio::FaultPoint::AfterBytes, "", 10, 1, ENOSPC}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string path = folder / "s.ini";
    WriteAll(path, HandWritten());
    IniFile ini(path);
    std::string error;
    bool first = false;
    bool second = false;
    {
      fileio::ScopedFault fault(c.fault);
      first = ini.WriteInteger("window", "width", 1024, &error);
      second = first && ini.WriteInteger("window", "height", 768, &error);
    }
    EXPECT_FALSE(second);
    EXPECT_EQ("Unable to write to " + path, error);
    const IniFile onDisk(path);
    EXPECT_EQ(first ? 1024 : 800, onDisk.ReadInteger("window", "width", 0));
    EXPECT_EQ(480, onDisk.ReadInteger("window", "height", 0));
    EXPECT_EQ(ReadAll(path), ini.Bytes());  // the object agrees with the disk
    ExpectOnlyFile(folder.Path(), "s.ini");
    EXPECT_EQ(c.fault.skip == 1, first);
  }
}

TEST(IniFileTest, MissingFileReadsDefaultsAndAFolderIsRefused) {
  TempFolder folder;
  const IniFile missing(folder / "none.ini");
  EXPECT_FALSE(missing.Loaded());
  EXPECT_EQ(640, missing.ReadInteger("window", "width", 640));

  ASSERT_TRUE(fileio::MakePath(folder / "dir.ini", nullptr));
  IniFile dir(folder / "dir.ini");
  std::string error;
  EXPECT_FALSE(dir.WriteInteger("window", "width", 1, &error));
  EXPECT_EQ("Unable to write to " + (folder / "dir.ini"), error);
}

}  // namespace
