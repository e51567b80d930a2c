// The four output forms on disk: names, bytes, progress, and what survives
// a failing disk.
#include "conversion/ConversionOutput.h"

#include "ConversionTestSupport.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

using namespace conversion_test;
using namespace testing_support;

// A record folder with K bitmaps of gray 0, 32, 64, ... (units aa, bb, cc, ...)
// and a program folder with its own dll/ support files.
class Output : public ::testing::Test {
 protected:
  void Record(int frames) {
    for (int n = 1; n <= frames; ++n) WriteBmp(record / (std::to_string(n) + ".bmp"), Gray(6, 4, 32 * ((n - 1) % 8)));
  }
  // The frame of bitmap n at 2 x 2 cells.
  static std::string FrameOf(int n, int interval = 100) {
    const std::string unit = kPairTable.substr(2 * ((n - 1) % 8), 2);
    return Frame({unit + unit, unit + unit}, 2, interval, n - 1);
  }
  static std::string Movie(int frames) {
    std::string s;
    for (int n = 1; n <= frames; ++n) s += FrameOf(n);
    return s;
  }
  ConversionResult Run(OutputForm form, const std::string& video = "clip.avi", bool overwrite = false) {
    ConversionRequest request{form, record.Path(), video, app / "dll/", overwrite};
    return RunConversion(request, engine);
  }
  std::vector<std::string> Files(const std::string& folder) const {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name))
      names.push_back(n.toStdString());
    return names;
  }
  void EmptyRecordFolder() {
    for (const QString& n : QDir(QString::fromStdString(record.Path())).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
      fileio::RemoveTree(record / n.toStdString(), nullptr);
  }
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(record.Path())).entryList(QDir::AllEntries | QDir::Hidden))
      if (n.startsWith(QLatin1Char('.')) && n != QLatin1String(".") && n != QLatin1String("..")) names.push_back(n.toStdString());
    return names;
  }
  std::vector<std::string> NonBitmaps() const {
    std::vector<std::string> names;
    for (const std::string& n : Files(record.Path()))
      if (n.size() < 4 || n.substr(n.size() - 4) != ".bmp") names.push_back(n);
    return names;
  }
  void SetUp() override {
    conversion_test::Configure(engine, 2, 2, 100);
    fileio::MakePath(app / "dll", nullptr);
    WriteAll(app / "dll/Web.dll", kTemplate);
  }

  static constexpr const char* kTemplate = "l1\nl2\r\nl3\rl4\nl5\nl6\nl7\nMAX\nDELAY\nl10\n<BODY>";
  static std::string Head(int lastId, int delay) {
    return "l1\r\nl2\r\nl3\r\nl4\r\nl5\r\nl6\r\nl7\r\nvar max_pics=" + std::to_string(lastId) + ";\r\nvar delay=" +
           std::to_string(delay) + ";\r\nl10\r\n<BODY>\r\n";
  }
  static std::string Block(int n) {
    const std::string frame = FrameOf(n);
    return "<div style=\"position:absolute; top: 22px\" id=text" + std::to_string(n - 1) + " ><pre>" + frame +
           "</pre></div>\r\n";
  }

  TempFolder record, app;
  TConverter engine;
};

TEST_F(Output, TextMovieIsTheFramesBackToBackUnderAFreeName) {
  Record(3);
  ConversionResult r = Run(OutputForm::Text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "clip.txt");
  EXPECT_EQ(r.textFileName, r.outputPath);
  EXPECT_EQ(r.framesConverted, 3);
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
  EXPECT_EQ(NonBitmaps(), std::vector<std::string>{"clip.txt"}) << "the frame files are gone";

  // Each further run takes the next free name; the earlier movies stay.
  EXPECT_EQ(Run(OutputForm::Text).outputPath, record / "clip_01.txt");
  EXPECT_EQ(Run(OutputForm::Text).outputPath, record / "clip_02.txt");
  EXPECT_EQ(ReadAll(record / "clip_02.txt"), Movie(3));
  EXPECT_EQ(ReadAll(record / "clip.txt"), Movie(3));

  // With overwrite the name stays.
  EXPECT_EQ(Run(OutputForm::Text, "clip.avi", true).outputPath, record / "clip.txt");
  EXPECT_EQ(Files(record.Path()).size(), 6u);
}

TEST_F(Output, TheUsersOwnFilesNamedLikeFrameFilesAreNeverTouched) {
  Record(3);
  WriteAll(record / "2.txt", "the user's notes");
  WriteAll(record / "0.htm", "the user's page");
  WriteAll(record / "4.htm", "another page");
  ConversionResult r = Run(OutputForm::Text, "1.avi");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "1.txt") << "frame files no longer share the folder";
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
  r = Run(OutputForm::Text, "2.avi");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "2_01.txt");
  r = Run(OutputForm::Html, "0.avi");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "0_01.htm");
  EXPECT_EQ(ReadAll(record / "2.txt"), "the user's notes");
  EXPECT_EQ(ReadAll(record / "0.htm"), "the user's page");
  EXPECT_EQ(ReadAll(record / "4.htm"), "another page");
  // The output the run names is the one file it may replace.
  r = Run(OutputForm::Text, "2.avi", true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadAll(record / "2.txt"), Movie(3));
  EXPECT_EQ(NonBitmaps(), (std::vector<std::string>{"0.htm", "0_01.htm", "1.txt", "2.txt", "2_01.txt", "4.htm"}));
}

TEST_F(Output, NoBitmapsGiveAnEmptyMovieAndAnEmptyPage) {
  ConversionResult r = Run(OutputForm::Text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.framesConverted, 0);
  EXPECT_EQ(ReadAll(r.outputPath), "");
  r = Run(OutputForm::Html);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadAll(r.outputPath), Head(-1, 100) + "</BODY></HTML>\r\n");
}

TEST_F(Output, PageIsHeadBlocksAndTail) {
  Record(2);
  engine.Interval = 250;
  ConversionResult r = Run(OutputForm::Html);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "clip.htm");
  EXPECT_EQ(r.textFileName, "");
  const std::string blocks = [] {
    std::string s;
    for (int n = 1; n <= 2; ++n) {
      std::string b = Block(n);
      b.replace(b.find("V0100"), 5, "V0250");
      s += b;
    }
    return s;
  }();
  const std::string expected = Head(1, 250) + blocks + "</BODY></HTML>\r\n";
  const std::string actual = ReadAll(r.outputPath);
  EXPECT_EQ(actual, expected) << FirstDifference(expected, actual);
  EXPECT_EQ(NonBitmaps(), std::vector<std::string>{"clip.htm"});
  EXPECT_EQ(Run(OutputForm::Html).outputPath, record / "clip_01.htm");
}

TEST_F(Output, PageEscapesRowsButNotTheMarkerAndInfoLines) {
  WriteBmp(record / "1.bmp", MakeImage(2, 1, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; }));
  conversion_test::Configure(engine, 2, 1, 100, "<&>\"");  // two units: "<&" and ">\""
  ConversionResult r = Run(OutputForm::Html);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string page = ReadAll(r.outputPath);
  EXPECT_NE(page.find("id=text0 ><pre>&lt;&amp;&gt;\"\r\n\x80\x80\r\nW002V0100F00000\r\n</pre></div>\r\n"),
            std::string::npos)
      << page;
}

TEST_F(Output, PageTemplateProblemsAreReportedBeforeAnythingIsWritten) {
  Record(2);
  const std::pair<const char*, const char*> templates[] = {{"short", "1\n2\n3\n4\n5\n6\n7\n8\n"}, {"missing", nullptr}};
  for (const auto& [what, text] : templates) {
    if (text) WriteAll(app / "dll/Web.dll", text); else fileio::RemoveFile(app / "dll/Web.dll", nullptr);
    ConversionResult r = Run(OutputForm::Html);
    EXPECT_FALSE(r.ok) << what;
    EXPECT_NE(r.error.find(app / "dll/Web.dll"), std::string::npos) << r.error;
    EXPECT_EQ(NonBitmaps(), std::vector<std::string>{}) << what;
  }
}

TEST_F(Output, ExcelWritesDataFileAndCopiesTheWorkbook) {
  Record(3);
  WriteAll(record / "data.xxx", "an older data file, longer than the new one would be? no, but replaced anyway");
  // Without a template the data file is written and the copy is reported missing.
  ConversionResult r = Run(OutputForm::Excel);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.textFileName, record / "data.xxx");
  EXPECT_EQ(r.outputPath, record / "clip.xls");
  EXPECT_FALSE(r.workbookCopied);
  EXPECT_EQ(ReadAll(record / "data.xxx"), Movie(3));
  EXPECT_FALSE(Exists(record / "clip.xls"));

  WriteAll(app / "dll/xls.dll", std::string("workbook\0bytes", 14));
  WriteAll(record / "clip.xls", "an older workbook");
  // The window replaces the workbook (overwrite); otherwise it takes a free name.
  r = Run(OutputForm::Excel, "clip.avi", true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.workbookCopied);
  EXPECT_EQ(ReadAll(record / "clip.xls"), std::string("workbook\0bytes", 14));
  EXPECT_EQ(NonBitmaps(), (std::vector<std::string>{"clip.xls", "data.xxx"}));
  r = Run(OutputForm::Excel);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "clip_01.xls");
  EXPECT_EQ(NonBitmaps(), (std::vector<std::string>{"clip.xls", "clip_01.xls", "data.xxx"}));
}

TEST_F(Output, FramesGoIntoAFolderOfTheirOwn) {
  Record(3);
  ConversionResult r = Run(OutputForm::Frames, "sub/clip.avi");  // the stem's missing parents are made too
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "sub/clip/");
  EXPECT_EQ(r.framesConverted, 3);
  EXPECT_EQ(Files(r.outputPath), (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadAll(r.outputPath + std::to_string(n) + ".txt"), FrameOf(n));

  WriteAll(record / "blocked", "a file where the folder should go");
  r = Run(OutputForm::Frames, "blocked.avi");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.folderMissing);
  EXPECT_EQ(r.framesConverted, 0);
  EXPECT_EQ(r.outputPath, record / "blocked");
}

TEST_F(Output, ProgressRunsThroughConversionThenMerge) {
  Record(3);
  std::vector<std::tuple<bool, int, int>> seen;  // Merging, FrameIndex, ConvertedCount
  engine.SetOnProgress([&](TConverter& e) { seen.emplace_back(e.Merging, e.FrameIndex, e.ConvertedCount); });
  ASSERT_TRUE(Run(OutputForm::Text).ok);
  const std::vector<std::tuple<bool, int, int>> text = {{false, 0, 0}, {false, 1, 1}, {false, 2, 2},
                                                        {true, 1, 3},  {true, 2, 3},  {true, 3, 3}};
  EXPECT_EQ(seen, text);
  EXPECT_FALSE(engine.Merging);

  seen.clear();
  ASSERT_TRUE(Run(OutputForm::Html).ok);
  ASSERT_EQ(seen.size(), 3u + 5u);  // three frames, then parts 0 .. 4
  EXPECT_EQ(seen[3], std::make_tuple(true, 0, 3));
  EXPECT_EQ(seen.back(), std::make_tuple(true, 4, 3));
}

// The bar the window and the command line draw from the counters only moves
// forward and never passes its end, through the merge (the page merges a head
// and a tail beside the frames); a pass whose frame count is known beforehand
// counts its frames against that count.
TEST_F(Output, ProgressShareOnlyMovesForward) {
  Record(5);
  for (const OutputForm form : {OutputForm::Text, OutputForm::Html, OutputForm::Frames}) {
    std::vector<ProgressShare> shares, known;
    engine.SetOnProgress([&](TConverter& e) {
      shares.push_back(e.Progress());
      if (!e.Merging) known.push_back(e.Progress(5));
    });
    ASSERT_TRUE(Run(form).ok);
    ASSERT_FALSE(shares.empty());
    for (size_t i = 0; i < shares.size(); ++i) {
      const ProgressShare s = shares[i];
      SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(form) << ", step " << i);
      ASSERT_GT(s.total, 0);
      EXPECT_GE(s.done, 0);
      EXPECT_LE(s.done, s.total);
      if (i > 0) {
        EXPECT_GE(int64_t{s.done} * shares[i - 1].total, int64_t{shares[i - 1].done} * s.total);
      }
    }
    ASSERT_EQ(known.size(), 5u);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(known[static_cast<size_t>(i)].done, i);
      EXPECT_EQ(known[static_cast<size_t>(i)].total, 5);
    }
  }
}

TEST_F(Output, RefusedGrayTableTouchesNothing) {
  Record(2);
  for (const std::string& table : {std::string(), std::string(1024, 'x')}) {
    engine.GrayTable = table;
    engine.GrayLevels = CountGrayUnits(table);
    for (const OutputForm form : {OutputForm::Text, OutputForm::Html, OutputForm::Excel, OutputForm::Frames}) {
      ConversionResult r = Run(form);
      EXPECT_FALSE(r.ok);
      EXPECT_FALSE(r.error.empty());
      EXPECT_EQ(NonBitmaps(), std::vector<std::string>{}) << "form " << static_cast<int>(form);
      EXPECT_EQ(Files(record.Path()).size(), 2u);
    }
  }
}

TEST_F(Output, FailingDiskLosesNothing) {
  Record(4);
  const std::string older = "an earlier movie under the wanted name";
  WriteAll(record / "clip.txt", older);

  struct Case {
    const char* what;
    fileio::Fault fault;
    OutputForm form;
  } cases[] = {
      {"third frame file cannot be created", {fileio::FaultPoint::Open, "/3.txt"}, OutputForm::Text},
      {"disk full during the merge", {fileio::FaultPoint::AfterBytes, "clip.txt", 100}, OutputForm::Text},
      {"the movie cannot replace its name", {fileio::FaultPoint::Rename, ""}, OutputForm::Excel},
      {"the page's tail cannot be written", {fileio::FaultPoint::Open, "/5.htm"}, OutputForm::Html},
      {"the frames folder cannot be moved in", {fileio::FaultPoint::Rename, ""}, OutputForm::Frames},
  };
  fileio::MakePath(record / "clip", nullptr);
  WriteAll(record / "clip/1.txt", "an older frame");
  for (const Case& c : cases) {
    ConversionResult r;
    {
      fileio::ScopedFault fault(c.fault);
      r = Run(c.form, "clip.avi", true);
    }
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.error.find(record.Path()), std::string::npos) << c.what << ": " << r.error;
    // The run's frame files went with its private folder; the user's files stay.
    EXPECT_EQ(NonBitmaps(), std::vector<std::string>{"clip.txt"}) << c.what;
    EXPECT_EQ(Files(record / "clip"), std::vector<std::string>{"1.txt"}) << c.what;
    EXPECT_EQ(ReadAll(record / "clip/1.txt"), "an older frame") << c.what;
    EXPECT_EQ(ReadAll(record / "clip.txt"), older) << c.what;
    EXPECT_EQ(Files(record.Path()).size(), 1u + 4u) << c.what << ": bitmaps untouched";
    EXPECT_EQ(Hidden(), std::vector<std::string>{}) << c.what;
    // Once the disk works again, a second run writes the whole output.
    ConversionResult again = Run(c.form, "clip.avi", true);
    ASSERT_TRUE(again.ok) << again.error;
    if (c.form == OutputForm::Frames) {
      EXPECT_EQ(Files(record / "clip"), (std::vector<std::string>{"1.txt", "2.txt", "3.txt", "4.txt"}));
      fileio::RemoveTree(record / "clip", nullptr);
      fileio::MakePath(record / "clip", nullptr);
      WriteAll(record / "clip/1.txt", "an older frame");
    } else if (c.form != OutputForm::Html) {
      EXPECT_EQ(ReadAll(again.textFileName), Movie(4)) << c.what;
    }
    for (const std::string& name : NonBitmaps())
      if (name != "clip.txt" && name != "clip.htm" && name != "data.xxx") {
        ADD_FAILURE() << "left over: " << name;
      }
    fileio::RemoveFile(record / "clip.htm", nullptr);
    fileio::RemoveFile(record / "data.xxx", nullptr);
    WriteAll(record / "clip.txt", older);
  }
}

TEST_F(Output, OnlyACompleteRunReplacesAnOutput) {
  struct Case {
    const char* what;
    int bitmaps;      // good bitmaps 1..n
    bool badSecond;   // 2.bmp is damaged
    OutputForm form;
    std::string kept;     // the output that must stay as it was
    std::string partial;  // where the frames converted go ("" for nowhere)
    int partialFrames;
  } cases[] = {
      {"movie, a bad 2.bmp", 3, true, OutputForm::Text, "clip.txt", "clip_01.txt", 1},
      {"movie, no bitmaps", 0, false, OutputForm::Text, "clip.txt", "clip_01.txt", 0},
      {"workbook data, a bad 2.bmp", 3, true, OutputForm::Excel, "data.xxx", "", 0},
      {"workbook data, no bitmaps", 0, false, OutputForm::Excel, "data.xxx", "", 0},
      {"frames folder, a bad 2.bmp", 3, true, OutputForm::Frames, "clip/1.txt", "", 0},
  };
  for (const Case& c : cases) {
    EmptyRecordFolder();
    Record(c.bitmaps);
    if (c.badSecond) WriteAll(record / "2.bmp", "BM not a bitmap");
    fileio::MakePath(record / "clip", nullptr);
    WriteAll(record / c.kept, "an older output");
    const ConversionResult r = Run(c.form, "clip.avi", true);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.error.find(record / c.kept.substr(0, c.kept.find('/'))), std::string::npos) << c.what << ": " << r.error;
    EXPECT_EQ(ReadAll(record / c.kept), "an older output") << c.what;
    if (!c.partial.empty()) {
      EXPECT_EQ(r.outputPath, record / c.partial) << c.what;
      EXPECT_EQ(ReadAll(record / c.partial), Movie(c.partialFrames)) << c.what;
    }
    EXPECT_EQ(NonBitmaps().size(), (c.kept.find('/') == std::string::npos ? 1u : 0u) + (c.partial.empty() ? 0u : 1u))
        << c.what;
    EXPECT_EQ(Hidden(), std::vector<std::string>{}) << c.what;
  }
}

TEST_F(Output, AFrameFileChangedDuringTheMergeIsAnError) {
  Record(3);
  WriteAll(record / "clip.txt", "an older movie");
  engine.SetOnProgress([&](TConverter& e) {
    if (!e.Merging || e.FrameIndex != 1) return;
    // Someone empties the next frame file under the merge.
    for (const std::string& name : Hidden()) WriteAll(record / (name + "/2.txt"), "");
  });
  const ConversionResult r = Run(OutputForm::Text, "clip.avi", true);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("2.txt changed during the merge"), std::string::npos) << r.error;
  EXPECT_EQ(ReadAll(record / "clip.txt"), "an older movie");
  EXPECT_EQ(Hidden(), std::vector<std::string>{});
}

TEST_F(Output, NumberedEntriesThatCannotBeReadStopTheRun) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> make;  // makes the entry 3.bmp
  } cases[] = {
      {"a folder", [](const std::string& p) { fileio::MakePath(p, nullptr); }},
      {"a dangling link", [](const std::string& p) { ASSERT_EQ(::symlink("nowhere.bmp", p.c_str()), 0); }},
      {"a link loop", [](const std::string& p) { ASSERT_EQ(::symlink("3.bmp", p.c_str()), 0); }},
  };
  for (const Case& c : cases) {
    EmptyRecordFolder();
    Record(5);
    fileio::RemoveFile(record / "3.bmp", nullptr);
    c.make(record / "3.bmp");
    std::vector<std::string> reported;
    engine.OnBadBitmap = [&](const std::string& path) { reported.push_back(path); };
    const ConversionResult r = Run(OutputForm::Text);
    EXPECT_EQ(r.framesConverted, 2) << c.what;
    EXPECT_EQ(r.badBitmapPath, record / "3.bmp") << c.what;
    EXPECT_EQ(reported, std::vector<std::string>{record / "3.bmp"}) << c.what;
  }
}

TEST_F(Output, BitmapNamesInAnyLetterCase) {
  // 1.BMP, 2.Bmp and 3.bmp are one movie; of 1.bmp and 1.BMP the lower-case one counts.
  WriteBmp(record / "1.BMP", Gray(6, 4, 255));
  WriteBmp(record / "1.bmp", Gray(6, 4, 0));
  WriteBmp(record / "2.Bmp", Gray(6, 4, 32));
  WriteBmp(record / "3.bmp", Gray(6, 4, 64));
  const ConversionResult r = Run(OutputForm::Text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
}

TEST_F(Output, AShorterRunReplacesTheWholeFramesFolder) {
  fileio::MakePath(record / "clip", nullptr);
  for (int n = 1; n <= 6; ++n) WriteAll(record / ("clip/" + std::to_string(n) + ".txt"), "old");
  Record(3);
  const ConversionResult r = Run(OutputForm::Frames);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Files(record / "clip"), (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
  EXPECT_EQ(ReadAll(record / "clip/3.txt"), FrameOf(3));
  EXPECT_EQ(Hidden(), std::vector<std::string>{});
}

TEST_F(Output, OutputsGetThePlainCreateMode) {
  Record(2);
  const mode_t old = ::umask(0);
  for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{002}}) {
    ::umask(mask);
    const ConversionResult text = Run(OutputForm::Text), page = Run(OutputForm::Html), data = Run(OutputForm::Excel), frames = Run(OutputForm::Frames);
    ASSERT_TRUE(text.ok && page.ok && data.ok && frames.ok);
    for (const std::string& path : {text.outputPath, page.outputPath, data.textFileName, frames.outputPath + "1.txt"}) {
      struct stat st {};
      ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << path << " under umask " << std::oct << mask;
    }
    struct stat st {};
    ASSERT_EQ(::stat(frames.outputPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask) << "the frames folder";
    fileio::RemoveFile(record / "data.xxx", nullptr);
  }
  ::umask(old);
}

}  // namespace
