#include "video/PictureRule.h"

#include <QTransform>

#include <cstdint>

namespace video {

namespace {

bool QuarterTurn(int rotation) { return rotation == 90 || rotation == 270; }

}  // namespace

QSize PictureRule::Shown(QSize stored) const { return QuarterTurn(rotation) ? stored.transposed() : stored; }

QImage PictureRule::Apply(const QImage& stored) const {
  if (rotation == 0) return stored;
  return stored.transformed(QTransform().rotate(rotation));
}

PictureRule::PixelMap PictureRule::Map(QSize stored, int width, int height) const {
  const QSize shown = Shown(stored);
  // Output pixel (x, y) takes shown pixel (u, v); the turn maps that back to
  // the stored picture as Apply()'s quarter turns do.
  std::vector<int> u(static_cast<size_t>(width)), v(static_cast<size_t>(height));
  for (int x = 0; x < width; ++x) u[static_cast<size_t>(x)] = static_cast<int>(int64_t(x) * shown.width() / width);
  for (int y = 0; y < height; ++y) v[static_cast<size_t>(y)] = static_cast<int>(int64_t(y) * shown.height() / height);
  const auto mirrored = [](std::vector<int> values, int size) {
    for (int& value : values) value = size - 1 - value;
    return values;
  };
  PixelMap map;
  map.transposed = QuarterTurn(rotation);
  switch (rotation) {
    case 90:  // stored (sx, sy) shows at (H - 1 - sy, sx)
      map.columns = v;
      map.rows = mirrored(u, stored.height());
      break;
    case 180:
      map.columns = mirrored(u, stored.width());
      map.rows = mirrored(v, stored.height());
      break;
    case 270:  // stored (sx, sy) shows at (sy, W - 1 - sx)
      map.columns = mirrored(v, stored.width());
      map.rows = u;
      break;
    default:
      map.columns = std::move(u);
      map.rows = std::move(v);
      break;
  }
  return map;
}

}  // namespace video
