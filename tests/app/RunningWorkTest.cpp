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
#include <QFile>
#include <QLabel>
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
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
  }
  // Names beginning with a dot in `folder`: what a run left behind.
  static std::string Hidden(const std::string& folder) {
    std::string names;
    for (const std::string& name : fileio::EntriesEndingWith(folder, "")) {
      if (name != "." && name != ".." && name.front() == '.') names += name + " ";
    }
    return names;
  }
  // A ten-second clip, a character movie of `frames` frames beside it, frames into app/frames/.
  TForm1& StartWithVideoAndMovie(int frames = 3000, int units = 40) {
    TForm1& f = Start();
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.RecordFolder = app / "frames/";
    f.SetOutputType(OutputForm::Text);
    OpenVideo(Clip("clip.avi", 250));
    WriteAll(app / "movie.txt", export_support::MovieText(frames, units, 30, 50, [](int k, int x, int y) {
               return (x + y + k) % 3 == 0;
             }));
    f.OpenTextMovie(app / "movie.txt");
    return f;
  }
  // "导出为视频…" from the movie pane's context menu, to `path`.
  void ExportByMenu(TForm1& f, const std::string& path) {
    dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(path), false});
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), f.Lb_TextShow->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(f.Lb_TextShow, &event);
    auto* menu = f.findChild<QMenu*>(QStringLiteral("MovieContextMenu"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().front()).center());
  }
};

// Play2, Rec, the text's Pause, Play2, Pause, then the video's Stop: the
// recording holds while paused and ends as a recording, converted, unlocked.
TEST_F(RunningWork, APausedRecordingStoppedEndsAsARecording) {
  TForm1& f = StartWithVideoAndMovie(200);
  Click(f.TBTextbar, f.TBIPlayText2);
  Click(f.TBTVideoBar, f.TBISnapBegin);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount >= 2; }, kWaitMs));
  Click(f.TBTextbar, f.TBIPauseText);
  EXPECT_EQ(VideoItems(f), "010010") << "paused while recording: Play and Stop only";
  const int held = f.FrameCount;
  QTest::qWait(400);
  EXPECT_EQ(f.FrameCount, held) << "no picture is taken while paused";
  Click(f.TBTextbar, f.TBIPlayText2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount > held; }, kWaitMs));
  Click(f.TBTextbar, f.TBIPauseText);
  Click(f.TBTVideoBar, f.TBIStop);
  EXPECT_EQ(VideoItems(f), "110101") << "stopped after a recording";
  EXPECT_TRUE(LockFree(f.RecordFolder));
  EXPECT_EQ(f.TextPic->FrameTotal(), f.FrameCount) << "converted as after any recording";
}

// The Exit button asks about a recording and an export, and No keeps the
// window and its work; Yes, SIGTERM and SIGHUP (which never ask) stop both
// cleanly and close, the settings written once.
TEST_F(RunningWork, ClosingDuringARecordingAndAnExport) {
  const struct {
    int signal;  // 0: the Exit button
    std::deque<bool> answers;
  } rows[] = {{0, {false}}, {0, {true, false}}, {0, {true, true}}, {SIGTERM, {}}, {SIGHUP, {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "signal " << row.signal << ", answers " << row.answers.size());
    TForm1& f = StartWithVideoAndMovie();
    const CloseSignals closer([&f] { f.CloseBySignal(); });
    ExportByMenu(f, app / "movie.webm");
    Click(f.TBTVideoBar, f.TBISnapBegin);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.FrameCount >= 2 && f.VideoExporter->Running(); }, kWaitMs));
    f.CB_Size->setCurrentIndex(7);
    dialogs.shown.clear();
    dialogs.confirmations = row.answers;
    if (row.signal == 0) Click(f.TBMainbar, f.TBIExit);
    if (row.signal != 0) ::raise(row.signal);
    const bool closes = row.answers.empty() || row.answers.back();
    EXPECT_EQ(QTest::qWaitFor([&] { return !f.isVisible(); }, closes ? kWaitMs : 300), closes);
    EXPECT_EQ(dialogs.shown.size(), row.answers.size()) << "a question for each work asked about, nothing else";
    EXPECT_EQ(f.VideoBarState.Recording() && f.VideoExporter->Running(), !closes) << "No keeps the work running";
    dialogs.confirmations = {true, true};
    f.close();
    EXPECT_TRUE(LockFree(f.RecordFolder));
    EXPECT_EQ(fileio::EntriesEndingWith(f.RecordFolder, ".bmp").size(), static_cast<size_t>(f.FrameCount));
    EXPECT_EQ(Hidden(f.RecordFolder) + Hidden(app.Path()), "") << "no half-written bitmap, no export leftover";
    EXPECT_FALSE(Exists(app / "movie.webm"));
    f.CB_Size->setCurrentIndex(2);
    f.close();
    EXPECT_NE(Ini().find("OutPutSize=7"), std::string::npos) << "written by the first close only";
    form.reset();
    fileio::ClearInterrupt();
    fileio::RemoveTree(app / "frames", nullptr);
  }
}

// The program itself: SIGTERM and SIGHUP close it, settings written, status 0.
TEST_F(RunningWork, TheProgramClosesOnTheSessionsSignals) {
  for (const int sig : {SIGTERM, SIGHUP}) {
    TempFolder program;
    fileio::MakePath(program / "dll", nullptr);
    WriteAll(program / "dll/Kinograf.ini", "");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BuiltAppPath() + "glyphreel"), QString::fromStdString(program / "glyphreel")));
    QProcess window;
    window.setProcessEnvironment(QProcessEnvironment::systemEnvironment());  // QT_QPA_PLATFORM=offscreen
    window.start(QString::fromStdString(program / "glyphreel"), {});
    // Sent once the window catches it (listed in SigCgt).
    const std::string status = "/proc/" + std::to_string(window.processId()) + "/status";
    ASSERT_TRUE(QTest::qWaitFor([&] {
      const std::string text = ReadAll(status);
      return (std::stoull(text.substr(text.find("SigCgt:") + 7), nullptr, 16) >> (sig - 1) & 1) != 0;
    }, kWaitMs));
    ::kill(static_cast<pid_t>(window.processId()), sig);
    ASSERT_TRUE(window.waitForFinished(kWaitMs));
    EXPECT_EQ(window.exitCode(), 0) << sig << ": " << window.readAllStandardError().toStdString();
    EXPECT_NE(ReadAll(program / "dll/Kinograf.ini").find("width=640"), std::string::npos) << sig;
  }
}

// A movie that cannot be copied for the export (its copy would not fit in
// the address space left): "导出失败: …" and nothing else happens.
TEST_F(RunningWork, AMovieThatCannotBeCopiedIsNotExported) {
  TForm1& f = StartWithVideoAndMovie(6000, 80);  // 64 MB of movie
  const std::string status = ReadAll("/proc/self/status");
  rlimit saved{}, tight{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  tight = saved;
  tight.rlim_cur = std::stoull(status.substr(status.find("VmSize:") + 7)) * 1024 + (24u << 20);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  ExportByMenu(f, app / "big.mp4");
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(dialogs.shown, std::vector<QString>{QStringLiteral("导出失败: 内存不足,无法复制字符电影")});
  EXPECT_FALSE(f.VideoExporter->Running());
  EXPECT_EQ(f.VideoExporter->StatusRoom(), 0) << "no progress shown";
}

}  // namespace
