#include "playback/FrameLabel.h"

#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using testing_support::MakeImage;

// The movie font itself (the renderer draws with it whatever the label's font).
QFont SongTi(int pixels) { return MovieFont(pixels); }

// A frame as the engine writes it, from a picture with gradients, edges and
// noise, so that every unit of the table meets many neighbours.
std::string EngineFrame(const std::string& grayTable, int width, int height) {
  TConverter engine;
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = grayTable;
  engine.GrayLevels = CountGrayUnits(grayTable);
  engine.Interval = 67;
  engine.OutputRect = Rect{0, 0, width, height};
  uint32_t seed = 7;
  const QImage picture = MakeImage(width, height, [&](int x, int y) {
    seed = seed * 1664525u + 1013904223u;
    const int wave = static_cast<int>(127 + 110 * std::sin(std::hypot(x - width / 2, y - height / 2) / 3.0));
    const int v = std::clamp(wave + static_cast<int>(seed >> 28) - 8 + (x % 13 == 0 ? 60 : 0), 0, 255);
    return unsigned(v) * 0x010101u;
  });
  return engine.BitmapToFrame(picture);
}

// The widget painted into an image (the label writes its cells straight into
// the image) or into a pixmap (it builds them aside and draws them).
enum class Target { Image, Pixmap };

QImage Rendered(QWidget& widget, Target target = Target::Image) {
  if (target == Target::Pixmap) return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::magenta);  // anything left unpainted shows
  widget.render(&image);
  return image;
}

// Pixels that differ, and the first of them, for failure messages.
struct Difference {
  int count = 0;
  QPoint first;
  std::string Describe(const QImage& expected, const QImage& actual) const {
    if (count == 0) return "equal";
    return std::to_string(count) + " pixels differ, first at (" + std::to_string(first.x()) + ", " +
           std::to_string(first.y()) + "): expected " + QColor(expected.pixel(first)).name().toStdString() +
           ", got " + QColor(actual.pixel(first)).name().toStdString();
  }
};

Difference Compare(const QImage& expected, const QImage& actual) {
  Difference d;
  if (expected.size() != actual.size()) {
    d.count = -1;
    return d;
  }
  for (int y = 0; y < expected.height(); ++y) {
    for (int x = 0; x < expected.width(); ++x) {
      if (expected.pixel(x, y) == actual.pixel(x, y)) continue;
      if (d.count++ == 0) d.first = QPoint(x, y);
    }
  }
  return d;
}

struct Sample {
  const char* name;
  QString text;
};

std::vector<Sample> Samples() {
  const std::string mixedTable = gbk::EncodeOrThrow(QStringLiteral("厲嵌MM懒傳##蛤凯++来旯==圀国--困园..四  "));
  return {
      {"default table", gbk::Decode(EngineFrame(gbk::DefaultGrayTable(), 48, 20))},
      {"ASCII-pair table", gbk::Decode(EngineFrame("MMWW@@##%%**++==--::..  ", 48, 20))},
      {"mixed table", gbk::Decode(EngineFrame(mixedTable, 48, 20))},
      {"lines of any length, LF and CR breaks", QStringLiteral("国一\nab\r\rW160V0100F00000\r\n€€\n")},
      {"text file with tabs and mixed widths",
       gbk::Decode(gbk::EncodeOrThrow(QStringLiteral("第一章\t开始\r\nHello, 世界! (wide and narrow)\r\n"
                                                     "  缩进的一行，标点。\r\n\r\nlast line without a break")))},
      {"single column before a double one", QStringLiteral("a国b\r\n")},
      {"combining marks, right-to-left text and a surrogate pair",
       QStringLiteral("cafe\u0301 \u05E9\u05DC\u05D5\u05DD\r\n\u0627\u0644\u0639\u0631\u0628\u064A\u0629 "
                      "text \U0001F600\r\n")},
  };
}

struct Look {
  int pixels;
  QColor fg, bg;
};

// One widget goes through every sample, size and colour pair, so a picture
// kept from an earlier font or colour pair would show. The label must show
// exactly what the export renders.
TEST(FrameLabel, ShowsTheRenderersPictureForEverySampleSizeAndColourPair) {
  FrameLabel label;
  const std::vector<Look> looks = {
      {9, Qt::black, Qt::white}, {9, Qt::white, Qt::black}, {12, Qt::black, Qt::white},
      {7, Qt::black, Qt::white},  // 7: the two halves of a cell differ in width
      {4, Qt::white, Qt::black},  // the smallest size of the player
  };
  for (const Look& look : looks) {
    label.setFont(SongTi(look.pixels));
    label.setColors(look.fg, look.bg);
    FrameRenderer renderer(SongTi(look.pixels), look.fg, look.bg);
    for (const Sample& sample : Samples()) {
      SCOPED_TRACE(std::string(sample.name) + " at " + std::to_string(look.pixels) + " px, " +
                   look.fg.name().toStdString() + " on " + look.bg.name().toStdString());
      label.setText(sample.text);
      EXPECT_EQ(label.lineSpacing(), look.pixels);
      label.resize(look.pixels * 50 + 20, look.pixels * 24 + 5);
      const QImage expected = renderer.Render(sample.text, label.size());
      for (Target target : {Target::Image, Target::Pixmap}) {
        const QImage actual = Rendered(label, target);
        const Difference d = Compare(expected, actual);
        EXPECT_EQ(d.count, 0) << (target == Target::Image ? "image: " : "pixmap: ") << d.Describe(expected, actual);
      }
    }
  }
}

// The bounding box of every pixel that is not the background.
QRect InkBox(const QImage& image, QRgb background) {
  int left = image.width(), right = -1, top = image.height(), bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == background) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Cells are square and s pixels apart at every size of the player, single-
// byte characters share a cell (floor(s/2), then the rest), and no glyph's
// ink leaves its cell: a glyph between two others looks as it does alone.
TEST(FrameRenderer, CellsAreSquareAndGlyphsStayInsideThem) {
  for (int s = 4; s <= 12; ++s) {
    SCOPED_TRACE(std::to_string(s) + " px");
    FrameRenderer renderer(SongTi(s), Qt::black, Qt::white);
    EXPECT_EQ(renderer.CellSize(), s);
    const QString text = QStringLiteral("国国国\r\nab€\r\n\r\nW160");
    const auto lines = FrameRenderer::SplitLines(text);
    EXPECT_EQ(renderer.TextSize(text, lines), QSize(3 * s, 4 * s));
    EXPECT_EQ(renderer.LineWidth(u"a"), s / 2);
    EXPECT_EQ(renderer.LineWidth(u"ab"), s);
    EXPECT_EQ(renderer.LineWidth(u"a国b"), s / 2 + s + s / 2) << "a double-byte character restarts the pairing";
    EXPECT_EQ(renderer.LineWidth(u"\U0001F600"), s) << "a surrogate pair is one character";

    const QImage row = renderer.Render(QStringLiteral("厲国厲"), QSize(3 * s, s));
    const QImage alone = renderer.Render(QStringLiteral("　国"), QSize(2 * s, s));
    EXPECT_EQ(row.copy(s, 0, s, s), alone.copy(s, 0, s, s));
    const QRect ink = InkBox(alone, QColor(Qt::white).rgba());
    EXPECT_FALSE(ink.isNull()) << "the glyph is drawn";
    EXPECT_GE(ink.height(), s * 6 / 10) << "and fills most of its cell";
    const QImage pair = renderer.Render(QStringLiteral("MW"), QSize(s, s));
    EXPECT_EQ(pair.copy(0, 0, s / 2, s), renderer.Render(QStringLiteral("M "), QSize(s, s)).copy(0, 0, s / 2, s));
  }
}

// Mean brightness 0..255 of a picture drawn black on white.
double MeanBrightness(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += qRed(image.pixel(x, y));
  return sum / (image.width() * image.height());
}

// Cells are drawn with the shipped Song-style face at pixel size s, its em
// the cell: █ fills its cell, the default table spans a wide range of
// brightness, and the face is the shipped one whatever family the label's
// font names (the window's "宋体" maps elsewhere).
TEST(FrameRenderer, CellsAreDrawnInTheShippedFaceAtFullSize) {
  FrameRenderer renderer(SongTi(9), Qt::black, Qt::white);
  EXPECT_LE(MeanBrightness(renderer.Render(QStringLiteral("█"), QSize(9, 9))), 255 * 0.05) << "█ fills 95 %";
  double darkest = 255, lightest = 0;
  for (QChar c : gbk::Decode(gbk::DefaultGrayTable())) {
    const double b = MeanBrightness(renderer.Render(QString(c), QSize(9, 9)));
    darkest = std::min(darkest, b);
    lightest = std::max(lightest, b);
  }
  EXPECT_GE(lightest - darkest, 100) << darkest << " to " << lightest;

  QFont other(QStringLiteral("WenQuanYi Zen Hei"));
  other.setPixelSize(9);
  const QString text = gbk::Decode(gbk::DefaultGrayTable()) + QStringLiteral("ab");
  EXPECT_EQ(FrameRenderer(other, Qt::black, Qt::white).Render(text, QSize(9 * 17, 9)),
            renderer.Render(text, QSize(9 * 17, 9)));
}

// A circle in the video stays a circle in the drawn frame: the frame label's
// picture of a converted disk is as wide as it is tall (within 5 %) at every
// size of the player.
TEST(FrameLabel, ACircleInTheSourceStaysRoundInTheDrawnFrame) {
  TConverter engine;
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = gbk::EncodeOrThrow(QStringLiteral("国困四一　"));  // dark to blank
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  engine.Interval = 100;
  engine.OutputRect = Rect{0, 0, 80, 60};
  const QImage picture = MakeImage(80, 60, [](int x, int y) {
    return std::hypot(x + 0.5 - 40, y + 0.5 - 30) < 22 ? 0x000000u : 0xffffffu;
  });
  const std::string frame = engine.BitmapToFrame(picture);
  FrameLabel label;
  label.setColors(Qt::black, Qt::white);
  for (int s = 4; s <= 12; ++s) {
    SCOPED_TRACE(std::to_string(s) + " px");
    label.setFont(SongTi(s));
    label.setFrame(frame);
    label.resize(s * 90, s * 70);
    // The picture's 60 rows, without the marker and info lines under them.
    const QImage drawn = Rendered(label).copy(0, 0, s * 90, s * 60);
    const QRect ink = InkBox(drawn, QColor(Qt::white).rgba());
    ASSERT_FALSE(ink.isNull());
    const double ratio = double(ink.width()) / ink.height();
    EXPECT_NEAR(ratio, 1.0, 0.05) << ink.width() << " x " << ink.height();
  }
}

// A label larger than its panel, panned to an offset that is not a whole
// number of cells: only the visible part is painted, and it must be the
// same part of the same picture.
TEST(FrameLabel, PannedInsideASmallerPanelShowsTheRightPart) {
  const QString frame = gbk::Decode(EngineFrame(gbk::DefaultGrayTable(), 60, 30));
  QWidget panel;
  panel.resize(203, 151);
  FrameLabel label(&panel);
  label.setFont(SongTi(9));
  label.setColors(Qt::white, Qt::black);
  label.setText(frame);
  label.setGeometry(-40, -57, 9 * 60 + 20, 9 * 32 + 20);
  const QImage whole = FrameRenderer(SongTi(9), Qt::white, Qt::black).Render(frame, label.size());
  const QImage expected = whole.copy(40, 57, 203, 151);
  const QImage actual = panel.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const Difference d = Compare(expected, actual);
  EXPECT_EQ(d.count, 0) << d.Describe(expected, actual);
}

class CountingLabel : public FrameLabel {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    FrameLabel::paintEvent(event);
  }
};

void DeliverPaints() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

// A tick that hands over the frame already shown costs nothing.
TEST(FrameLabel, RepaintsOnlyWhenTheTextChanges) {
  CountingLabel label;
  label.resize(200, 100);
  label.setFrame("\xb9\xfa@@\r\n");
  label.show();
  DeliverPaints();
  const int shown = label.paints;
  ASSERT_GT(shown, 0);

  label.setFrame("\xb9\xfa@@\r\n");
  label.setText(QStringLiteral("国@@\r\n"));
  DeliverPaints();
  EXPECT_EQ(label.paints, shown);

  label.setFrame("@@\xb9\xfa\r\n");
  DeliverPaints();
  EXPECT_GT(label.paints, shown);
}

TEST(FrameLabel, FrameBytesAreShownDecodedAndColoursAreThePalettes) {
  FrameLabel label;
  const std::string frame = "\xb9\xfa\xb9\xfa@@\r\n\x80\x80\r\nW003V0067F00001\r\n";
  label.setFrame(frame);
  EXPECT_EQ(label.text(), QStringLiteral("国国@@\r\n€€\r\nW003V0067F00001\r\n"));

  label.setColors(Qt::white, Qt::black);
  EXPECT_EQ(label.textColor(), QColor(Qt::white));
  EXPECT_EQ(label.backgroundColor(), QColor(Qt::black));
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_EQ(label.palette().color(QPalette::Window), QColor(Qt::black));
}

TEST(FrameLabel, FillsItsParentWhileAskedAndKeepsItsGeometryAfterwards) {
  QWidget panel;
  panel.resize(300, 200);
  panel.show();  // a hidden widget holds its resize events back until shown
  FrameLabel label(&panel);
  label.setGeometry(-10, -10, 50, 50);
  label.setFillParent(true);
  EXPECT_EQ(label.geometry(), QRect(0, 0, 300, 200));
  panel.resize(420, 310);
  EXPECT_EQ(label.geometry(), QRect(0, 0, 420, 310));

  label.setFillParent(false);
  panel.resize(100, 100);
  EXPECT_EQ(label.geometry(), QRect(0, 0, 420, 310));
  label.setGeometry(0, 0, 5780, 2198);
  EXPECT_EQ(label.size(), QSize(5780, 2198));
}

}  // namespace
