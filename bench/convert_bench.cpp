// Conversion speed and memory.
//
// Makes 300 numbered 640 x 480 24-bit bitmaps once, then times the single
// text form at 160 x 120 and 320 x 240, the HTML form at 320 x 240, and a
// baseline that only reads the same bitmaps and writes and re-reads as many
// output bytes: the I/O floor. The text form at 320 x 240 is timed twice: in
// this process, as the window runs it, and as `glyphreel-cli convert`, a whole
// process. 3,000 frames (hard links to the same 300 files) at 160 x 120 show
// whether peak memory grows with the movie.
//
// Usage: convert_bench [work folder]   (default: a folder under /tmp)
#include "BenchSupport.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "common/FrameFolder.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "conversion/ConversionOutput.h"

#include <QCoreApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int kFrames = 300;
constexpr int kLongFrames = 3000;
constexpr int kSourceWidth = 640, kSourceHeight = 480;
constexpr double kFloorGoal = 3.0;  // convert at 320 x 240 / I/O floor

// A moving picture with some of everything: gradients, edges, noise.
QImage SourceFrame(int n) {
  QImage image(kSourceWidth, kSourceHeight, QImage::Format_RGB888);
  uint32_t seed = 12345u + static_cast<uint32_t>(n);
  for (int y = 0; y < kSourceHeight; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < kSourceWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double d = std::hypot(x - 320 - 100 * std::sin(n / 20.0), y - 240);
      const int v = static_cast<int>(127 + 120 * std::sin(d / 18.0 - n / 5.0)) + static_cast<int>(seed >> 29);
      line[3 * x] = static_cast<uchar>(std::clamp(v, 0, 255));
      line[3 * x + 1] = static_cast<uchar>((x + n) & 0xFF);
      line[3 * x + 2] = static_cast<uchar>((y * 2) & 0xFF);
    }
  }
  return image;
}

bool MakeFolder(const std::string& folder, int frames) {
  std::string error;
  if (!fileio::MakePath(folder, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return frames > 0;
}

void Setup(TConverter& engine, int sizeIndex) {
  const Rect size = StandardOutputSizes()[static_cast<size_t>(sizeIndex)];
  bench::SetUpEngine(engine, size.Right, size.Bottom, 67);
}

bool Convert(const std::string& folder, OutputForm form, int sizeIndex, const std::string& supportFolder) {
  TConverter engine;
  Setup(engine, sizeIndex);
  ConversionRequest request{form, folder, "movie.avi", supportFolder, true};
  const ConversionResult r = RunConversion(request, engine);
  if (!r.ok) std::fprintf(stderr, "conversion failed: %s\n", r.error.c_str());
  fileio::RemoveFile(r.outputPath, nullptr);
  return r.ok;
}

// Reads every bitmap, then writes `bytes` in frame-sized pieces and reads them back.
bool Baseline(const std::string& folder, int frames, uint64_t bytes) {
  std::string data;
  for (int n = 1; n <= frames; ++n) {
    if (!fileio::ReadFile(frames::BitmapPath(folder, n), &data, nullptr)) return false;
  }
  const std::string out = folder + "baseline.out";
  fileio::Writer w;
  if (!w.Open(out, fileio::Writer::Mode::Truncate)) return false;
  const std::string piece(static_cast<size_t>(bytes / static_cast<uint64_t>(frames)), 'x');
  for (int n = 0; n < frames; ++n) {
    if (!w.Write(piece)) return false;
  }
  if (!w.Commit()) return false;
  const bool ok = fileio::ReadFile(out, &data, nullptr);
  fileio::RemoveFile(out, nullptr);
  return ok;
}

uint64_t OutputSize(const std::string& folder, OutputForm form, int sizeIndex, const std::string& supportFolder) {
  TConverter engine;
  Setup(engine, sizeIndex);
  ConversionRequest request{form, folder, "size.avi", supportFolder, true};
  const ConversionResult r = RunConversion(request, engine);
  std::string data;
  fileio::ReadFile(r.outputPath, &data, nullptr);
  fileio::RemoveFile(r.outputPath, nullptr);
  return data.size();
}

void Report(const char* what, int frames, const bench::Measure& m, const bench::Measure* base) {
  std::printf("%-34s %6d frames %8.3f s %9.1f frames/s", what, frames, m.seconds, frames / m.seconds);
  if (base) std::printf("  %5.2fx baseline", m.seconds / base->seconds);
  std::printf("  peak %6.1f MiB%s  [%s]\n", m.peakKiB / 1024.0, m.ok ? "" : "  FAILED", bench::LoadAverage().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string work = argc > 1 ? std::string(argv[1]) + "/" : "/tmp/glyphreel-convert-bench/";
  const std::string frames300 = work + "300/";
  const std::string frames3000 = work + "3000/";
  const std::string supportFolder = QCoreApplication::applicationDirPath().toStdString() + "/dll/";

  if (!fileio::FileExists(frames::BitmapPath(frames300, kFrames))) {
    std::printf("making %d bitmaps of %d x %d in %s ...\n", kFrames, kSourceWidth, kSourceHeight, frames300.c_str());
    MakeFolder(frames300, kFrames);
    for (int n = 1; n <= kFrames; ++n) {
      std::string error;
      if (!bmp::Write24(frames::BitmapPath(frames300, n), SourceFrame(n), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
    }
  }
  if (!fileio::FileExists(frames::BitmapPath(frames3000, kLongFrames))) {
    MakeFolder(frames3000, kLongFrames);
    for (int n = 1; n <= kLongFrames; ++n) {
      const std::string from = frames::BitmapPath(frames300, (n - 1) % kFrames + 1);
      const std::string to = frames::BitmapPath(frames3000, n);
      if (link(from.c_str(), to.c_str()) != 0) {
        std::perror(to.c_str());
        return 1;
      }
    }
  }

  // Warm the page cache so every run reads from memory alike.
  Baseline(frames300, kFrames, kFrames);

  const uint64_t text320 = OutputSize(frames300, OutputForm::Text, 8, supportFolder);
  const uint64_t text160 = OutputSize(frames300, OutputForm::Text, 4, supportFolder);
  const uint64_t html320 = OutputSize(frames300, OutputForm::Html, 8, supportFolder);

  std::printf("\n");
  const bench::Measure base320 = bench::InChild([&] { return Baseline(frames300, kFrames, text320); });
  Report("baseline (output of text 320x240)", kFrames, base320, nullptr);
  const bench::Measure base160 = bench::InChild([&] { return Baseline(frames300, kFrames, text160); });
  Report("baseline (output of text 160x120)", kFrames, base160, nullptr);
  const bench::Measure baseHtml = bench::InChild([&] { return Baseline(frames300, kFrames, html320); });
  Report("baseline (output of html 320x240)", kFrames, baseHtml, nullptr);

  const bench::Measure t160 = bench::InChild([&] { return Convert(frames300, OutputForm::Text, 4, supportFolder); });
  Report("single text 160x120", kFrames, t160, &base160);
  const bench::Measure t320 = bench::InChild([&] { return Convert(frames300, OutputForm::Text, 8, supportFolder); });
  Report("single text 320x240", kFrames, t320, &base320);
  const bench::Measure h320 = bench::InChild([&] { return Convert(frames300, OutputForm::Html, 8, supportFolder); });
  Report("html 320x240", kFrames, h320, &baseHtml);
  const bench::Measure t160Long = bench::InChild([&] { return Convert(frames3000, OutputForm::Text, 4, supportFolder); });
  Report("single text 160x120, long movie", kLongFrames, t160Long, nullptr);
  const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/glyphreel-cli";
  const bench::Measure cli320 = bench::RunQuiet(cli, {"convert", frames300, "--size", "320x240", "--name", "cli.avi",
                                                      "--overwrite"});
  Report("glyphreel-cli convert 320x240", kFrames, cli320, &base320);
  const uint64_t cliBytes = fileio::FileSize(frames300 + "cli.txt");
  fileio::RemoveFile(frames300 + "cli.txt", nullptr);
  if (!cli320.ok || !t320.ok || !base320.ok || cliBytes != text320) {
    std::fprintf(stderr, "convert_bench: a run failed, or glyphreel-cli wrote %llu bytes, not %llu\n",
                 static_cast<unsigned long long>(cliBytes), static_cast<unsigned long long>(text320));
    return 1;
  }
  const double cliRatio = cli320.seconds / base320.seconds;
  std::printf("\nconvert 320x240 / I/O floor: %.2f in this process, %.2f as glyphreel-cli (goal < %.1f) %s\n",
              t320.seconds / base320.seconds, cliRatio, kFloorGoal, cliRatio < kFloorGoal ? "met" : "MISSED");

  std::printf("\noutput sizes: text 320x240 %.1f MB, text 160x120 %.1f MB, html 320x240 %.1f MB\n",
              text320 / 1e6, text160 / 1e6, html320 / 1e6);
  std::printf("peak memory, %d frames vs %d frames at 160x120: %.1f MiB vs %.1f MiB (%+.1f%%)\n", kLongFrames,
              kFrames, t160Long.peakKiB / 1024.0, t160.peakKiB / 1024.0,
              100.0 * (t160Long.peakKiB - t160.peakKiB) / t160.peakKiB);
  return 0;
}
