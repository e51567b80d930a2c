#include "video/FrameStepper.h"

#include "video/TimeUnits.h"

namespace video {

FrameStepper::FrameStepper() : cursor_(&reader_) {}

bool FrameStepper::Open(const std::string& path, std::string* error, const PictureRule& choices) {
  Close();
  reader_.SetPictureChoices(choices);
  if (!reader_.Open(path, /*withSound=*/false, error)) return false;
  if (!cursor_.Seek(0)) {
    if (error) *error = path + ": no picture can be decoded";
    Close();
    return false;
  }
  return true;
}

void FrameStepper::Close() {
  cursor_.Reset();
  reader_.Close();
  plan_.reset();
  converted_ = stretchedFrom_ = nullptr;
  convertedUs_ = stretchedUs_ = -1;
  picture_ = stretched_ = QImage();
}

void FrameStepper::PlanTicks(const RecordingTicks& ticks) {
  plan_ = ticks;
  reader_.PlanPictureTimes(UsFromMs(ticks.TimeOf(1)), UsFromMs(ticks.intervalMs));
}

bool FrameStepper::MoveTo(int64_t ms) {
  if (!reader_.IsOpen() || !cursor_.Current()) return false;
  const int64_t us = UsFromMs(ms);
  if (plan_ && (ms <= plan_->startMs || (ms - plan_->startMs) % plan_->intervalMs != 0)) {
    // The picture shown there may have been passed over: decode it again.
    plan_.reset();
    reader_.PlanPictureTimes(0, 0);
    if (!cursor_.Seek(us)) return false;
  } else if (us < cursor_.CurrentUs() && !cursor_.Seek(us)) {
    return false;
  }
  cursor_.Advance(us);
  return true;
}

bool FrameStepper::IsCurrent(const AVFrame* made, int64_t madeUs) const {
  // The cursor hands out a new frame object whenever the picture changes;
  // the position tells apart a frame reused at the same address.
  return cursor_.Current() == made && cursor_.CurrentUs() == madeUs;
}

bool FrameStepper::PictureAt(int64_t ms, QImage* out) {
  if (!MoveTo(ms)) return false;
  if (!IsCurrent(converted_, convertedUs_) || picture_.isNull()) {
    picture_ = reader_.ToImage(cursor_.Current());
    converted_ = cursor_.Current();
    convertedUs_ = cursor_.CurrentUs();
  }
  if (picture_.isNull()) return false;
  *out = picture_;
  return true;
}

bool FrameStepper::StretchedPictureAt(int64_t ms, int width, int height, QImage* out) {
  if (!MoveTo(ms)) return false;
  if (!IsCurrent(stretchedFrom_, stretchedUs_) || stretched_.width() != width || stretched_.height() != height) {
    stretchedFrom_ = nullptr;
    if (!reader_.ToStretchedImage(cursor_.Current(), width, height, &stretched_)) return false;
    stretchedFrom_ = cursor_.Current();
    stretchedUs_ = cursor_.CurrentUs();
  }
  *out = stretched_;
  return true;
}

bool FrameStepper::IsPastEnd(int64_t ms) {
  if (!reader_.IsOpen() || !cursor_.Current()) return false;
  const int64_t us = UsFromMs(ms);
  if (us >= cursor_.CurrentUs()) cursor_.Advance(us);
  return !cursor_.HasNext() && us >= cursor_.CurrentEndUs();
}

int64_t FrameStepper::DurationMs() const { return MsFromUs(reader_.DurationUs()); }

int64_t FrameStepper::StreamDurationMs() const { return MsFromUs(reader_.StreamDurationUs()); }
QSize FrameStepper::FrameSize() const { return reader_.FrameSize(); }

}  // namespace video
