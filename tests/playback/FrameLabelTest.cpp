#include "playback/FrameLabel.h"

#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing_support::MakeImage;

QFont SongTi(int pixels) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixels);
  return font;
}

// A frame as the engine writes it, from a picture with gradients, edges and
// noise, so that every unit of the table meets many neighbours.
std::string EngineFrame(const std::string& grayTable, int width, int height) {
  TConverter engine;
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = grayTable;
  engine.GrayLevels = CountGrayUnits(grayTable);
  engine.Interval = 67;
  engine.OutputRect = TRect{0, 0, width, height};
  uint32_t seed = 7;
  const QImage picture = MakeImage(width, height, [&](int x, int y) {
    seed = seed * 1664525u + 1013904223u;
    const int wave = static_cast<int>(127 + 110 * std::sin(std::hypot(x - width / 2, y - height / 2) / 3.0));
    const int v = std::clamp(wave + static_cast<int>(seed >> 28) - 8 + (x % 13 == 0 ? 60 : 0), 0, 255);
    return unsigned(v) * 0x010101u;
  });
  return engine.BitmapToFrame(picture);
}

// The lines of `text` by a rule of the test's own: CR LF, LF and CR each end a line.
QStringList Lines(const QString& text) {
  QString unified = text;
  unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return unified.split(QLatin1Char('\n'));
}

// What the label must look like: QPainter::drawText of each line at the
// label's line spacing and baseline, on its background, left to right.
QImage Reference(const QString& text, const QFont& font, const QColor& fg, const QColor& bg, QSize size,
                 int lineSpacing, int baseline) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(bg);
  QPainter p(&image);
  p.setLayoutDirection(Qt::LeftToRight);
  p.setFont(font);
  p.setPen(fg);
  const QStringList lines = Lines(text);
  for (int i = 0; i < lines.size(); ++i) p.drawText(QPointF(0, i * lineSpacing + baseline), lines[i]);
  return image;
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
  bool grid;  // drawn from cells
};

std::vector<Sample> Samples() {
  const std::string mixedTable = gbk::EncodeOrThrow(QStringLiteral("厲嵌MM懒傳##蛤凯++来旯==圀国--困园..四  "));
  return {
      {"default table", gbk::Decode(EngineFrame(gbk::DefaultGrayTable(), 48, 20)), true},
      {"ASCII-pair table", gbk::Decode(EngineFrame("MMWW@@##%%**++==--::..  ", 48, 20)), true},
      {"mixed table", gbk::Decode(EngineFrame(mixedTable, 48, 20)), true},
      {"lines of any length, LF and CR breaks", QStringLiteral("国一\nab\r\rW160V0100F00000\r\n€€\n"), true},
      {"text file with tabs and mixed widths",
       gbk::Decode(gbk::EncodeOrThrow(QStringLiteral("第一章\t开始\r\nHello, 世界! (wide and narrow)\r\n"
                                                     "  缩进的一行，标点。\r\n\r\nlast line without a break"))),
       false},
      {"single column before a double one", QStringLiteral("a国b\r\n"), false},
      {"combining marks and right-to-left text",
       QStringLiteral("cafe\u0301 \u05E9\u05DC\u05D5\u05DD\r\n\u0627\u0644\u0639\u0631\u0628\u064A\u0629 text\r\n"),
       false},
  };
}

struct Look {
  int pixels;
  QColor fg, bg;
};

// One widget goes through every sample, size and colour pair, so a picture
// kept from an earlier font or colour pair would show.
TEST(FrameLabel, DrawsWhatDrawTextDrawsForEverySampleSizeAndColourPair) {
  TFrameLabel label;
  const std::vector<Look> looks = {
      {9, Qt::black, Qt::white}, {9, Qt::white, Qt::black}, {12, Qt::black, Qt::white},
      {12, Qt::white, Qt::black}, {7, Qt::black, Qt::white},  // 7: single columns fall on half pixels
      {4, Qt::white, Qt::black},                               // the smallest size of the player
  };
  for (const Look& look : looks) {
    label.setFont(SongTi(look.pixels));
    label.setColors(look.fg, look.bg);
    for (const Sample& sample : Samples()) {
      SCOPED_TRACE(std::string(sample.name) + " at " + std::to_string(look.pixels) + " px, " +
                   look.fg.name().toStdString() + " on " + look.bg.name().toStdString());
      label.setText(sample.text);
      EXPECT_EQ(label.drawsFromCells(), sample.grid);
      label.resize(look.pixels * 50 + 20, label.lineSpacing() * 24 + 5);
      const QImage expected = Reference(sample.text, SongTi(look.pixels), look.fg, look.bg, label.size(),
                                        label.lineSpacing(), label.baseline());
      for (Target target : {Target::Image, Target::Pixmap}) {
        const QImage actual = Rendered(label, target);
        const Difference d = Compare(expected, actual);
        EXPECT_EQ(d.count, 0) << (target == Target::Image ? "image: " : "pixmap: ") << d.Describe(expected, actual);
      }
    }
  }
}

// Playback must stay on the fast path at every size the player steps through.
TEST(FrameLabel, MovieFramesAreDrawnFromCellsAtEveryPlayerSize) {
  TFrameLabel label;
  const std::string frame = EngineFrame(gbk::DefaultGrayTable(), 40, 10);
  for (int pixels = 4; pixels <= 12; ++pixels) {
    label.setFont(SongTi(pixels));
    label.setFrame(frame);
    EXPECT_TRUE(label.drawsFromCells()) << pixels << " px";
    EXPECT_GT(label.lineSpacing(), pixels) << pixels << " px";
  }
}

// The cells are cut to one line of spacing; glyphs reaching into the next
// line would be cut off, so such a spacing is drawn line by line instead.
TEST(FrameLabel, TightLineSpacingStillDrawsWhatDrawTextDraws) {
  TFrameLabel label;
  label.setFont(SongTi(9));
  label.setColors(Qt::black, Qt::white);
  const QString frame = gbk::Decode(EngineFrame(gbk::DefaultGrayTable(), 30, 12));
  for (int spacing : {9, 16}) {
    SCOPED_TRACE("spacing " + std::to_string(spacing));
    label.setLineSpacing(spacing);
    label.setText(frame);
    EXPECT_EQ(label.lineSpacing(), spacing);
    EXPECT_EQ(label.drawsFromCells(), spacing == 16);
    label.resize(9 * 32, spacing * 15);
    const QImage expected =
        Reference(frame, SongTi(9), Qt::black, Qt::white, label.size(), spacing, label.baseline());
    const QImage actual = Rendered(label);
    const Difference d = Compare(expected, actual);
    EXPECT_EQ(d.count, 0) << d.Describe(expected, actual);
  }
}

// A label larger than its panel, panned to an offset that is not a whole
// number of cells: only the visible part is painted, and it must be the
// same part of the same picture.
TEST(FrameLabel, PannedInsideASmallerPanelShowsTheRightPart) {
  const QString frame = gbk::Decode(EngineFrame(gbk::DefaultGrayTable(), 60, 30));
  for (bool cells : {true, false}) {
    SCOPED_TRACE(cells ? "from cells" : "line by line");
    QWidget panel;
    panel.resize(203, 151);
    TFrameLabel label(&panel);
    label.setFont(SongTi(9));
    label.setColors(Qt::white, Qt::black);
    label.setLineSpacing(cells ? 0 : 9);
    label.setText(frame);
    ASSERT_EQ(label.drawsFromCells(), cells);
    label.setGeometry(-40, -57, 9 * 60 + 20, label.lineSpacing() * 32 + 20);
    const QImage whole = Reference(frame, SongTi(9), Qt::white, Qt::black, label.size(), label.lineSpacing(),
                                   label.baseline());
    const QImage expected = whole.copy(40, 57, 203, 151);
    const QImage actual = panel.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const Difference d = Compare(expected, actual);
    EXPECT_EQ(d.count, 0) << d.Describe(expected, actual);
  }
}

class CountingLabel : public TFrameLabel {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    TFrameLabel::paintEvent(event);
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
  TFrameLabel label;
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
  TFrameLabel label(&panel);
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
