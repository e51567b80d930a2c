// The four output forms on disk: names, bytes, progress, and what survives
// a failing disk.
#include "conversion/ConversionOutput.h"

#include "ConversionTestSupport.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"

#include <QDir>
#include <gtest/gtest.h>

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
  ConversionResult Run(int form, const std::string& video = "clip.avi", bool overwrite = false) {
    ConversionRequest request{form, record.Path(), video, app / "dll/", overwrite};
    return RunConversion(request, engine);
  }
  std::vector<std::string> Files(const std::string& folder) const {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name))
      names.push_back(n.toStdString());
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
  ConversionResult r = Run(0);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "clip.txt");
  EXPECT_EQ(r.textFileName, r.outputPath);
  EXPECT_EQ(r.framesConverted, 3);
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
  EXPECT_EQ(NonBitmaps(), std::vector<std::string>{"clip.txt"}) << "the frame files are gone";

  // Each further run takes the next free name; the earlier movies stay.
  EXPECT_EQ(Run(0).outputPath, record / "clip_01.txt");
  EXPECT_EQ(Run(0).outputPath, record / "clip_02.txt");
  EXPECT_EQ(ReadAll(record / "clip_02.txt"), Movie(3));
  EXPECT_EQ(ReadAll(record / "clip.txt"), Movie(3));

  // With overwrite the name stays.
  EXPECT_EQ(Run(0, "clip.avi", true).outputPath, record / "clip.txt");
  EXPECT_EQ(Files(record.Path()).size(), 6u);
}

TEST_F(Output, AMovieNamedLikeAFrameFile) {
  Record(3);
  // Without overwrite the name moves on, since 1.txt exists when the name is chosen.
  ConversionResult r = Run(0, "1.avi");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "1_01.txt");
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
  // With overwrite the movie takes the frame file's name and is never cut short.
  r = Run(0, "2.avi", true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "2.txt");
  EXPECT_EQ(ReadAll(r.outputPath), Movie(3));
  EXPECT_FALSE(Exists(record / "1.txt"));
  EXPECT_FALSE(Exists(record / "3.txt"));
}

TEST_F(Output, NoBitmapsGiveAnEmptyMovieAndAnEmptyPage) {
  ConversionResult r = Run(0);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.framesConverted, 0);
  EXPECT_EQ(ReadAll(r.outputPath), "");
  r = Run(1);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadAll(r.outputPath), Head(-1, 100) + "</BODY></HTML>\r\n");
}

TEST_F(Output, PageIsHeadBlocksAndTail) {
  Record(2);
  engine.Interval = 250;
  ConversionResult r = Run(1);
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
  EXPECT_EQ(Run(1).outputPath, record / "clip_01.htm");
}

TEST_F(Output, PageEscapesRowsButNotTheMarkerAndInfoLines) {
  WriteBmp(record / "1.bmp", MakeImage(2, 1, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; }));
  conversion_test::Configure(engine, 2, 1, 100, "<&>\"");  // two units: "<&" and ">\""
  ConversionResult r = Run(1);
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
    ConversionResult r = Run(1);
    EXPECT_FALSE(r.ok) << what;
    EXPECT_NE(r.error.find(app / "dll/Web.dll"), std::string::npos) << r.error;
    EXPECT_EQ(NonBitmaps(), std::vector<std::string>{}) << what;
  }
}

TEST_F(Output, ExcelWritesDataFileAndCopiesTheWorkbook) {
  Record(3);
  WriteAll(record / "data.xxx", "an older data file, longer than the new one would be? no, but replaced anyway");
  // Without a template the data file is written and the copy is reported missing.
  ConversionResult r = Run(2);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.textFileName, record / "data.xxx");
  EXPECT_EQ(r.outputPath, record / "clip.xls");
  EXPECT_FALSE(r.workbookCopied);
  EXPECT_EQ(ReadAll(record / "data.xxx"), Movie(3));
  EXPECT_FALSE(Exists(record / "clip.xls"));

  WriteAll(app / "dll/xls.dll", std::string("workbook\0bytes", 14));
  WriteAll(record / "clip.xls", "an older workbook");
  r = Run(2);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.workbookCopied);
  EXPECT_EQ(ReadAll(record / "clip.xls"), std::string("workbook\0bytes", 14));
  EXPECT_EQ(NonBitmaps(), (std::vector<std::string>{"clip.xls", "data.xxx"}));
}

TEST_F(Output, FramesGoIntoAFolderOfTheirOwn) {
  Record(3);
  ConversionResult r = Run(3, "sub/clip.avi");  // the stem's missing parents are made too
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outputPath, record / "sub/clip/");
  EXPECT_EQ(r.framesConverted, 3);
  EXPECT_EQ(Files(r.outputPath), (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadAll(r.outputPath + std::to_string(n) + ".txt"), FrameOf(n));

  WriteAll(record / "blocked", "a file where the folder should go");
  r = Run(3, "blocked.avi");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.folderMissing);
  EXPECT_EQ(r.framesConverted, 0);
  EXPECT_EQ(r.outputPath, record / "blocked");
  EXPECT_FALSE(Run(7).ok) << "an unknown form writes nothing";
}

TEST_F(Output, ProgressRunsThroughConversionThenMerge) {
  Record(3);
  std::vector<std::tuple<bool, int, int>> seen;  // Merging, FrameIndex, ConvertedCount
  engine.SetOnProgress([&](TConverter& e) { seen.emplace_back(e.Merging, e.FrameIndex, e.ConvertedCount); });
  ASSERT_TRUE(Run(0).ok);
  const std::vector<std::tuple<bool, int, int>> text = {{false, 0, 0}, {false, 1, 1}, {false, 2, 2},
                                                        {true, 1, 3},  {true, 2, 3},  {true, 3, 3}};
  EXPECT_EQ(seen, text);
  EXPECT_FALSE(engine.Merging);

  seen.clear();
  ASSERT_TRUE(Run(1).ok);
  ASSERT_EQ(seen.size(), 3u + 5u);  // three frames, then parts 0 .. 4
  EXPECT_EQ(seen[3], std::make_tuple(true, 0, 3));
  EXPECT_EQ(seen.back(), std::make_tuple(true, 4, 3));
}

TEST_F(Output, RefusedGrayTableTouchesNothing) {
  Record(2);
  for (const std::string& table : {std::string(), std::string(1024, 'x')}) {
    engine.GrayTable = table;
    engine.GrayLevels = CountGrayUnits(table);
    for (int form = 0; form <= 3; ++form) {
      ConversionResult r = Run(form);
      EXPECT_FALSE(r.ok);
      EXPECT_FALSE(r.error.empty());
      EXPECT_EQ(NonBitmaps(), std::vector<std::string>{}) << "form " << form;
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
    int form;
    std::vector<std::string> partsLeft;
  } cases[] = {
      {"third frame file cannot be created", {fileio::FaultPoint::Open, "/3.txt"}, 0, {"1.txt", "2.txt"}},
      {"disk full during the merge", {fileio::FaultPoint::AfterBytes, "clip.txt", 100}, 0,
       {"1.txt", "2.txt", "3.txt", "4.txt"}},
      {"the movie cannot replace its name", {fileio::FaultPoint::Rename, ""}, 2,
       {"1.txt", "2.txt", "3.txt", "4.txt"}},
      {"the page's tail cannot be written", {fileio::FaultPoint::Open, "/5.htm"}, 1,
       {"0.htm", "1.htm", "2.htm", "3.htm", "4.htm"}},
  };
  for (const Case& c : cases) {
    ConversionResult r;
    {
      fileio::ScopedFault fault(c.fault);
      r = Run(c.form, "clip.avi", true);
    }
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.error.find(record.Path()), std::string::npos) << c.what << ": " << r.error;
    std::vector<std::string> expected = c.partsLeft;
    expected.push_back("clip.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NonBitmaps(), expected) << c.what;
    EXPECT_EQ(ReadAll(record / "clip.txt"), older) << c.what;
    EXPECT_EQ(Files(record.Path()).size(), expected.size() + 4) << c.what << ": bitmaps untouched";
    // Once the disk works again, a second run writes the whole output.
    ConversionResult again = Run(c.form, "clip.avi", true);
    ASSERT_TRUE(again.ok) << again.error;
    if (c.form != 1) {
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

}  // namespace
