// Exporting a character movie as a video: a 60-second 160 x 120 movie at 15
// frames a second, with its clip's sound, to MP4 at font size 9 (1440 x 1080)
// through `glyphreel-cli export`: wall time, times faster than real time and
// peak memory. In the same run the `ffmpeg` program encodes the same pictures
// (rendered once to a raw file) with the same encoder settings: the encoding
// floor the export is measured against.
//
// Usage: export_bench [work folder]   (default: a folder under /tmp)
#include "BenchSupport.h"
#include "common/FileWrite.h"
#include "conversion/BmpTxt.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

constexpr int kSeconds = 60;
constexpr int kFramesPerSecond = 15;

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::string work = argc > 1 ? std::string(argv[1]) + "/" : "/tmp/glyphreel-export-bench/";
  fileio::MakePath(work, nullptr);
  const std::string bin = QCoreApplication::applicationDirPath().toStdString() + "/";
  const std::string cli = bin + "glyphreel-cli";
  const std::string clip = work + "clip.avi";
  const std::string movieFile = work + "clip/clip.txt";

  if (!fileio::FileExists(movieFile)) {
    std::printf("making a %d-second 160 x 120 movie at %d frames a second ...\n", kSeconds, kFramesPerSecond);
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".avi");
    clipSpec.width = 320;
    clipSpec.height = 240;
    clipSpec.framesPerSecond = 25;
    clipSpec.frameCount = 25 * kSeconds;
    clipSpec.busyPicture = true;
    std::string error;
    if (!testing_support::WriteTestVideo(clip, clipSpec, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    QProcess make;
    make.start(QString::fromStdString(cli), {QStringLiteral("make"), QString::fromStdString(clip),
                                             QStringLiteral("--fps"), QString::number(kFramesPerSecond),
                                             QStringLiteral("--size"), QStringLiteral("160x120")});
    make.waitForFinished(-1);
    if (make.exitCode() != 0) {
      std::fprintf(stderr, "%s", make.readAllStandardError().constData());
      return 1;
    }
  }
  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  if (!movie.LoadFromFile(movieFile)) return 1;
  movie_export::Options options;
  options.output = work + "export.mp4";
  options.soundSource = clip;
  options.overwrite = true;
  movie_export::Plan plan;
  std::string error;
  // The plan measures every frame, to take the largest.
  const auto planStart = std::chrono::steady_clock::now();
  if (!movie_export::MakePlan(movie, options, &plan, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const double planSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - planStart).count();
  const double length = plan.DurationMs() / 1000.0;
  std::printf("movie: %d frames, %d ms apart, %d x %d pixels at font size %d, %.1f s\n", plan.frames,
              plan.intervalMs, plan.size.width(), plan.size.height(), plan.fontSize, length);
  std::printf("plan:    %.3f s (every frame measured)\n", planSeconds);

  const bench::Measure exported =
      bench::RunQuiet(cli, {"export", movieFile, options.output, "--video", clip, "--font-size", "9", "--overwrite"});
  std::printf("export:  %s %.2f s, %.1fx faster than real time, peak memory %.0f MB\n", exported.ok ? "ok" : "FAILED",
              exported.seconds, length / exported.seconds, exported.peakKiB / 1024.0);

  const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
  if (ffmpeg.isEmpty()) {
    std::printf("floor:   no ffmpeg program (tools/install-deps.sh installs it)\n");
    return exported.ok ? 0 : 1;
  }
  // The same pictures, rendered once, in the encoder's own format.
  const std::string raw = work + "pictures.rgb";
  {
    std::ofstream out(raw, std::ios::binary);
    movie_export::FramePictures pictures(movie, plan, options);
    for (int j = 0; j < plan.VideoFrames(); ++j) {
      const QImage picture = pictures.Picture(std::max(0, j - 1));
      out.write(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    }
  }
  const std::string size = std::to_string(plan.size.width()) + "x" + std::to_string(plan.size.height());
  const std::string rate = "1000/" + std::to_string(plan.intervalMs);
  const bench::Measure floor =
      bench::RunQuiet(ffmpeg.toStdString(),
          {"-y", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "bgra", "-s", size, "-framerate", rate, "-i", raw,
           "-i", clip, "-map", "0:v", "-map", "1:a", "-t", std::to_string(length), "-c:v", "libx264", "-preset",
           "veryfast", "-crf", "20", "-pix_fmt", "yuv420p", "-c:a", "aac", "-movflags", "+faststart",
           work + "floor.mp4"});
  std::printf("floor:   %s %.2f s (ffmpeg from raw pictures), %.1fx faster than real time, peak memory %.0f MB\n",
              floor.ok ? "ok" : "FAILED", floor.seconds, length / floor.seconds, floor.peakKiB / 1024.0);
  std::printf("export / floor: %.2f (goal: at most 1.2)\n", exported.seconds / floor.seconds);
  fileio::RemoveFile(raw, nullptr);
  return exported.ok && floor.ok ? 0 : 1;
}
