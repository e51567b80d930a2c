#include "video/TrackBar.h"

#include <QMouseEvent>

namespace video {

namespace {
constexpr int kTicksEverySeconds = 60;  // a tick mark once a minute
}

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 0);
  setTickPosition(QSlider::TicksAbove);
  setTickInterval(kTicksEverySeconds);
}

void TrackBar::SetService(VideoService* service) {
  if (service_) service_->SetPositionBar(nullptr);
  service_ = service;
  if (service_) service_->SetPositionBar(this);
}

int64_t TrackBar::SeekTarget(int64_t stop, int thumb, int maximum) {
  if (maximum == 0) return 0;
  return stop * thumb / maximum;
}

void TrackBar::ShowPosition(uint32_t currentMs, uint32_t durationMs) {
  setRange(0, static_cast<int>(durationMs / 1000));
  setValue(static_cast<int>(currentMs / 1000));
}

void TrackBar::OnGraphEvent(long event) {
  if (event == EC_CLOCK_CHANGED) setValue(0);
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) held_ = true;
  QSlider::mousePressEvent(event);
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
  QSlider::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !held_) return;
  held_ = false;
  SeekToThumb();
}

void TrackBar::SeekToThumb() {
  if (!service_ || maximum() == 0) return;
  int64_t stop = 0;
  if (!service_->GetStopPosition(&stop)) return;
  int64_t target = SeekTarget(stop, value(), maximum());
  service_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

}  // namespace video
