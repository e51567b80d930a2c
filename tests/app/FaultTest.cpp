// Failing disks and files that change under the program: nothing is lost,
// the user is told once, and the window goes on working.
#include "WindowFixture.h"

#include "playback/FrameLabel.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <unistd.h>

namespace {

using namespace testing_support;

class Faults : public WindowTest {
 protected:
  std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(folder)).entryList(QDir::Files, QDir::Name))
      names.push_back(n.toStdString());
    return names;
  }
};

TEST_F(Faults, EveryOutputFormLeavesTheFolderAsItWasWhenTheDiskFails) {
  TForm1& f = Start(nullptr);
  Parts(f).RecordFolder = app / "output/";
  Parts(f).VideoFileName = "clip.avi";
  for (int n = 1; n <= 3; ++n) WriteBmp(Parts(f).RecordFolder + std::to_string(n) + ".bmp", MakeImage(8, 6, [n](int, int) { return 0x202020u * n; }));
  ASSERT_TRUE(fileio::CopyFile(BuiltAppPath() + "dll/xls.dll", app / "dll/xls.dll", nullptr));

  struct Case {
    int form;
    fileio::Fault fault;
    std::vector<std::string> left;  // besides the bitmaps
  } cases[] = {
      {0, {fileio::FaultPoint::Open, "/2.txt"}, {}},  // frame-file step
      {0, {fileio::FaultPoint::AfterBytes, "clip.txt", 50}, {}},  // merge
      {1, {fileio::FaultPoint::Open, "/3.htm"}, {}},
      {1, {fileio::FaultPoint::Rename, "clip.htm"}, {}},
      {2, {fileio::FaultPoint::AfterBytes, "data.xxx", 10}, {}},
      {2, {fileio::FaultPoint::Open, "clip.xls"}, {"data.xxx"}},  // the workbook copy
      {3, {fileio::FaultPoint::Open, "/3.txt"}, {}},
  };
  for (const Case& c : cases) {
    Parts(f).SetOutputType(OutputFormAt(c.form));
    dialogs.shown.clear();
    {
      fileio::ScopedFault fault(c.fault);
      f.TBIConvertClick();
    }
    ASSERT_FALSE(dialogs.shown.empty()) << "form " << c.form;
    EXPECT_TRUE(dialogs.shown.back().startsWith(QStringLiteral("转换失败")))
        << "form " << c.form << ": " << dialogs.shown.back().toStdString();
    EXPECT_TRUE(dialogs.shown.back().contains(QString::fromStdString(app / "output/")));
    std::vector<std::string> expected = {"1.bmp", "2.bmp", "3.bmp"};
    expected.insert(expected.end(), c.left.begin(), c.left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(app / "output"), expected) << "form " << c.form << ": nothing more, nothing less on disk";
    EXPECT_EQ(QDir(QString::fromStdString(app / "output")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              static_cast<qsizetype>(expected.size()))
        << "form " << c.form << ": no private folder or temporary file left";
    EXPECT_TRUE(f.isEnabled());

    // With the disk working again, the same run writes the whole output.
    dialogs.shown.clear();
    f.TBIConvertClick();
    for (const char* part : {"1.txt", "2.txt", "0.htm", "4.htm"}) {
      EXPECT_FALSE(Exists(app / "output/" + std::string(part))) << "form " << c.form << ": " << part << " merged and gone";
    }
    if (c.form == 3) {
      EXPECT_EQ(Names(app / "output/clip"), (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
    }
    if (c.form == 0) {
      EXPECT_EQ(Parts(f).TextPic->FrameTotal(), 3);
    }
    for (const std::string& name : Names(app / "output"))
      if (name.find(".bmp") == std::string::npos) fileio::RemoveFile(app / "output/" + name, nullptr);
    QDir(QString::fromStdString(app / "output/clip")).removeRecursively();
  }
}

TEST_F(Faults, ARecordingFolderThatGoesAwayStopsTheRecordingOnce) {
  TForm1& f = Start();
  Parts(f).RecordFolder = app / "frames/";
  OpenVideo(Clip("clip.avi", 75));
  Parts(f).CB_AutoConvert->setChecked(false);
  Parts(f).CBFrame->setCurrentIndex(5);
  Parts(f).CBFrameChange();
  Parts(f).TBISnapBegin->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).FrameCount >= 3; }, 5000));
  // The folder is moved away under the recorder: what it wrote stays, there.
  ASSERT_EQ(::rename((app / "frames").c_str(), (app / "moved").c_str()), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 5000));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_TRUE(dialogs.shown[0].contains(QStringLiteral("录制已停止")));
  EXPECT_FALSE(Parts(f).TimerSnap->isActive());
  const int written = Parts(f).FrameCount;
  for (int n = 1; n <= written; ++n) EXPECT_TRUE(Exists(app / "moved/" + std::to_string(n) + ".bmp")) << n;
  QTest::qWait(300);
  EXPECT_EQ(dialogs.shown.size(), 1u) << "one message, not one per tick";
}

TEST_F(Faults, AMovieFileThatChangesUnderThePlayer) {
  TForm1& f = Start();
  std::string text;
  for (int i = 0; i < 4; ++i) text += "aabb\r\n\x80\x80\r\nW002V0050F0000" + std::to_string(i) + "\r\n";
  WriteAll(app / "movie.txt", text);
  f.OpenTextMovie(app / "movie.txt");
  Parts(f).TextBarState.saveOffered = true;  // as after a conversion
  Parts(f).ApplyTextBar();

  // Deleted: the movie still plays from memory, Notepad turns itself off,
  // Save copies nothing, opening it again keeps the movie shown.
  fileio::RemoveFile(app / "movie.txt", nullptr);
  Parts(f).TBIPlayText->trigger();
  f.TimerPlayTextTimer();
  EXPECT_TRUE(Parts(f).Lb_TextShow->text().contains(QStringLiteral("F00001")));
  Parts(f).TBIStopText->trigger();
  Parts(f).TBINotepad->setEnabled(true);
  Parts(f).TBINotepad->trigger();
  EXPECT_FALSE(Parts(f).TBINotepad->isEnabled());
  EXPECT_TRUE(launcher.Calls.empty());
  dialogs.files.push_back(QString::fromStdString(app / "saved.txt"));
  f.TBISaveTextClick();
  EXPECT_FALSE(Exists(app / "saved.txt"));
  EXPECT_TRUE(Parts(f).TBISaveText->isEnabled()) << "nothing changed";
  f.OpenTextMovie(app / "movie.txt");
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), 4) << "the movie in memory stays";

  // Truncated: opened again, it is what is left of it.
  WriteAll(app / "movie.txt", text.substr(0, text.size() / 2 + 3));
  f.OpenTextMovie(app / "movie.txt");
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), 2);
  EXPECT_EQ(dialogs.shown.back(), "注意:打开的不是标准的字符电影文件");
}

TEST_F(Faults, AVideoFileThatDisappearsOrShrinksWhilePlaying) {
  TForm1& f = Start();
  for (const bool remove : {true, false}) {
    const std::string clip = Clip(remove ? "gone.avi" : "short.avi", 100);
    OpenVideo(clip);
    Parts(f).TBIPlay->trigger();
    QTest::qWait(200);
    if (remove) {
      fileio::RemoveFile(clip, nullptr);
    } else {
      ASSERT_EQ(::truncate(clip.c_str(), 20000), 0);
    }
    // The movie ends (or stops at what is left) without a crash; the window goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBIPlay->isEnabled(); }, 10000)) << (remove ? "removed" : "truncated");
    EXPECT_TRUE(Parts(f).TBIOpen->isEnabled());
    Parts(f).TBIPlay->trigger();
    Parts(f).TBIStop->trigger();
    EXPECT_TRUE(Parts(f).TBIPlay->isEnabled());
  }
}

}  // namespace
