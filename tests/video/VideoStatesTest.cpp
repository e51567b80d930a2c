// Every way the video service is commanded into playing, on a short movie
// with sound, through a fake device that holds a bounded queue and takes
// sound from the service only once it has been started: the sound must
// flow and the end of the movie arrive exactly once. Plays in real time.
#include "video/VideoService.h"
#include "video/VideoTestClips.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using namespace video_test;
using video::VideoService;

constexpr int kClipFrames = 20;          // 0.8 s at 25 a second
constexpr int kCompletionBoundMs = 8000;  // the end must come well within this

// A device with a queue of kQueueFrames: while started it tops the queue up
// from the source and plays kPeriodFrames of it every period. Before Start
// (and after Stop) nothing is taken. With a stall point it stops taking and
// playing for good once that many frames have been played.
class QueueingSoundOutput : public video::SoundOutput {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;
  static constexpr int kPeriodFrames = 1024;
  static constexpr int kQueueFrames = 4 * kPeriodFrames;

  explicit QueueingSoundOutput(int64_t stallAfterFrames = -1) : stallAfter_(stallAfterFrames) {}
  ~QueueingSoundOutput() override { Stop(); }

  video::SoundFormat FormatFor(const video::SoundFormat&) override { return {kRate, kChannels}; }
  bool Start(const video::SoundFormat&, video::SoundSource* source) override {
    Stop();
    stop_ = false;
    paused_ = false;
    played_ = 0;
    queued_ = 0;
    ++starts_;
    thread_ = std::thread([this, source] { Run(source); });
    return true;
  }
  void Pause() override { paused_ = true; }
  void Resume() override { paused_ = false; }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int64_t PlayedFrames() const override { return played_; }

  int Starts() const { return starts_; }
  int64_t Taken() const { return taken_; }

 private:
  void Run(video::SoundSource* source) {
    std::vector<char> buffer(static_cast<size_t>(kQueueFrames) * kChannels * 2);
    const auto period = std::chrono::microseconds(int64_t{kPeriodFrames} * 1000000 / kRate);
    auto next = std::chrono::steady_clock::now();
    while (!stop_) {
      next += period;
      std::this_thread::sleep_until(next);
      if (paused_ || (stallAfter_ >= 0 && played_ >= stallAfter_)) continue;
      const int64_t room = kQueueFrames - queued_;
      const int64_t got = source->ReadSound(buffer.data(), room * kChannels * 2) / (kChannels * 2);
      queued_ += got;
      taken_ += got;
      const int64_t play = std::min<int64_t>(queued_, kPeriodFrames);
      queued_ -= play;
      played_ += play;
    }
  }

  const int64_t stallAfter_;
  std::thread thread_;
  std::atomic<bool> stop_{true};
  std::atomic<bool> paused_{false};
  std::atomic<int64_t> played_{0};
  int64_t queued_ = 0;
  std::atomic<int64_t> taken_{0};
  std::atomic<int> starts_{0};
};

enum class Command { Play, Pause, Stop };

void Give(VideoService& service, Command command) {
  switch (command) {
    case Command::Play:
      service.Play();
      break;
    case Command::Pause:
      service.Pause();
      break;
    case Command::Stop:
      service.Stop();
      break;
  }
}

const char* NameOf(Command command) {
  return command == Command::Play ? "Play" : command == Command::Pause ? "Pause" : "Stop";
}

std::string ShortClip() {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.frameCount = kClipFrames;
  return CustomClip("short-states.avi", clipSpec);
}

// The short movie opened in a service that plays its sound through `device`
// and counts the ends of the movie.
struct OpenMovie {
  explicit OpenMovie(video::SoundOutput* device) {
    service.OnDSEvent = [this](long event, intptr_t, intptr_t) { events.push_back(event); };
    service.SetSoundOutput(device);
    service.Activate();
    const std::string path = ShortClip();
    std::string error;
    opened = !path.empty() && service.RenderFile(path, &error);
  }
  ~OpenMovie() { service.Deactivate(); }
  int Completions() const { return static_cast<int>(std::count(events.begin(), events.end(), video::EC_COMPLETE)); }
  // Waits, bounded, for the end of the movie, and a while longer for a second one.
  bool Ended() {
    const bool ended = WaitUntil([&] { return Completions() > 0; }, kCompletionBoundMs);
    Pump(200);
    return ended;
  }

  VideoService service;
  std::vector<long> events;
  bool opened = false;
};

// Each row: commands from a freshly opened movie, with a little playing time
// after each Play; the movie then plays to its end with a final Play.
TEST(VideoServiceStates, EveryWayIntoPlayingStartsTheSoundAndTheEndArrivesOnce) {
  const std::vector<std::vector<Command>> paths = {
      {},
      {Command::Pause},
      {Command::Stop},
      {Command::Pause, Command::Stop},
      {Command::Stop, Command::Pause},
      {Command::Play, Command::Pause},
      {Command::Play, Command::Stop},
      {Command::Play, Command::Play},
      {Command::Pause, Command::Pause},
      {Command::Play, Command::Pause, Command::Stop},
      // The text player's road: Play2, the video's Stop, the text Pause, Play.
      {Command::Play, Command::Stop, Command::Pause},
  };
  for (const auto& commands : paths) {
    std::string trace;
    for (Command c : commands) trace += std::string(NameOf(c)) + " ";
    SCOPED_TRACE("from a fresh movie: " + trace + "Play");
    QueueingSoundOutput device;
    OpenMovie movie(&device);
    ASSERT_TRUE(movie.opened);
    for (Command c : commands) {
      Give(movie.service, c);
      Pump(c == Command::Play ? 150 : 30);
    }
    const int64_t takenBefore = device.Taken();
    movie.service.Play();
    EXPECT_TRUE(movie.Ended()) << "the end of the movie never came";
    EXPECT_EQ(movie.Completions(), 1);
    EXPECT_GE(device.Starts(), 1) << "the sound was never started";
    // The sound of the rest of the movie (half a second or more) reached the
    // device after the last Play.
    EXPECT_GT(device.Taken() - takenBefore, QueueingSoundOutput::kRate * 4 / 10);
  }
}

// A device that stops taking sound part way: the movie still ends, once,
// within a bounded wait after its picture.
TEST(VideoServiceStates, ADeviceThatStopsTakingSoundDoesNotHoldTheEndForEver) {
  QueueingSoundOutput device(QueueingSoundOutput::kRate / 5);
  OpenMovie movie(&device);
  ASSERT_TRUE(movie.opened);
  movie.service.Play();
  EXPECT_TRUE(movie.Ended());
  EXPECT_EQ(movie.Completions(), 1);
}

}  // namespace
