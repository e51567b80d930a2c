// Which pictures a recording of a movie takes, and when it ends.
//
// Tick n (n = 1, 2, ...) takes the picture shown at startMs + n x intervalMs,
// as the recorder's capture timer would playing from startMs. The recording
// ends at the first tick at or past the movie's end: a tick exactly at the
// end is not taken (nothing new is shown there), and a movie of unknown
// length (0) takes none. Fast recording and the command line's record and
// make all step by this rule, so they write the same bitmaps.
#pragma once

#include <cstdint>

namespace video {

struct RecordingTicks {
  int64_t startMs = 0;     // where the recording starts, ms from the movie's start
  int64_t intervalMs = 1;  // between ticks, ms; at least 1
  int64_t durationMs = 0;  // the movie's length, ms; 0 when unknown

  // The time of tick n, ms from the movie's start.
  constexpr int64_t TimeOf(int64_t n) const { return startMs + n * intervalMs; }
  // Whether tick n is taken: its time lies before the movie's end.
  constexpr bool Takes(int64_t n) const { return TimeOf(n) < durationMs; }
  // How many ticks the whole recording takes (1 .. Count() are taken).
  constexpr int64_t Count() const { return durationMs > startMs ? (durationMs - startMs - 1) / intervalMs : 0; }
};

// Whether a movie whose pictures end at `endMs` was cut short: its video
// stream declares a length `declaredMs` more than one interval further on.
// A recording that ran into such an end expected
// RecordingTicks{0, intervalMs, declaredMs}.Count() pictures.
constexpr bool EndsEarly(int64_t endMs, int64_t declaredMs, int64_t intervalMs) {
  return declaredMs - endMs > intervalMs;
}

}  // namespace video
