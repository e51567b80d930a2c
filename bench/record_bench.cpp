// The window's recorder at full speed: 20 seconds of a 640 x 480, 25 fps
// clip recorded at 15 frames a second through the real handlers, timers and
// video service. Prints files written per second of video and the longest
// gap between two capture ticks. Then the same clip by fast recording (Rec
// with "快速录制" checked: unpaced, in a worker) and by `glyphreel-cli record`,
// in bitmaps written per second of wall time; each run is checked to have
// written every bitmap it should.
//
// Usage: record_bench [work folder]   (default: a folder under /tmp)
#include "support/ScriptedDialogs.h"
#include "support/WindowParts.h"
#include "app/Fonts.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "shell/Launcher.h"
#include "support/TestVideo.h"
#include "video/RecordingTicks.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>


int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  const std::string work = argc > 1 ? std::string(argv[1]) + "/" : "/tmp/glyphreel-record-bench/";
  fileio::MakePath(work + "app/dll", nullptr);
  fileio::MakePath(work + "frames", nullptr);
  const std::string clip = work + "clip.avi";
  constexpr int kSeconds = 20;
  if (!fileio::FileExists(clip)) {
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".avi");
    clipSpec.width = 640;
    clipSpec.height = 480;
    clipSpec.frameCount = 25 * kSeconds;
    std::string error;
    if (!testing_support::WriteTestVideo(clip, clipSpec, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }

  ScriptedDialogs answers;
  RecordingLauncher launcher;
  TForm1 form({&answers, &launcher, work + "app/"});
  answers.files.push_back(QString::fromStdString(clip));
  form.TBIOpenClick();
  Parts(form).RecordFolder = work + "frames/";
  Parts(form).CBFrame->setCurrentIndex(0);  // 15 a second
  Parts(form).CBFrameChange();
  Parts(form).CB_AutoConvert->setChecked(false);

  QElapsedTimer clock;
  int64_t last = -1, longest = 0;
  QObject::connect(Parts(form).TimerSnap, &QTimer::timeout, [&] {
    const int64_t now = clock.elapsed();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  QEventLoop loop;
  QObject::connect(Parts(form).TBISnapBegin, &QAction::changed, [&] {
    if (Parts(form).TBISnapBegin->isEnabled()) loop.quit();
  });
  clock.start();
  form.TBISnapBeginClick();
  loop.exec();
  const double seconds = clock.elapsed() / 1000.0;

  std::printf("interval %d ms; %d files in %.2f s of recording: %.2f files per second of video\n",
              Parts(form).Interval(), Parts(form).FrameCount, seconds, Parts(form).FrameCount / static_cast<double>(kSeconds));
  std::printf("longest gap between ticks: %lld ms (%.2f intervals)\n", static_cast<long long>(longest),
              static_cast<double>(longest) / Parts(form).Interval());

  // Fast recording of the whole clip from its start.
  const int expected = static_cast<int>(video::RecordingTicks{0, Parts(form).Interval(), kSeconds * 1000}.Count());
  Parts(form).CB_FastRecord->setChecked(true);
  clock.restart();
  form.TBISnapBeginClick();
  loop.exec();
  const double fastSeconds = clock.elapsed() / 1000.0;
  const int fastFrames = Parts(form).FrameCount;
  if (fastFrames != expected) {
    std::fprintf(stderr, "record_bench: fast recording wrote %d bitmaps, not %d\n", fastFrames, expected);
    return 1;
  }
  clock.restart();
  QProcess cli;
  cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/glyphreel-cli"),
            {QStringLiteral("record"), QString::fromStdString(clip), QString::fromStdString(work + "cli-frames/"),
             QStringLiteral("--fps"), QStringLiteral("15")});
  cli.waitForFinished(-1);
  const double cliSeconds = clock.elapsed() / 1000.0;
  if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0 ||
      cli.readAllStandardOutput().trimmed().toInt() != expected) {
    std::fprintf(stderr, "record_bench: glyphreel-cli record failed\n");
    return 1;
  }
  std::printf("fast recording: %d bitmaps in %.2f s: %.1f a second (%.1fx real time)\n", fastFrames, fastSeconds,
              fastFrames / fastSeconds, kSeconds / fastSeconds);
  std::printf("glyphreel-cli record: %d bitmaps in %.2f s: %.1f a second; fast recording / record: %.2f\n", expected,
              cliSeconds, expected / cliSeconds, (fastFrames / fastSeconds) / (expected / cliSeconds));
  return 0;
}
