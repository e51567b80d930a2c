// The colours of a character movie's cells, taken from the video it was
// recorded from.
//
// Movie frame k (from 0) was recorded at the recorder's tick k + 1
// (video::RecordingTicks: startMs + (k + 1) x V ms into the video, V the
// movie's interval). Its colours are those of the picture shown there,
// decoded as `make` and `record` decode it (video::FrameStepper: RGB at the
// video's own size, turned upright), cut into the movie's cells and averaged
// cell by cell by the fine picture's area rule (fine::AreaMeanColours). Past
// the video's end the last picture's colours hold.
//
// A thread of its own decodes the video once, forward, and works out the
// colours of the frames in order, a few frames ahead of the caller (so an
// export draws and encodes while the next pictures are decoded); at most
// kAhead frames' colours wait, so memory does not grow with the movie's
// length. The caller asks for frames in rising order; an earlier one starts
// the work again from there.
#pragma once

#include "video/FrameStepper.h"
#include "video/RecordingTicks.h"

#include <QRgb>
#include <QSize>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace movie_export {

class SourceColours {
 public:
  // Frames whose colours may wait for the caller.
  static constexpr size_t kAhead = 3;

  SourceColours() = default;
  ~SourceColours();  // stops the thread
  SourceColours(const SourceColours&) = delete;
  SourceColours& operator=(const SourceColours&) = delete;

  // Opens `video`, whose recording started `startMs` into it and ticked every
  // `intervalMs` (at least 1), for a movie of `frames` frames of `cells`
  // (columns x lines), and starts working; its pictures are shown by the
  // user's `choices` (video::PictureRule), as they were recorded. Returns
  // false and sets *error when the video cannot be decoded.
  bool Open(const std::string& video, int64_t startMs, int64_t intervalMs, int32_t frames, QSize cells,
            const video::PictureRule& choices, std::string* error);

  // The colours of movie frame `index` (0 .. frames - 1): Cells().width() x
  // Cells().height() opaque qRgb values, row by row, top row first. Valid
  // until the next call. Waits for them when they are not worked out yet.
  const std::vector<QRgb>& Colours(int32_t index);

  QSize Cells() const { return cells_; }
  int64_t VideoDurationMs() const { return ticks_.durationMs; }
  // Whether movie frame `index` is due at or after the video's end, so that
  // it takes the last picture's colours.
  bool PastEnd(int32_t index) const { return !ticks_.Takes(int64_t(index) + 1); }

 private:
  struct Frame {
    int32_t index = 0;
    std::vector<QRgb> colours;
  };
  void Start(int32_t from);  // starts the thread at frame `from`
  void Stop();               // abort, wake, join
  void Work(int32_t from);   // the thread's body

  // ---- Set by Open; read by both threads while the thread runs ----
  video::RecordingTicks ticks_;
  QSize cells_;
  int32_t frames_ = 0;

  // ---- The thread's own while it runs ----
  video::FrameStepper stepper_;

  // ---- Shared, under mutex_ ----
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Frame> ready_;  // worked out, in order, at most kAhead
  bool abort_ = false;
  bool done_ = false;  // the thread has no more frames to give

  // ---- The caller's own ----
  std::thread thread_;
  int32_t next_ = 0;  // the frame the thread gives next
  Frame current_;     // the colours handed out last
};

}  // namespace movie_export
