// Unpaced decoding over every format: the picture at a time is the frame
// due at that time, read back from the frame number the clip draws.
#include "conversion/BmpReader.h"
#include "video/FrameStepper.h"
#include "video/RecordingTicks.h"
#include "video/VideoTestClips.h"

#include "support/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testing_support::FrameNumberOf;
using namespace video_test;

class FrameStepperFormats : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameStepperFormats, OpensAndTellsTheDuration) {
  std::string reason;
  const std::string path = Clip(GetParam(), &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  video::FrameStepper stepper;
  std::string error;
  ASSERT_TRUE(stepper.Open(path, &error)) << error;
  EXPECT_EQ(stepper.FrameSize(), QSize(160, 120));
  EXPECT_NEAR(stepper.DurationMs(), kFrames * kFrameMs, kFrameMs);
}

TEST_P(FrameStepperFormats, RisingTimesShowTheFrameDueThen) {
  std::string reason;
  const std::string path = Clip(GetParam(), &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  video::FrameStepper stepper;
  std::string error;
  ASSERT_TRUE(stepper.Open(path, &error)) << error;
  // Halfway through each frame's time, so timestamps rounded either way agree.
  for (int frame = 0; frame < kFrames; frame += 3) {
    QImage picture;
    ASSERT_TRUE(stepper.PictureAt(frame * kFrameMs + kFrameMs / 2, &picture)) << "frame " << frame;
    EXPECT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_EQ(picture.size(), QSize(160, 120));
    EXPECT_EQ(FrameNumberOf(picture), frame) << "at " << frame * kFrameMs + kFrameMs / 2 << " ms";
  }
  // Past the end the last picture stays.
  QImage last;
  ASSERT_TRUE(stepper.PictureAt(kFrames * kFrameMs + 500, &last));
  EXPECT_EQ(FrameNumberOf(last), kFrames - 1);
  EXPECT_TRUE(stepper.IsPastEnd(kFrames * kFrameMs + 500));
  EXPECT_FALSE(stepper.IsPastEnd(kFrameMs));
  // Exactly where the last picture ends nothing is shown any more: a tick
  // there takes no copy of it.
  EXPECT_FALSE(stepper.IsPastEnd(kFrames * kFrameMs - 1));
  EXPECT_TRUE(stepper.IsPastEnd(kFrames * kFrameMs));
}

TEST_P(FrameStepperFormats, AnEarlierTimeGoesBack) {
  std::string reason;
  const std::string path = Clip(GetParam(), &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  video::FrameStepper stepper;
  std::string error;
  ASSERT_TRUE(stepper.Open(path, &error)) << error;
  QImage picture;
  ASSERT_TRUE(stepper.PictureAt(35 * kFrameMs + kFrameMs / 2, &picture));
  EXPECT_EQ(FrameNumberOf(picture), 35);
  ASSERT_TRUE(stepper.PictureAt(7 * kFrameMs + kFrameMs / 2, &picture));
  EXPECT_EQ(FrameNumberOf(picture), 7);
  ASSERT_TRUE(stepper.PictureAt(0, &picture));
  EXPECT_EQ(FrameNumberOf(picture), 0);
}

// How a recording uses it: the picture of each tick of the recording
// (RecordingTicks over the movie's length), and IsPastEnd only where the
// command line asks it, to tell a movie cut short: a whole movie never ends
// early. Every tick before the last picture ends is taken; a container that
// states a longer length (FLV's 1620 ms for 1600 ms of pictures) takes the
// last picture once more, as every recorder does.
TEST_P(FrameStepperFormats, ARecordingLoopStopsAtTheEnd) {
  std::string reason;
  const std::string path = Clip(GetParam(), &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  for (const int intervalMs : {1000 / 15, 100, 1000}) {
    SCOPED_TRACE("interval " + std::to_string(intervalMs) + " ms");
    video::FrameStepper stepper;
    std::string error;
    ASSERT_TRUE(stepper.Open(path, &error)) << error;
    const video::RecordingTicks ticks{0, intervalMs, stepper.DurationMs()};
    const int64_t declared = std::max(stepper.DurationMs(), stepper.StreamDurationMs());
    int64_t taken = 0;
    int lastNumber = -1;
    for (int64_t n = 1; ticks.Takes(n); ++n) {
      const int64_t t = ticks.TimeOf(n);
      if (declared - t > intervalMs) {
        EXPECT_FALSE(stepper.IsPastEnd(t)) << "a whole movie ends early at " << t << " ms";
      }
      QImage picture;
      ASSERT_TRUE(stepper.PictureAt(t, &picture));
      const int number = FrameNumberOf(picture);
      EXPECT_GE(number, lastNumber) << "time ran backwards at n = " << n;
      lastNumber = number;
      ++taken;
    }
    EXPECT_EQ(taken, ticks.Count());
    EXPECT_GE(taken, (kFrames * kFrameMs - 1) / intervalMs) << "a tick before the last picture's end is missing";
    EXPECT_EQ(lastNumber, std::min<int64_t>(ticks.TimeOf(taken) / kFrameMs, kFrames - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, FrameStepperFormats, ::testing::ValuesIn(AllExtensions()),
                         [](const auto& info) { return info.param.substr(1); });

// Damaged movies the fuzz target found faults with (kept in
// fuzz/regressions/video/): each one opens or is refused, and an opened one
// decodes to its end. Under the sanitizer build an overflowing time is a
// failure too.
TEST(FrameStepper, DamagedMoviesOpenAndEndOrAreRefused) {
  const QDir folder(QStringLiteral(GLYPHREEL_SOURCE_DIR "/fuzz/regressions/video"));
  const QStringList names = folder.entryList(QDir::Files);
  ASSERT_FALSE(names.isEmpty());
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    video::FrameStepper stepper;
    std::string error;
    if (!stepper.Open(folder.filePath(name).toStdString(), &error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_GE(stepper.DurationMs(), 0);
    // 40 ms steps, then growing ones: a time stated far ahead still ends.
    bool ended = false;
    int64_t step = 40;
    for (int64_t ms = 0, n = 0; !ended && ms < (int64_t{1} << 42); ms += step, ++n) {
      ended = stepper.IsPastEnd(ms);
      QImage picture;
      if (!ended && stepper.PictureAt(ms, &picture)) {
        EXPECT_FALSE(picture.isNull());
      }
      if (n >= 200) step *= 2;
    }
    EXPECT_TRUE(ended);
  }
}

// Pictures narrower than the scaler's blocks of 16 pixels, whose conversion
// to RGB wrote past a buffer of the picture's own size (a damaged heap then
// aborts the program): each comes out whole, at its own size and gray.
TEST(FrameStepper, NarrowPicturesConvertWithoutOverrun) {
  testing_support::ClipSpec narrow;
  narrow.format = testing_support::FormatFor(".avi");
  narrow.frameCount = 4;
  narrow.withSound = false;
  narrow.luma = [](int frame, int, int) { return 60 + 40 * frame; };
  for (narrow.width = 1; narrow.width <= 15; ++narrow.width) {
    narrow.height = 8 + narrow.width % 3;
    video::FrameStepper stepper;
    std::string error;
    ASSERT_TRUE(stepper.Open(CustomClip("narrow" + std::to_string(narrow.width) + ".avi", narrow), &error)) << error;
    for (int frame = 0; frame < 4; ++frame) {
      QImage picture;
      ASSERT_TRUE(stepper.PictureAt(frame * kFrameMs + kFrameMs / 2, &picture));
      ASSERT_EQ(picture.size(), QSize(narrow.width, narrow.height));
      const int expected = (60 + 40 * frame - 16) * 255 / 219;  // video range to full range
      EXPECT_NEAR(qGray(picture.pixel(narrow.width - 1, narrow.height - 1)), expected, 6) << narrow.width;
    }
  }
}

// A recording that plans its ticks leaves the non-reference pictures no tick
// shows undecoded where the file's times can be trusted, and takes exactly
// the pictures (whole and stretched) that decoding every frame gives: H.264
// and HEVC with B-frames (pictures decoded out of order), a turned picture,
// and formats that are decoded whole (AVI's guessed times, MPEG-4 part 2).
TEST(FrameStepper, PlannedTicksSkipPicturesAndTakeTheSameOnes) {
  struct ClipCase {
    std::string name;
    testing_support::ClipSpec clipSpec;
    bool skips;
  };
  std::vector<ClipCase> clips;
  testing_support::ClipSpec h264;
  h264.format = testing_support::FormatFor(".mp4");
  h264.framesPerSecond = 30;
  h264.frameCount = 90;
  h264.withSound = false;
  h264.fastPreset = false;
  h264.busyPicture = true;
  h264.bFrames = 3;
  if (testing_support::EncoderAvailable("libx264")) {
    clips.push_back({"planned.mp4", h264, true});
    testing_support::ClipSpec turned = h264;
    turned.rotation = 270;
    clips.push_back({"planned-turned.mp4", turned, true});
  }
  if (testing_support::EncoderAvailable("libx265")) {
    testing_support::ClipSpec hevc = h264;
    hevc.format = {".mkv", "matroska", "libx265", ""};
    clips.push_back({"planned.mkv", hevc, true});
  }
  testing_support::ClipSpec guessed = h264;
  guessed.format = testing_support::FormatFor(".avi");
  clips.push_back({"planned.avi", guessed, false});
  testing_support::ClipSpec partTwo = guessed;
  partTwo.format = testing_support::FormatFor(".mov");
  clips.push_back({"planned.mov", partTwo, false});

  for (const ClipCase& c : clips) {
    SCOPED_TRACE(c.name);
    const std::string path = CustomClip(c.name, c.clipSpec);
    ASSERT_FALSE(path.empty());
    for (const int intervalMs : {67, 100}) {
      SCOPED_TRACE("interval " + std::to_string(intervalMs) + " ms");
      video::FrameStepper everyFrame, planned;
      std::string error;
      ASSERT_TRUE(everyFrame.Open(path, &error)) << error;
      ASSERT_TRUE(planned.Open(path, &error)) << error;
      const video::RecordingTicks ticks{0, intervalMs, planned.DurationMs()};
      planned.PlanTicks(ticks);
      for (int64_t n = 1; ticks.Takes(n); ++n) {
        QImage expected, whole, stretched, expectedStretched;
        ASSERT_TRUE(everyFrame.PictureAt(ticks.TimeOf(n), &expected));
        ASSERT_TRUE(planned.PictureAt(ticks.TimeOf(n), &whole));
        ASSERT_EQ(whole, expected) << "tick " << n;
        // 40 x 30 cells take every other group of pixels: only those are converted.
        ASSERT_TRUE(planned.StretchedPictureAt(ticks.TimeOf(n), 40, 30, &stretched));
        EXPECT_TRUE(planned.LastStretchConvertedPart());
        bmp::StretchPicture(expected, 40, 30, &expectedStretched);
        ASSERT_EQ(stretched, expectedStretched) << "tick " << n;
      }
      EXPECT_EQ(planned.SkippedPictures() > 0, c.skips) << planned.SkippedPictures() << " skipped";
      // A time off the plan is the picture shown then, all the same.
      QImage expected, offPlan;
      ASSERT_TRUE(everyFrame.PictureAt(2000 + kFrameMs / 2, &expected));
      ASSERT_TRUE(planned.PictureAt(2000 + kFrameMs / 2, &offPlan));
      EXPECT_EQ(offPlan, expected);
    }
  }
}

TEST(FrameStepper, NothingOpenGivesNothing) {
  video::FrameStepper stepper;
  QImage untouched(2, 2, QImage::Format_RGB888);
  untouched.fill(Qt::red);
  QImage picture = untouched;
  EXPECT_FALSE(stepper.PictureAt(0, &picture));
  EXPECT_EQ(picture, untouched);
  EXPECT_EQ(stepper.DurationMs(), 0);
}

}  // namespace
