// The command line's whole road: streaming `glyphreel-cli make` at 15 frames
// a second and 160 x 120 cells, against the decoding floor of the same clip
// (`ffmpeg -threads 2 -i CLIP -f null -`), on
//   - a 60-second 640 x 480 H.264 clip (the test encoder's busy picture,
//     medium preset, B-frames), and
//   - a 10-minute 1080p H.264 clip with B-frames, made once by the ffmpeg
//     program and cached in the work folder.
// For each: wall time, times faster than real time, peak memory, bytes
// written into the output folder, and the ratio to the floor. Every run is
// checked: a program that fails, or a movie without the frames it should
// hold, ends the benchmark with an error instead of a figure.
//
// Usage: make_bench [work folder] [--sd-only]   (default: /tmp/glyphreel-make-bench;
//        --sd-only leaves out the 10-minute clip)
#include "BenchSupport.h"
#include "common/FileWrite.h"
#include "conversion/BmpTxt.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"
#include "video/RecordingTicks.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFps = 15;
constexpr int kIntervalMs = 67;  // 1000 / 15, rounded as the engine rounds


uint64_t BytesUnder(const std::string& folder) {
  uint64_t total = 0;
  QDirIterator it(QString::fromStdString(folder), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) total += static_cast<uint64_t>(QFileInfo(it.next()).size());
  return total;
}

// Times one clip; false when a program failed or the movie is wrong.
bool Bench(const std::string& label, const std::string& clip, int seconds, const std::string& work,
           const std::string& cli, const std::string& ffmpeg) {
  const std::string out = work + "out/";
  QDir(QString::fromStdString(out)).removeRecursively();
  fileio::MakePath(out, nullptr);
  const bench::Measure floor = bench::RunQuiet(ffmpeg, {"-v", "error", "-threads", "2", "-i", clip, "-f", "null", "-"});
  if (!floor.ok) {
    std::fprintf(stderr, "make_bench: %s failed on %s\n", ffmpeg.c_str(), clip.c_str());
    return false;
  }
  const bench::Measure make =
      bench::RunQuiet(cli, {"make", clip, out, "--fps", std::to_string(kFps), "--size", "160x120", "--overwrite"});
  if (!make.ok) {
    std::fprintf(stderr, "make_bench: glyphreel-cli make failed on %s\n", clip.c_str());
    return false;
  }
  const std::string name = QFileInfo(QString::fromStdString(clip)).completeBaseName().toStdString();
  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  const int expected = static_cast<int>(video::RecordingTicks{0, kIntervalMs, seconds * 1000}.Count());
  if (!movie.LoadFromFile(out + name + ".txt") || movie.FrameTotal() < expected - 1 ||
      movie.FrameTotal() > expected) {
    std::fprintf(stderr, "make_bench: the movie of %s holds %d frames, not %d\n", clip.c_str(), movie.FrameTotal(),
                 expected);
    return false;
  }
  const uint64_t written = BytesUnder(out);
  const uint64_t movieBytes = fileio::FileSize(out + name + ".txt");
  std::printf("%s: make %.1f s for %d s of video (%.1fx real time), peak %.0f MB, %.1f MB written "
              "(movie %.1f MB, %d frames)\n",
              label.c_str(), make.seconds, seconds, seconds / make.seconds, make.peakKiB / 1024.0,
              static_cast<double>(written) / 1e6, static_cast<double>(movieBytes) / 1e6, movie.FrameTotal());
  std::printf("%s: decoding floor (ffmpeg -threads 2) %.1f s; make / floor %.2f (goal <= 1.3)\n", label.c_str(),
              floor.seconds, make.seconds / floor.seconds);
  QDir(QString::fromStdString(out)).removeRecursively();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string work = "/tmp/glyphreel-make-bench/";
  bool sdOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--sd-only") {
      sdOnly = true;
    } else {
      work = std::string(argv[i]) + "/";
    }
  }
  fileio::MakePath(work, nullptr);
  const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/glyphreel-cli";
  const std::string ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).toStdString();
  if (!fileio::FileExists(cli) || ffmpeg.empty()) {
    std::fprintf(stderr, "make_bench: needs %s and the ffmpeg program (tools/install-deps.sh)\n", cli.c_str());
    return 1;
  }

  const std::string sd = work + "clip480.mp4";
  if (!fileio::FileExists(sd)) {
    std::printf("encoding a 60-second 640 x 480 clip (medium preset, B-frames) ...\n");
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".mp4");
    clipSpec.width = 640;
    clipSpec.height = 480;
    clipSpec.frameCount = 25 * 60;
    clipSpec.withSound = false;
    clipSpec.fastPreset = false;
    clipSpec.busyPicture = true;
    clipSpec.bFrames = 3;
    std::string error;
    if (!testing_support::WriteTestVideo(sd + ".part", clipSpec, &error) || ::rename((sd + ".part").c_str(), sd.c_str()) != 0) {
      std::fprintf(stderr, "make_bench: %s\n", error.c_str());
      return 1;
    }
  }
  if (!Bench("640x480, 60 s", sd, 60, work, cli, ffmpeg)) return 1;
  if (sdOnly) return 0;
  const std::string hd = work + "clip1080.mp4";
  if (!fileio::FileExists(hd)) {
    // Moving colour patterns, a clock and text, 30 a second as phones film;
    // veryfast keeps B-frames (ultrafast has none).
    std::printf("encoding a 10-minute 1080p clip with the ffmpeg program (once; cached in %s) ...\n", work.c_str());
    const bench::Measure made =
        bench::RunQuiet(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                     "testsrc2=size=1920x1080:rate=30", "-t", "600", "-c:v", "libx264", "-preset",
                     "veryfast", "-bf", "3", "-pix_fmt", "yuv420p", "-f", "mp4", hd + ".part"});
    if (!made.ok || ::rename((hd + ".part").c_str(), hd.c_str()) != 0) {
      std::fprintf(stderr, "make_bench: the ffmpeg program could not make %s\n", hd.c_str());
      return 1;
    }
  }
  if (!Bench("1080p, 10 min", hd, 600, work, cli, ffmpeg)) return 1;
  return 0;
}
