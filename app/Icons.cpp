#include "app/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace icons {
namespace {

constexpr int kSize = 32;  // drawn large, scaled down by the toolbar

QPolygonF Triangle(qreal x, qreal y, qreal w, qreal h) {
  return QPolygonF({QPointF(x, y), QPointF(x + w, y + h / 2), QPointF(x, y + h)});
}

void Letter(QPainter& p, const QRectF& r, const QString& text, qreal pixelSize, bool bold = true) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(static_cast<int>(pixelSize));
  f.setBold(bold);
  p.setFont(f);
  p.drawText(r, Qt::AlignCenter, text);
}

void Page(QPainter& p, QColor fill) {
  QPainterPath path;
  path.moveTo(7, 3);
  path.lineTo(20, 3);
  path.lineTo(26, 9);
  path.lineTo(26, 29);
  path.lineTo(7, 29);
  path.closeSubpath();
  p.setPen(QPen(QColor(70, 70, 70), 1.5));
  p.setBrush(fill);
  p.drawPath(path);
}

void FolderShape(QPainter& p) {
  p.setPen(QPen(QColor(150, 110, 20), 1.5));
  p.setBrush(QColor(240, 200, 80));
  QPainterPath path;
  path.moveTo(3, 8);
  path.lineTo(12, 8);
  path.lineTo(15, 11);
  path.lineTo(29, 11);
  path.lineTo(29, 27);
  path.lineTo(3, 27);
  path.closeSubpath();
  p.drawPath(path);
}

}  // namespace

QIcon Make(Kind kind) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor dark(45, 45, 45);
  const QColor green(40, 150, 60);
  p.setPen(Qt::NoPen);
  switch (kind) {
    case Kind::Open:
      FolderShape(p);
      p.setBrush(QColor(200, 40, 40));
      p.drawPolygon(Triangle(13, 14, 10, 11));
      break;
    case Kind::OpenText:
      FolderShape(p);
      p.setPen(dark);
      Letter(p, QRectF(3, 11, 26, 16), QStringLiteral("T"), 13);
      break;
    case Kind::Play:
      p.setBrush(green);
      p.drawPolygon(Triangle(8, 5, 18, 22));
      break;
    case Kind::Play2:
      p.setBrush(green);
      p.drawPolygon(Triangle(3, 5, 16, 22));
      p.setPen(dark);
      Letter(p, QRectF(17, 14, 14, 16), QStringLiteral("2"), 13);
      break;
    case Kind::Pause:
      p.setBrush(QColor(40, 80, 170));
      p.drawRect(QRectF(8, 6, 6, 20));
      p.drawRect(QRectF(18, 6, 6, 20));
      break;
    case Kind::Record:
      p.setBrush(QColor(210, 30, 30));
      p.drawEllipse(QRectF(6, 6, 20, 20));
      break;
    case Kind::Stop:
      p.setBrush(QColor(60, 60, 60));
      p.drawRect(QRectF(7, 7, 18, 18));
      break;
    case Kind::Rewind:
      p.setBrush(QColor(40, 80, 170));
      p.drawRect(QRectF(5, 7, 3, 18));
      p.drawPolygon(QPolygonF({QPointF(27, 7), QPointF(9, 16), QPointF(27, 25)}));
      break;
    case Kind::Convert:
      p.setPen(QPen(dark, 1.2));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(3, 4, 26, 24));
      p.setPen(QColor(180, 30, 30));
      Letter(p, QRectF(3, 4, 26, 24), QStringLiteral("字"), 19, false);
      break;
    case Kind::Save:
      p.setBrush(QColor(50, 90, 170));
      p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 5, 14, 8));
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(9, 18, 14, 9));
      break;
    case Kind::FontColor:
      p.setBrush(Qt::black);
      p.drawRect(QRectF(4, 4, 24, 24));
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(28, 4), QPointF(28, 28), QPointF(4, 28)}));
      p.setPen(QColor(200, 40, 40));
      Letter(p, QRectF(4, 4, 24, 24), QStringLiteral("A"), 17);
      break;
    case Kind::FontSize:
      p.setPen(dark);
      Letter(p, QRectF(1, 10, 14, 18), QStringLiteral("a"), 11);
      Letter(p, QRectF(12, 2, 20, 26), QStringLiteral("A"), 22);
      break;
    case Kind::Notepad:
      Page(p, QColor(255, 255, 235));
      p.setPen(QPen(QColor(120, 120, 160), 1.5));
      for (int y = 11; y <= 25; y += 5) p.drawLine(QPointF(10, y), QPointF(23, y));
      break;
    case Kind::Window:
      p.setPen(QPen(dark, 1.5));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(3, 5, 26, 22));
      p.setBrush(QColor(90, 130, 200));
      p.drawRect(QRectF(3, 5, 26, 5));
      p.setBrush(QColor(220, 220, 220));
      p.drawRect(QRectF(3, 10, 9, 17));
      break;
    case Kind::Help:
      p.setBrush(QColor(40, 110, 200));
      p.drawEllipse(QRectF(4, 4, 24, 24));
      p.setPen(Qt::white);
      Letter(p, QRectF(4, 4, 24, 24), QStringLiteral("?"), 18);
      break;
    case Kind::About:
      p.setBrush(QColor(40, 150, 120));
      p.drawEllipse(QRectF(4, 4, 24, 24));
      p.setPen(Qt::white);
      Letter(p, QRectF(4, 4, 24, 24), QStringLiteral("i"), 18);
      break;
    case Kind::Exit:
      p.setPen(QPen(QColor(190, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 8), QPointF(24, 24));
      p.drawLine(QPointF(24, 8), QPointF(8, 24));
      break;
    case Kind::Folder:
      FolderShape(p);
      break;
    case Kind::Store:
      p.setBrush(green);
      p.drawRect(QRectF(13, 4, 6, 14));
      p.drawPolygon(QPolygonF({QPointF(7, 16), QPointF(25, 16), QPointF(16, 26)}));
      p.setBrush(dark);
      p.drawRect(QRectF(5, 27, 22, 3));
      break;
    case Kind::HomePage:
      p.setBrush(QColor(200, 60, 40));
      p.drawPolygon(QPolygonF({QPointF(16, 3), QPointF(30, 15), QPointF(2, 15)}));
      p.setBrush(QColor(230, 210, 170));
      p.drawRect(QRectF(6, 15, 20, 13));
      p.setBrush(QColor(120, 80, 40));
      p.drawRect(QRectF(13, 19, 6, 9));
      break;
    case Kind::GuestBook:
      p.setBrush(QColor(60, 120, 190));
      p.drawRoundedRect(QRectF(3, 5, 26, 17), 4, 4);
      p.drawPolygon(QPolygonF({QPointF(9, 21), QPointF(16, 21), QPointF(8, 28)}));
      p.setBrush(Qt::white);
      for (int x = 9; x <= 21; x += 6) p.drawEllipse(QRectF(x, 12, 3, 3));
      break;
    case Kind::Email:
      p.setPen(QPen(dark, 1.5));
      p.setBrush(QColor(250, 250, 240));
      p.drawRect(QRectF(3, 7, 26, 18));
      p.drawPolyline(QPolygonF({QPointF(3, 7), QPointF(16, 18), QPointF(29, 7)}));
      break;
  }
  p.end();
  return QIcon(pixmap);
}

}  // namespace icons
