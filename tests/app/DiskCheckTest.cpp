// The window's disk check before a recording, on a real small disk (a tmpfs
// of 2 MB): the user is asked, and No leaves everything as it was.
#include "WindowFixture.h"

#include "video/VideoService.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <QToolBar>

#include <sys/mount.h>

namespace {

using namespace testing_support;

class DiskCheck : public WindowTest {};

TEST_F(DiskCheck, ARecordingThatDoesNotFitAsksFirst) {
  ScopedTmpfs disk("2m");
  if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
  TForm1& f = Start();
  Parts(f).RecordFolder = disk / "frames/";
  Parts(f).CBFrame->setCurrentIndex(0);  // 15 a second
  Parts(f).CBFrameChange();
  OpenVideo(Clip("clip.avi", 100));  // 4 s at 15 a second: 59 bitmaps of 56 KB, 3.2 MB
  QWidget* rec = Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBISnapBegin);
  ASSERT_NE(rec, nullptr);

  // No: nothing starts.
  dialogs.confirmations = {false};
  QTest::mouseClick(rec, Qt::LeftButton);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], QStringLiteral("录制约需要3 MB磁盘空间,%1只剩2 MB。是否继续录制？")
                                  .arg(QString::fromStdString(disk / "frames/")));
  EXPECT_TRUE(Parts(f).TBISnapBegin->isEnabled()) << "not recording";
  EXPECT_EQ(fileio::EntriesEndingWith(Parts(f).RecordFolder, ".bmp").size(), 0u);

  // Yes: the recording runs as usual.
  dialogs.confirmations = {true};
  QTest::mouseClick(rec, Qt::LeftButton);
  EXPECT_FALSE(Parts(f).TBISnapBegin->isEnabled()) << "recording";
  EXPECT_TRUE(Parts(f).TBIStop->isEnabled());
  Parts(f).TBIStop->trigger();

  // A recording that fits asks nothing.
  Parts(f).CBFrame->setCurrentIndex(14);  // 1 a second: 3 bitmaps
  Parts(f).CBFrameChange();
  dialogs.shown.clear();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 5000));
  QTest::mouseClick(rec, Qt::LeftButton);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(Parts(f).TBISnapBegin->isEnabled()) << "recording";
  Parts(f).TBIStop->trigger();
}

// A disk that fills, or turns read-only, under a recording: the capture and
// the movie stop before the message, which gives the cause in the window's
// own words (the system's text only for others).
TEST_F(DiskCheck, ADiskThatFailsStopsTheRecordingThenSaysWhy) {
  for (const auto& [words, readOnly] : {std::pair("磁盘空间不足", false), std::pair("磁盘是只读的", true)}) {
    ScopedTmpfs disk("1m");
    if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
    TForm1& f = Start();
    Parts(f).RecordFolder = disk.Path();
    Parts(f).CB_AutoConvert->setChecked(false);
    OpenVideo(Clip("clip.avi", 100));  // 4 s at 15 a second: 59 bitmaps of 56 KB, the disk full at about the 18th
    ASSERT_TRUE(!readOnly || ::mount("tmpfs", disk.Path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    int64_t held = -1, later = -2;
    dialogs.whileShown = [&](const QString&) {
      Parts(f).FilterGraph->GetCurrentPosition(&held);
      QTest::qWait(250);
      Parts(f).FilterGraph->GetCurrentPosition(&later);
    };
    dialogs.confirmations = {true};  // record although it will not fit
    QTest::mouseClick(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBISnapBegin), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 20000));
    EXPECT_EQ(dialogs.shown.back(), QStringLiteral("录制帧无法保存, 录制已停止: %1 (%2)").arg(words, disk.Path().c_str()));
    EXPECT_EQ(held, later) << words << ": the movie went on behind the message";
    form.reset();
    dialogs.whileShown = nullptr;
  }
}

}  // namespace
