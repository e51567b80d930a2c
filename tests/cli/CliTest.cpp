// glyphreel-cli from outside: the built program run on generated bitmaps,
// its exit statuses, outputs and messages.
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "conversion/ConversionOutput.h"
#include "conversion/FinePicture.h"
#include "CliSupport.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>

#include <unistd.h>

namespace {

using namespace testing_support;
using namespace cli_test;


TEST(CliConvert, WritesWhatTheWindowsRunWritesForEveryForm) {
  const std::string table = gbk::DefaultGrayTable();
  struct Case {
    std::vector<std::string> options;
    OutputForm form;
    int size, interval;
    std::string output;
  } cases[] = {
      {{}, OutputForm::Text, 1, 100, "movie.txt"},
      {{"--form", "html", "--size", "320x240", "--fps", "15"}, OutputForm::Html, 8, 67, "movie.htm"},
      {{"--form=text", "--size=4", "--interval", "250"}, OutputForm::Text, 4, 250, "movie.txt"},
      {{"--form", "xls", "--fps", "7"}, OutputForm::Excel, 1, 143, "movie.xls"},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    Record(dir.Path(), 3);
    std::vector<std::string> args = {"convert", dir.Path()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun r = Cli(args);
    const bool haveTemplate = fileio::FileExists(BuiltAppPath() + "dll/xls.dll");
    EXPECT_EQ(r.status, c.form == OutputForm::Excel && !haveTemplate ? 1 : 0) << r.err;
    const std::string written = c.form == OutputForm::Excel && !haveTemplate ? dir / "data.xxx" : dir / c.output;
    EXPECT_EQ(r.LastLine(), written) << r.out;
    const std::string movie = ReadAll(c.form == OutputForm::Excel ? dir / "data.xxx" : written);
    EXPECT_EQ(movie, Expected(c.form, c.size, c.interval, table, 3)) << c.output;
  }
}

TEST(CliConvert, NamesFramesFolderAndOverwrite) {
  TempFolder dir;
  Record(dir.Path(), 2);
  EXPECT_EQ(Cli({"convert", dir.Path(), "--name", "clip.avi"}).LastLine(), dir / "clip.txt");
  EXPECT_EQ(Cli({"convert", dir.Path(), "--name", "clip.avi"}).LastLine(), dir / "clip_01.txt");
  EXPECT_EQ(Cli({"convert", dir.Path(), "--name", "clip.avi", "--overwrite"}).LastLine(), dir / "clip.txt");
  EXPECT_FALSE(Exists(dir / "clip_02.txt"));

  const CliRun frames = Cli({"convert", dir.Path().substr(0, dir.Path().size() - 1), "--form", "frames"});
  EXPECT_EQ(frames.status, 0) << frames.err;
  EXPECT_EQ(frames.LastLine(), dir / "movie/");
  EXPECT_TRUE(Exists(dir / "movie/1.txt"));
  EXPECT_TRUE(Exists(dir / "movie/2.txt"));
  EXPECT_FALSE(Exists(dir / "movie/3.txt"));
}

TEST(CliConvert, GrayTablesFromTheCommandLineAndFromFiles) {
  TempFolder dir;
  Record(dir.Path(), 3);
  CliRun r = Cli({"convert", dir.Path(), "--gray", "@%#*+=-:.,", "--name", "ascii"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(r.LastLine()), Expected(OutputForm::Text, 1, 100, "@%#*+=-:.,", 3));

  // The file's bytes are the table, less one final line break.
  const std::string table = gbk::EncodeOrThrow(QStringLiteral("国困园四"));
  WriteAll(dir / "table.txt", table + "\r\n");
  r = Cli({"convert", dir.Path(), "--gray-file", dir / "table.txt", "--name", "file"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(r.LastLine()), Expected(OutputForm::Text, 1, 100, table, 3));

  // The fine picture draws with its own table unless one is given.
  for (const auto& [given, units] : {std::pair{std::string(), fine::FineGrayTable()}, std::pair{table, table}}) {
    std::vector<std::string> args = {"convert", dir.Path(), "--picture", "fine", "--overwrite"};
    if (!given.empty()) args.insert(args.end(), {"--gray-file", dir / "table.txt"});
    r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string movie = ReadAll(r.LastLine());
    const std::string firstRow = movie.substr(0, movie.find("\r\n"));
    ASSERT_EQ(firstRow.size(), 160u) << "80 double-byte cells";
    for (size_t at = 0; at < firstRow.size(); at += 2) {
      bool inTable = false;
      for (size_t u = 0; u < units.size(); u += 2) inTable = inTable || units.compare(u, 2, firstRow, at, 2) == 0;
      EXPECT_TRUE(inTable) << "cell " << at / 2;
    }
  }
}

TEST(CliConvert, BadArgumentsExitTwoAndWriteNothing) {
  TempFolder dir;
  Record(dir.Path(), 2);
  TempFolder tables;
  WriteAll(tables / "lone-lead.txt", "\xD2\xBB#\xD2");
  WriteAll(tables / "bad-trail.txt", "\xD2\x30\xD2\xBB");
  WriteAll(tables / "nul.txt", std::string("ab\0d", 4));
  const std::vector<std::vector<std::string>> bad = {
      {"convert"},
      {"convert", dir.Path(), "--size", "9"},
      {"convert", dir.Path(), "--size", "161x120"},
      {"convert", dir.Path(), "--fps", "16"},
      {"convert", dir.Path(), "--fps", "0"},
      {"convert", dir.Path(), "--fps", "ten"},
      {"convert", dir.Path(), "--interval", "10000"},
      {"convert", dir.Path(), "--fps", "10", "--interval", "100"},
      {"convert", dir.Path(), "--form", "pdf"},
      {"convert", dir.Path(), "--picture", "sharp"},
      {"convert", dir.Path(), "--gray", "한글"},     // no GBK form
      {"convert", dir.Path(), "--gray", ""},         // no units at all
      {"convert", dir.Path(), "--gray", std::string(1024, 'x')},  // 512 units
      {"convert", dir.Path(), "--gray", "@#*. "},   // a single-byte space, as the editor refuses
      {"convert", dir.Path(), "--gray-file", tables / "lone-lead.txt"},
      {"convert", dir.Path(), "--gray-file", tables / "bad-trail.txt"},
      {"convert", dir.Path(), "--gray-file", tables / "nul.txt"},
      {"convert", dir.Path(), "--name", std::string(250, 'n')},  // longer than a file name can be
      {"frame", dir / "1.bmp", "2147483648"},
      {"convert", dir.Path(), "--gray-file", dir / "missing.txt"},
      {"convert", dir.Path(), "--gray", "ab", "--gray-file", dir / "1.bmp"},
      {"convert", dir.Path(), "--bogus"},
      {"convert", dir.Path(), "extra"},
      {"convert", dir.Path(), "--name"},
      {"nonsense"},
      {},
  };
  for (const auto& args : bad) {
    const CliRun r = Cli(args);
    std::string shown;
    for (const auto& a : args) shown += a.substr(0, 20) + " ";
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_NE(r.err.find("usage"), std::string::npos) << shown;
    EXPECT_EQ(r.err.find("glyphreel-cli: "), 0u) << shown << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
  const CliRun gray = Cli({"convert", dir.Path(), "--gray", "ab한"});
  EXPECT_NE(gray.err.find("U+D55C"), std::string::npos) << gray.err;
  EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files).size(), 2) << "nothing written";
}

TEST(CliConvert, FailuresExitOneAndSayWhy) {
  TempFolder dir;
  Record(dir.Path(), 3);
  WriteAll(dir / "2.bmp", "not a bitmap");
  CliRun r = Cli({"convert", dir.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("图片格式错误"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(dir / "2.bmp"), std::string::npos) << r.err;
  EXPECT_EQ(r.LastLine(), dir / "movie.txt");
  EXPECT_EQ(ReadAll(dir / "movie.txt").size(), Expected(OutputForm::Text, 1, 100, gbk::DefaultGrayTable(), 1).size());

  r = Cli({"convert", dir / "no-such-folder"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no-such-folder"), std::string::npos);

  // A program folder without the workbook template: data.xxx is written, the
  // missing template is reported.
  TempFolder program;
  fileio::MakePath(program / "dll", nullptr);
  ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "glyphreel-cli"),
                          QString::fromStdString(program / "glyphreel-cli")));
  TempFolder other;
  Record(other.Path(), 2);
  r = Cli({"convert", other.Path(), "--form", "xls"}, program / "glyphreel-cli");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("xls.dll"), std::string::npos) << r.err;
  EXPECT_TRUE(Exists(other / "data.xxx"));
  EXPECT_FALSE(Exists(other / "movie.xls"));
  // ... and without the page template the page is refused before anything is written.
  r = Cli({"convert", other.Path(), "--form", "html"}, program / "glyphreel-cli");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Web.dll"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(other / "movie.htm"));
  EXPECT_FALSE(Exists(other / "0.htm"));
}

TEST(CliConvert, AnIncompleteRunNeverReplacesAnOutput) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    int bitmaps;
    bool badSecond;
    std::string kept, partial, says;
  } cases[] = {
      {"movie, a bad 2.bmp", {"--overwrite"}, 3, true, "movie.txt", "movie_01.txt", "movie.txt was kept as it was"},
      {"workbook data, a bad 2.bmp", {"--form", "xls"}, 3, true, "data.xxx", "", "data.xxx was kept as it was"},
      {"frames, a bad 2.bmp", {"--form", "frames"}, 3, true, "movie/1.txt", "movie_01/1.txt", "movie/ was kept"},
      {"a folder named 3.bmp", {"--overwrite"}, 4, false, "movie.txt", "movie_01.txt", "movie.txt was kept"},
      // Nothing to convert is refused before anything is written.
      {"movie, no bitmaps", {"--overwrite"}, 0, false, "movie.txt", "", "no numbered bitmaps in"},
      {"workbook data, no bitmaps", {"--form", "xls", "--overwrite"}, 0, false, "data.xxx", "", "no numbered bitmaps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    Record(dir.Path(), c.bitmaps);
    if (c.badSecond) WriteAll(dir / "2.bmp", "not a bitmap");
    if (std::string(c.what).find("3.bmp") != std::string::npos) {
      fileio::RemoveFile(dir / "3.bmp", nullptr);
      fileio::MakePath(dir / "3.bmp", nullptr);
    }
    fileio::MakePath(dir / "movie", nullptr);
    WriteAll(dir / c.kept, "an older output");
    std::vector<std::string> args = {"convert", dir.Path()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir / c.kept), "an older output");
    EXPECT_EQ(Exists(dir / "movie_01.txt") || Exists(dir / "movie_01"), !c.partial.empty());
    if (!c.partial.empty()) {
      EXPECT_TRUE(Exists(dir / c.partial));
    }
    EXPECT_FALSE(Exists(dir / "movie.xls"));
  }
}

TEST(CliConvert, NamesAndNumbersAsTheFileSystemHasThem) {
  TempFolder dir;
  Record(dir.Path(), 3);
  // 1.BMP is the first frame; of 2.bmp and 2.BMP the lower-case one.
  ASSERT_TRUE(QFile::rename(QString::fromStdString(dir / "1.bmp"), QString::fromStdString(dir / "1.BMP")));
  WriteBmp(dir / "2.BMP", Picture(9));
  CliRun r = Cli({"convert", dir.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(dir / "movie.txt"), Expected(OutputForm::Text, 1, 100, gbk::DefaultGrayTable(), 3));
  EXPECT_NE(r.err.find("glyphreel-cli: 3 frames converted"), std::string::npos) << r.err;

  // An existing workbook is kept unless --overwrite, like the text form.
  WriteAll(dir / "movie.xls", "the user's workbook");
  r = Cli({"convert", dir.Path(), "--form", "xls"});
  if (fileio::FileExists(BuiltAppPath() + "dll/xls.dll")) {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.LastLine(), dir / "movie_01.xls");
    EXPECT_EQ(ReadAll(dir / "movie.xls"), "the user's workbook");
    r = Cli({"convert", dir.Path(), "--form", "xls", "--overwrite"});
    EXPECT_EQ(r.LastLine(), dir / "movie.xls");
    EXPECT_EQ(ReadAll(dir / "movie.xls"), ReadAll(BuiltAppPath() + "dll/xls.dll"));
  }

  // The largest index the message names is accepted.
  r = Cli({"frame", dir / "movie.txt", "2147483647"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(CliHelp, EveryCommandExplainsItself) {
  for (const char* command : {"convert", "info", "frame", "play", "record", "make", "export"}) {
    const CliRun r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find(std::string("glyphreel-cli ") + command), std::string::npos) << command;
  }
  const CliRun r = Cli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("convert"), std::string::npos);
}

}  // namespace

namespace {

std::string MakeMovie(const std::string& folder, int frames) {
  Record(folder, frames);
  const CliRun r = Cli({"convert", folder, "--size", "0", "--interval", "20"});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.LastLine();
}

TEST(CliMovie, InfoAndFrameReadWhatConvertWrote) {
  TempFolder dir;
  const std::string movie = MakeMovie(dir.Path(), 3);
  CliRun r = Cli({"info", movie});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"frames\":3,\"width\":60,\"lines_per_frame\":47,\"interval\":20,\"standard\":true}\n");

  const std::string bytes = ReadAll(movie);
  const size_t frameSize = bytes.size() / 3;
  r = Cli({"frame", movie, "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, bytes.substr(frameSize, frameSize));
  for (const char* outside : {"3", "-1", "99999"}) {
    r = Cli({"frame", movie, outside});
    EXPECT_EQ(r.status, 0) << outside;
    EXPECT_EQ(r.out, "") << outside;
  }

  // A plain text file is one frame, not standard; nor is a movie of interval
  // 0, which does not play (nor export).
  WriteAll(dir / "notes.txt", "line one\nline two\n");
  r = Cli({"info", dir / "notes.txt"});
  EXPECT_EQ(r.out, "{\"frames\":1,\"width\":0,\"lines_per_frame\":2,\"interval\":0,\"standard\":false}\n");
  WriteAll(dir / "still.txt", QByteArray::fromStdString(bytes).replace("V0020F", "V0000F").toStdString());
  EXPECT_NE(Cli({"info", dir / "still.txt"}).out.find("\"interval\":0,\"standard\":false"), std::string::npos);
  EXPECT_NE(Cli({"play", dir / "still.txt"}).err.find("注意:打开的不是标准的字符电影文件"), std::string::npos);
  EXPECT_EQ(Cli({"frame", dir / "notes.txt", "0"}).out, "line one\r\nline two\r\n");

  EXPECT_EQ(Cli({"info", dir / "missing.txt"}).status, 1);
  EXPECT_EQ(Cli({"frame", dir / "missing.txt", "0"}).status, 1);
  EXPECT_EQ(Cli({"frame", movie, "one"}).status, 2);
  EXPECT_EQ(Cli({"frame", movie}).status, 2);
  EXPECT_EQ(Cli({"info"}).status, 2);
}

TEST(CliMovie, PlayShowsTheRowsOfEveryFrameDecoded) {
  TempFolder dir;
  const std::string movie = MakeMovie(dir.Path(), 3);
  const CliRun r = Cli({"play", movie});
  EXPECT_EQ(r.status, 0) << r.err;
  // Three pages of 45 decoded rows each, no marker or info lines.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\f'), 3);
  EXPECT_EQ(r.out.find("W060"), std::string::npos);
  EXPECT_EQ(r.out.find("€"), std::string::npos);
  const std::string firstRows = gbk::Decode(ReadAll(movie).substr(0, 45 * (120 + 2))).toStdString();
  EXPECT_EQ(r.out.substr(0, firstRows.size()), firstRows);

  WriteAll(dir / "two.txt", ReadAll(movie).substr(0, ReadAll(movie).size() * 2 / 3));
  const CliRun refused = Cli({"play", dir / "two.txt"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("注意:打开的不是标准的字符电影文件"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out, "");
}

TEST(CliRecord, WritesThePictureShownAtEachTick) {
  TempFolder dir;
  const std::string clip = Clip(dir / "clip.avi", 50);  // two seconds
  fileio::MakePath(dir / "frames", nullptr);
  WriteAll(dir / "frames/old.BMP", "stale");  // old frames go, whatever their letter case
  CliRun r = Cli({"record", clip, dir / "frames", "--fps", "10"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "19\n") << "ticks at 100 .. 1900 ms";
  EXPECT_FALSE(Exists(dir / "frames/old.BMP"));
  EXPECT_FALSE(Exists(dir / "frames/20.bmp"));
  for (int n : {1, 4, 10, 19}) {
    const QImage picture(QString::fromStdString(dir / "frames/" + std::to_string(n) + ".bmp"), "bmp");
    ASSERT_FALSE(picture.isNull()) << n;
    EXPECT_EQ(picture.size(), QSize(160, 120));
    EXPECT_EQ(FrameNumberOf(picture), n * 100 * 25 / 1000) << "tick " << n;
  }

  WriteAll(dir / "frames/extra.bmp", "kept");
  r = Cli({"record", clip, dir / "frames", "--fps", "2", "--keep"});
  EXPECT_EQ(r.out, "3\n");
  EXPECT_TRUE(Exists(dir / "frames/extra.bmp"));
  EXPECT_TRUE(Exists(dir / "frames/19.bmp")) << "kept from the earlier recording";

  WriteAll(dir / "x.avi", "not a movie");
  r = Cli({"record", dir / "x.avi", dir / "frames"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("x.avi"), std::string::npos);
  EXPECT_EQ(Cli({"record", clip}).status, 2);
  EXPECT_EQ(Cli({"record", clip, dir / "f", "--fps", "20"}).status, 2);
}

TEST(CliMake, TheWholeRoadInOneCommand) {
  TempFolder dir;
  const std::string clip = Clip(dir / "clip.avi", 50);
  CliRun r = Cli({"make", clip, "--fps", "5", "--size", "160x120"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.LastLine(), dir / "clip/clip.txt");
  r = Cli({"info", dir / "clip/clip.txt"});
  EXPECT_EQ(r.out, "{\"frames\":9,\"width\":160,\"lines_per_frame\":122,\"interval\":200,\"standard\":true}\n");

  // A video without an extension gets a folder of another name than its own.
  ASSERT_TRUE(QFile::copy(QString::fromStdString(clip), QString::fromStdString(dir / "noext")));
  r = Cli({"make", dir / "noext", "--fps", "5"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.LastLine(), dir / "noext_frames/noext.txt");

  r = Cli({"make", clip, dir / "elsewhere", "--form", "html"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.LastLine(), dir / "elsewhere/clip.htm");

  // Bad conversion options are refused before anything is decoded or made.
  r = Cli({"make", clip, dir / "never", "--size", "7x7"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(Exists(dir / "never"));
  EXPECT_EQ(Cli({"make", clip, dir / "never", "--gray", "한"}).status, 2);
  EXPECT_FALSE(Exists(dir / "never"));
}

// The command line's export: the path on success, the sizes it was asked
// for, a refusal to replace without --overwrite, and exit statuses as the
// other commands have them.
TEST(CliExport, WritesTheVideoAndRefusesWhatItCannotDo) {
  TempFolder dir;
  const std::string movie = MakeMovie(dir.Path(), 3);  // 80 x 60 units, interval 20
  const std::string clip = Clip(dir / "clip.avi", 10);

  CliRun r = Cli({"export", movie, dir / "out.mkv", "--font-size", "4", "--colours", "inverted", "--video", clip});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.LastLine(), dir / "out.mkv");
  const std::string first = ReadAll(dir / "out.mkv");
  EXPECT_GT(first.size(), 1000u);

  // The movie under another name, and the sound's video behind a link.
  ASSERT_EQ(::link(movie.c_str(), (dir / "movie.mkv").c_str()), 0);
  ASSERT_EQ(::symlink(clip.c_str(), (dir / "sound.mp4").c_str()), 0);
  const std::string movieBytes = ReadAll(movie), clipBytes = ReadAll(clip);
  struct Refusal {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Refusal refusals[] = {
      {{"export", movie, dir / "movie.mkv", "--overwrite"}, 2, "glyphreel-cli: OUT is the movie being exported\n"},
      {{"export", movie, dir / "sound.mp4", "--video", clip, "--overwrite"}, 2,
       "glyphreel-cli: OUT is the video whose sound is used\n"},
      {{"export", movie, dir / "out.mkv"}, 1, "--overwrite"},
      {{"export", movie, dir / "out.avi"}, 2, ".mp4, .webm, .gif or .mkv"},
      {{"export", movie, dir / "x.mp4", "--font-size", "13"}, 2, "--font-size"},
      {{"export", movie, dir / "x.mp4", "--colours", "pink"}, 2, "normal, inverted or source"},
      {{"export", movie, dir / "x.mp4", "--colours", "source"}, 2, "glyphreel-cli: --colours source needs --video\n"},
      {{"export", movie, dir / "x.mp4", "--start", "100"}, 2, "give --video"},
      {{"export", movie, dir / "x.mp4", "--video", clip, "--start", "-5"}, 2, "--start"},
      {{"export", movie}, 2, "OUT"},
      {{"export", dir / "missing.txt", dir / "x.mp4"}, 1, "cannot read"},
  };
  for (const Refusal& refusal : refusals) {
    r = Cli(refusal.args);
    EXPECT_EQ(r.status, refusal.status) << refusal.args.back();
    EXPECT_NE(r.err.find(refusal.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_EQ(ReadAll(dir / "out.mkv"), first) << "a refused export leaves the old file";
  EXPECT_EQ(ReadAll(movie), movieBytes);
  EXPECT_EQ(ReadAll(clip), clipBytes);
  EXPECT_FALSE(Exists(dir / "x.mp4"));

  // A movie too wide for 3840 pixels at the asked size takes a smaller one and says so.
  std::string wide;
  for (int k = 0; k < 3; ++k) {
    wide += std::string(700, 'M') + "\r\n\x80\x80\r\nW700V0100F0000" + std::to_string(k) + "\r\n";
  }
  WriteAll(dir / "wide.txt", wide);
  r = Cli({"export", dir / "wide.txt", dir / "wide.gif", "--font-size", "12"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("using font size 10"), std::string::npos) << "350 cells: 4200 px at 12, 3850 at 11" << r.err;
  r = Cli({"export", dir / "wide.txt", dir / "wide.gif", "--font-size", "12", "--overwrite"});
  EXPECT_EQ(r.status, 0) << r.err;

  // A sound source with no sound gives a silent export, said so.
  ClipSpec silent;
  silent.format = FormatFor(".avi");
  silent.frameCount = 10;
  silent.withSound = false;
  std::string error;
  ASSERT_TRUE(WriteTestVideo(dir / "silent.avi", silent, &error)) << error;
  r = Cli({"export", movie, dir / "quiet.mp4", "--video", dir / "silent.avi"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("has no sound"), std::string::npos) << r.err;

  // In colour from a video shorter than the movie (one picture, 40 ms; the
  // frames are due at 20, 40 and 60 ms): said, and the export made.
  r = Cli({"export", movie, dir / "colour.mkv", "--video", Clip(dir / "short.avi", 1), "--colours", "source"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("glyphreel-cli: the video ends at 00:00:00.040, before the movie; its last picture's colours "
                       "are used from there\n"),
            std::string::npos)
      << r.err;
}

// The manual page and the bash completion name every command and every
// option the programs' own --help texts give, so neither falls behind.
TEST(CliHelp, ManualPagesAndCompletionKnowEveryCommandAndOption) {
  const std::string manual = ReadAll(std::string(GLYPHREEL_SOURCE_DIR) + "/packaging/glyphreel-cli.1");
  const std::string completion = ReadAll(std::string(GLYPHREEL_SOURCE_DIR) + "/packaging/glyphreel-cli.bash-completion");
  const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
  for (const char* command : {"convert", "info", "frame", "play", "record", "make", "export"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(manual.find(std::string("\\fB") + command + "\\fR"), std::string::npos) << "no entry in the manual page";
    // The completion's option list for this command: its line in the case.
    const std::string caseLabel = std::string(command) + ")";
    size_t at = completion.find(" " + caseLabel);
    if (at == std::string::npos) at = completion.find(" " + caseLabel.substr(0, caseLabel.size() - 1) + " |");
    if (at == std::string::npos) at = completion.find("| " + caseLabel);
    ASSERT_NE(at, std::string::npos) << "no case in the completion";
    const std::string completionLine = completion.substr(at, completion.find('\n', at) - at);
    EXPECT_NE(completion.find(command), std::string::npos);

    const CliRun r = Cli({command, "--help"});
    const QString usage = QString::fromStdString(r.out);
    for (auto it = option.globalMatch(usage); it.hasNext();) {
      const std::string name = it.next().captured().toStdString();
      if (name == "--help") continue;
      std::string escaped;
      for (char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
      EXPECT_NE(manual.find(escaped), std::string::npos) << name << " is not in the manual page";
      EXPECT_NE(completionLine.find(name), std::string::npos) << name << " is not completed";
    }
  }
}

// The window program answers --help and --version without a display, and
// refuses an unknown option with the usage.
TEST(CliHelp, WindowProgramHelpAndVersion) {
  const std::string window = BuiltAppPath() + "glyphreel";
  CliRun r = Cli({"--version"}, window);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Glyphreel 1.0.0.0\n");
  r = Cli({"--help"}, window);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: glyphreel [FILE]"), std::string::npos) << r.out;
  const std::string manual = ReadAll(std::string(GLYPHREEL_SOURCE_DIR) + "/packaging/glyphreel.1");
  EXPECT_NE(manual.find("\\-\\-version"), std::string::npos);
  r = Cli({"--frobnicate"}, window);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown option --frobnicate"), std::string::npos) << r.err;
}

// Installed under a prefix (no dll/ beside the program, share/glyphreel/
// above it), the command line takes its templates from the share folder.
TEST(CliHelp, InstalledProgramTakesTemplatesFromTheShareFolder) {
  TempFolder prefix;
  ASSERT_TRUE(fileio::MakePath(prefix / "bin", nullptr));
  ASSERT_TRUE(fileio::MakePath(prefix / "share/glyphreel", nullptr));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "glyphreel-cli"),
                          QString::fromStdString(prefix / "bin/glyphreel-cli")));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "dll/Web.dll"),
                          QString::fromStdString(prefix / "share/glyphreel/Web.dll")));
  TempFolder frames;
  Record(frames.Path(), 2);
  const CliRun r = Cli({"convert", frames.Path(), "--form", "html"}, prefix / "bin/glyphreel-cli");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Exists(frames / "movie.htm"));
  EXPECT_FALSE(fileio::PathExists(prefix / "bin/dll")) << "nothing written beside the installed program";
}


// The files of a folder tree as (relative name, bytes), sorted by name.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> files;
  QDirIterator it(QString::fromStdString(folder), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const std::string path = it.next().toStdString();
    files[path.substr(folder.size())] = ReadAll(path);
  }
  return files;
}

// Names of the files that differ between two trees (or are in one only).
std::string Differences(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
  std::string names;
  for (const auto& [name, bytes] : a) {
    const auto other = b.find(name);
    if (other == b.end() || other->second != bytes) names += " " + name;
  }
  for (const auto& [name, bytes] : b)
    if (!a.count(name)) names += " " + name;
  return names;
}

// Streaming make writes what record then convert write, for every form, on
// clips that make decoding hard: B-frames (pictures decoded out of order),
// irregular picture times, a recording rate that does not divide the video's
// rate, and a picture turned by its display matrix.
TEST(CliMake, StreamsTheSameBytesAsRecordThenConvert) {
  TempFolder dir;
  struct ClipCase {
    const char* name;
    const char* fps;
    ClipSpec clipSpec;
  };
  std::vector<ClipCase> clips;
  ClipSpec bFrames;
  bFrames.format = FormatFor(".mov");  // mpeg4: in every libavcodec
  bFrames.bFrames = 2;
  bFrames.frameCount = 40;
  clips.push_back({"bframes.mov", "10", bFrames});
  if (EncoderAvailable("libx264")) {
    ClipSpec h264 = bFrames;
    h264.format = FormatFor(".mp4");
    h264.fastPreset = false;
    h264.busyPicture = true;
    clips.push_back({"bframes.mp4", "15", h264});
  }
  ClipSpec variable;
  variable.format = FormatFor(".mov");
  variable.variableRate = true;
  variable.frameCount = 40;
  clips.push_back({"variable.mov", "10", variable});
  ClipSpec odd;
  odd.format = FormatFor(".avi");
  odd.frameCount = 40;
  clips.push_back({"odd.avi", "7", odd});  // 143 ms ticks over 40 ms pictures
  ClipSpec turned;
  turned.format = FormatFor(".mov");
  turned.frameCount = 20;
  turned.rotation = 90;
  clips.push_back({"turned.mov", "15", turned});

  for (ClipCase& c : clips) {
    SCOPED_TRACE(c.name);
    c.clipSpec.withSound = false;
    std::string error;
    const std::string clip = dir / c.name;
    ASSERT_TRUE(WriteTestVideo(clip, c.clipSpec, &error)) << error;
    const std::string recorded = dir / (std::string(c.name) + "-bmp/");
    CliRun r = Cli({"record", clip, recorded, "--fps", c.fps});
    ASSERT_EQ(r.status, 0) << r.err;
    const int frames = std::stoi(r.out);
    ASSERT_GT(frames, 3);
    const auto bitmaps = Tree(recorded);

    // The fine picture takes whole pictures from both sources: the movie streamed, and frames.
    const std::pair<const char*, const char*> runs[] = {{"text", "classic"}, {"html", "classic"},
                                                        {"xls", "classic"},  {"frames", "classic"},
                                                        {"text", "fine"},    {"frames", "fine"}};
    for (const auto& [form, picture] : runs) {
      SCOPED_TRACE(std::string(form) + " " + picture);
      const std::string run = std::string(c.name) + "-" + form + "-" + picture;
      const std::string byRoad = dir / (run + "-road/");
      const std::string byStream = dir / (run + "-make/");
      fileio::MakePath(byRoad, nullptr);
      for (const auto& [name, bytes] : bitmaps) WriteAll(byRoad + name, bytes);
      r = Cli({"convert", byRoad, "--form", form, "--fps", c.fps, "--size", "80x60", "--name", c.name, "--picture",
               picture});
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string roadOutput = r.LastLine();
      for (const auto& [name, bytes] : bitmaps) fileio::RemoveFile(byRoad + name, nullptr);
      r = Cli({"make", clip, byStream, "--form", form, "--fps", c.fps, "--size", "80x60", "--picture", picture});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.LastLine().substr(byStream.size()), roadOutput.substr(byRoad.size()));
      const auto road = Tree(byRoad), stream = Tree(byStream);
      EXPECT_FALSE(road.empty());
      EXPECT_EQ(Differences(road, stream), "") << "files that differ";
    }

    // --keep-frames writes the recorder's bitmaps besides.
    const std::string kept = dir / (std::string(c.name) + "-kept/");
    r = Cli({"make", clip, kept, "--fps", c.fps, "--keep-frames"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto keptFiles = Tree(kept);
    for (auto it = keptFiles.begin(); it != keptFiles.end();) {
      it = it->first.ends_with(".bmp") ? std::next(it) : keptFiles.erase(it);
    }
    EXPECT_EQ(Differences(bitmaps, keptFiles), "");
  }
}

}  // namespace
