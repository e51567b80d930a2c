#include "video/VideoWindow.h"

#include "video/VideoService.h"

#include <QPainter>

namespace video {

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(false);
}

void VideoWindow::SetService(VideoService* service) {
  if (service_) disconnect(service_, nullptr, this, nullptr);
  service_ = service;
  if (service_) connect(service_, &VideoService::frameReady, this, qOverload<>(&QWidget::update));
  update();
}

QRect VideoWindow::PictureRect(const QSize& picture, const QSize& control) {
  if (picture.isEmpty() || control.isEmpty()) return {};
  const QSize fitted = picture.scaled(control, Qt::KeepAspectRatio);
  return QRect(QPoint((control.width() - fitted.width()) / 2, (control.height() - fitted.height()) / 2), fitted);
}

void VideoWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage picture = service_ ? service_->CurrentFrame() : QImage();
  const QRect target = PictureRect(picture.size(), size());
  if (target.isEmpty()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Black only around the picture, so the picture area is painted once.
  const QRegion bars = QRegion(rect()) - QRegion(target);
  for (const QRect& bar : bars) painter.fillRect(bar, Qt::black);
  painter.drawImage(target, picture);
  if (picture.cacheKey() != lastKey_) {
    lastKey_ = picture.cacheKey();
    ++presented_;
  }
}

}  // namespace video
