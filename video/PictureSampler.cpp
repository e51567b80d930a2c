#include "video/PictureSampler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace video {
namespace {

// The one conversion every picture goes through; the grouped conversion
// must use the same, or its bytes could differ.
constexpr int kScaleFlags = SWS_BILINEAR;

struct PlaneLayout {
  bool used = false;
  int step = 0;    // bytes from one sample position to the next
  int shiftX = 0;  // log2 of the horizontal subsampling (chroma planes)
  int shiftY = 0;
};

// How each plane of `format` holds its samples, when every plane has one
// spacing and one subsampling for all it holds (planar and semi-planar YUV,
// packed RGB). False for formats that mix them in a plane (packed 4:2:2),
// palettes, bitstreams, Bayer and hardware frames.
bool PlaneLayouts(int format, std::array<PlaneLayout, 4>* planes) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  if (!d || (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                         AV_PIX_FMT_FLAG_BAYER))) {
    return false;
  }
  for (int c = 0; c < d->nb_components; ++c) {
    const AVComponentDescriptor& comp = d->comp[c];
    const bool chroma = (c == 1 || c == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
    const PlaneLayout want{true, comp.step, chroma ? d->log2_chroma_w : 0, chroma ? d->log2_chroma_h : 0};
    if (comp.plane < 0 || comp.plane > 3 || comp.step <= 0) return false;
    PlaneLayout& plane = (*planes)[static_cast<size_t>(comp.plane)];
    if (!plane.used) {
      plane = want;
    } else if (plane.step != want.step || plane.shiftX != want.shiftX || plane.shiftY != want.shiftY) {
      return false;
    }
  }
  return true;
}

// The sorted distinct groups (value / size) of `values`, as their first value.
std::vector<int> Groups(const std::vector<int>& values, int size) {
  std::vector<int> groups;
  groups.reserve(values.size());
  for (const int v : values) groups.push_back(v / size * size);
  std::sort(groups.begin(), groups.end());
  groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
  return groups;
}

// Each value's place in the picture made of `groups` laid side by side.
std::vector<int> PlacesInGroups(const std::vector<int>& values, const std::vector<int>& groups, int size) {
  std::vector<int> places;
  places.reserve(values.size());
  for (const int v : values) {
    const auto group = std::lower_bound(groups.begin(), groups.end(), v / size * size);
    places.push_back(static_cast<int>(group - groups.begin()) * size + v % size);
  }
  return places;
}

// Copies the group of `groupBytes` bytes at each of `columns` (first pixels
// of groups) of one plane's line side by side. Groups are a byte or two
// (4:2:0 chroma and luma): copies of a size the compiler knows, not a call each.
void CopyGroups(const uint8_t* from, uint8_t* to, const std::vector<int>& columns, const PlaneLayout& plane,
                size_t groupBytes) {
  const auto copy = [&](auto size) {
    for (const int column : columns) {
      std::memcpy(to, from + static_cast<ptrdiff_t>(column >> plane.shiftX) * plane.step, size);
      to += size;
    }
  };
  switch (groupBytes) {
    case 1: copy(std::integral_constant<size_t, 1>()); break;
    case 2: copy(std::integral_constant<size_t, 2>()); break;
    case 4: copy(std::integral_constant<size_t, 4>()); break;
    default: copy(groupBytes); break;
  }
}

FramePtr NewVideoFrame(int format, int width, int height) {
  FramePtr frame = NewFrame();
  if (!frame) return frame;
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) frame.reset();
  return frame;
}

}  // namespace

bool ConvertToRgb(const AVFrame* frame, SwsContext** scaler, FramePtr* rgb) {
  if (!frame || frame->width <= 0 || frame->height <= 0) return false;
  *scaler = sws_getCachedContext(*scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 frame->width, frame->height, AV_PIX_FMT_RGB24, kScaleFlags, nullptr, nullptr,
                                 nullptr);
  if (!*scaler) return false;
  // swscale's SIMD converters write whole blocks of pixels, up to 44 bytes
  // past the end of the last row (FFmpeg 5.1, yuv420p to RGB24, at widths
  // that are not a multiple of 16): a buffer sized like the picture would be
  // overrun. A frame FFmpeg allocates for such work has aligned rows and
  // spare bytes after the last.
  if (!*rgb || (*rgb)->width != frame->width || (*rgb)->height != frame->height || !av_frame_is_writable(rgb->get())) {
    *rgb = NewVideoFrame(AV_PIX_FMT_RGB24, frame->width, frame->height);
    if (!*rgb) return false;
  }
  return sws_scale(*scaler, frame->data, frame->linesize, 0, frame->height, (*rgb)->data, (*rgb)->linesize) > 0;
}

PictureSampler::~PictureSampler() {
  sws_freeContext(groupScaler_);
  sws_freeContext(wholeScaler_);
}

void PictureSampler::Prepare(const Geometry& g) {
  geometry_ = g;
  map_ = g.rule.Map(QSize(g.sourceWidth, g.sourceHeight), g.width, g.height);

  grouped_ = false;
  groupFrame_.reset();
  std::array<PlaneLayout, 4> planes{};
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(g.format));
  if (!d || !PlaneLayouts(g.format, &planes)) return;
  groupWidth_ = 1 << d->log2_chroma_w;
  groupHeight_ = 1 << d->log2_chroma_h;
  if (g.sourceWidth % groupWidth_ != 0 || g.sourceHeight % groupHeight_ != 0) return;
  columnGroups_ = Groups(map_.columns, groupWidth_);
  rowGroups_ = Groups(map_.rows, groupHeight_);
  // swscale converts a picture of odd height (or width) in another way: an
  // extra copy of the last group makes both even.
  if (columnGroups_.size() * groupWidth_ % 2 != 0) columnGroups_.push_back(columnGroups_.back());
  if (rowGroups_.size() * groupHeight_ % 2 != 0) rowGroups_.push_back(rowGroups_.back());
  const int groupedWidth = static_cast<int>(columnGroups_.size()) * groupWidth_;
  const int groupedHeight = static_cast<int>(rowGroups_.size()) * groupHeight_;
  // Grouping pays only when it leaves out a good part of the picture.
  if (int64_t{groupedWidth} * groupedHeight * 2 > int64_t{g.sourceWidth} * g.sourceHeight) return;
  groupFrame_ = NewVideoFrame(g.format, groupedWidth, groupedHeight);
  if (!groupFrame_) return;
  groupColumns_ = PlacesInGroups(map_.columns, columnGroups_, groupWidth_);
  groupRows_ = PlacesInGroups(map_.rows, rowGroups_, groupHeight_);
  grouped_ = GroupsMatchWhole();
  if (!grouped_) groupFrame_.reset();
}

void PictureSampler::GatherGroups(const AVFrame* frame) {
  std::array<PlaneLayout, 4> planes{};
  PlaneLayouts(frame->format, &planes);
  AVFrame* out = groupFrame_.get();
  for (size_t p = 0; p < planes.size(); ++p) {
    const PlaneLayout& plane = planes[p];
    if (!plane.used) continue;
    const size_t groupBytes = static_cast<size_t>((groupWidth_ >> plane.shiftX) * plane.step);
    const int groupLines = groupHeight_ >> plane.shiftY;
    for (size_t k = 0; k < rowGroups_.size(); ++k) {
      for (int line = 0; line < groupLines; ++line) {
        const uint8_t* from =
            frame->data[p] + static_cast<ptrdiff_t>((rowGroups_[k] >> plane.shiftY) + line) * frame->linesize[p];
        uint8_t* to = out->data[p] + static_cast<ptrdiff_t>(static_cast<int>(k) * groupLines + line) * out->linesize[p];
        CopyGroups(from, to, columnGroups_, plane, groupBytes);
      }
    }
  }
}

bool PictureSampler::GroupsMatchWhole() {
  FramePtr noise = NewVideoFrame(geometry_.format, geometry_.sourceWidth, geometry_.sourceHeight);
  if (!noise) return false;
  uint32_t seed = 0x9E3779B9u;
  for (AVBufferRef* buffer : noise->buf) {
    if (!buffer) continue;
    for (size_t i = 0; i < buffer->size; ++i) {
      seed = seed * 1664525u + 1013904223u;
      buffer->data[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
  SwsContext* wholeScaler = nullptr;
  FramePtr whole, grouped;
  const bool converted = ConvertToRgb(noise.get(), &wholeScaler, &whole);
  sws_freeContext(wholeScaler);
  GatherGroups(noise.get());
  if (!converted || !ConvertToRgb(groupFrame_.get(), &groupScaler_, &grouped)) return false;
  for (int gy = 0; gy < grouped->height; ++gy) {
    const int sy = rowGroups_[static_cast<size_t>(gy / groupHeight_)] + gy % groupHeight_;
    const uint8_t* a = grouped->data[0] + static_cast<ptrdiff_t>(gy) * grouped->linesize[0];
    const uint8_t* b = whole->data[0] + static_cast<ptrdiff_t>(sy) * whole->linesize[0];
    for (int gx = 0; gx < grouped->width; ++gx) {
      const int sx = columnGroups_[static_cast<size_t>(gx / groupWidth_)] + gx % groupWidth_;
      if (std::memcmp(a + 3 * gx, b + 3 * sx, 3) != 0) return false;
    }
  }
  return true;
}

void PictureSampler::Fill(const AVFrame* rgb, const std::vector<int>& columns, const std::vector<int>& rows,
                          QImage* out) const {
  const int width = geometry_.width, height = geometry_.height;
  if (out->width() != width || out->height() != height || out->format() != QImage::Format_RGB888) {
    *out = QImage(width, height, QImage::Format_RGB888);
  }
  const auto pixel = [rgb](int column, int row) {
    return rgb->data[0] + static_cast<ptrdiff_t>(row) * rgb->linesize[0] + 3 * static_cast<ptrdiff_t>(column);
  };
  for (int y = 0; y < height; ++y) {
    uchar* to = out->scanLine(y);
    for (int x = 0; x < width; ++x, to += 3) {
      const uint8_t* from = map_.transposed ? pixel(columns[static_cast<size_t>(y)], rows[static_cast<size_t>(x)])
                                            : pixel(columns[static_cast<size_t>(x)], rows[static_cast<size_t>(y)]);
      std::memcpy(to, from, 3);
    }
  }
}

bool PictureSampler::Sample(const AVFrame* frame, const PictureRule& rule, int width, int height, QImage* out) {
  if (!frame || frame->width <= 0 || frame->height <= 0 || width <= 0 || height <= 0) return false;
  const Geometry g{frame->format, frame->width, frame->height, rule, width, height};
  if (!(g == geometry_)) Prepare(g);
  lastGrouped_ = grouped_;
  if (grouped_) {
    GatherGroups(frame);
    if (!ConvertToRgb(groupFrame_.get(), &groupScaler_, &rgb_)) return false;
    Fill(rgb_.get(), groupColumns_, groupRows_, out);
    return true;
  }
  if (!ConvertToRgb(frame, &wholeScaler_, &rgb_)) return false;
  Fill(rgb_.get(), map_.columns, map_.rows, out);
  return true;
}

}  // namespace video
