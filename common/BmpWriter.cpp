#include "common/BmpWriter.h"

#include "common/FileWrite.h"
#include "common/FrameFolder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace bmp {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

void Put16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}

void Put32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

void Encode24(const uint8_t* rgb, int width, int height, int stride, std::string* out) {
  const uint32_t rowSize = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t imageSize = rowSize * static_cast<uint32_t>(height);
  const uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
  out->assign(offset + imageSize, '\0');
  char* p = out->data();

  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, offset + imageSize);
  Put32(p + 10, offset);
  Put32(p + 14, kInfoHeaderSize);
  Put32(p + 18, static_cast<uint32_t>(width));
  Put32(p + 22, static_cast<uint32_t>(height));  // positive: bottom-up
  Put16(p + 26, 1);                               // planes
  Put16(p + 28, 24);                              // bits per pixel
  Put32(p + 30, 0);                               // BI_RGB
  Put32(p + 34, imageSize);

  for (int y = 0; y < height; ++y) {
    const uint8_t* src = rgb + static_cast<ptrdiff_t>(y) * stride;
    auto* dst = reinterpret_cast<uint8_t*>(p + offset + static_cast<size_t>(height - 1 - y) * rowSize);
    for (int x = 0; x < width; ++x) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst += 3;
      src += 3;
    }
  }
}

void Encode24(const QImage& image, std::string* out) {
  const QImage rgb = image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
  Encode24(rgb.constBits(), rgb.width(), rgb.height(), static_cast<int>(rgb.bytesPerLine()), out);
}

bool Write24(const std::string& path, const QImage& image, std::string* error, int* errorCode) {
  // Frames are written many times a second while recording: keep the buffer.
  thread_local std::string buffer;
  Encode24(image, &buffer);
  // Under a temporary name first: a full disk or a kill mid-write never
  // leaves a cut-short n.bmp for a conversion to stumble on.
  return fileio::WriteFileAtomic(path, buffer, error, errorCode);
}

}  // namespace bmp

namespace bmp {

uint64_t FileSize24(int width, int height) {
  const uint64_t rowSize = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
  return kFileHeaderSize + kInfoHeaderSize + rowSize * static_cast<uint64_t>(height);
}

RecordingSpace EstimateRecordingSpace(const std::string& folder, int64_t frames, int width, int height,
                                      bool clearsOld) {
  RecordingSpace space;
  space.needed = static_cast<uint64_t>(std::max<int64_t>(frames, 0)) * FileSize24(width, height);
  // A folder not made yet gets the space of the nearest folder above it.
  std::filesystem::path existing(folder);
  while (!existing.empty() && !fileio::DirectoryExists(existing.string()) && existing != existing.parent_path()) {
    existing = existing.parent_path();
  }
  if (existing.empty()) existing = ".";
  if (!fileio::FreeSpace(existing.string(), &space.available)) {
    space.available = UINT64_MAX;
    return space;
  }
  if (clearsOld) {
    for (const std::string& name : frames::Bitmaps(folder)) {
      space.available += fileio::FileSize(folder + name);
    }
  }
  return space;
}

std::string SizeText(uint64_t bytes) {
  constexpr double kMegabyte = 1024.0 * 1024.0;
  char text[32];
  if (bytes < 1024 * 1024 * 1024ull) {
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / kMegabyte);
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (kMegabyte * 1024.0));
  }
  return text;
}

}  // namespace bmp
