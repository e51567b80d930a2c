// The one step from a decoded picture, as the file stores it, to the picture
// the program shows, records and takes colours from. The preview (and so the
// window's timer recorder, which records what the preview shows), the fast
// recorder, the command line's record and make, and the colour export all
// take their pictures through MediaReader, which applies this rule, whole
// (Apply) or sampled to a cell grid (PictureSampler, through Map), so a
// change to the picture is made here once and reaches every one of them.
//
// The rule is a plain value. Its stream part (the rotation) comes from the
// file; any choice a user makes for every picture (a mirror, a crop) is a
// field beside it, which the window hands from its options to the preview,
// the fast recorder and the colour export (WindowSettings::Picture()).
#pragma once

#include <QImage>
#include <QSize>

#include <vector>

namespace video {

struct PictureRule {
  // The clockwise quarter turn (0, 90, 180 or 270) that shows the stored
  // picture upright: the file's own, from its display matrix. The reader
  // sets it on opening a file; what a caller sets is replaced.
  int rotation = 0;

  bool operator==(const PictureRule&) const = default;

  // The size of the picture shown from a stored picture of size `stored`.
  QSize Shown(QSize stored) const;
  // The picture shown from `stored` (any format; quarter turns move pixels
  // without resampling them). Shares `stored` when the rule changes nothing.
  QImage Apply(const QImage& stored) const;

  // Where the pixels of the shown picture, stretched to `width` x `height`
  // by the nearest-pixel rule (pixel (x, y) takes shown pixel
  // (x * W / width, y * H / height)), lie in the stored picture: pixel
  // (x, y) is stored pixel (columns[a], rows[b]) with a = x, b = y, or
  // a = y, b = x when `transposed` (a quarter turn). The same pixels as
  // Apply() followed by that stretch.
  struct PixelMap {
    bool transposed = false;
    std::vector<int> columns;
    std::vector<int> rows;
  };
  PixelMap Map(QSize stored, int width, int height) const;
};

}  // namespace video
