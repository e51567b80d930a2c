// A decoded picture as 24-bit RGB: whole, or stretched to a cell grid by the
// nearest-pixel rule while converting only the pixels that rule takes.
//
// A 1080p picture sampled at 160 x 120 cells takes one pixel in 108; turning
// all of it into RGB first costs more than the rest of the conversion. The
// sampler copies the pixel groups that hold the taken pixels (whole chroma
// blocks: 2 x 2 pixels of 4:2:0) into a small picture of the same format and
// converts only that. swscale converts those formats block by block, so the
// small picture gives the very bytes the whole one would; the sampler does
// not take that on trust: for every picture geometry it first converts a
// picture of noise both ways and compares every pixel, and it falls back to
// converting the whole picture where they differ (a format swscale filters
// across blocks, an odd size).
#pragma once

#include "video/MediaReader.h"
#include "video/PictureRule.h"

#include <QImage>

#include <cstdint>
#include <vector>

struct SwsContext;

namespace video {

// Converts `frame` to 24-bit RGB (AV_PIX_FMT_RGB24) at its own size, as it
// is stored (not turned), into *rgb: its buffer is reused when it has that
// size and no one else holds it, else *rgb gets a new frame, allocated by
// FFmpeg with spare bytes after each row and after the last (swscale's SIMD
// converters write whole blocks past a row's end). `*scaler` is the caller's
// swscale context, made or replaced as needed. False on failure.
bool ConvertToRgb(const AVFrame* frame, SwsContext** scaler, FramePtr* rgb);

class PictureSampler {
 public:
  PictureSampler() = default;
  ~PictureSampler();
  PictureSampler(const PictureSampler&) = delete;
  PictureSampler& operator=(const PictureSampler&) = delete;

  // `frame` shown by `rule` and stretched to `width` x `height` pixels,
  // 24-bit RGB (QImage::Format_RGB888): pixel (x, y) is pixel
  // (x * W / width, y * H / height) of the shown W x H picture, the bytes
  // that converting the whole picture, applying the rule and sampling it
  // would give (PictureRule::Map). False on failure (a format swscale cannot
  // convert); *out is then unchanged.
  bool Sample(const AVFrame* frame, const PictureRule& rule, int width, int height, QImage* out);

  // Whether the last Sample() converted only the pixels it took (false: the
  // whole picture was converted). For tests and benchmarks.
  bool LastSampledGroups() const { return lastGrouped_; }

 private:
  // What the maps below were made for.
  struct Geometry {
    int format = -1;
    int sourceWidth = 0;
    int sourceHeight = 0;
    PictureRule rule;
    int width = 0;
    int height = 0;
    bool operator==(const Geometry&) const = default;
  };
  void Prepare(const Geometry& geometry);
  // Copies the pixel groups of `frame` that the maps need into grouped_.
  void GatherGroups(const AVFrame* frame);
  // Converts a picture of noise whole and by groups; true when every pixel agrees.
  bool GroupsMatchWhole();
  // Fills *out from the RGB picture `rgb` through the maps `columns` and `rows`.
  void Fill(const AVFrame* rgb, const std::vector<int>& columns, const std::vector<int>& rows, QImage* out) const;

  Geometry geometry_;
  // Which source pixel each output pixel takes.
  PictureRule::PixelMap map_;
  // The same pixels in the grouped picture, when grouping is verified.
  bool grouped_ = false;
  std::vector<int> groupColumns_;
  std::vector<int> groupRows_;
  std::vector<int> columnGroups_;  // first source column of each group, left to right
  std::vector<int> rowGroups_;     // first source row of each group, top to bottom
  int groupWidth_ = 1;             // pixels in a group: the chroma block
  int groupHeight_ = 1;

  FramePtr groupFrame_;  // the gathered groups, in the source's format
  FramePtr rgb_;         // the converted picture (grouped or whole), reused
  SwsContext* groupScaler_ = nullptr;
  SwsContext* wholeScaler_ = nullptr;
  bool lastGrouped_ = false;
};

}  // namespace video
