#include "video/FastRecorder.h"

#include "common/BmpWriter.h"
#include "common/FrameFolder.h"
#include "video/RecordingTicks.h"

#include <algorithm>

namespace video {

FastRecorder::~FastRecorder() { Stop(); }

bool FastRecorder::Start(const std::string& videoPath, const std::string& folder, int64_t startMs,
                         int64_t intervalMs, const PictureRule& choices, std::string* error) {
  Stop();
  if (!stepper_.Open(videoPath, error, choices)) return false;
  folder_ = folder;
  startMs_ = std::max<int64_t>(0, startMs);
  intervalMs_ = std::max<int64_t>(1, intervalMs);
  {
    std::lock_guard lock(mutex_);
    progress_ = Progress();
    progress_.durationMs = stepper_.DurationMs();
    progress_.positionMs = startMs_;
    latest_ = QImage();
  }
  abort_ = false;
  worker_ = std::thread([this] { Run(); });
  return true;
}

void FastRecorder::Stop() {
  abort_ = true;
  if (worker_.joinable()) worker_.join();
  stepper_.Close();
}

FastRecorder::Progress FastRecorder::Poll() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

QImage FastRecorder::LatestPicture() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

void FastRecorder::Run() {
  const RecordingTicks ticks{startMs_, intervalMs_, stepper_.DurationMs()};
  stepper_.PlanTicks(ticks);
  // A file cut short still declares its whole length.
  const int64_t declaredMs = std::max(ticks.durationMs, stepper_.StreamDurationMs());
  QImage picture;
  std::string error;
  int errorCode = 0;
  int64_t endedEarlyMs = -1;
  int written = 0;
  int64_t n = 1;
  for (; !abort_ && ticks.Takes(n); ++n) {
    const int64_t at = ticks.TimeOf(n);
    if (EndsEarly(at, declaredMs, intervalMs_) && stepper_.IsPastEnd(at)) {
      endedEarlyMs = at;
      break;
    }
    if (!stepper_.PictureAt(at, &picture)) break;
    if (!bmp::Write24(frames::BitmapPath(folder_, n), picture, &error, &errorCode)) break;
    ++written;
    std::lock_guard lock(mutex_);
    progress_.written = written;
    progress_.positionMs = at;
    latest_ = picture;  // shared, not copied: the stepper makes a new image for the next picture
  }
  if (!abort_ && error.empty() && endedEarlyMs < 0 && !ticks.Takes(n) &&
      EndsEarly(ticks.durationMs, declaredMs, intervalMs_)) {
    endedEarlyMs = ticks.durationMs;
  }
  std::lock_guard lock(mutex_);
  progress_.error = error;
  progress_.errorCode = errorCode;
  progress_.endedEarlyMs = endedEarlyMs;
  progress_.expected = RecordingTicks{startMs_, intervalMs_, declaredMs}.Count();
  progress_.finished = true;
}

}  // namespace video
