#include "playback/MedianCut.h"

#include <algorithm>
#include <array>
#include <vector>

namespace movie_export {
namespace {

constexpr int kColours = 256;  // a GIF palette's size
constexpr int kBits = 5;       // per channel in the histogram
constexpr int kSide = 1 << kBits;
constexpr int kCells = kSide * kSide * kSide;

int CellOf(QRgb p) {
  constexpr int drop = 8 - kBits;
  return (qRed(p) >> drop) << (2 * kBits) | (qGreen(p) >> drop) << kBits | (qBlue(p) >> drop);
}
// The cell's place along axis 0 (red), 1 (green) or 2 (blue).
int Coordinate(int cell, int axis) { return (cell >> (kBits * (2 - axis))) & (kSide - 1); }

struct Cell {
  uint32_t count = 0;
  uint64_t sum[3] = {};
  QRgb first = 0;      // the first colour seen in it
  bool mixed = false;  // it holds more than one colour
};

// A box of histogram cells: cells_[begin, end) of the occupied ones.
struct Box {
  int begin = 0, end = 0;
  uint64_t count = 0;
  int axis = 0;     // its longest side
  int extent = 0;   // that side's length, in cells
  uint64_t Spread() const { return count * uint64_t(extent) * uint64_t(extent); }
};

}  // namespace

void MedianCutPalette(const QImage& picture, uint32_t* palette, uint8_t* indices, int indexStride) {
  std::fill(palette, palette + kColours, 0xff000000u);
  std::vector<Cell> histogram(kCells);
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = row[x] | 0xff000000u;
      Cell& c = histogram[static_cast<size_t>(CellOf(p))];
      if (c.count == 0) {
        c.first = p;
      } else if (p != c.first) {
        c.mixed = true;
      }
      ++c.count;
      c.sum[0] += qRed(p), c.sum[1] += qGreen(p), c.sum[2] += qBlue(p);
    }
  }
  std::vector<int> occupied;
  bool exact = true;
  for (int i = 0; i < kCells; ++i) {
    if (histogram[static_cast<size_t>(i)].count == 0) continue;
    occupied.push_back(i);
    exact = exact && !histogram[static_cast<size_t>(i)].mixed;
  }
  // Each occupied cell's palette index.
  std::vector<uint8_t> indexOf(kCells, 0);
  if (exact && occupied.size() <= size_t(kColours)) {
    // Few colours: every one of them exactly.
    for (size_t i = 0; i < occupied.size(); ++i) {
      palette[i] = histogram[static_cast<size_t>(occupied[i])].first;
      indexOf[static_cast<size_t>(occupied[i])] = static_cast<uint8_t>(i);
    }
  } else {
    const auto measure = [&](Box* box) {
      int low[3] = {kSide, kSide, kSide}, high[3] = {-1, -1, -1};
      box->count = 0;
      for (int i = box->begin; i < box->end; ++i) {
        const int cell = occupied[static_cast<size_t>(i)];
        box->count += histogram[static_cast<size_t>(cell)].count;
        for (int a = 0; a < 3; ++a) {
          low[a] = std::min(low[a], Coordinate(cell, a));
          high[a] = std::max(high[a], Coordinate(cell, a));
        }
      }
      box->extent = -1;
      for (int a = 0; a < 3; ++a) {
        if (high[a] - low[a] > box->extent) box->extent = high[a] - low[a], box->axis = a;
      }
    };
    std::vector<Box> boxes(1);
    boxes[0].end = static_cast<int>(occupied.size());
    measure(&boxes[0]);
    while (boxes.size() < size_t(kColours)) {
      // The box that spreads the most, of those that hold more than one cell.
      Box* widest = nullptr;
      for (Box& b : boxes) {
        if (b.end - b.begin > 1 && (!widest || b.Spread() > widest->Spread())) widest = &b;
      }
      if (!widest) break;
      const int axis = widest->axis;
      const auto first = occupied.begin() + widest->begin, last = occupied.begin() + widest->end;
      std::sort(first, last, [&](int a, int b) { return Coordinate(a, axis) < Coordinate(b, axis); });
      // Cut at the median pixel, leaving at least one cell on either side.
      uint64_t seen = 0;
      int cut = widest->begin + 1;
      for (int i = widest->begin; i < widest->end - 1; ++i) {
        seen += histogram[static_cast<size_t>(occupied[static_cast<size_t>(i)])].count;
        cut = i + 1;
        if (2 * seen >= widest->count) break;
      }
      Box upper;
      upper.begin = cut;
      upper.end = widest->end;
      widest->end = cut;
      measure(widest);
      measure(&upper);
      boxes.push_back(upper);
    }
    // Each box's mean colour; each cell takes the nearest of them.
    for (size_t k = 0; k < boxes.size(); ++k) {
      uint64_t sum[3] = {};
      for (int i = boxes[k].begin; i < boxes[k].end; ++i) {
        const Cell& c = histogram[static_cast<size_t>(occupied[static_cast<size_t>(i)])];
        for (int a = 0; a < 3; ++a) sum[a] += c.sum[a];
      }
      const uint64_t n = std::max<uint64_t>(1, boxes[k].count);
      palette[k] = qRgb(int((sum[0] + n / 2) / n), int((sum[1] + n / 2) / n), int((sum[2] + n / 2) / n));
    }
    for (const int cell : occupied) {
      const Cell& c = histogram[static_cast<size_t>(cell)];
      const int64_t mean[3] = {int64_t(c.sum[0] / c.count), int64_t(c.sum[1] / c.count), int64_t(c.sum[2] / c.count)};
      int64_t bestDistance = INT64_MAX;
      for (size_t k = 0; k < boxes.size(); ++k) {
        const int64_t dr = qRed(palette[k]) - mean[0], dg = qGreen(palette[k]) - mean[1],
                      db = qBlue(palette[k]) - mean[2];
        const int64_t distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) bestDistance = distance, indexOf[static_cast<size_t>(cell)] = static_cast<uint8_t>(k);
      }
    }
  }
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    uint8_t* out = indices + static_cast<ptrdiff_t>(y) * indexStride;
    for (int x = 0; x < picture.width(); ++x) out[x] = indexOf[static_cast<size_t>(CellOf(row[x] | 0xff000000u))];
  }
}

}  // namespace movie_export
