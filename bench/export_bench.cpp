// Exporting a character movie as a video.
//
// 1. Against the encoder: a 60-second 160 x 120 movie at 15 frames a second,
//    with its clip's sound, to MP4 at font size 9 (1440 x 1080) through
//    `glyphreel-cli export`: wall time, times faster than real time and peak
//    memory; in the same run the `ffmpeg` program encodes the same pictures
//    (rendered once to a raw file) with the same encoder settings: the
//    encoding floor the export is measured against.
// 2. Colour against gray: `export --colours source` beside the same export in
//    gray, of movies made by `make --fps 15 --size 160x120` from
//      - a 60-second 640 x 480 clip of photographs (python3-skimage's, each
//        slowly zoomed into; goal: at most 1.3 times the gray export), and
//      - a 60-second 1080p clip (the ffmpeg program's testsrc2, 30 a second,
//        B-frames; goal: at most the gray export plus the clip's decoding
//        floor, `ffmpeg -threads 2 -i CLIP -f null -`).
//    Each export runs twice, in turn, and the faster run counts (the machine
//    may be shared). Peak memory of the colour export of the photo movie's
//    first 20 seconds and of all 60 shows whether it grows with the length.
// 3. GIF: the photo movie at 80 x 60 cells (720 x 540) as a GIF in gray and in
//    colour: sizes and times.
// 4. Pictures: each photograph (640 x 480) converted at 80 x 60 and 160 x 120
//    cells (classic and fine) and drawn at 9 pixels a cell in colour, its
//    cells' colours the photograph's area means, by several paint styles; the
//    blurred SSIM (PictureMeasures.h) against the photograph in gray and in
//    each of R, G and B, and the share of glyphs whose colour stands at least
//    2:1 (WCAG contrast) from their background. Goals: SSIM at least 0.90 in
//    every plane, 95 % of glyphs at least 2:1.
//
// Usage: export_bench [--picture FILE] [--skip-speed] [work folder]
//        (default work folder: /tmp/glyphreel-export-bench; the clips are
//        made once and kept there). --picture writes a part of one frame of
//        the photo movie's gray and colour MP4 exports side by side.
#include "BenchSupport.h"
#include "PictureMeasures.h"
#include "common/FileWrite.h"
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"
#include "playback/ColourPaint.h"
#include "playback/FrameRenderer.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"
#include "video/FrameStepper.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>

namespace {

constexpr int kSeconds = 60;
constexpr int kFramesPerSecond = 15;
constexpr int kPhotoClipFps = 25;
constexpr double kZoom = 0.15;  // how far each photograph is zoomed into over its time
constexpr int kCell = 9;

bool Fail(const std::string& what) {
  std::fprintf(stderr, "export_bench: %s\n", what.c_str());
  return false;
}

// `glyphreel-cli make CLIP --fps 15 --size SIZE` into FOLDER; the movie's path.
std::string MakeMovie(const std::string& cli, const std::string& clip, const std::string& folder,
                      const std::string& size) {
  const std::string name = clip.substr(clip.rfind('/') + 1, clip.rfind('.') - clip.rfind('/') - 1);
  const std::string movie = folder + name + ".txt";
  if (fileio::FileExists(movie)) return movie;
  const bench::Measure made = bench::RunQuiet(
      cli, {"make", clip, folder, "--fps", std::to_string(kFramesPerSecond), "--size", size, "--overwrite"});
  if (!made.ok) return Fail("glyphreel-cli make failed on " + clip), std::string();
  return movie;
}

// 1. The export against the ffmpeg program encoding the same pictures.
bool AgainstTheEncoder(const std::string& work, const std::string& cli, const QString& ffmpeg) {
  const std::string clip = work + "clip.avi";
  if (!fileio::FileExists(clip)) {
    std::printf("making a %d-second 320 x 240 clip ...\n", kSeconds);
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".avi");
    clipSpec.width = 320;
    clipSpec.height = 240;
    clipSpec.framesPerSecond = 25;
    clipSpec.frameCount = 25 * kSeconds;
    clipSpec.busyPicture = true;
    std::string error;
    if (!testing_support::WriteTestVideo(clip, clipSpec, &error)) return Fail(error);
  }
  const std::string movieFile = MakeMovie(cli, clip, work + "clip/", "160x120");
  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  if (movieFile.empty() || !movie.LoadFromFile(movieFile)) return false;
  movie_export::Options options;
  options.output = work + "export.mp4";
  options.soundSource = clip;
  options.overwrite = true;
  movie_export::Plan plan;
  std::string error;
  // The plan measures every frame, to take the largest.
  const auto planStart = std::chrono::steady_clock::now();
  if (!movie_export::MakePlan(movie, options, &plan, &error)) return Fail(error);
  const double planSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - planStart).count();
  const double length = plan.DurationMs() / 1000.0;
  std::printf("movie: %d frames, %d ms apart, %d x %d pixels at font size %d, %.1f s\n", plan.frames,
              plan.intervalMs, plan.size.width(), plan.size.height(), plan.fontSize, length);
  std::printf("plan:    %.3f s (every frame measured)\n", planSeconds);

  const bench::Measure exported =
      bench::RunQuiet(cli, {"export", movieFile, options.output, "--video", clip, "--font-size", "9", "--overwrite"});
  std::printf("export:  %s %.2f s, %.1fx faster than real time, peak memory %.0f MB\n", exported.ok ? "ok" : "FAILED",
              exported.seconds, length / exported.seconds, exported.peakKiB / 1024.0);
  if (ffmpeg.isEmpty()) {
    std::printf("floor:   no ffmpeg program (tools/install-deps.sh installs it)\n");
    return exported.ok;
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
           "ultrafast", "-tune", "animation", "-crf", "24", "-pix_fmt", "yuv420p", "-c:a", "aac", "-movflags",
           "+faststart", work + "floor.mp4"});
  std::printf("floor:   %s %.2f s (ffmpeg from raw pictures), %.1fx faster than real time, peak memory %.0f MB\n",
              floor.ok ? "ok" : "FAILED", floor.seconds, length / floor.seconds, floor.peakKiB / 1024.0);
  std::printf("export / floor: %.2f (goal: at most 1.2)\n", exported.seconds / floor.seconds);
  fileio::RemoveFile(raw, nullptr);
  return exported.ok && floor.ok;
}

// A clip of the photographs, each shown for an equal share of `seconds` and
// slowly zoomed into, at `width` x `height`, with a tone.
bool PhotoClip(const std::string& path, const QString& photos, int width, int height, int seconds) {
  std::vector<QImage> pictures;
  for (const std::string& name : bench::PhotoNames()) {
    const QImage photo = bench::Photo(photos, name);
    if (!photo.isNull()) pictures.push_back(photo);
  }
  if (pictures.empty()) return Fail("no photographs in " + photos.toStdString());
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".mp4");
  clipSpec.width = width;
  clipSpec.height = height;
  clipSpec.framesPerSecond = kPhotoClipFps;
  clipSpec.frameCount = kPhotoClipFps * seconds;
  const int each = (clipSpec.frameCount + int(pictures.size()) - 1) / int(pictures.size());
  clipSpec.picture = [&](int frame) {
    const QImage& photo = pictures[size_t(std::min<int>(frame / each, int(pictures.size()) - 1))];
    const double t = double(frame % each) / each, zoom = 1 + kZoom * t;
    const QSizeF part(photo.width() / zoom, photo.height() / zoom);
    const QRectF from(QPointF((photo.width() - part.width()) * (0.5 + 0.3 * (t - 0.5)),
                              (photo.height() - part.height()) / 2),
                      part);
    QImage out(width, height, QImage::Format_RGB888);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, width, height), photo, from);
    return out;
  };
  std::string error;
  if (!testing_support::WriteTestVideo(path + ".part", clipSpec, &error)) return Fail(error);
  return ::rename((path + ".part").c_str(), path.c_str()) == 0 || Fail("cannot name " + path);
}

// The faster of two runs each of the gray and the colour export of `movie`
// to MP4, taken in turn.
struct GrayAndColour {
  bench::Measure gray, colour;
};
GrayAndColour TimeExports(const std::string& cli, const std::string& movie, const std::string& clip,
                          const std::string& out) {
  GrayAndColour best;
  for (int round = 0; round < 2; ++round) {
    const bench::Measure gray = bench::RunQuiet(cli, {"export", movie, out + "-gray.mp4", "--video", clip, "--overwrite"});
    const bench::Measure colour = bench::RunQuiet(
        cli, {"export", movie, out + "-colour.mp4", "--video", clip, "--colours", "source", "--overwrite"});
    if (round == 0 || gray.seconds < best.gray.seconds) best.gray = gray;
    if (round == 0 || colour.seconds < best.colour.seconds) best.colour = colour;
    best.gray.ok = best.gray.ok && gray.ok;
    best.colour.ok = best.colour.ok && colour.ok;
  }
  return best;
}

void Report(const char* label, const GrayAndColour& t) {
  std::printf("%s: gray %s %.2f s (peak %.0f MB), colour %s %.2f s (peak %.0f MB): colour / gray %.2f\n", label,
              t.gray.ok ? "ok" : "FAILED", t.gray.seconds, t.gray.peakKiB / 1024.0, t.colour.ok ? "ok" : "FAILED",
              t.colour.seconds, t.colour.peakKiB / 1024.0, t.colour.seconds / t.gray.seconds);
}

// The first `frames` frames of `movie` as a movie of their own.
bool CutMovie(const std::string& movie, int frames, const std::string& out) {
  TTextPic full;
  full.FrameMarker = kFrameMarker;
  if (!full.LoadFromFile(movie)) return false;
  std::string text;
  for (int k = 0; k < std::min(frames, full.FrameTotal()); ++k) text += full.FrameView(k);
  std::ofstream(out, std::ios::binary) << text;
  return true;
}

// 2. and 3.: colour against gray, in speed, memory and GIF size.
bool ColourAgainstGray(const std::string& work, const std::string& cli, const QString& ffmpeg, const QString& photos,
                       bool speed, bool picture) {
  const std::string clip = work + "photos.mp4";
  if (!fileio::FileExists(clip)) {
    std::printf("making a %d-second 640 x 480 clip of the photographs ...\n", kSeconds);
    if (!PhotoClip(clip, photos, 640, 480, kSeconds)) return false;
  }
  const std::string movie = MakeMovie(cli, clip, work + "photos/", "160x120");
  const std::string small = MakeMovie(cli, clip, work + "photos80/", "80x60");
  if (movie.empty() || small.empty()) return false;
  bool ok = true;
  if (!speed && picture) {
    ok = bench::RunQuiet(cli, {"export", movie, work + "photos-gray.mp4", "--video", clip, "--overwrite"}).ok &&
         bench::RunQuiet(cli, {"export", movie, work + "photos-colour.mp4", "--video", clip, "--colours", "source",
                               "--overwrite"}).ok;
  }
  if (speed) {
    const GrayAndColour sd = TimeExports(cli, movie, clip, work + "photos");
    Report("640x480 photographs, 60 s, to MP4 1440 x 1080", sd);
    std::printf("  goal: colour at most 1.3 x gray: %s\n", sd.colour.seconds <= 1.3 * sd.gray.seconds ? "met" : "MISSED");
    ok = ok && sd.gray.ok && sd.colour.ok;

    const std::string third = work + "photos/first20.txt";
    if (CutMovie(movie, kSeconds / 3 * kFramesPerSecond, third)) {
      const bench::Measure shorter = bench::RunQuiet(
          cli, {"export", third, work + "first20.mp4", "--video", clip, "--colours", "source", "--overwrite"});
      std::printf("  memory: colour export of the first 20 s peaks at %.0f MB, of all 60 s at %.0f MB\n",
                  shorter.peakKiB / 1024.0, sd.colour.peakKiB / 1024.0);
    }

    if (!ffmpeg.isEmpty()) {
      const std::string hd = work + "hd.mp4";
      if (!fileio::FileExists(hd)) {
        std::printf("making a %d-second 1080p clip with the ffmpeg program ...\n", kSeconds);
        const bench::Measure made = bench::RunQuiet(
            ffmpeg.toStdString(),
            {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-f", "lavfi", "-i",
             "sine=frequency=440:sample_rate=44100", "-t", std::to_string(kSeconds), "-c:v", "libx264", "-preset",
             "veryfast", "-bf", "3", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "mp4", hd + ".part"});
        if (!made.ok || ::rename((hd + ".part").c_str(), hd.c_str()) != 0) return Fail("cannot make " + hd);
      }
      const std::string hdMovie = MakeMovie(cli, hd, work + "hd/", "160x120");
      if (hdMovie.empty()) return false;
      const bench::Measure floor =
          bench::RunQuiet(ffmpeg.toStdString(), {"-v", "error", "-threads", "2", "-i", hd, "-f", "null", "-"});
      const GrayAndColour t = TimeExports(cli, hdMovie, hd, work + "hd");
      Report("1080p testsrc2, 60 s, to MP4 1440 x 1080", t);
      std::printf("  decoding floor (ffmpeg -threads 2 -f null) %.2f s; colour - gray %.2f s: goal (at most the floor) %s\n",
                  floor.seconds, t.colour.seconds - t.gray.seconds,
                  t.colour.seconds <= t.gray.seconds + floor.seconds ? "met" : "MISSED");
      ok = ok && t.gray.ok && t.colour.ok;
    }
  }

  const std::string grayGif = work + "photos80-gray.gif", colourGif = work + "photos80-colour.gif";
  const bench::Measure gray = bench::RunQuiet(cli, {"export", small, grayGif, "--overwrite"});
  const bench::Measure colour =
      bench::RunQuiet(cli, {"export", small, colourGif, "--video", clip, "--colours", "source", "--overwrite"});
  const double grayMb = fileio::FileSize(grayGif) / 1e6, colourMb = fileio::FileSize(colourGif) / 1e6;
  std::printf("GIF, the photographs at 80 x 60 cells (720 x 540), 60 s: gray %.1f MB in %.1f s, colour %.1f MB in "
              "%.1f s (%.1f x the size)\n",
              grayMb, gray.seconds, colourMb, colour.seconds, colourMb / grayMb);
  return ok && gray.ok && colour.ok;
}

// ---- 4. Pictures -------------------------------------------------------------

// The glyphs painted, and those at least 2:1 from their background, by the
// style being measured.
int g_glyphs = 0, g_legible = 0;
CellPaint Counted(const CellPaint& paint) {
  ++g_glyphs;
  if (colour_paint::ContrastRatio(paint.glyph, paint.background) >= colour_paint::kMinGlyphContrast) ++g_legible;
  return paint;
}

// The export's own style: mean-keeping, the glyph darker where both ways keep the mean.
CellPaint Chosen(QRgb c, double p) { return Counted(colour_paint::SourcePaint(c, p)); }
// Mean-keeping, the glyph lighter where both ways keep the mean.
CellPaint LighterFirst(QRgb c, double p) {
  return Counted(colour_paint::MeanKeepingPaint(c, p, true));
}
// The glyph in the cell's colour over that colour darkened just enough for
// 2:1 (black where no darkening reaches it).
CellPaint OverDarkened(QRgb c, double) {
  CellPaint paint{c, qRgb(0, 0, 0)};
  for (int k = 99; k >= 0; --k) {
    const QRgb ground = qRgb(qRed(c) * k / 100, qGreen(c) * k / 100, qBlue(c) * k / 100);
    if (colour_paint::ContrastRatio(c, ground) >= colour_paint::kMinGlyphContrast) {
      paint.background = ground;
      break;
    }
  }
  return Counted(paint);
}
// The cells' colours alone, no glyph to be seen.
CellPaint Flat(QRgb c, double) { return Counted(CellPaint{c, c}); }

struct Style {
  const char* name;
  PaintRule rule;  // nullptr: the gray drawing, black on white
};
const Style kStyles[] = {{"gray (black on white)", nullptr},
                         {"flat cells (no glyph seen)", Flat},
                         {"glyph over its colour darkened", OverDarkened},
                         {"mean-keeping, glyph lighter", LighterFirst},
                         {"mean-keeping, glyph darker (export)", Chosen}};
constexpr bench::Channel kPlanes[] = {bench::Channel::Gray, bench::Channel::Red, bench::Channel::Green,
                                      bench::Channel::Blue};

struct Figures {
  double ssim[4] = {};
  double legible = 0;
  int n = 0;
  double worst = 1;  // the lowest SSIM of any plane of any picture
};

bool Pictures(const QString& photos) {
  std::printf("\nPictures: each photograph at 80 x 60 and 160 x 120 cells, %d px a cell; blurred SSIM (sigma %.1f "
              "blur, sigma %d window) against the photograph\n",
              kCell, kCell / 2.0, kCell);
  std::map<std::string, std::map<std::string, Figures>> figures;  // movie -> style -> figures
  FrameRenderer renderer(MovieFont(kCell), Qt::black, Qt::white);
  for (const std::string& name : bench::PhotoNames()) {
    const QImage photo = bench::Photo(photos, name);
    if (photo.isNull()) continue;
    for (const auto& [cells, rows] : {std::pair{80, 60}, std::pair{160, 120}}) {
      const QSize size(cells * kCell, rows * kCell);
      std::vector<bench::BlurredReference> references;
      for (const bench::Channel plane : kPlanes) {
        references.emplace_back(bench::PlaneOf(photo, plane), size.width(), size.height(), kCell);
      }
      std::vector<QRgb> colours;
      fine::AreaMeanColours(photo, cells, rows, &colours);
      for (const bool fineMovie : {false, true}) {
        TConverter engine;
        engine.FrameMarker = kFrameMarker;
        engine.FinePicture = fineMovie;
        engine.GrayTable = fineMovie ? fine::FineGrayTable() : gbk::DefaultGrayTable();
        engine.GrayLevels = CountGrayUnits(engine.GrayTable);
        const QString text = bench::EngineRows(engine, photo, cells, rows);
        const std::vector<FrameRenderer::Line> lines = FrameRenderer::SplitLines(text);
        for (const Style& style : kStyles) {
          if (style.rule == Flat && fineMovie) continue;  // the same drawing for either movie
          g_glyphs = g_legible = 0;
          QImage drawing(size, QImage::Format_ARGB32_Premultiplied);
          if (style.rule) {
            renderer.ComposeInColour(text, lines, drawing.rect(), drawing.bits(), drawing.bytesPerLine(),
                                     colours.data(), cells, rows, style.rule, qRgb(0, 0, 0));
          } else {
            renderer.Compose(text, lines, drawing.rect(), drawing.bits(), drawing.bytesPerLine());
          }
          Figures& f = figures[style.rule == Flat ? "either" : fineMovie ? "fine" : "classic"][style.name];
          std::printf("%-20s %3dx%-4d %-8s %-36s", name.c_str(), cells, rows,
                      style.rule == Flat ? "either" : fineMovie ? "fine" : "classic", style.name);
          for (size_t i = 0; i < references.size(); ++i) {
            const double ssim = bench::BlurredSsim(references[i], bench::PlaneOf(drawing, kPlanes[i]));
            f.ssim[i] += ssim;
            f.worst = std::min(f.worst, ssim);
            std::printf(" %.3f", ssim);
          }
          const double legible = style.rule ? double(g_legible) / std::max(1, g_glyphs) : 1.0;
          f.legible += legible;
          ++f.n;
          std::printf("  %5.1f %%\n", 100 * legible);
          std::fflush(stdout);
        }
      }
    }
  }
  std::printf("\nMeans over the photographs and both sizes:\n\n");
  std::printf("| movie | style | SSIM gray | R | G | B | lowest | glyphs at least 2:1 |\n|---|---|---|---|---|---|---|---|\n");
  bool met = true;
  for (const auto& [movie, styles] : figures) {
    for (const Style& style : kStyles) {
      const auto it = styles.find(style.name);
      if (it == styles.end()) continue;
      const Figures& f = it->second;
      std::printf("| %s | %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.1f %% |\n", movie.c_str(), style.name,
                  f.ssim[0] / f.n, f.ssim[1] / f.n, f.ssim[2] / f.n, f.ssim[3] / f.n, f.worst, 100 * f.legible / f.n);
      if (style.rule == Chosen) {
        for (const double s : f.ssim) met = met && s / f.n >= 0.90;
        met = met && f.legible / f.n >= 0.95;
      }
    }
  }
  std::printf("\ngoals of the export's style (SSIM at least 0.90 in every plane, 95 %% of glyphs at least 2:1): %s\n",
              met ? "met" : "MISSED");
  return true;
}

// Part of one frame of the photo movie's gray and colour exports, side by side.
bool SidePicture(const std::string& work, const std::string& path) {
  const int64_t atMs = 4200;  // into the first photograph's zoom
  const QRect part(360, 150, 720, 540);
  QImage halves[2];
  for (int i = 0; i < 2; ++i) {
    video::FrameStepper stepper;
    std::string error;
    if (!stepper.Open(work + (i == 0 ? "photos-gray.mp4" : "photos-colour.mp4"), &error)) return Fail(error);
    QImage frame;
    if (!stepper.PictureAt(atMs, &frame)) return Fail("no picture at " + std::to_string(atMs) + " ms");
    halves[i] = frame.copy(part);
  }
  constexpr int kGap = 8;
  QImage side(2 * part.width() + kGap, part.height(), QImage::Format_RGB888);
  side.fill(Qt::white);
  QPainter p(&side);
  p.drawImage(0, 0, halves[0]);
  p.drawImage(part.width() + kGap, 0, halves[1]);
  p.end();
  if (!side.save(QString::fromStdString(path))) return Fail("cannot write " + path);
  std::printf("wrote %s (gray | colour, part of the frame at %lld ms)\n", path.c_str(), static_cast<long long>(atMs));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  std::string work = "/tmp/glyphreel-export-bench/";
  std::string picture;
  bool speed = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--picture" && i + 1 < argc) {
      picture = argv[++i];
    } else if (a == "--skip-speed") {
      speed = false;
    } else {
      work = a + "/";
    }
  }
  fileio::MakePath(work, nullptr);
  const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/glyphreel-cli";
  const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
  bool ok = !speed || AgainstTheEncoder(work, cli, ffmpeg);

  if (!bench::HaveOrInstall([] { return !bench::SkimageData().isEmpty(); }, "python3-skimage", GLYPHREEL_SOURCE_DIR)) {
    std::fprintf(stderr, "export_bench: the colour figures need the Debian package python3-skimage\n");
    return 1;
  }
  const QString photos = bench::SkimageData();
  std::printf("\nColour against gray:\n");
  ok = ColourAgainstGray(work, cli, ffmpeg, photos, speed, !picture.empty()) && ok;
  if (!picture.empty()) ok = SidePicture(work, picture) && ok;
  ok = Pictures(photos) && ok;
  return ok ? 0 : 1;
}
