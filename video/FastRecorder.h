// Fast recording: the numbered bitmaps a timed recording would write, taken
// by the unpaced decoder in a worker thread as fast as decoding allows,
// without playing the movie.
//
// Bitmap n holds the picture of tick n of the recording (RecordingTicks):
// shown at startMs + n x intervalMs, while that lies before the end of the
// movie, exactly as the recorder's timer would take them playing from
// startMs. A movie cut short (its pictures end more than one interval before
// the length its video stream declares) ends where its pictures end, as
// playing it would, and the progress says so. Each bitmap is written whole
// before the next is begun, and Stop() waits for the one being written, so a
// stopped recording leaves whole bitmaps only.
#pragma once

#include "video/FrameStepper.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace video {

class FastRecorder {
 public:
  FastRecorder() = default;
  ~FastRecorder();  // stops a running recording
  FastRecorder(const FastRecorder&) = delete;
  FastRecorder& operator=(const FastRecorder&) = delete;

  // Opens `videoPath` and starts the worker, the pictures shown by the
  // user's `choices` as the preview shows them (PictureRule). False with
  // *error when the movie cannot be opened; `folder` ends with "/" and exists.
  bool Start(const std::string& videoPath, const std::string& folder, int64_t startMs, int64_t intervalMs,
             const PictureRule& choices, std::string* error);
  // Ends the recording: abort, wake, join. Safe to call at any time.
  void Stop();

  struct Progress {
    int written = 0;          // bitmaps written so far
    int64_t positionMs = 0;   // time of the last one written
    int64_t durationMs = 0;   // the movie's length
    bool finished = false;    // the worker has ended (at the movie's end, on an error or stopped)
    std::string error;        // a bitmap that could not be written; empty when none
    int errorCode = 0;        // its errno
    // Where a movie cut short ran out of pictures, ms; -1 when it did not.
    int64_t endedEarlyMs = -1;
    int64_t expected = 0;     // the bitmaps the declared length would have given
  };
  Progress Poll() const;
  // The last bitmap written, at the movie's own size; null before the first.
  QImage LatestPicture() const;

 private:
  void Run();

  // --- Set by Start() before the worker starts; then the worker's alone.
  FrameStepper stepper_;
  std::string folder_;
  int64_t startMs_ = 0;
  int64_t intervalMs_ = 1;

  // --- Shared between the worker and the caller, under mutex_.
  mutable std::mutex mutex_;
  Progress progress_;
  QImage latest_;

  std::atomic<bool> abort_{false};
  std::thread worker_;
};

}  // namespace video
