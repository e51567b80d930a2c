// The video bar as a value: every state under every command, and the items
// each state offers.
#include "app/BarStates.h"

#include <gtest/gtest.h>

namespace {

using State = VideoBar::State;
using Command = VideoBar::Command;

const char* NameOf(State s) {
  constexpr const char* names[] = {"NoMovie", "Loaded", "Playing", "Paused", "Recording", "RecordingPaused",
                                   "StoppedAfterPreview", "StoppedAfterRecording"};
  return names[static_cast<int>(s)];
}

TEST(VideoBarStates, EveryStateUnderEveryCommand) {
  constexpr State N = State::NoMovie, L = State::Loaded, P = State::Playing, Z = State::Paused, R = State::Recording,
                  RZ = State::RecordingPaused, SP = State::StoppedAfterPreview, SR = State::StoppedAfterRecording;
  const struct {
    State from;
    State open, play, pause, record, stop;
  } rows[] = {
      {N, L, N, N, N, N},
      {L, L, P, Z, R, SP},
      {P, L, P, Z, R, SP},
      {Z, L, P, Z, R, SP},
      // A recording stays one through Play and Pause, and ends as one.
      {R, L, R, RZ, R, SR},
      {RZ, L, R, RZ, RZ, SR},
      {SP, L, P, Z, R, SP},
      {SR, L, P, Z, R, SP},
  };
  for (const auto& row : rows) {
    const VideoBar bar{row.from, row.from == R || row.from == RZ || row.from == P, false};
    const std::pair<Command, State> expected[] = {{Command::Open, row.open},   {Command::Play, row.play},
                                                  {Command::Pause, row.pause}, {Command::Record, row.record},
                                                  {Command::Stop, row.stop}};
    for (const auto& [command, to] : expected) {
      EXPECT_STREQ(NameOf(bar.After(command).state), NameOf(to))
          << NameOf(row.from) << " after command " << static_cast<int>(command);
    }
  }
  // Convert after a stop: always after a recording, when "1.bmp" is there after a preview.
  const VideoBar paused{RZ, true, false}, playing{P, true, false}, stopped{SR, false, true};
  EXPECT_TRUE(paused.After(Command::Stop).convertPossible);
  EXPECT_FALSE(playing.After(Command::Stop, false).convertPossible);
  EXPECT_TRUE(playing.After(Command::Stop, true).convertPossible);
  EXPECT_FALSE(stopped.After(Command::Play).convertPossible);
}

TEST(VideoBarStates, ItemsOfEachState) {
  // Open Play Pause Rec Stop; Convert as the value holds it.
  const struct {
    State state;
    bool running;
    const char* items;
  } rows[] = {
      {State::NoMovie, false, "10000"},        {State::Loaded, false, "11010"},
      {State::Playing, true, "00111"},         {State::Paused, true, "11011"},
      {State::Paused, false, "11010"},         {State::Recording, true, "00001"},
      {State::RecordingPaused, true, "01001"}, {State::StoppedAfterPreview, false, "11010"},
      {State::StoppedAfterRecording, false, "11010"},
  };
  for (const auto& row : rows) {
    const VideoBar::Items i = VideoBar{row.state, row.running, true}.Enabled();
    std::string got;
    for (bool on : {i.open, i.play, i.pause, i.rec, i.stop}) got += on ? '1' : '0';
    EXPECT_EQ(got, row.items) << NameOf(row.state);
    EXPECT_TRUE(i.convert);
  }
}

}  // namespace
