// The conversions between the video's time units: which way they round, that
// they hold what a long movie reaches, and that going through 100-ns units
// lands where the direct conversion does (the tick works in microseconds,
// callers of the seeking functions in 100-ns units; both must show the same
// millisecond and second).
#include "video/TimeUnits.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using namespace video;

TEST(TimeUnits, CoarserUnitsTruncateTowardZeroFinerOnesAreExactIn64Bits) {
  constexpr int64_t kTenHoursUs = int64_t{10} * 3600 * 1000000;
  constexpr int64_t kFarthestUs = int64_t{1} << 50;  // the farthest position the reader keeps
  const struct {
    const char* what;
    int64_t got, expected;
  } cases[] = {
      {"9999 units are still 0 ms", MsFromUnits(9'999), 0},
      {"10000 units are 1 ms", MsFromUnits(10'000), 1},
      {"1999 us are 1 ms", MsFromUs(1'999), 1},
      {"999 ms are second 0 of the bar", SecondsFromMs(999), 0},
      {"9999999 units are second 0 of the clock", SecondsFromUnits(9'999'999), 0},
      {"-19 units seek back 1 us, not 2", UsFromUnits(-19), -1},
      {"-9 units seek back nothing", UsFromUnits(-9), 0},
      {"ten hours pass 2^32 units", UnitsFromUs(kTenHoursUs), 360'000'000'000},
      {"the largest 32-bit tick", UnitsFromMs(UINT32_MAX), 42'949'672'950'000},
      {"a 32-bit interval in microseconds", UsFromMs(INT32_MAX), 2'147'483'647'000},
      {"the farthest position and back", UsFromUnits(UnitsFromUs(kFarthestUs)), kFarthestUs},
      {"the farthest position backward and back", UsFromUnits(UnitsFromUs(-kFarthestUs)), -kFarthestUs},
      {"one sound frame at 44.1 kHz is 22 us", UsFromSoundFrames(1, 44'100), 22},
      {"a second of sound frames", UsFromSoundFrames(48'000, 48'000), 1'000'000},
      {"the 50 ms drain slack at 44.1 kHz", SoundFramesFromUs(50'000, 44'100), 2'205},
      {"ten hours of sound played at 48 kHz", SoundFramesFromUs(kTenHoursUs, 48'000), 1'728'000'000},
      {"ten hours of sound frames queued", UsFromSoundFrames(1'728'000'000, 48'000), kTenHoursUs},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;

  for (const int64_t x : {int64_t{-10'001}, int64_t{-1}, int64_t{0}, int64_t{999}, int64_t{1'000}, int64_t{1'999},
                          int64_t{999'999}, kTenHoursUs + 999}) {
    EXPECT_EQ(MsFromUnits(UnitsFromUs(x)), MsFromUs(x)) << x << " us";
    EXPECT_EQ(SecondsFromUnits(UnitsFromMs(x)), SecondsFromMs(x)) << x << " ms";
    EXPECT_EQ(SecondsFromUnits(UnitsFromUs(x)), SecondsFromMs(MsFromUs(x))) << x << " us";
  }
}

}  // namespace
