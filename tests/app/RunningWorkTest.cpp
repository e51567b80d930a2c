// Work that runs while the user clicks on, in real time: a recording paused
// by the text player and then stopped, and the window closed during a
// recording and an export, by its Exit button and by SIGTERM and SIGHUP.
#include "WindowFixture.h"

#include "app/CloseSignals.h"
#include "app/VideoExport.h"
#include "common/BmpWriter.h"
#include "common/FolderLock.h"
#include "playback/FrameLabel.h"
#include "playback/TextPic.h"
#include "playback/ExportSupport.h"
#include "video/VideoService.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
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

  // Whether another process could take the folder's lock now.
  static bool LockFree(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
  }

  // The names in `folder` that begin with a dot: what a run left behind.
  static std::string Hidden(const std::string& folder) {
    std::string names;
    for (const std::string& name : fileio::EntriesEndingWith(folder, "")) {
      if (name != "." && name != ".." && name.front() == '.') names += name + " ";
    }
    return names;
  }

  // A clip of ten seconds, a character movie to play beside it, frames into app/frames/.
  TForm1& StartWithVideoAndMovie() {
    TForm1& f = Start();
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.RecordFolder = app / "frames/";
    f.SetOutputType(OutputForm::Text);
    OpenVideo(Clip("clip.avi", 250));
    WriteAll(app / "movie.txt", export_support::MovieText(3000, 40, 30, 50, [](int k, int x, int y) {
               return (x + y + k) % 3 == 0;
             }));
    f.OpenTextMovie(app / "movie.txt");
    return f;
  }

  // "导出为视频…" from the movie pane's context menu, to `path`.
  void ExportByMenu(TForm1& f, const std::string& path) {
    dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(path), false});
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, f.Lb_TextShow->mapToGlobal(at));
    QCoreApplication::sendEvent(f.Lb_TextShow, &event);
    auto* menu = f.findChild<QMenu*>(QStringLiteral("MovieContextMenu"));
    ASSERT_TRUE(menu && menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().front()).center());
  }
};

// Play2, Rec, the text player's Pause, Play2 again, its Pause again, then the
// video's Stop: the recording ends as a recording, converted, its lock let go.
TEST_F(RunningWork, APausedRecordingStoppedEndsAsARecording) {
  TForm1& f = StartWithVideoAndMovie();
  Click(f.TBTextbar, f.TBIPlayText2);
  Click(f.TBTVideoBar, f.TBISnapBegin);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount >= 2; }, kWaitMs));
  Click(f.TBTextbar, f.TBIPauseText);
  EXPECT_EQ(VideoItems(f), "010010") << "paused while recording: Play and Stop only";
  EXPECT_EQ(f.StBarPanels[0]->text(), "录制暂停");
  const int held = f.FrameCount;
  QTest::qWait(400);
  EXPECT_EQ(f.FrameCount, held) << "no picture is taken while paused";
  EXPECT_FALSE(LockFree(f.RecordFolder));

  Click(f.TBTextbar, f.TBIPlayText2);
  EXPECT_EQ(VideoItems(f), "000010") << "recording again";
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount > held; }, kWaitMs));
  Click(f.TBTextbar, f.TBIPauseText);
  Click(f.TBTVideoBar, f.TBIStop);
  EXPECT_EQ(VideoItems(f), "110101") << "stopped after a recording";
  EXPECT_FALSE(f.TimerSnap->isActive());
  EXPECT_TRUE(LockFree(f.RecordFolder));
  EXPECT_TRUE(Exists(f.RecordFolder + "clip.txt")) << "converted as after any recording";
  EXPECT_EQ(f.TextPic->FrameTotal(), f.FrameCount);
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().toStdString();
}

// Closing during a recording and an export: the Exit button asks about each
// and No keeps the window and its work; Yes, SIGTERM and SIGHUP (which never
// ask) stop both cleanly and close, the settings written once.
TEST_F(RunningWork, ClosingDuringARecordingAndAnExport) {
  const struct {
    const char* how;
    int signal;  // 0: the Exit button
    std::deque<bool> answers;
    bool closes;
  } rows[] = {
      {"Exit, No", 0, {false}, false},
      {"Exit, Yes then No", 0, {true, false}, false},
      {"Exit, Yes to both", 0, {true, true}, true},
      {"SIGTERM", SIGTERM, {}, true},
      {"SIGHUP", SIGHUP, {}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.how);
    TForm1& f = StartWithVideoAndMovie();
    const CloseSignals closer([&f] { f.CloseBySignal(); });
    ExportByMenu(f, app / "movie.webm");
    Click(f.TBTVideoBar, f.TBISnapBegin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount >= 2; }, kWaitMs));
    ASSERT_TRUE(f.VideoExporter->Running());
    f.CB_Size->setCurrentIndex(7);
    const QSize size = f.FilterGraph->VideoSize();
    dialogs.shown.clear();
    dialogs.confirmations = row.answers;
    if (row.signal == 0) {
      Click(f.TBMainbar, f.TBIExit);
    } else {
      ::raise(row.signal);
      EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, kWaitMs));
    }
    EXPECT_EQ(dialogs.shown.size(), row.answers.size()) << "one question for each work asked about, nothing else";
    EXPECT_EQ(!f.isVisible(), row.closes);
    if (!row.closes) {
      EXPECT_TRUE(f.VideoBarState.Recording());
      EXPECT_TRUE(f.VideoExporter->Running());
      dialogs.confirmations = {true, true};
      f.close();
    }
    EXPECT_FALSE(f.TimerSnap->isActive());
    EXPECT_FALSE(f.VideoExporter->Running());
    EXPECT_TRUE(LockFree(f.RecordFolder));
    EXPECT_NE(Ini().find("OutPutSize=7"), std::string::npos) << Ini();
    // Every bitmap whole, nothing half-written beside them; no export file or leftover.
    const std::vector<std::string> bitmaps = fileio::EntriesEndingWith(f.RecordFolder, ".bmp");
    EXPECT_EQ(bitmaps.size(), static_cast<size_t>(f.FrameCount));
    for (int n = 1; n <= f.FrameCount; ++n) {
      EXPECT_EQ(fileio::FileSize(f.RecordFolder + std::to_string(n) + ".bmp"), bmp::FileSize24(size.width(), size.height()));
    }
    EXPECT_EQ(Hidden(f.RecordFolder), "");
    EXPECT_FALSE(Exists(app / "movie.webm"));
    EXPECT_EQ(Hidden(app.Path()), "");
    // The settings were written by the close, and by no later one.
    f.CB_Size->setCurrentIndex(2);
    f.close();
    EXPECT_NE(Ini().find("OutPutSize=7"), std::string::npos);
    form.reset();
    fileio::ClearInterrupt();
    fileio::RemoveTree(app / "frames", nullptr);
  }
}

// The program itself: SIGTERM and SIGHUP close it as its close box does,
// settings written, exit status 0.
TEST_F(RunningWork, TheProgramClosesOnTheSessionsSignals) {
  for (const int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    TempFolder program;
    ASSERT_TRUE(fileio::MakePath(program / "dll", nullptr));
    WriteAll(program / "dll/Kinograf.ini", "");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "glyphreel"), QString::fromStdString(program / "glyphreel")));
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(environment);
    window.start(QString::fromStdString(program / "glyphreel"), {});
    ASSERT_TRUE(window.waitForStarted());
    // Once the window catches the signal (SigCgt lists it), send it.
    const std::string statusFile = "/proc/" + std::to_string(window.processId()) + "/status";
    const uint64_t bit = uint64_t{1} << (sig - 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const std::string status = ReadAll(statusFile);
          const size_t at = status.find("SigCgt:");
          return at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) & bit) != 0;
        },
        kWaitMs));
    ::kill(static_cast<pid_t>(window.processId()), sig);
    ASSERT_TRUE(window.waitForFinished(kWaitMs));
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardError().toStdString();
    EXPECT_NE(ReadAll(program / "dll/Kinograf.ini").find("width=640"), std::string::npos) << "the settings were written";
  }
}

// A movie that cannot be copied for the export (the address space is used
// up): "导出失败: …" and nothing else happens.
TEST_F(RunningWork, AMovieThatCannotBeCopiedIsNotExported) {
  TForm1& f = Start();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  // 64 MB of movie, then room for less than half of a copy.
  WriteAll(app / "big.txt", export_support::MovieText(6000, 80, 60, 50, [](int, int x, int) { return x % 2 == 0; }));
  f.OpenTextMovie(app / "big.txt");
  ASSERT_GT(f.TextPic->FrameTotal(), 3);
  const std::string status = ReadAll("/proc/self/status");
  const size_t at = status.find("VmSize:");
  ASSERT_NE(at, std::string::npos);
  const rlim_t used = std::stoull(status.substr(at + 7)) * 1024;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = used + (24u << 20);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  ExportByMenu(f, app / "big.mp4");
  ::setrlimit(RLIMIT_AS, &saved);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], "导出失败: 内存不足,无法复制字符电影");
  EXPECT_FALSE(f.VideoExporter->Running());
  EXPECT_EQ(f.VideoExporter->StatusRoom(), 0) << "no progress shown";
  EXPECT_FALSE(Exists(app / "big.mp4"));
}

}  // namespace
