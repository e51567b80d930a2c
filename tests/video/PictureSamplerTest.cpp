// Stretching a decoded picture while converting only the pixels the
// nearest-pixel rule takes gives the bytes of the whole road: convert all of
// it, turn it upright, stretch it.
#include "conversion/BmpReader.h"
#include "video/PictureSampler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QTransform>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A picture in `format` whose bytes are noise over a moving gradient, so
// every pixel differs from its neighbours and from other seeds' pictures.
video::FramePtr Picture(AVPixelFormat format, int width, int height, uint32_t seed) {
  video::FramePtr frame = video::NewFrame();
  frame->format = format;
  frame->width = width;
  frame->height = height;
  EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
  for (AVBufferRef* buffer : frame->buf) {
    for (size_t i = 0; buffer && i < buffer->size; ++i) {
      seed = seed * 1103515245u + 12345u;
      buffer->data[i] = static_cast<uint8_t>(i * 5 / 8 + (seed >> 28));
    }
  }
  return frame;
}

// The whole road, with Qt's quarter turns.
QImage Expected(const AVFrame* frame, int rotation, int width, int height) {
  SwsContext* scaler = nullptr;
  video::FramePtr rgb;
  EXPECT_TRUE(video::ConvertToRgb(frame, &scaler, &rgb));
  sws_freeContext(scaler);
  QImage whole = QImage(rgb->data[0], rgb->width, rgb->height, rgb->linesize[0], QImage::Format_RGB888).copy();
  if (rotation != 0) whole = whole.transformed(QTransform().rotate(rotation));
  QImage out;
  bmp::StretchPicture(whole, width, height, &out);
  return out;
}

TEST(PictureSampler, GivesTheBytesOfTheWholeConversion) {
  av_log_set_level(AV_LOG_QUIET);  // swscale's notes on the JPEG-range formats
  struct Case {
    AVPixelFormat format;
    int width, height;
    bool grouped;  // only the taken pixels are converted (at 160 x 120 and smaller)
  };
  const Case cases[] = {
      {AV_PIX_FMT_YUV420P, 1920, 1080, true},  {AV_PIX_FMT_YUV420P, 640, 480, true},
      {AV_PIX_FMT_YUVJ420P, 1280, 720, true},  {AV_PIX_FMT_YUV422P, 720, 576, true},
      {AV_PIX_FMT_YUV420P, 642, 362, true},    {AV_PIX_FMT_NV12, 640, 480, false},
      {AV_PIX_FMT_YUV444P, 640, 480, false},   {AV_PIX_FMT_YUV420P10LE, 640, 480, false},
      {AV_PIX_FMT_YUV420P, 641, 361, false},   {AV_PIX_FMT_YUYV422, 640, 480, false},
  };
  const std::pair<int, int> grids[] = {{160, 120}, {60, 45}, {320, 240}, {7, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(av_get_pix_fmt_name(c.format)) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    video::PictureSampler sampler;
    for (const int rotation : {0, 90, 180, 270}) {
      for (const auto& [width, height] : grids) {
        SCOPED_TRACE(std::to_string(rotation) + " degrees to " + std::to_string(width) + "x" + std::to_string(height));
        for (uint32_t seed = 1; seed <= 2; ++seed) {
          const video::FramePtr frame = Picture(c.format, c.width, c.height, seed * 7919u + rotation);
          QImage sampled;
          ASSERT_TRUE(sampler.Sample(frame.get(), video::PictureRule{rotation}, width, height, &sampled));
          ASSERT_EQ(sampled, Expected(frame.get(), rotation, width, height));
        }
        if (width <= 160 && c.grouped) {
          EXPECT_TRUE(sampler.LastSampledGroups());
        }
      }
    }
  }
}

}  // namespace
