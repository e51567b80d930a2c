// The video bar as a value: every state under every command, and the items
// of the state a recording paused by the text player is in.
#include "shell/BarStates.h"

#include <gtest/gtest.h>

namespace {

TEST(VideoBarStates, EveryStateUnderEveryCommand) {
  using S = VideoBar::State;
  using C = VideoBar::Command;
  constexpr S N = S::NoMovie, L = S::Loaded, P = S::Playing, Z = S::Paused, R = S::Recording, RZ = S::RecordingPaused,
              SP = S::StoppedAfterPreview, SR = S::StoppedAfterRecording;
  // From each state: after Open, Play, Pause, Rec, Stop.
  const S rows[][6] = {{N, L, N, N, N, N},        {L, L, P, Z, R, SP},  {P, L, P, Z, R, SP},
                       {Z, L, P, Z, R, SP},       {R, L, R, RZ, R, SR}, {RZ, L, R, RZ, RZ, SR},
                       {SP, L, P, Z, R, SP},      {SR, L, P, Z, R, SP}};
  for (const auto& row : rows) {
    const VideoBar bar{row[0], false, false};
    int column = 1;
    for (const C command : {C::Open, C::Play, C::Pause, C::Record, C::Stop}) {
      EXPECT_EQ(static_cast<int>(bar.After(command).state), static_cast<int>(row[column++]))
          << "state " << static_cast<int>(row[0]) << ", command " << static_cast<int>(command);
    }
  }
  // A paused recording offers Play and Stop only, and its Stop offers Convert.
  const VideoBar paused{RZ, true, false};
  EXPECT_EQ(paused.Enabled(), (VideoBar::Items{false, true, false, false, true, false}));
  EXPECT_TRUE(paused.After(C::Stop).convertPossible);
}

}  // namespace
