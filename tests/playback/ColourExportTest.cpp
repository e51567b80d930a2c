// Colour exports: every cell in the colours of the picture its frame was
// recorded from, its glyph legible on it; a GIF's palette of its own.
#include "playback/ColourPaint.h"
#include "playback/ExportSupport.h"
#include "playback/FrameRenderer.h"
#include "playback/MedianCut.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace testing_support;

// Two bars, left and right in the stored picture, that change colours at
// picture kChangeFrame of a 20-a-second clip: at 300 ms.
constexpr int kClipFps = 20, kClipFrames = 40, kChangeFrame = 6;
constexpr int64_t kClipMs = 1000LL * kClipFrames / kClipFps;
constexpr QRgb kBefore[2] = {qRgb(200, 60, 60), qRgb(60, 60, 200)};
constexpr QRgb kAfter[2] = {qRgb(60, 170, 60), qRgb(190, 190, 50)};

std::string BarsClip(const std::string& path, int rotation) {
  ClipSpec clipSpec;
  clipSpec.format = FormatFor(".mov");  // QuickTime keeps the display matrix; AVI has none
  clipSpec.framesPerSecond = kClipFps;
  clipSpec.frameCount = kClipFrames;
  clipSpec.rotation = rotation;
  const auto bars = [](const QRgb (&colours)[2]) {
    return MakeImage(160, 120, [&](int x, int) { return colours[x < 80 ? 0 : 1]; });
  };
  const QImage before = bars(kBefore), after = bars(kAfter);
  clipSpec.picture = [=](int frame) { return frame < kChangeFrame ? before : after; };
  std::string error;
  EXPECT_TRUE(WriteTestVideo(path, clipSpec, &error)) << error;
  return path;
}

QRgb MeanColour(const QImage& picture, const QRect& area) {
  int64_t sum[3] = {}, n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x, ++n) {
      const QRgb p = picture.pixel(x, y);
      sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
    }
  }
  return qRgb(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
}

int ColourDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

std::string Hex(QRgb c) { return QColor(c).name().toStdString(); }

// Movie frame k takes the picture shown at start + (k + 1) x V: the colours
// change in the first frame whose tick is at or after the change, never
// earlier; a turned clip's bars are upright (left becomes top); past the
// clip's end its last picture's colours hold, and the export says where it
// ended. Each cell's mean is the source's colour (the glyph over its
// background keeps it), whether a dense glyph or none stands in it.
TEST(ColourExport, CellsTakeTheColoursOfThePictureAtTheirTick) {
  TempFolder dir;
  const std::string flat = BarsClip(dir / "bars.mov", 0);
  const std::string turned = BarsClip(dir / "turned.mov", 90);
  constexpr int kFrames = 24, kInterval = 100, kSize = 12;  // ticks up to 2.4 s, past the clip's 2 s
  const struct {
    const char* name;
    std::string clip;
    const char* extension;
    int64_t startMs;
    int firstNew;  // the first frame whose tick is at or after 300 ms
    int tolerance;
  } cases[] = {
      {"from the start", flat, ".mkv", 0, 2, 8},
      {"from a later start", flat, ".mkv", 150, 1, 8},
      {"as a GIF", flat, ".gif", 0, 2, 10},
      {"turned upright", turned, ".mkv", 0, 2, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool upright = c.clip == turned;
    const int units = upright ? 2 : 4, lines = upright ? 4 : 2;
    WriteAll(dir / "movie.txt", export_support::MovieText(kFrames, units, lines, kInterval, [](int k, int x, int y) {
               return (k + x + y) % 2 == 0;
             }));
    TTextPic movie;
    movie.FrameMarker = "\x80\x80";
    ASSERT_TRUE(movie.LoadFromFile(dir / "movie.txt"));
    movie_export::Options options;
    options.output = dir / (std::string("out") + c.extension);
    options.overwrite = true;
    options.fontSize = kSize;
    options.colourSource = c.clip;
    options.startMs = c.startMs;
    const movie_export::Result result = movie_export::Export(movie, options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.colourSourceEndMs, kClipMs);

    const export_support::Decoded d = export_support::DecodeFile(options.output, true, false);
    ASSERT_EQ(d.pictures.size(), size_t(kFrames + 1));
    for (int k = 0; k < kFrames; ++k) {
      const QImage& picture = d.pictures[size_t(k + 1)];
      for (int y = 0; y < lines; ++y) {
        for (int x = 0; x < units; ++x) {
          const int bar = upright ? (y < lines / 2 ? 0 : 1) : (x < units / 2 ? 0 : 1);
          const QRgb expected = (k < c.firstNew ? kBefore : kAfter)[bar];
          const QRgb seen = MeanColour(picture, QRect(x * kSize, y * kSize, kSize, kSize));
          EXPECT_LE(ColourDistance(seen, expected), c.tolerance)
              << "frame " << k << " cell " << x << "," << y << ": " << Hex(seen) << " for " << Hex(expected);
        }
      }
    }
  }
}

// The paint keeps the cell's mean where it can, and its glyph always stands
// at least 2:1 from its background, from black to white and in full colour;
// drawn with the gray pair (black on white) the colour drawing is the gray
// drawing, pixel for pixel.
TEST(ColourExport, GlyphsKeepTheMeanAndTheirContrast) {
  const QRgb colours[] = {qRgb(0, 0, 0),       qRgb(255, 255, 255), qRgb(128, 128, 128), qRgb(255, 0, 0),
                          qRgb(0, 0, 255),     qRgb(30, 90, 40),    qRgb(250, 240, 200), qRgb(120, 60, 200)};
  for (const QRgb colour : colours) {
    for (const double coverage : {0.0, 0.15, 0.4, 0.8}) {
      SCOPED_TRACE(Hex(colour) + " covered " + std::to_string(coverage));
      const CellPaint paint = colour_paint::SourcePaint(colour, coverage);
      EXPECT_GE(colour_paint::ContrastRatio(paint.glyph, paint.background), colour_paint::kMinGlyphContrast);
      if (colour == qRgb(128, 128, 128) || colour == qRgb(120, 60, 200) || colour == qRgb(30, 90, 40)) {
        for (const int shift : {16, 8, 0}) {
          const double mean = coverage * ((paint.glyph >> shift) & 0xff) +
                              (1 - coverage) * ((paint.background >> shift) & 0xff);
          EXPECT_NEAR(mean, (colour >> shift) & 0xff, 1.0) << "channel at bit " << shift;
        }
      }
    }
  }

  const QString text = QStringLiteral("厲嵌懒ab\r\n傳　Mi蛤\r\n");
  FrameRenderer renderer(MovieFont(9), Qt::black, Qt::white);
  const QImage gray = renderer.Render(text, QSize(40, 20));
  QImage coloured(40, 20, QImage::Format_ARGB32_Premultiplied);
  const std::vector<QRgb> cells(8, qRgb(90, 90, 90));
  renderer.ComposeInColour(text, FrameRenderer::SplitLines(text), coloured.rect(), coloured.bits(),
                           coloured.bytesPerLine(), cells.data(), 4, 2,
                           [](QRgb, double) { return CellPaint{qRgb(0, 0, 0), qRgb(255, 255, 255)}; },
                           qRgb(255, 255, 255));
  EXPECT_EQ(coloured, gray);
}

// A picture of at most 256 colours keeps them all; a smooth one of
// thousands comes close everywhere, without a colour far off.
TEST(ColourExport, GifPalettesKeepFewColoursExactlyAndSmoothOnesClose) {
  for (const bool few : {true, false}) {
    SCOPED_TRACE(few ? "200 colours" : "a smooth picture");
    const QImage picture = MakeImage(160, 100, [&](int x, int y) {
      return few ? qRgb(x % 20 * 12, y % 10 * 25, 77) : qRgb(x * 255 / 159, y * 255 / 99, (x + y) * 255 / 258);
    }).convertToFormat(QImage::Format_RGB32);
    uint32_t palette[256];
    std::vector<uint8_t> indices(160 * 100);
    movie_export::MedianCutPalette(picture, palette, indices.data(), 160);
    double total = 0;
    int worst = 0;
    for (int y = 0; y < 100; ++y) {
      for (int x = 0; x < 160; ++x) {
        const int off = ColourDistance(palette[indices[size_t(y * 160 + x)]], picture.pixel(x, y));
        worst = std::max(worst, off);
        total += off;
      }
    }
    if (few) {
      EXPECT_EQ(worst, 0);
    } else {
      // 16,000 colours in 256: each takes in a patch of about 8 x 8 pixels.
      EXPECT_LE(worst, 24);
      EXPECT_LE(total / (160 * 100), 7.0);
    }
  }
}

}  // namespace
