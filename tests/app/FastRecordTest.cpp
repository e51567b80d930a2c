// Fast recording in the window: Rec with "快速录制" checked writes, in a
// worker, the bitmaps glyphreel-cli record writes, from where the movie
// stands; Stop ends it leaving whole bitmaps only.
#include "WindowFixture.h"

#include "common/BmpWriter.h"
#include "video/VideoService.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QToolBar>

#include <map>

namespace {

using namespace testing_support;

class FastRecord : public WindowTest {
 protected:
  TForm1& StartFast(const std::string& clip) {
    TForm1& f = Start();
    Parts(f).RecordFolder = app / "frames/";
    Parts(f).CB_FastRecord->setChecked(true);
    Parts(f).CB_AutoConvert->setChecked(false);
    Parts(f).CBFrame->setCurrentIndex(0);  // 15 a second
    Parts(f).CBFrameChange();
    OpenVideo(clip);
    return f;
  }
  void ClickRec(TForm1& f) { QTest::mouseClick(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBISnapBegin), Qt::LeftButton); }
  void ClickStop(TForm1& f) { QTest::mouseClick(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBIStop), Qt::LeftButton); }

  // The bitmaps of a folder by name.
  static std::map<std::string, std::string> Bitmaps(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : fileio::EntriesEndingWith(folder, ".bmp")) files[name] = ReadAll(folder + name);
    return files;
  }
};

TEST_F(FastRecord, WritesWhatTheCommandLineRecords) {
  TForm1& f = StartFast(Clip("clip.avi", 50));
  ASSERT_EQ(Parts(f).Interval(), 67);
  ClickRec(f);
  EXPECT_FALSE(Parts(f).TBISnapBegin->isEnabled()) << "recording";
  EXPECT_FALSE(Parts(f).TBIPause->isEnabled()) << "the movie does not play";
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 20000)) << "ends by itself";
  EXPECT_EQ(Parts(f).Pl_FrameCount->text(), "Frame:29");
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "采集完毕");

  QProcess cli;
  cli.start(QString::fromStdString(BuiltAppPath() + "glyphreel-cli"),
            {QStringLiteral("record"), QString::fromStdString(app / "clip.avi"), QString::fromStdString(app / "byCli/"),
             QStringLiteral("--fps"), QStringLiteral("15")});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const auto fast = Bitmaps(Parts(f).RecordFolder), recorded = Bitmaps(app / "byCli/");
  EXPECT_EQ(fast.size(), 29u);
  EXPECT_TRUE(fast == recorded) << "the bitmaps differ from glyphreel-cli record's";
}

TEST_F(FastRecord, StartsWhereTheMovieStands) {
  TForm1& f = StartFast(Clip("clip.avi", 50));
  int64_t at = 10000 * 1000;  // 1 s in 100-ns units
  Parts(f).FilterGraph->SetPositions(&at, video::AM_SEEKING_AbsolutePositioning, nullptr, video::AM_SEEKING_NoPositioning);
  ClickRec(f);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 20000));
  const auto bitmaps = Bitmaps(Parts(f).RecordFolder);
  EXPECT_EQ(bitmaps.size(), 14u) << "ticks at 1067 .. 1938 ms";
  for (int n : {1, 7, 14}) {
    const QImage picture(QString::fromStdString(Parts(f).RecordFolder + std::to_string(n) + ".bmp"), "bmp");
    EXPECT_EQ(FrameNumberOf(picture), (1000 + n * 67) * 25 / 1000) << "bitmap " << n;
  }
}

// A phone's MP4 (its index first) cut in half still declares three seconds:
// the recording ends where its pictures end, each bitmap its own tick's
// picture (no copies of the last), with the timed recorder's message.
TEST_F(FastRecord, ACutShortVideoEndsWhereItsPicturesEnd) {
  ClipSpec clipSpec;
  clipSpec.format = FormatFor(".mp4");
  clipSpec.frameCount = 75;
  clipSpec.indexFirst = true;
  std::string error;
  ASSERT_TRUE(WriteTestVideo(app / "clip.mp4", clipSpec, &error)) << error;
  WriteAll(app / "cut.mp4", ReadAll(app / "clip.mp4").substr(0, fileio::FileSize(app / "clip.mp4") / 2));
  TForm1& f = StartFast(app / "cut.mp4");
  ClickRec(f);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 20000));
  EXPECT_EQ(dialogs.shown, std::vector<QString>{QStringLiteral("视频在00:00:01处提前结束,只录制了%1帧(应为约44帧)。").arg(Parts(f).FrameCount)});
  ASSERT_EQ(Bitmaps(Parts(f).RecordFolder).size(), static_cast<size_t>(Parts(f).FrameCount));
  for (int n = 1; n <= Parts(f).FrameCount; ++n) {
    const QImage picture(QString::fromStdString(Parts(f).RecordFolder + std::to_string(n) + ".bmp"), "bmp");
    EXPECT_EQ(FrameNumberOf(picture), n * 67 * 25 / 1000) << "bitmap " << n;
  }
}

TEST_F(FastRecord, StopLeavesWholeBitmapsOnly) {
  ClipSpec clipSpec;
  clipSpec.format = FormatFor(".avi");
  clipSpec.width = 320;
  clipSpec.height = 240;
  clipSpec.frameCount = 750;  // 30 s: 449 bitmaps, more than a fast machine writes before Stop arrives
  clipSpec.busyPicture = true;
  std::string error;
  ASSERT_TRUE(WriteTestVideo(app / "long.avi", clipSpec, &error)) << error;
  TForm1& f = StartFast(app / "long.avi");
  ClickRec(f);
  // Stop as soon as the worker has written its first bitmap, however fast the machine.
  ASSERT_TRUE(QTest::qWaitFor([&] { return fileio::FileExists(Parts(f).RecordFolder + "1.bmp"); }, 20000));
  ClickStop(f);
  EXPECT_TRUE(Parts(f).TBISnapBegin->isEnabled()) << "stopped at once";
  const auto bitmaps = Bitmaps(Parts(f).RecordFolder);
  EXPECT_LT(bitmaps.size(), 449u);
  EXPECT_EQ(Parts(f).Pl_FrameCount->text(), QStringLiteral("Frame:%1").arg(bitmaps.size()));
  for (size_t n = 1; n <= bitmaps.size(); ++n) {
    const auto found = bitmaps.find(std::to_string(n) + ".bmp");
    ASSERT_NE(found, bitmaps.end()) << "numbers run unbroken: " << n;
    EXPECT_EQ(found->second.size(), bmp::FileSize24(320, 240)) << n;
  }
  const size_t count = bitmaps.size();
  QTest::qWait(200);
  EXPECT_EQ(Bitmaps(Parts(f).RecordFolder).size(), count) << "nothing is written after Stop";
}

}  // namespace
