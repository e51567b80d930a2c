// The command line's whole road: `glyphreel-cli make` of a 60-second
// 640 x 480 clip at 15 frames a second and 160 x 120 cells, against the
// clip's own length (the window's recorder needs at least real time).
//
// Usage: make_bench [work folder]   (default: a folder under /tmp)
#include "common/FileWrite.h"
#include "support/TestVideo.h"

#include <QCoreApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string work = argc > 1 ? std::string(argv[1]) + "/" : "/tmp/glyphreel-make-bench/";
  fileio::MakePath(work, nullptr);
  const std::string clip = work + "clip.avi";
  constexpr int kSeconds = 60;
  if (!fileio::FileExists(clip)) {
    std::printf("encoding a %d-second 640 x 480 clip ...\n", kSeconds);
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".avi");
    clipSpec.width = 640;
    clipSpec.height = 480;
    clipSpec.framesPerSecond = 25;
    clipSpec.frameCount = 25 * kSeconds;
    std::string error;
    if (!testing_support::WriteTestVideo(clip, clipSpec, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/glyphreel-cli");
  const auto start = std::chrono::steady_clock::now();
  QProcess p;
  p.start(cli, {QStringLiteral("make"), QString::fromStdString(clip), QStringLiteral("--fps"), QStringLiteral("15"),
                QStringLiteral("--size"), QStringLiteral("160x120"), QStringLiteral("--overwrite")});
  p.waitForFinished(-1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s", p.readAllStandardError().constData());
  std::printf("make: exit %d, %.2f s for a %d s clip: %.1fx faster than real time\n", p.exitCode(), seconds, kSeconds,
              kSeconds / seconds);
  return p.exitCode();
}
