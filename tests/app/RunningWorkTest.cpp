// Work running while the user clicks on, closes the window, or the session
// ends, in real time: a recording the text player paused, then stopped; the
// window closed during a recording and an export; a movie too large to copy.
#include "WindowFixture.h"

#include "app/CloseSignals.h"
#include "app/VideoExport.h"
#include "common/FolderLock.h"
#include "playback/ExportSupport.h"
#include "playback/FrameLabel.h"
#include "playback/TextPic.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QToolBar>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace testing_support;

constexpr int kWaitMs = 20000;

class RunningWork : public WindowTest {
 protected:
  void TearDown() override { fileio::ClearInterrupt(); }
  static void Click(QToolBar* bar, QAction* item) { QTest::mouseClick(bar->widgetForAction(item), Qt::LeftButton); }
  static bool LockFree(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
  }
  // A ten-second clip and a movie of `frames` frames to play or export beside it; frames into app/frames/.
  TForm1& StartWithVideoAndMovie(int frames = 3000, int units = 40) {
    TForm1& f = Start();
    f.show();
    Parts(f).RecordFolder = app / "frames/";
    Parts(f).SetOutputType(OutputForm::Text);
    OpenVideo(Clip("clip.avi", 250));
    WriteAll(app / "movie.txt", export_support::MovieText(frames, units, 30, 50, [](int k, int x, int) { return (x + k) % 3 == 0; }));
    f.OpenTextMovie(app / "movie.txt");
    return f;
  }
  // "导出为视频…" from the movie pane's context menu, to `path`.
  void ExportByMenu(TForm1& f, const std::string& path) {
    dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(path), false});
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), Parts(f).Lb_TextShow->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(Parts(f).Lb_TextShow, &event);
    auto* menu = f.findChild<QMenu*>(QStringLiteral("MovieContextMenu"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().front()).center());
  }
};

// Play2, Rec, the text's Pause, Play2, Pause, then the video's Stop: the
// recording holds while paused and ends as a recording, converted, unlocked.
TEST_F(RunningWork, APausedRecordingStoppedEndsAsARecording) {
  TForm1& f = StartWithVideoAndMovie(200);
  Click(Parts(f).TBTextbar, Parts(f).TBIPlayText2);
  Click(Parts(f).TBTVideoBar, Parts(f).TBISnapBegin);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).FrameCount >= 2; }, kWaitMs));
  Click(Parts(f).TBTextbar, Parts(f).TBIPauseText);
  EXPECT_EQ(VideoItems(f), "010010") << "paused while recording: Play and Stop only";
  const int held = Parts(f).FrameCount;
  QTest::qWait(400);
  EXPECT_EQ(Parts(f).FrameCount, held) << "no picture is taken while paused";
  Click(Parts(f).TBTextbar, Parts(f).TBIPlayText2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).FrameCount > held; }, kWaitMs));
  Click(Parts(f).TBTextbar, Parts(f).TBIPauseText);
  Click(Parts(f).TBTVideoBar, Parts(f).TBIStop);
  EXPECT_EQ(VideoItems(f), "110101") << "stopped after a recording";
  EXPECT_TRUE(LockFree(Parts(f).RecordFolder));
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), Parts(f).FrameCount) << "converted as after any recording";
}

// The Exit button asks about a recording and an export, and No keeps the
// window and its work; Yes and SIGTERM (which never asks) stop both cleanly
// and close, the settings written once.
TEST_F(RunningWork, ClosingDuringARecordingAndAnExport) {
  const std::deque<bool> rows[] = {{false}, {true, false}, {true, true}, {}};  // answers; none: SIGTERM
  for (const std::deque<bool>& answers : rows) {
    SCOPED_TRACE(answers.size());
    TForm1& f = StartWithVideoAndMovie();
    const CloseSignals closer([&f] { f.CloseBySignal(); });
    ExportByMenu(f, app / "movie.webm");
    Click(Parts(f).TBTVideoBar, Parts(f).TBISnapBegin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).FrameCount >= 2 && Parts(f).Exporter->Running(); }, kWaitMs));
    Parts(f).CB_Size->setCurrentIndex(7);
    dialogs.shown.clear();
    dialogs.confirmations = answers;
    answers.empty() ? void(::raise(SIGTERM)) : Click(Parts(f).TBMainbar, Parts(f).TBIExit);
    const bool closes = answers.empty() || answers.back();
    EXPECT_EQ(QTest::qWaitFor([&] { return !f.isVisible(); }, closes ? kWaitMs : 300), closes);
    EXPECT_EQ(dialogs.shown.size(), answers.size()) << "a question for each work asked about, nothing else";
    EXPECT_EQ(Parts(f).VideoBarState.Recording() && Parts(f).Exporter->Running(), !closes) << "No keeps the work running";
    dialogs.confirmations = {true, true};
    f.close();
    EXPECT_TRUE(LockFree(Parts(f).RecordFolder));
    // Whole bitmaps only (each written under a hidden name first), no export file or leftover.
    EXPECT_EQ(fileio::EntriesEndingWith(Parts(f).RecordFolder, "").size(), Parts(f).FrameCount + 2u);
    EXPECT_TRUE(QDir(QString::fromStdString(app.Path())).entryList({"*webm*"}, QDir::Files | QDir::Hidden).isEmpty());
    Parts(f).CB_Size->setCurrentIndex(2);
    f.close();
    EXPECT_NE(Ini().find("OutPutSize=7"), std::string::npos) << "written by the first close only";
    form.reset();
    fileio::ClearInterrupt();
    fileio::RemoveTree(app / "frames", nullptr);
  }
}

// The program itself closes on SIGHUP, settings written, status 0.
TEST_F(RunningWork, TheProgramClosesOnTheSessionsEnd) {
  fileio::MakePath(app / "dll", nullptr);
  WriteAll(app / "dll/Kinograf.ini", "");
  ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "glyphreel"), QString::fromStdString(app / "glyphreel")));
  QProcess window;  // (offscreen, as the tests run)
  window.start(QString::fromStdString(app / "glyphreel"), {});
  const std::string status = "/proc/" + std::to_string(window.processId()) + "/status";
  ASSERT_TRUE(QTest::qWaitFor([&] {  // sent once the window catches it (SigCgt)
    const std::string text = ReadAll(status);
    return (std::stoull(text.substr(text.find("SigCgt:") + 7), nullptr, 16) >> (SIGHUP - 1) & 1) != 0;
  }, kWaitMs));
  ::kill(static_cast<pid_t>(window.processId()), SIGHUP);
  ASSERT_TRUE(window.waitForFinished(kWaitMs));
  EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardError().toStdString();
  EXPECT_NE(Ini().find("width=640"), std::string::npos) << "the settings were written";
}

// A movie that cannot be copied for the export (the copy would not fit in
// the address space left): "导出失败: …" and nothing else happens.
TEST_F(RunningWork, AMovieThatCannotBeCopiedIsNotExported) {
  TForm1& f = StartWithVideoAndMovie(6000, 80);  // 30 MB of movie
  const std::string status = ReadAll("/proc/self/status");
  rlimit saved{}, tight{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  tight = saved;
  tight.rlim_cur = std::stoull(status.substr(status.find("VmSize:") + 7)) * 1024 + (12u << 20);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  ExportByMenu(f, app / "big.mp4");
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(dialogs.shown, std::vector<QString>{QStringLiteral("导出失败: 内存不足,无法复制字符电影")});
  EXPECT_FALSE(Parts(f).Exporter->Running());
  EXPECT_EQ(Parts(f).Exporter->StatusRoom(), 0) << "no progress shown";
}

}  // namespace
