#include "playback/SourceColours.h"

#include "conversion/FinePicture.h"

#include <QImage>

#include <algorithm>

namespace movie_export {

SourceColours::~SourceColours() { Stop(); }

bool SourceColours::Open(const std::string& video, int64_t startMs, int64_t intervalMs, int32_t frames, QSize cells,
                         const video::PictureRule& choices, std::string* error) {
  Stop();
  if (!stepper_.Open(video, error, choices)) return false;
  ticks_ = video::RecordingTicks{std::max<int64_t>(0, startMs), std::max<int64_t>(1, intervalMs), stepper_.DurationMs()};
  cells_ = QSize(std::max(0, cells.width()), std::max(0, cells.height()));
  frames_ = std::max(0, frames);
  current_ = Frame{-1, std::vector<QRgb>(static_cast<size_t>(cells_.width()) * static_cast<size_t>(cells_.height()),
                                         qRgb(0, 0, 0))};
  Start(0);
  return true;
}

void SourceColours::Start(int32_t from) {
  abort_ = done_ = false;
  ready_.clear();
  next_ = from;
  thread_ = std::thread([this, from] { Work(from); });
}

void SourceColours::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SourceColours::Work(int32_t from) {
  QImage shown;  // the picture the last colours were taken from
  std::vector<QRgb> colours;
  for (int32_t index = from; index < frames_; ++index) {
    // Past the end the stepper keeps the last picture.
    QImage picture;
    if (stepper_.PictureAt(ticks_.TimeOf(int64_t(index) + 1), &picture)) {
      // The stepper hands out the same picture while the video shows it:
      // its colours are known already.
      if (picture.cacheKey() != shown.cacheKey() || colours.empty()) {
        shown = picture;
        fine::AreaMeanColours(shown, cells_.width(), cells_.height(), &colours);
      }
    } else if (colours.empty()) {
      colours.assign(static_cast<size_t>(cells_.width()) * static_cast<size_t>(cells_.height()), qRgb(0, 0, 0));
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return abort_ || ready_.size() < kAhead; });
    if (abort_) return;
    ready_.push_back(Frame{index, colours});
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  changed_.notify_all();
}

const std::vector<QRgb>& SourceColours::Colours(int32_t index) {
  if (index == current_.index || index < 0 || index >= frames_) return current_.colours;
  if (index < next_) {
    // Back to an earlier frame: the work starts again from there.
    Stop();
    Start(index);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return !ready_.empty() || done_; });
    if (ready_.empty()) return current_.colours;  // (cannot happen: the thread gives every frame)
    Frame frame = std::move(ready_.front());
    ready_.pop_front();
    next_ = frame.index + 1;
    changed_.notify_all();
    if (frame.index == index) {
      current_ = std::move(frame);
      return current_.colours;
    }
  }
}

}  // namespace movie_export
