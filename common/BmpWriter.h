// Writes uncompressed 24-bit Windows bitmaps (BMP): BITMAPFILEHEADER,
// BITMAPINFOHEADER, rows bottom-up in blue, green, red order, each padded to
// a multiple of 4 bytes. The recorder, the command line and the tests all
// write their frames through here: one write call per file.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

namespace bmp {

// The bytes of a 24-bit BMP of `width` x `height` pixels from rows of
// red, green, blue bytes, top row first, `stride` bytes apart.
void Encode24(const uint8_t* rgb, int width, int height, int stride, std::string* out);

// The same from any QImage (converted to 24 bits first when it is not).
void Encode24(const QImage& image, std::string* out);

// Bytes of a 24-bit BMP file of `width` x `height` pixels.
uint64_t FileSize24(int width, int height);

// Disk space for recording `frames` bitmaps of `width` x `height` into a
// folder, against what the folder offers: its free space plus the old
// bitmaps that clearing the folder will delete (a folder not made yet: the
// free space of the nearest folder above it that exists).
struct RecordingSpace {
  uint64_t needed = 0;
  uint64_t available = 0;  // UINT64_MAX when the free space cannot be told
  bool Fits() const { return needed <= available; }
};
// `clearsOld`: the recording clears the folder's bitmaps first (frames::ClearBitmaps).
RecordingSpace EstimateRecordingSpace(const std::string& folder, int64_t frames, int width, int height,
                                      bool clearsOld);
// A size for people: "350 MB" below a gigabyte, "1.8 GB" from there on (1024-based).
std::string SizeText(uint64_t bytes);

// Writes `image` as a 24-bit BMP file, under a temporary name that is then
// renamed: the file on disk is whole or not there. False with *error naming
// the path (and *errorCode, when given, the errno) on failure.
bool Write24(const std::string& path, const QImage& image, std::string* error, int* errorCode = nullptr);

}  // namespace bmp
