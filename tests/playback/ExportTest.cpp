// Character movies exported as videos, read back with libavformat/libavcodec.
#include "playback/MovieExport.h"

#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "playback/ExportSupport.h"
#include "playback/TextPic.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <QDir>
#include <QProcess>

#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace testing_support;
using export_support::DecodeFile;
using export_support::Decoded;

// A movie as the converter writes it from pictures with gradients and a
// moving disk, so that every unit of the default table shows up.
std::string EngineMovie(int frames, int width, int height, int intervalMs) {
  TConverter engine;
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  engine.Interval = intervalMs;
  engine.OutputRect = Rect{0, 0, width, height};
  std::string text;
  for (int k = 0; k < frames; ++k) {
    engine.FrameIndex = k;
    const QImage picture = MakeImage(width, height, [&](int x, int y) {
      const bool disk = std::hypot(x - 4.0 * k - 10, y - height / 2.0) < height / 4.0;
      const unsigned v = disk ? 0u : unsigned(255 * x / width);
      return v * 0x010101u;
    });
    text += engine.BitmapToFrame(picture);
  }
  return text;
}

TTextPic Load(const std::string& path, const std::string& text) {
  WriteAll(path, text);
  TTextPic movie;
  movie.FrameMarker = "\x80\x80";
  EXPECT_TRUE(movie.LoadFromFile(path));
  return movie;
}

struct ContainerCase {
  const char* extension;
  const char* codec;
  int intervalMs;
  int64_t slackMs;  // how far a time may be off: a GIF counts in centiseconds
};

// Every container: K + 1 pictures (frame 0 twice), each V apart from 0, the
// whole lasting (K + 1) x V; the size is the cells' at the font size, made
// even. A GIF's delays are rounded so that the running time never drifts.
TEST(MovieExport, EveryContainerHasTheFramesSizeAndTimingOfSynchronizedPlay) {
  TempFolder dir;
  const ContainerCase cases[] = {
      {".mkv", "ffv1", 100, 1}, {".mp4", "h264", 100, 1}, {".webm", "vp9", 100, 1}, {".gif", "gif", 67, 10}};
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.extension);
    const int frames = 6;
    const TTextPic movie = Load(dir / "movie.txt", export_support::MovieText(frames, 25, 15, c.intervalMs, [](int k, int x, int y) {
      return (x + y + k) % 5 == 0;
    }));
    movie_export::Options options;
    options.output = dir / (std::string("out") + c.extension);
    const movie_export::Result result = movie_export::Export(movie, options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.plan.size, QSize(25 * 9 + 1, 15 * 9 + 1)) << "225 x 135 padded to even";

    const Decoded d = DecodeFile(options.output, false, false);
    ASSERT_TRUE(d.opened) << d.error;
    EXPECT_EQ(d.videoCodec, c.codec);
    EXPECT_EQ(d.width, 226);
    EXPECT_EQ(d.height, 136);
    ASSERT_EQ(d.ptsMs.size(), size_t(frames + 1));
    for (int j = 0; j <= frames; ++j) {
      const int64_t expected = c.slackMs > 1 ? (j * c.intervalMs + 5) / 10 * 10 : j * c.intervalMs;
      EXPECT_NEAR(d.ptsMs[size_t(j)], expected, c.slackMs) << "picture " << j;
    }
    const int64_t duration = (frames + 1) * c.intervalMs;
    EXPECT_NEAR(d.durationMs, duration, c.slackMs);
    EXPECT_TRUE(d.soundCodec.empty());
  }
}

// GIF delays are whole centiseconds, rounded, and players show one below 2 cs
// as 10 cs: pictures that would show that briefly are merged into the one
// before, the running time unchanged to the centisecond.
TEST(MovieExport, GifDelaysAreAtLeastTwoCentisecondsAndAddUpExactly) {
  TempFolder dir;
  const struct {
    int intervalMs, frames;
    std::vector<int64_t> ptsMs;
    int64_t endMs;
  } cases[] = {
      {15, 5, {0, 20, 50}, 90},  // pictures due at 0, 15, 30, 45, 60, 75 ms; 90 in all
      {1, 50, {0, 20}, 50},      // 51 pictures 1 ms apart
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames) + " frames at " + std::to_string(c.intervalMs) + " ms");
    const TTextPic movie = Load(dir / "movie.txt", export_support::MovieText(c.frames, 3, 2, c.intervalMs,
                                                                             [](int, int, int) { return false; }));
    movie_export::Options options;
    options.output = dir / "out.gif";
    options.overwrite = true;
    ASSERT_TRUE(movie_export::Export(movie, options).ok);
    const Decoded d = DecodeFile(options.output, false, false);
    EXPECT_EQ(d.ptsMs, c.ptsMs);
    EXPECT_EQ(d.videoEndMs, c.endMs);
  }
}

// The pictures are the renderer's: FFV1 keeps every pixel, H.264 comes within
// 35 dB, and the GIF's palette of blends between the two colours within
// 45 dB. Picture j shows movie frame j - 1 (picture 0 frame 0 as well).
TEST(MovieExport, PicturesAreTheRenderersLosslessOrWithin35Decibels) {
  TempFolder dir;
  const TTextPic movie = Load(dir / "movie.txt", EngineMovie(5, 60, 30, 100));
  for (const char* extension : {".mkv", ".mp4", ".gif"}) {
    for (const bool inverted : {false, true}) {
      SCOPED_TRACE(std::string(extension) + (inverted ? " inverted" : " normal"));
      movie_export::Options options;
      options.output = dir / (std::string("out") + extension);
      options.overwrite = true;
      options.fontSize = inverted ? 7 : 12;
      if (inverted) std::swap(options.text, options.background);
      const movie_export::Result result = movie_export::Export(movie, options);
      ASSERT_TRUE(result.ok) << result.error;
      const Decoded d = DecodeFile(options.output, true, false);
      ASSERT_EQ(d.pictures.size(), 6u);
      movie_export::FramePictures pictures(movie, result.plan, options);
      for (int j = 0; j < 6; ++j) {
        const QImage expected = pictures.Picture(std::max(0, j - 1)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(d.pictures[size_t(j)].size(), expected.size());
        if (std::string(extension) == ".mkv") {
          EXPECT_EQ(d.pictures[size_t(j)], expected) << "picture " << j;
        } else {
          const double floor = std::string(extension) == ".gif" ? 45.0 : 35.0;
          EXPECT_GE(export_support::Psnr(d.pictures[size_t(j)], expected), floor) << "picture " << j;
        }
      }
    }
  }
}

// The export's own conversion to 4:2:0 YUV gives swscale's accurate bytes
// within one step, in gray (its constant chroma) and in two colours.
TEST(MovieExport, ConversionToYuvAgreesWithTheScaler) {
  TempFolder dir;
  const TTextPic movie = Load(dir / "movie.txt", EngineMovie(5, 60, 30, 100));
  const struct {
    QColor text, background;
    bool gray;
  } schemes[] = {{Qt::black, Qt::white, true}, {Qt::white, Qt::black, true},
                 {QColor(20, 40, 140), QColor(250, 235, 160), false}};
  for (const auto& scheme : schemes) {
    SCOPED_TRACE(scheme.text.name().toStdString() + " on " + scheme.background.name().toStdString());
    movie_export::Options options;
    options.output = dir / "out.mp4";
    options.fontSize = 9;
    options.text = scheme.text;
    options.background = scheme.background;
    movie_export::Plan plan;
    std::string error;
    ASSERT_TRUE(movie_export::MakePlan(movie, options, &plan, &error)) << error;
    const QImage picture = movie_export::FramePictures(movie, plan, options).Picture(1);
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> ours(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> scaled(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    for (AVFrame* f : {ours.get(), scaled.get()}) {
      f->format = AV_PIX_FMT_YUV420P;
      f->width = picture.width();
      f->height = picture.height();
      ASSERT_EQ(av_frame_get_buffer(f, 0), 0);
    }
    movie_export::ToYuv420(picture, scheme.gray, ours.get());
    const int flags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;  // as the export's colour road
    SwsContext* scaler = sws_getContext(picture.width(), picture.height(), AV_PIX_FMT_BGRA, picture.width(),
                                        picture.height(), AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr);
    const uint8_t* source[] = {picture.constBits()};
    const int sourceStride[] = {static_cast<int>(picture.bytesPerLine())};
    sws_scale(scaler, source, sourceStride, 0, picture.height(), scaled->data, scaled->linesize);
    sws_freeContext(scaler);
    for (int plane = 0; plane < 3; ++plane) {
      const int w = plane == 0 ? picture.width() : picture.width() / 2;
      const int h = plane == 0 ? picture.height() : picture.height() / 2;
      int worst = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          worst = std::max(worst, std::abs(ours->data[plane][y * ours->linesize[plane] + x] -
                                           scaled->data[plane][y * scaled->linesize[plane] + x]));
        }
      }
      EXPECT_LE(worst, 1) << "plane " << plane;
    }
  }
}

// The source's sound from its start, cut (or padded) to the export's length;
// a source without sound gives a silent export and says so.
TEST(MovieExport, SoundOfTheSourceCutToTheDuration) {
  TempFolder dir;
  const TTextPic movie = Load(dir / "movie.txt", EngineMovie(9, 40, 30, 200));  // 2 s
  ClipSpec longClip;
  longClip.format = FormatFor(".mp4");
  longClip.frameCount = 75;  // 3 s of sound
  longClip.sampleRate = 44100;
  std::string error;
  ASSERT_TRUE(WriteTestVideo(dir / "long.mp4", longClip, &error)) << error;
  ClipSpec shortClip = longClip;
  shortClip.frameCount = 25;  // 1 s
  ASSERT_TRUE(WriteTestVideo(dir / "short.mp4", shortClip, &error)) << error;
  ClipSpec silentClip = longClip;
  silentClip.withSound = false;
  ASSERT_TRUE(WriteTestVideo(dir / "silent.mp4", silentClip, &error)) << error;

  struct SoundCase {
    const char* source;
    const char* extension;
    const char* codec;  // "" for none
  };
  const SoundCase cases[] = {
      {"long.mp4", ".mkv", "pcm_s16le"}, {"long.mp4", ".mp4", "aac"},   {"long.mp4", ".webm", "opus"},
      {"short.mp4", ".mkv", "pcm_s16le"}, {"silent.mp4", ".mp4", ""},  {"long.mp4", ".gif", ""},
  };
  for (const SoundCase& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " into " + c.extension);
    movie_export::Options options;
    options.output = dir / (std::string("out") + c.extension);
    options.overwrite = true;
    options.soundSource = dir / c.source;
    const movie_export::Result result = movie_export::Export(movie, options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.soundMissing, std::string(c.source) == "silent.mp4");
    const Decoded d = DecodeFile(options.output, false, true);
    EXPECT_EQ(d.soundCodec, c.codec);
    if (*c.codec == 0) continue;
    const double soundMs = 1000.0 * double(d.soundSamples) / d.sampleRate;
    // AAC and Opus round up to whole packets of about 21 ms.
    EXPECT_NEAR(soundMs, 2000.0, std::string(c.codec) == "pcm_s16le" ? 1.0 : 30.0);
    // The tone is there from the start; a short source ends in silence.
    ASSERT_GT(d.soundLevel.size(), 1900u);
    EXPECT_GT(*std::max_element(d.soundLevel.begin() + 100, d.soundLevel.begin() + 900), 0.1f);
    const float late = *std::max_element(d.soundLevel.begin() + 1200, d.soundLevel.begin() + 1900);
    if (std::string(c.source) == "short.mp4") {
      EXPECT_LT(late, 0.01f);
    } else {
      EXPECT_GT(late, 0.1f);
    }
  }
}

// At one frame a second an error of one interval is a whole second. A source
// that flashes white while it beeps, made into a movie by the command line
// and exported with its sound: the first bright picture and the beep's onset
// lie within half an interval.
TEST(MovieExport, FlashAndBeepStayInStepAtOneFrameASecond) {
  TempFolder dir;
  ClipSpec clip;
  clip.format = FormatFor(".avi");
  clip.framesPerSecond = 10;
  clip.frameCount = 80;  // 8 s
  clip.toneFromSeconds = 3.8;
  clip.luma = [](int frame, int, int) { return frame >= 38 && frame < 46 ? 255 : 0; };
  std::string error;
  ASSERT_TRUE(WriteTestVideo(dir / "flash.avi", clip, &error)) << error;

  QProcess make;
  make.start(QString::fromStdString(BuiltAppPath() + "glyphreel-cli"),
             {QStringLiteral("make"), QString::fromStdString(dir / "flash.avi"), QStringLiteral("--fps"),
              QStringLiteral("1"), QStringLiteral("--size"), QStringLiteral("80x60")});
  ASSERT_TRUE(make.waitForFinished(60000));
  ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
  TTextPic movie;
  movie.FrameMarker = "\x80\x80";
  ASSERT_TRUE(movie.LoadFromFile(dir / "flash/flash.txt"));
  ASSERT_EQ(movie.FrameInterval(), 1000);

  movie_export::Options options;
  options.output = dir / "flash.mkv";
  options.soundSource = dir / "flash.avi";
  const movie_export::Result result = movie_export::Export(movie, options);
  ASSERT_TRUE(result.ok) << result.error;
  const Decoded d = DecodeFile(options.output, true, true);
  ASSERT_FALSE(d.pictures.empty());

  // Brightness of each picture; the flash is the first well above the first's.
  auto brightness = [](const QImage& p) {
    double sum = 0;
    for (int y = 0; y < p.height(); y += 2)
      for (int x = 0; x < p.width(); x += 2) sum += qGray(p.pixel(x, y));
    return sum / ((p.height() / 2) * (p.width() / 2));
  };
  const double dark = brightness(d.pictures.front());
  int64_t flashMs = -1;
  for (size_t j = 0; j < d.pictures.size() && flashMs < 0; ++j) {
    if (brightness(d.pictures[j]) > dark + 20) flashMs = d.ptsMs[j];
  }
  int64_t beepMs = -1;
  for (size_t ms = 0; ms < d.soundLevel.size() && beepMs < 0; ++ms) {
    if (d.soundLevel[ms] > 0.05f) beepMs = int64_t(ms);
  }
  ASSERT_GE(flashMs, 0);
  ASSERT_GE(beepMs, 0);
  EXPECT_NEAR(double(flashMs), double(beepMs), 500.0) << "flash at " << flashMs << " ms, beep at " << beepMs << " ms";
}

// Refusals come before anything is written: the player's message for a movie
// that cannot play, an unknown type, a size out of range, an existing output.
// A picture too big at the asked size takes the largest size that fits.
TEST(MovieExport, PlansRefuseWhatCannotBeMadeAndShrinkWhatIsTooBig) {
  TempFolder dir;
  const auto any = [](int, int, int) { return false; };
  const TTextPic two = Load(dir / "two.txt", export_support::MovieText(2, 4, 3, 100, any));
  const TTextPic still = Load(dir / "still.txt", export_support::MovieText(3, 4, 3, 0, any));
  const TTextPic wide = Load(dir / "wide.txt", export_support::MovieText(3, 500, 3, 100, any));
  const TTextPic tall = Load(dir / "tall.txt", export_support::MovieText(3, 4, 600, 100, any));
  const TTextPic fine = Load(dir / "fine.txt", export_support::MovieText(3, 4, 3, 100, any));
  const TTextPic exactWidth = Load(dir / "w.txt", export_support::MovieText(3, 320, 3, 100, any));
  const TTextPic exactHeight = Load(dir / "h.txt", export_support::MovieText(3, 4, 180, 100, any));
  WriteAll(dir / "taken.mp4", "keep me");

  struct PlanCase {
    const char* name;
    const TTextPic* movie;
    std::string output;
    int fontSize;
    bool overwrite;
    std::string error;  // empty: a plan
    int planFontSize;
  };
  const PlanCase cases[] = {
      {"two frames", &two, dir / "a.mp4", 9, false, TTextPic::kNotStandardMovie, 0},
      {"interval 0", &still, dir / "a.mp4", 9, false, TTextPic::kNotStandardMovie, 0},
      {"unknown type", &fine, dir / "a.avi", 9, false, "Unknown video type", 0},
      {"size 3", &fine, dir / "a.mp4", 3, false, "outside 4 to 12", 0},
      {"size 13", &fine, dir / "a.mp4", 13, false, "outside 4 to 12", 0},
      {"existing output", &fine, dir / "taken.mp4", 9, false, "exists", 0},
      {"existing output, overwrite", &fine, dir / "taken.mp4", 9, true, "", 9},
      {"500 units wide: 7 px fits 3840", &wide, dir / "a.webm", 9, false, "", 7},
      {"320 units at 12 px: 3840 wide", &exactWidth, dir / "a.webm", 12, false, "", 12},
      {"180 lines at 12 px: 2160 high", &exactHeight, dir / "a.webm", 12, false, "", 12},
      {"600 lines: nothing fits 2160", &tall, dir / "a.webm", 9, false, "larger than 3840 x 2160", 0},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    movie_export::Options options;
    options.output = c.output;
    options.fontSize = c.fontSize;
    options.overwrite = c.overwrite;
    movie_export::Plan plan;
    std::string error;
    const bool ok = movie_export::MakePlan(*c.movie, options, &plan, &error);
    EXPECT_EQ(ok, c.error.empty()) << error;
    if (!ok) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      const movie_export::Result result = movie_export::Export(*c.movie, options);
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error, error);
    } else {
      EXPECT_EQ(plan.fontSize, c.planFontSize);
      EXPECT_EQ(plan.fontSizeReduced, c.planFontSize != c.fontSize);
      EXPECT_LE(plan.size.width(), 3840);
    }
  }
  EXPECT_EQ(ReadAll(dir / "taken.mp4"), "keep me");
  EXPECT_FALSE(Exists(dir / "a.mp4"));
}

// Frames of different sizes: the picture is the largest frame's (its widest
// line by its most lines), and a smaller frame is padded with the background.
TEST(MovieExport, TheLargestFrameSetsThePictureSize) {
  TempFolder dir;
  const auto dark = [](int, int, int) { return true; };
  const TTextPic movie = Load(dir / "movie.txt", export_support::MovieText(1, 2, 2, 100, dark) +
                                                     export_support::MovieText(1, 3, 5, 100, dark) +
                                                     export_support::MovieText(1, 4, 1, 100, dark));
  movie_export::Options options;
  options.output = dir / "out.mkv";
  const movie_export::Result result = movie_export::Export(movie, options);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.plan.size, QSize(36, 46)) << "4 units by 5 lines of 9 px, made even";
  const Decoded d = DecodeFile(options.output, true, false);
  ASSERT_EQ(d.pictures.size(), 4u);
  movie_export::FramePictures pictures(movie, result.plan, options);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(d.pictures[size_t(k + 1)], pictures.Picture(k).convertToFormat(QImage::Format_RGB32)) << k;
  }
}

// A cancelled export stops at once and leaves nothing behind, the previous
// file of that name included.
TEST(MovieExport, CancelLeavesNoFile) {
  TempFolder dir;
  const TTextPic movie = Load(dir / "movie.txt", EngineMovie(20, 40, 30, 100));
  WriteAll(dir / "out.mp4", "old");
  movie_export::Options options;
  options.output = dir / "out.mp4";
  options.overwrite = true;
  int calls = 0;
  const movie_export::Result result = movie_export::Export(movie, options, [&](int done, int total) {
    EXPECT_EQ(total, 21);
    ++calls;
    return done < 5;
  });
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(ReadAll(dir / "out.mp4"), "old");
  QDir folder(QString::fromStdString(dir.Path()));
  EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden).size(), 2) << "movie.txt and out.mp4 only";
}

// A finished export is a file like any other the program writes: the plain
// create mode less the umask, not the private mode of a temporary file.
TEST(MovieExport, TheOutputGetsThePlainCreateMode) {
  TempFolder dir;
  const TTextPic movie = Load(dir / "movie.txt", EngineMovie(20, 40, 3, 100));
  const mode_t old = ::umask(0);
  for (const mode_t mask : {mode_t{022}, mode_t{027}}) {
    ::umask(mask);
    movie_export::Options options;
    options.output = dir / ("out" + std::to_string(mask) + ".mkv");
    const movie_export::Result result = movie_export::Export(movie, options);
    ASSERT_TRUE(result.ok) << result.error;
    struct stat st {};
    ASSERT_EQ(::stat(options.output.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "under umask " << std::oct << mask;
  }
  ::umask(old);
}

}  // namespace
