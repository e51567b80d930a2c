// Portrait video as phones store it: the picture lies on its side and a
// display matrix says how to turn it. The preview (which the window's timer
// recorder records), unpaced decoding and the fast recorder all show it
// upright, byte for byte the same picture.
#include "conversion/BmpReader.h"
#include "support/TestSupport.h"
#include "video/FastRecorder.h"
#include "video/FrameStepper.h"
#include "video/VideoService.h"
#include "video/VideoTestClips.h"

#include <gtest/gtest.h>

namespace {

using namespace video_test;

constexpr int kWidth = 160;  // as stored: landscape
constexpr int kHeight = 96;

// Stored picture: only the top-left quadrant is light.
int LightTopLeft(int, int x, int y) { return x < kWidth / 2 && y < kHeight / 2 ? 230 : 20; }

// Which quadrants of `picture` are light, as "TL TR BL BR" bits (1 = light).
std::string LightQuadrants(const QImage& picture) {
  std::string bits;
  for (const auto& [fx, fy] : {std::pair{1, 1}, {3, 1}, {1, 3}, {3, 3}}) {
    const int x = fx * picture.width() / 4, y = fy * picture.height() / 4;
    bits += qGray(picture.pixel(x, y)) >= 128 ? '1' : '0';
  }
  return bits;
}

std::string RotatedClip(int degrees) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".mov");  // mpeg4 in QuickTime: built into every libavcodec
  clipSpec.width = kWidth;
  clipSpec.height = kHeight;
  clipSpec.frameCount = 10;
  clipSpec.withSound = false;
  clipSpec.rotation = degrees;
  clipSpec.luma = LightTopLeft;
  return CustomClip("rotated" + std::to_string(degrees) + ".mov", clipSpec);
}

TEST(Rotation, PicturesAreTurnedUprightEverywhere) {
  const struct {
    int degrees;
    QSize shown;
    const char* light;  // where the stored top-left corner ends up
  } cases[] = {
      {0, {kWidth, kHeight}, "1000"},
      {90, {kHeight, kWidth}, "0100"},   // clockwise: top-left goes top-right
      {180, {kWidth, kHeight}, "0001"},
      {270, {kHeight, kWidth}, "0010"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.degrees) + " degrees");
    const std::string path = RotatedClip(c.degrees);
    ASSERT_FALSE(path.empty());

    video::FrameStepper stepper;
    std::string error;
    ASSERT_TRUE(stepper.Open(path, &error)) << error;
    EXPECT_EQ(stepper.FrameSize(), c.shown);
    QImage picture;
    ASSERT_TRUE(stepper.PictureAt(100, &picture));
    EXPECT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_EQ(picture.size(), c.shown);
    EXPECT_EQ(LightQuadrants(picture), c.light);

    // The fast recorder's first bitmap (tick 1, 100 ms) is that picture.
    testing_support::TempFolder folder;
    video::FastRecorder fast;
    ASSERT_TRUE(fast.Start(path, folder.Path(), 0, 100, {}, &error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return fast.Poll().finished; }, 10000));
    std::string buffer;
    QImage recorded;
    ASSERT_TRUE(bmp::LoadWhole(folder / "1.bmp", &buffer, &recorded));
    EXPECT_EQ(recorded, picture);

    // The preview paints what the service grabs: the first picture.
    QImage first;
    ASSERT_TRUE(stepper.PictureAt(0, &first));
    video::VideoService service;
    service.Activate();
    ASSERT_TRUE(service.RenderFile(path, &error)) << error;
    EXPECT_EQ(service.VideoSize(), c.shown);
    QImage preview;
    ASSERT_TRUE(WaitUntil([&] { return service.GrabFrame(&preview) && !preview.isNull(); }, 5000));
    EXPECT_EQ(preview.size(), c.shown);
    EXPECT_EQ(preview, first);
    service.Deactivate();
  }
}

}  // namespace
