// The video service over every format: open, play to the end, pause, stop,
// seek, grab, end of movie, replacing a movie, bad files; and its sound
// through a fake device that pulls at a fixed rate.
#include "video/VideoService.h"
#include "video/VideoTestClips.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

using testing_support::FrameNumberOf;
using namespace video_test;
using video::VideoService;

constexpr int kEndTimeoutMs = 8000;  // generous: the clips last 1.6 s

// A sound device that takes `kBufferFrames` frames every buffer's time on a
// thread of its own, like a real one. A buffer counts as played once the
// next one is taken, so the device runs one buffer behind what it took.
class FakeSoundOutput : public video::SoundOutput {
 public:
  static constexpr int kRate = 48000;     // differs from the clips' 44100: the service resamples
  static constexpr int kChannels = 2;     // the clips are mono
  static constexpr int kBufferFrames = 2048;

  ~FakeSoundOutput() override { Stop(); }

  video::SoundFormat FormatFor(const video::SoundFormat&) override { return {kRate, kChannels}; }

  bool Start(const video::SoundFormat& format, video::SoundSource* source) override {
    Stop();
    EXPECT_EQ(format, (video::SoundFormat{kRate, kChannels}));
    played_ = 0;
    stop_ = false;
    paused_ = false;
    ++starts_;
    thread_ = std::thread([this, source] { Pull(source); });
    return true;
  }
  void Pause() override { paused_ = true; }
  void Resume() override { paused_ = false; }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int64_t PlayedFrames() const override { return played_; }

  int64_t Received() const { return received_; }
  int Starts() const { return starts_; }
  // Root mean square of the left channel and the largest difference between
  // the channels, over everything received.
  double Rms() const {
    std::lock_guard lock(mutex_);
    return sumSquares_ > 0 ? std::sqrt(sumSquares_ / std::max<int64_t>(1, received_)) : 0;
  }
  int ChannelDifference() const { return channelDifference_; }

 private:
  void Pull(video::SoundSource* source) {
    std::vector<int16_t> buffer(kBufferFrames * kChannels);
    const auto period = std::chrono::microseconds(int64_t{kBufferFrames} * 1000000 / kRate);
    auto next = std::chrono::steady_clock::now();
    int64_t lastTaken = 0;
    while (!stop_) {
      next += period;
      std::this_thread::sleep_until(next);
      if (paused_) continue;
      played_ += lastTaken;
      const int64_t bytes = source->ReadSound(reinterpret_cast<char*>(buffer.data()),
                                              static_cast<int64_t>(buffer.size()) * 2);
      lastTaken = bytes / (2 * kChannels);
      std::lock_guard lock(mutex_);
      for (int64_t i = 0; i < lastTaken; ++i) {
        const int16_t left = buffer[2 * i], right = buffer[2 * i + 1];
        sumSquares_ += double(left) * left;
        channelDifference_ = std::max(channelDifference_, std::abs(left - right));
      }
      received_ += lastTaken;
    }
  }

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<int64_t> played_{0};
  std::atomic<int64_t> received_{0};
  std::atomic<int> starts_{0};
  mutable std::mutex mutex_;
  double sumSquares_ = 0;
  int channelDifference_ = 0;
};

// Records what the service reports, checking it arrives on this thread.
struct Recorder {
  std::vector<long> events;
  std::vector<std::pair<uint32_t, uint32_t>> ticks;
  bool offThread = false;

  void Attach(VideoService& service) {
    service.OnDSEvent = [this](long event, intptr_t, intptr_t) {
      offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
      events.push_back(event);
    };
    service.OnTimer = [this](uint32_t current, uint32_t duration) {
      offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
      ticks.emplace_back(current, duration);
    };
  }
  int Completions() const { return static_cast<int>(std::count(events.begin(), events.end(), video::EC_COMPLETE)); }
};

int64_t PositionMs(const VideoService& service) {
  int64_t position = -1;
  EXPECT_TRUE(service.GetCurrentPosition(&position));
  return position / 10000;
}

int GrabbedFrameNumber(const VideoService& service) {
  QImage picture;
  if (!service.GrabFrame(&picture)) return -1;
  return FrameNumberOf(picture);
}

void SeekTo(VideoService& service, int64_t ms) {
  int64_t target = ms * 10000;
  service.SetPositions(&target, video::AM_SEEKING_AbsolutePositioning, nullptr, video::AM_SEEKING_NoPositioning);
}

// The middle of frame `n`'s time, in ms.
int64_t MiddleOf(int n) { return n * kFrameMs + kFrameMs / 2; }

class ServiceFormats : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string reason;
    path_ = Clip(GetParam(), &reason);
    if (path_.empty()) GTEST_SKIP() << reason;
    recorder_.Attach(service_);
    service_.Activate();
    std::string error;
    ASSERT_TRUE(service_.RenderFile(path_, &error)) << error;
  }

  std::string path_;
  FakeSoundOutput device_;  // outlives the service
  VideoService service_;
  Recorder recorder_;
};

TEST_P(ServiceFormats, OpensAtTheFirstPictureAndPlaysToOneCompletion) {
  int64_t duration = 0, stop = 0;
  ASSERT_TRUE(service_.GetDuration(&duration));
  ASSERT_TRUE(service_.GetStopPosition(&stop));
  EXPECT_EQ(stop, duration);
  EXPECT_NEAR(duration / 10000, kFrames * kFrameMs, kFrameMs);

  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) >= 0; }, kEndTimeoutMs));
  QImage first;
  ASSERT_TRUE(service_.GrabFrame(&first));
  EXPECT_EQ(first.size(), QSize(160, 120));
  EXPECT_EQ(first.format(), QImage::Format_RGB888);
  EXPECT_EQ(FrameNumberOf(first), 0);
  EXPECT_EQ(PositionMs(service_), 0);

  service_.Play();
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Completions() > 0; }, kEndTimeoutMs)) << "no end of movie";
  Pump(300);  // anything more would come now
  EXPECT_EQ(recorder_.Completions(), 1);
  EXPECT_FALSE(recorder_.offThread) << "a handler ran off the user-interface thread";
  EXPECT_EQ(GrabbedFrameNumber(service_), kFrames - 1) << "the last picture stays at the end";
  EXPECT_EQ(FrameNumberOf(first), 0) << "a grabbed picture changed as the movie played on";
  EXPECT_NEAR(PositionMs(service_), duration / 10000, kFrameMs);
  ASSERT_FALSE(recorder_.ticks.empty()) << "a 1.6 s movie passes one tick";
  EXPECT_NEAR(recorder_.ticks[0].second, duration / 10000, 1);
  EXPECT_NEAR(recorder_.ticks[0].first, 1000, 250);
}

TEST_P(ServiceFormats, PauseHoldsStopKeepsThePositionSeekShowsThePicture) {
  service_.Play();
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) >= 5; }, kEndTimeoutMs));
  service_.Pause();
  Pump(50);
  const int held = GrabbedFrameNumber(service_);
  const int64_t heldAt = PositionMs(service_);
  Pump(300);
  EXPECT_EQ(GrabbedFrameNumber(service_), held) << "the picture moved while paused";
  EXPECT_EQ(PositionMs(service_), heldAt);
  EXPECT_NEAR(held, heldAt / kFrameMs, 1) << "the picture keeps pace with the clock";

  // Seeking while paused shows the picture of the new position, forward and back.
  for (int frame : {30, 12, 0, 39}) {
    SeekTo(service_, MiddleOf(frame));
    EXPECT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) == frame; }, kEndTimeoutMs))
        << "after seeking to frame " << frame << " the picture shows " << GrabbedFrameNumber(service_);
    EXPECT_NEAR(PositionMs(service_), MiddleOf(frame), 1);
  }

  SeekTo(service_, MiddleOf(10));
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) == 10; }, kEndTimeoutMs));
  service_.Play();
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) >= 15; }, kEndTimeoutMs));
  service_.Stop();
  const int64_t stoppedAt = PositionMs(service_);
  EXPECT_GE(stoppedAt, MiddleOf(10));
  Pump(200);
  EXPECT_EQ(PositionMs(service_), stoppedAt) << "Stop keeps the position";
  EXPECT_EQ(recorder_.Completions(), 0);

  // After a stop, playing from the start runs to one end of the movie.
  SeekTo(service_, 0);
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service_) == 0; }, kEndTimeoutMs));
  service_.Play();
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Completions() > 0; }, kEndTimeoutMs));
  Pump(200);
  EXPECT_EQ(recorder_.Completions(), 1);
}

TEST_P(ServiceFormats, SoundReachesTheDeviceResampledAndDrivesTheClock) {
  FakeSoundOutput& device = device_;
  service_.SetSoundOutput(&device);
  std::string error;
  ASSERT_TRUE(service_.RenderFile(path_, &error)) << error;
  service_.Play();
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Completions() > 0; }, kEndTimeoutMs)) << "no end of movie";
  EXPECT_EQ(device.Starts(), 1);
  // The tone lasts as long as the picture; codecs pad their last block, so
  // allow one of the device's buffers plus one codec block (at most 2048
  // samples at 44.1 kHz) beyond.
  const int64_t expected = kFrames * FakeSoundOutput::kRate / kFps;
  const int64_t slack = FakeSoundOutput::kBufferFrames + 2048 * FakeSoundOutput::kRate / 44100;
  EXPECT_NEAR(device.Received(), expected, slack);
  EXPECT_GT(device.Rms(), 0.2 * 0.3 * 32767) << "the tone is missing";
  EXPECT_LE(device.ChannelDifference(), 1) << "mono goes to both channels alike";
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ServiceFormats, ::testing::ValuesIn(AllExtensions()),
                         [](const auto& info) { return info.param.substr(1); });

TEST(VideoServiceSound, TheClockFollowsThePlayedSamplesThroughPauseAndSeek) {
  std::string reason;
  const std::string path = Clip(".avi", &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  FakeSoundOutput device;
  VideoService service;
  service.SetSoundOutput(&device);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  const int64_t bufferMs = FakeSoundOutput::kBufferFrames * 1000 / FakeSoundOutput::kRate;
  auto playedMs = [&] { return device.PlayedFrames() * 1000 / FakeSoundOutput::kRate; };

  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return playedMs() >= 400; }, kEndTimeoutMs));
  EXPECT_NEAR(PositionMs(service), playedMs(), bufferMs);
  service.Pause();
  Pump(100);
  const int64_t pausedPlayed = device.PlayedFrames();
  const int64_t pausedAt = PositionMs(service);
  Pump(300);
  EXPECT_EQ(device.PlayedFrames(), pausedPlayed) << "the device went on while paused";
  EXPECT_EQ(PositionMs(service), pausedAt);

  SeekTo(service, 1000);
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return device.PlayedFrames() - pausedPlayed >= 10 * 1024; }, kEndTimeoutMs));
  const int64_t sinceSeekMs = (device.PlayedFrames() - pausedPlayed) * 1000 / FakeSoundOutput::kRate;
  EXPECT_NEAR(PositionMs(service), 1000 + sinceSeekMs, 2 * bufferMs);
  service.Deactivate();
}

// Sound that ends long before the picture: playing from past its end must
// neither wait for a device that has nothing to play nor read the rest of
// the picture's packets in search of sound.
TEST(VideoServiceSound, APictureOutlastingItsSoundPlaysOn) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.frameCount = 60;   // 2.4 s of picture
  clipSpec.soundFrames = 10;  // 0.4 s of sound
  const std::string path = CustomClip("short-sound.avi", clipSpec);
  FakeSoundOutput device;
  VideoService service;
  Recorder recorder;
  recorder.Attach(service);
  service.SetSoundOutput(&device);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  SeekTo(service, MiddleOf(40));
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service) == 40; }, kEndTimeoutMs));
  service.Play();
  // Due after 0.2 s; a clock held for a silent device would take 2 s more.
  EXPECT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service) >= 45; }, 1500))
      << "the picture waited for sound that had ended; it shows " << GrabbedFrameNumber(service);
  ASSERT_TRUE(WaitUntil([&] { return recorder.Completions() == 1; }, kEndTimeoutMs));
  EXPECT_EQ(GrabbedFrameNumber(service), 59);
  service.Deactivate();
}

TEST(VideoService, NoEventOrTickOfAClosedMovieArrives) {
  std::string reason;
  const std::string path = Clip(".mp4", &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  VideoService service;
  Recorder recorder;
  recorder.Attach(service);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  SeekTo(service, kFrames * kFrameMs - 100);
  service.Play();
  // Without running the event loop, so that the end of the movie is posted
  // but not yet delivered when the service goes.
  QThread::msleep(600);
  service.Deactivate();
  Pump(1500);
  EXPECT_TRUE(recorder.events.empty());
  EXPECT_TRUE(recorder.ticks.empty());
  QImage untouched;
  EXPECT_FALSE(service.GrabFrame(&untouched));

  // Activate after it starts clean.
  service.Activate();
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service) == 0; }, kEndTimeoutMs));
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return recorder.Completions() == 1; }, kEndTimeoutMs));

  // Nor does the end of a movie that opening it again closed.
  SeekTo(service, kFrames * kFrameMs - 100);
  service.Play();
  QThread::msleep(600);
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  Pump(1500);
  EXPECT_EQ(recorder.Completions(), 1);
}

TEST(VideoService, AnInactiveServiceDoesNothing) {
  VideoService service;
  Recorder recorder;
  recorder.Attach(service);
  std::string reason;
  const std::string path = Clip(".avi", &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  std::string error;
  EXPECT_FALSE(service.RenderFile(path, &error)) << "opened without Activate";
  EXPECT_FALSE(error.empty());
  service.Play();
  service.Pause();
  service.Stop();
  service.ClearGraph();
  QImage picture;
  int64_t position = 0;
  EXPECT_FALSE(service.GrabFrame(&picture));
  EXPECT_TRUE(picture.isNull());
  EXPECT_FALSE(service.GetCurrentPosition(&position));
  EXPECT_FALSE(service.GetDuration(&position));
  EXPECT_FALSE(service.SetPositions(&position, video::AM_SEEKING_AbsolutePositioning, nullptr, 0));
  service.PositionTick();
  Pump(100);
  EXPECT_TRUE(recorder.events.empty());
  EXPECT_TRUE(recorder.ticks.empty());
}

TEST(VideoService, BadFilesFailCleanly) {
  std::string reason;
  const std::string good = Clip(".avi", &reason);
  SKIP_WITHOUT_CLIP(good, reason);
  const std::string goodBytes = testing_support::ReadAll(good);

  testing_support::TempFolder folder;
  testing_support::WriteAll(folder / "x.avi", "This is a text file, not a movie.\r\n");
  testing_support::WriteAll(folder / "truncated.avi", goodBytes.substr(0, 200));
  // The container's signature stays; the header behind it is garbage.
  std::string corrupt = goodBytes;
  for (size_t i = 12; i < std::min<size_t>(corrupt.size(), 4096); ++i) corrupt[i] = static_cast<char>(i * 7 + 3);
  testing_support::WriteAll(folder / "corrupt.avi", corrupt);
  testing_support::WriteAll(folder / "empty.avi", "");
  testing_support::ClipSpec soundOnly;
  soundOnly.format = testing_support::FormatFor(".avi");
  soundOnly.withVideo = false;
  const std::string noVideo = CustomClip("sound-only.avi", soundOnly);

  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"missing file", folder / "missing.avi"},
      {"text file named .avi", folder / "x.avi"},
      {"truncated header", folder / "truncated.avi"},
      {"corrupt header", folder / "corrupt.avi"},
      {"empty file", folder / "empty.avi"},
      {"no video stream", noVideo},
  };
  VideoService service;
  Recorder recorder;
  recorder.Attach(service);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    service.Activate();
    std::string error;
    EXPECT_FALSE(service.RenderFile(c.path, &error));
    EXPECT_FALSE(error.empty());
    QImage picture;
    int64_t duration = 0;
    EXPECT_FALSE(service.GrabFrame(&picture));
    EXPECT_FALSE(service.GetDuration(&duration));
    service.Play();  // acts on nothing
    service.Deactivate();
    EXPECT_FALSE(service.IsActive());
  }
  // The service still opens a good movie afterwards.
  service.Activate();
  std::string error;
  EXPECT_TRUE(service.RenderFile(good, &error)) << error;
  Pump(100);
  EXPECT_TRUE(recorder.events.empty());
}

TEST(VideoService, OpeningASecondMovieWhileTheFirstPlaysReplacesIt) {
  std::string reason;
  const std::string first = Clip(".avi", &reason);
  SKIP_WITHOUT_CLIP(first, reason);
  testing_support::ClipSpec bigger;
  bigger.format = testing_support::FormatFor(".mpg");
  bigger.width = 320;
  bigger.height = 240;
  bigger.frameCount = 30;
  const std::string second = CustomClip("bigger.mpg", bigger);

  VideoService service;
  Recorder recorder;
  recorder.Attach(service);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(first, &error)) << error;
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return GrabbedFrameNumber(service) >= 5; }, kEndTimeoutMs));

  ASSERT_TRUE(service.RenderFile(second, &error)) << error;
  QImage picture;
  ASSERT_TRUE(WaitUntil([&] { return service.GrabFrame(&picture) && picture.width() == 320; }, kEndTimeoutMs));
  EXPECT_EQ(FrameNumberOf(picture), 0) << "the new movie starts at its beginning";
  int64_t duration = 0;
  ASSERT_TRUE(service.GetDuration(&duration));
  EXPECT_NEAR(duration / 10000, 30 * kFrameMs, kFrameMs);
  Pump(300);
  EXPECT_EQ(GrabbedFrameNumber(service), 0) << "the new movie waits, stopped, for Play";
  EXPECT_TRUE(recorder.events.empty());
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return recorder.Completions() == 1; }, kEndTimeoutMs));
  Pump(300);
  EXPECT_EQ(recorder.Completions(), 1) << "the first movie's end never arrives";
}

}  // namespace
