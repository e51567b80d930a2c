// The end rule every recorder steps by: tick n is taken while
// start + n x interval lies before the movie's end.
#include "video/RecordingTicks.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordingTicks, EndsAtTheFirstTickAtOrPastTheEnd) {
  struct Case {
    const char* what;
    video::RecordingTicks ticks;
    int64_t count;
  };
  const Case cases[] = {
      {"the last tick exactly at the end is not taken", {0, 100, 1000}, 9},
      {"one ms more takes it", {0, 100, 1001}, 10},
      {"one ms less", {0, 100, 999}, 9},
      {"unknown length", {0, 100, 0}, 0},
      {"shorter than one interval", {0, 100, 100}, 0},
      {"just over one interval", {0, 100, 101}, 1},
      {"50 frames at 25 a second, recorded at 15", {0, 67, 2000}, 29},
      {"from 1 s in: ticks at 1067 .. 1938 ms", {1000, 67, 2000}, 14},
      {"from the end", {2000, 67, 2000}, 0},
      {"from past the end", {2500, 67, 2000}, 0},
      {"every millisecond", {0, 1, 5}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.ticks.Count(), c.count);
    // Count() and Takes() tell the same recording: ticks 1 .. count, then none.
    int64_t taken = 0;
    while (c.ticks.Takes(taken + 1)) ++taken;
    EXPECT_EQ(taken, c.count);
  }
  // Ticks count from the start, not from the movie's beginning.
  constexpr video::RecordingTicks fromOneSecond{1000, 67, 2000};
  EXPECT_EQ(fromOneSecond.TimeOf(1), 1067);
  EXPECT_EQ(fromOneSecond.TimeOf(14), 1938);
}

// A cut-short movie: more than one interval of the declared length missing.
// The window and the command line both judge it by this rule.
TEST(RecordingTicks, AMovieEndsEarlyOnlyWhenMoreThanOneIntervalIsMissing) {
  EXPECT_FALSE(video::EndsEarly(1000, 1000, 100));
  EXPECT_FALSE(video::EndsEarly(1000, 1100, 100)) << "exactly one interval short: the last tick's picture is there";
  EXPECT_TRUE(video::EndsEarly(1000, 1101, 100));
  EXPECT_TRUE(video::EndsEarly(666, 2000, 67));
  EXPECT_FALSE(video::EndsEarly(2000, 1000, 100)) << "pictures past the declared length";
}

}  // namespace
