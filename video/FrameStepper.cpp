#include "video/FrameStepper.h"

#include "video/TimeUnits.h"

namespace video {

FrameStepper::FrameStepper() : cursor_(&reader_) {}

bool FrameStepper::Open(const std::string& path, std::string* error) {
  Close();
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
  converted_ = nullptr;
  convertedUs_ = -1;
  picture_ = QImage();
}

bool FrameStepper::PictureAt(int64_t ms, QImage* out) {
  if (!reader_.IsOpen() || !cursor_.Current()) return false;
  const int64_t us = UsFromMs(ms);
  if (us < cursor_.CurrentUs() && !cursor_.Seek(us)) return false;
  cursor_.Advance(us);
  // The cursor hands out a new frame object whenever the picture changes;
  // the position tells apart a frame reused at the same address.
  if (cursor_.Current() != converted_ || cursor_.CurrentUs() != convertedUs_ || picture_.isNull()) {
    picture_ = reader_.ToImage(cursor_.Current());
    converted_ = cursor_.Current();
    convertedUs_ = cursor_.CurrentUs();
  }
  if (picture_.isNull()) return false;
  *out = picture_;
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
