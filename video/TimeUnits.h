// The time units of the video and the one conversion between each pair:
// microseconds (the decoder, the playback clock), milliseconds (timers, the
// position tick, the recorders), whole seconds (the position bar, clock
// texts) and 100-ns units (positions at the video service's seeking
// functions, as the design's video interface has them); and sound frames
// (one sample per channel) at a sample rate.
//
// A conversion to a coarser unit truncates toward zero, as integer division
// does: a position counts the whole units it has reached (the thumb moves to
// second 1 at 1000 ms, not at 500), and a negative offset of a relative seek
// shrinks toward 0 the same way. A conversion to a finer unit is exact in
// 64 bits for any position the video holds (int64_t 100-ns units reach about
// 29,000 years); callers pass 32-bit timer intervals and tick values in
// without multiplying them in 32 bits first.
#pragma once

#include <cstdint>

namespace video {

constexpr int64_t UnitsFromUs(int64_t us) { return us * 10; }
constexpr int64_t UnitsFromMs(int64_t ms) { return ms * 10'000; }
constexpr int64_t UsFromUnits(int64_t units) { return units / 10; }
constexpr int64_t MsFromUnits(int64_t units) { return units / 10'000; }
constexpr int64_t SecondsFromUnits(int64_t units) { return units / 10'000'000; }

constexpr int64_t UsFromMs(int64_t ms) { return ms * 1'000; }
constexpr int64_t MsFromUs(int64_t us) { return us / 1'000; }
constexpr int64_t SecondsFromMs(int64_t ms) { return ms / 1'000; }

// Sound frames at `rate` a second and the time they take, truncated as above.
constexpr int64_t UsFromSoundFrames(int64_t frames, int rate) { return frames * 1'000'000 / rate; }
constexpr int64_t SoundFramesFromUs(int64_t us, int rate) { return us * rate / 1'000'000; }

}  // namespace video
