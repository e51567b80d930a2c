#include "playback/FrameLabel.h"

#include "common/Gbk.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {
// The format of the scratch picture: what the renderer composes.
constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;
}  // namespace

FrameLabel::FrameLabel(QWidget* parent) : QWidget(parent) {
  // Every exposed pixel is painted, background included.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

FrameLabel::~FrameLabel() = default;

void FrameLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  lines_ = FrameRenderer::SplitLines(text_);
  update();
}

void FrameLabel::setFrame(std::string_view gbkBytes) { setText(gbk::Decode(gbkBytes)); }

void FrameLabel::setColors(const QColor& textColor, const QColor& background) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, textColor);
  pal.setColor(QPalette::Window, background);
  setPalette(pal);  // a palette change resets the renderer and repaints
}

QColor FrameLabel::textColor() const { return palette().color(QPalette::WindowText); }

QColor FrameLabel::backgroundColor() const { return palette().color(QPalette::Window); }

int FrameLabel::lineSpacing() const { return std::max(1, font().pixelSize()); }

void FrameLabel::setFillParent(bool fill) {
  if (fill == fillParent_) return;
  fillParent_ = fill;
  if (QWidget* parent = parentWidget()) {
    if (fill) {
      parent->installEventFilter(this);
      FollowParent();
    } else {
      parent->removeEventFilter(this);
    }
  }
}

void FrameLabel::FollowParent() {
  if (QWidget* parent = parentWidget()) setGeometry(parent->rect());
}

bool FrameLabel::eventFilter(QObject* watched, QEvent* event) {
  if (fillParent_ && watched == parentWidget() && event->type() == QEvent::Resize) FollowParent();
  return QWidget::eventFilter(watched, event);
}

void FrameLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    renderer_.reset();
    update();
  } else if (event->type() == QEvent::ParentAboutToChange && fillParent_ && parentWidget()) {
    parentWidget()->removeEventFilter(this);
  } else if (event->type() == QEvent::ParentChange && fillParent_ && parentWidget()) {
    parentWidget()->installEventFilter(this);
    FollowParent();
  }
  QWidget::changeEvent(event);
}

FrameRenderer& FrameLabel::Renderer() {
  if (!renderer_) renderer_ = std::make_unique<FrameRenderer>(font(), textColor(), backgroundColor());
  return *renderer_;
}

void FrameLabel::paintEvent(QPaintEvent* event) {
  const QRect area = event->rect() & rect();
  if (area.isEmpty()) return;
  QPainter painter(this);
  QPoint offset;
  if (QImage* target = DirectTarget(painter, &offset)) {
    // Written straight into the picture being painted, part by part of the
    // exposed region (which is exactly what this paint may touch).
    const QRect bounds = target->rect().translated(-offset);
    for (const QRect& part : event->region()) {
      const QRect r = part & rect() & bounds;
      if (r.isEmpty()) continue;
      uchar* origin = target->bits() + static_cast<qsizetype>(r.top() + offset.y()) * target->bytesPerLine() +
                      static_cast<qsizetype>(r.left() + offset.x()) * 4;
      Renderer().Compose(text_, lines_, r, origin, target->bytesPerLine());
    }
    return;
  }
  // Otherwise built in a scratch image and drawn in one call.
  if (scratch_.width() < area.width() || scratch_.height() < area.height()) {
    scratch_ = QImage(std::max(area.width(), scratch_.width()), std::max(area.height(), scratch_.height()), kFormat);
  }
  Renderer().Compose(text_, lines_, area, scratch_.bits(), scratch_.bytesPerLine());
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(area.topLeft(), scratch_, QRect(QPoint(0, 0), area.size()));
}

// The raster image under the painter, when cell pictures can be copied into
// it unchanged: 32-bit pixels, no scaling, a whole-pixel offset, an opaque
// background. *offset maps the widget's coordinates to the image's.
QImage* FrameLabel::DirectTarget(QPainter& painter, QPoint* offset) const {
  QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster) return nullptr;
  QPaintDevice* device = engine->paintDevice();
  if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  switch (image->format()) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      break;
    default:
      return nullptr;
  }
  if (image->devicePixelRatio() != 1.0 || !image->isDetached() || backgroundColor().alpha() != 255) return nullptr;
  const QTransform t = painter.deviceTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())) {
    return nullptr;
  }
  *offset = QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
  return image;
}
