// Draws the program's icon, the one source of every size the desktop asks for:
// a strip of film whose picture is made of character-like cells, dark to light.
//
//   glyphreel-draw-icon SIZE OUT.png
//
// Everything is drawn on a 256-unit square and scaled, so each size is
// rendered from the same shapes rather than resampled from a bitmap.
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qreal kUnits = 256;    // the drawing's own square
constexpr int kColumns = 5;      // character cells across the picture
constexpr int kRows = 4;         // character cells down the picture

// One character-like cell: a few strokes, more of them for a darker level
// (0 = darkest, 4 = lightest), drawn light on the dark picture.
void Cell(QPainter& p, const QRectF& r, int level) {
  const qreal w = r.width(), h = r.height();
  const int strokes = 4 - level;
  p.setPen(QPen(QColor(235, 240, 245), w * 0.11, Qt::SolidLine, Qt::RoundCap));
  if (strokes >= 1) p.drawLine(QPointF(r.left() + w * 0.2, r.top() + h * 0.25), QPointF(r.right() - w * 0.2, r.top() + h * 0.25));
  if (strokes >= 2) p.drawLine(QPointF(r.center().x(), r.top() + h * 0.15), QPointF(r.center().x(), r.bottom() - h * 0.15));
  if (strokes >= 3) p.drawLine(QPointF(r.left() + w * 0.2, r.bottom() - h * 0.25), QPointF(r.right() - w * 0.2, r.bottom() - h * 0.25));
  if (strokes >= 4) {
    p.drawLine(QPointF(r.left() + w * 0.2, r.top() + h * 0.25), QPointF(r.left() + w * 0.2, r.bottom() - h * 0.25));
    p.drawLine(QPointF(r.right() - w * 0.2, r.top() + h * 0.25), QPointF(r.right() - w * 0.2, r.bottom() - h * 0.25));
  }
  if (strokes == 0) p.drawPoint(r.center());
}

void Draw(QPainter& p) {
  // The film strip with its sprocket holes.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(32, 38, 48));
  p.drawRoundedRect(QRectF(8, 24, 240, 208), 28, 28);
  p.setBrush(QColor(250, 250, 250));
  for (int i = 0; i < 6; ++i) {
    const qreal x = 26 + i * 36;
    p.drawRoundedRect(QRectF(x, 36, 20, 16), 4, 4);
    p.drawRoundedRect(QRectF(x, 204, 20, 16), 4, 4);
  }
  // The picture: a diagonal sweep from dark to light, in character cells.
  const QRectF picture(28, 64, 200, 128);
  QLinearGradient glow(picture.topLeft(), picture.bottomRight());
  glow.setColorAt(0, QColor(20, 90, 60));
  glow.setColorAt(1, QColor(40, 150, 90));
  p.setBrush(glow);
  p.drawRoundedRect(picture, 10, 10);
  const qreal cw = picture.width() / kColumns, ch = picture.height() / kRows;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int level = std::min(4, (row + column) * 5 / (kRows + kColumns - 1));
      Cell(p, QRectF(picture.left() + column * cw, picture.top() + row * ch, cw, ch), level);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: glyphreel-draw-icon SIZE OUT.png\n", stderr);
    return 2;
  }
  const int size = std::atoi(argv[1]);
  if (size < 8 || size > 1024) {
    std::fprintf(stderr, "glyphreel-draw-icon: a size from 8 to 1024, not %s\n", argv[1]);
    return 2;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    Draw(p);
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "glyphreel-draw-icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
