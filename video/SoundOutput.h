// The seam between the video service and a sound device.
//
// The output pulls: once started it asks its SoundSource for samples
// whenever the device wants more, on whatever thread it likes. The service
// implements SoundSource and resamples the movie's sound to the format the
// output chose. The output counts the frames the device has actually played;
// while sound plays that count is the playback clock.
//
// Calls to SoundOutput come from the user-interface thread only, except
// PlayedFrames(), which any thread may call.
#pragma once

#include "video/MediaReader.h"

#include <cstdint>

namespace video {

class SoundSource {
 public:
  virtual ~SoundSource() = default;
  // Copies up to `maxBytes` bytes (whole frames) of the next samples into
  // `data` and returns how many it copied; 0 when none are ready. Thread-safe.
  virtual int64_t ReadSound(char* data, int64_t maxBytes) = 0;
};

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;

  // The format the device will play for a movie whose sound is `wish`: the
  // wish itself where the device takes it, else the nearest it takes. An
  // invalid format means there is no device: the movie plays silently.
  virtual SoundFormat FormatFor(const SoundFormat& wish) = 0;
  // Starts pulling from `source` (which outlives the output's use of it) in
  // `format`, counting played frames from 0. False: no sound, play silently.
  virtual bool Start(const SoundFormat& format, SoundSource* source) = 0;
  virtual void Pause() = 0;   // holds the device; nothing is pulled or played
  virtual void Resume() = 0;
  // Stops the device and lets go of the source; safe when not started.
  virtual void Stop() = 0;
  // Frames of the source's samples played by the device since Start. Any thread.
  virtual int64_t PlayedFrames() const = 0;
};

}  // namespace video
