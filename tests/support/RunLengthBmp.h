// Hand-made run-length bitmaps, for the reader's tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The codes of a 4 x 3 picture that use every kind of run-length step. Bottom
// row: a run of two pixels of index 1, then an early end of line. Middle row:
// a delta skip of two, one pixel of index 2, end of line. Top row: three
// literal pixels (3, 1, 2), then the end of the bitmap one pixel short.
inline const std::vector<uint8_t> kRle8Codes = {2, 1, 0, 0, 0, 2, 2, 0, 1, 2, 0, 0, 0, 3, 3, 1, 2, 0, 0, 1};
inline const std::vector<uint8_t> kRle4Codes = {2, 0x11, 0, 0, 0, 2, 2, 0, 1, 0x20, 0, 0, 0, 3, 0x31, 0x20, 0, 1};

// A 4 x 3 bottom-up bitmap file (compression 1 = RLE8, 2 = RLE4) with the
// palette red, green, blue, white and `codes` as its pixel data.
inline std::string RunLengthBmp(int compression, const std::vector<uint8_t>& codes) {
  const uint32_t offset = 14 + 40 + 4 * 4;
  std::string b(offset, '\0');
  const auto put32 = [&](size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, offset + static_cast<uint32_t>(codes.size()));
  put32(10, offset);
  put32(14, 40);
  put32(18, 4);                                          // width
  put32(22, 3);                                          // height, bottom-up
  b[26] = 1;                                             // planes
  b[28] = static_cast<char>(compression == 1 ? 8 : 4);  // bits per pixel
  put32(30, static_cast<uint32_t>(compression));
  put32(34, static_cast<uint32_t>(codes.size()));
  put32(46, 4);  // colours used
  const uint32_t palette[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // stored blue, green, red, 0
  for (size_t i = 0; i < 4; ++i) put32(54 + 4 * i, palette[i]);
  b.append(reinterpret_cast<const char*>(codes.data()), codes.size());
  return b;
}

}  // namespace testing_support
