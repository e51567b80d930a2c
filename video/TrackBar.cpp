#include "video/TrackBar.h"

#include "video/TimeUnits.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

namespace video {

namespace {
constexpr int kTicksEverySeconds = 60;  // a tick mark once a minute
constexpr int kGrooveStep = 2;          // positions a click on the groove moves the thumb
constexpr int kArrowStep = 1;           // positions an arrow key or a wheel notch moves it
constexpr int kWheelNotch = 120;        // angle delta of one notch
}

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 0);
  setTickPosition(QSlider::TicksAbove);
  setTickInterval(kTicksEverySeconds);
  // Set here rather than left to the style: a click on the groove must not
  // jump a short movie to its end.
  setPageStep(kGrooveStep);
  setSingleStep(kArrowStep);
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

bool TrackBar::ShowPosition(uint32_t currentMs, uint32_t durationMs) {
  // The release seeks to wherever the user leaves the thumb; the tick must
  // not pull it back meanwhile.
  if (held_) return false;
  setRange(0, static_cast<int>(SecondsFromMs(durationMs)));
  setValue(static_cast<int>(SecondsFromMs(currentMs)));
  return true;
}

void TrackBar::OnGraphEvent(long event) {
  if (event == EC_CLOCK_CHANGED) setValue(0);
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QSlider::mousePressEvent(event);
    return;
  }
  held_ = true;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QPoint at = event->position().toPoint();
  if (style()->hitTestComplexControl(QStyle::CC_Slider, &option, at, this) == QStyle::SC_SliderHandle) {
    QSlider::mousePressEvent(event);  // the thumb is dragged
    return;
  }
  // The groove: one step of kGrooveStep toward the click, whatever the
  // style would do (some jump straight to the click); the seek follows at release.
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  setValue(value() + (at.x() < handle.center().x() ? -pageStep() : pageStep()));
  event->accept();
}

void TrackBar::keyPressEvent(QKeyEvent* event) {
  const int before = value();
  QSlider::keyPressEvent(event);
  if (value() != before) SeekToThumb();
}

void TrackBar::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  wheelRest_ += delta.y() != 0 ? delta.y() : delta.x();
  const int notches = wheelRest_ / kWheelNotch;
  wheelRest_ -= notches * kWheelNotch;
  event->accept();
  if (notches == 0) return;
  const int before = value();
  setValue(value() + notches * singleStep());
  if (value() != before) SeekToThumb();
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
