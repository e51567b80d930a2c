// Loads Windows bitmap (BMP) files stretched to an output size.
//
// The format is forced, never guessed from the content: a PNG named 1.bmp is
// refused. Uncompressed 24- and 32-bit files, which is what the recorder
// writes, are sampled straight from the file's bytes; every other BMP kind
// goes through Qt's BMP reader. A file whose pixel data is shorter than its
// header promises is refused too (Qt would return garbage rows for it).
#pragma once

#include <QImage>
#include <string>
#include <string_view>

namespace bmp {

// Samples the BMP held in `data` to `width` x `height` pixels (24-bit,
// Format_RGB888): cell (x, y) takes source pixel
// (x * srcWidth / width, y * srcHeight / height), rounded down, the aspect
// ratio ignored. False when `data` is not a loadable BMP.
bool DecodeStretched(std::string_view data, int width, int height, QImage* out);

// Samples a picture already in memory the same way: converted to 24 bits
// first when it is not, then cell (x, y) takes pixel
// (x * source.width() / width, y * source.height() / height). A picture
// written as a 24-bit BMP and loaded with LoadStretched gives the same bytes.
void StretchPicture(const QImage& source, int width, int height, QImage* out);

// Reads `path` into `buffer` (kept by the caller to reuse its memory) and
// decodes it as DecodeStretched does. False when the file cannot be read or
// is not a loadable BMP.
bool LoadStretched(const std::string& path, int width, int height, std::string* buffer, QImage* out);

// Reads `path` into `buffer` and decodes it at its own size (24-bit,
// Format_RGB888). False when the file cannot be read or is not a loadable BMP.
bool LoadWhole(const std::string& path, std::string* buffer, QImage* out);

}  // namespace bmp
