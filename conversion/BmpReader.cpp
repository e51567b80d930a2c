#include "conversion/BmpReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace bmp {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER and its longer successors
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;
// Larger pictures than this are not bitmaps anyone records; refusing them
// keeps a hostile header from asking for absurd amounts of work.
constexpr int64_t kMaxSide = 1 << 16;
// A run-length file of a few bytes can describe a huge picture (delta moves
// cover it for free); its pixels are held while decoding, up to this many.
constexpr uint64_t kMaxRlePixels = uint64_t{1} << 26;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

struct Header {
  uint32_t offset = 0;  // start of the pixel data
  uint32_t infoSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // positive: bottom-up rows
  uint16_t bitCount = 0;
  uint32_t compression = 0;
};

bool ParseHeader(std::string_view data, Header* h) {
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() < kFileHeaderSize + 4 || p[0] != 'B' || p[1] != 'M') return false;
  h->offset = Get32(p + 10);
  h->infoSize = Get32(p + 14);
  if (h->infoSize == kCoreHeaderSize) {
    if (data.size() < kFileHeaderSize + kCoreHeaderSize) return false;
    h->width = Get16(p + 18);
    h->height = static_cast<int16_t>(Get16(p + 20));
    h->bitCount = Get16(p + 24);
    h->compression = kBiRgb;
  } else if (h->infoSize >= kInfoHeaderSize) {
    if (data.size() < kFileHeaderSize + kInfoHeaderSize) return false;
    h->width = static_cast<int32_t>(Get32(p + 18));
    h->height = static_cast<int32_t>(Get32(p + 22));
    h->bitCount = Get16(p + 28);
    h->compression = Get32(p + 30);
  } else {
    return false;
  }
  const int64_t absHeight = h->height < 0 ? -h->height : h->height;
  return h->width > 0 && h->width <= kMaxSide && absHeight > 0 && absHeight <= kMaxSide;
}

// Bytes of pixel data that an uncompressed file must hold; 0 when the kind
// is compressed (run-length) and its length cannot be known from the header.
uint64_t UncompressedDataSize(const Header& h) {
  const bool plain = h.compression == kBiRgb || h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  if (!plain) return 0;
  const uint64_t rowSize = (static_cast<uint64_t>(h.width) * h.bitCount + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(h.height < 0 ? -h.height : h.height);
  return rowSize * rows;
}

void SampleColumns(int64_t srcWidth, int width, std::vector<int64_t>* columns) {
  columns->resize(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) (*columns)[static_cast<size_t>(x)] = x * srcWidth / width;
}

// The fast path: 24- or 32-bit BI_RGB rows straight from the file bytes.
// `row(fileRow)` gives the bytes of one stored row (nullptr on a read error);
// only the rows the output needs are asked for.
template <typename RowSource>
bool SampleDirect(const Header& h, int width, int height, RowSource&& row, QImage* out) {
  const int bytesPerPixel = h.bitCount / 8;
  const int64_t srcHeight = h.height < 0 ? -h.height : h.height;

  if (out->width() != width || out->height() != height || out->format() != QImage::Format_RGB888) {
    *out = QImage(width, height, QImage::Format_RGB888);
  }
  thread_local std::vector<int64_t> columns;
  SampleColumns(h.width, width, &columns);
  for (int y = 0; y < height; ++y) {
    const int64_t sy = static_cast<int64_t>(y) * srcHeight / height;  // 0 = top row
    const int64_t fileRow = h.height > 0 ? srcHeight - 1 - sy : sy;
    const uint8_t* src = row(fileRow);
    if (!src) return false;
    uint8_t* dst = out->scanLine(y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = src + columns[static_cast<size_t>(x)] * bytesPerPixel;
      dst[0] = px[2];  // file order is blue, green, red
      dst[1] = px[1];
      dst[2] = px[0];
      dst += 3;
    }
  }
  return true;
}

uint64_t RowSize(const Header& h) { return (static_cast<uint64_t>(h.width) * h.bitCount + 31) / 32 * 4; }

bool IsDirect(const Header& h) {
  return h.compression == kBiRgb && (h.bitCount == 24 || h.bitCount == 32) && h.offset >= kFileHeaderSize + h.infoSize;
}

// The header fields are consistent with a file of `size` bytes.
bool FitsInFile(const Header& h, uint64_t size) {
  const uint64_t needed = UncompressedDataSize(h);
  return needed == 0 || (h.offset <= size && size - h.offset >= needed);
}

bool IsRle(const Header& h) {
  return (h.compression == kBiRle8 && h.bitCount == 8) || (h.compression == kBiRle4 && h.bitCount == 4);
}

// Run-length bitmaps are decoded here rather than by Qt, whose reader leaves
// the pixels that delta skips and early line ends pass over unwritten (so the
// same file gave different movies with different heap contents). Every pixel
// starts as palette index 0; runs that reach past the right edge are cut.
bool SampleRle(std::string_view data, const Header& h, int width, int height, QImage* out) {
  if (h.height <= 0) return false;  // run-length rows are always stored bottom-up
  if (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height) > kMaxRlePixels) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const size_t size = data.size();
  const uint64_t srcWidth = static_cast<uint64_t>(h.width);
  const uint64_t srcHeight = static_cast<uint64_t>(h.height);

  // The palette follows the info header: blue, green, red, reserved.
  const size_t paletteAt = kFileHeaderSize + h.infoSize;
  uint32_t colors = h.infoSize >= kInfoHeaderSize && paletteAt <= size ? Get32(bytes + kFileHeaderSize + 32) : 0;
  if (colors == 0 || colors > (1u << h.bitCount)) colors = 1u << h.bitCount;
  std::array<QRgb, 256> palette{};
  for (uint32_t i = 0; i < colors && paletteAt + 4 * i + 3 < size; ++i) {
    const uint8_t* c = bytes + paletteAt + 4 * i;
    palette[i] = qRgb(c[2], c[1], c[0]);
  }
  if (h.offset >= size) return false;

  std::vector<uint8_t> index(static_cast<size_t>(srcWidth * srcHeight), 0);
  uint64_t x = 0, y = 0;  // y counts rows from the bottom
  const auto put = [&](uint8_t value) {
    if (x < srcWidth && y < srcHeight) index[static_cast<size_t>(y * srcWidth + x)] = value;
    ++x;
  };
  const bool four = h.compression == kBiRle4;
  size_t p = h.offset;
  while (p + 1 < size && y < srcHeight) {
    const uint8_t count = bytes[p], value = bytes[p + 1];
    p += 2;
    if (count > 0) {  // a run of `count` pixels
      for (int i = 0; i < count; ++i) put(four ? static_cast<uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
    } else if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: move right and up
      if (p + 1 >= size) break;
      x += bytes[p];
      y += bytes[p + 1];
      p += 2;
    } else {  // `value` literal pixels, their bytes padded to a whole word
      const size_t length = four ? (value + 1u) / 2u : value;
      if (p + length > size) break;
      for (int i = 0; i < value; ++i) {
        put(four ? static_cast<uint8_t>(i % 2 == 0 ? bytes[p + i / 2] >> 4 : bytes[p + i / 2] & 0x0F) : bytes[p + i]);
      }
      p += (length + 1) & ~static_cast<size_t>(1);
    }
  }

  *out = QImage(width, height, QImage::Format_RGB888);
  std::vector<int64_t> columns;
  SampleColumns(h.width, width, &columns);
  for (int row = 0; row < height; ++row) {
    const uint64_t sy = static_cast<uint64_t>(row) * srcHeight / static_cast<uint64_t>(height);  // 0 = top
    const uint8_t* src = index.data() + (srcHeight - 1 - sy) * srcWidth;
    uchar* dst = out->scanLine(row);
    for (int col = 0; col < width; ++col) {
      const QRgb c = palette[src[columns[static_cast<size_t>(col)]]];
      dst[0] = static_cast<uchar>(qRed(c));
      dst[1] = static_cast<uchar>(qGreen(c));
      dst[2] = static_cast<uchar>(qBlue(c));
      dst += 3;
    }
  }
  return true;
}

bool SampleThroughQt(std::string_view data, int width, int height, QImage* out) {
  QByteArray bytes = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device, "bmp");
  reader.setDecideFormatFromContent(false);
  QImage source;
  if (!reader.read(&source) || source.isNull()) return false;
  StretchPicture(source, width, height, out);
  return true;
}

}  // namespace

void StretchPicture(const QImage& picture, int width, int height, QImage* out) {
  const QImage source =
      picture.format() == QImage::Format_RGB888 ? picture : picture.convertToFormat(QImage::Format_RGB888);
  if (out->width() != width || out->height() != height || out->format() != QImage::Format_RGB888) {
    *out = QImage(width, height, QImage::Format_RGB888);
  }
  thread_local std::vector<int64_t> columns;
  SampleColumns(source.width(), width, &columns);
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(static_cast<int64_t>(y) * source.height() / height);
    const uchar* src = source.constScanLine(sy);
    uchar* dst = out->scanLine(y);
    for (int x = 0; x < width; ++x) {
      std::memcpy(dst + 3 * x, src + 3 * columns[static_cast<size_t>(x)], 3);
    }
  }
}

bool DecodeStretched(std::string_view data, int width, int height, QImage* out) {
  if (width <= 0 || height <= 0) return false;
  Header h;
  if (!ParseHeader(data, &h) || !FitsInFile(h, data.size())) return false;
  if (IsDirect(h)) {
    const auto* pixels = reinterpret_cast<const uint8_t*>(data.data()) + h.offset;
    const uint64_t rowSize = RowSize(h);
    return SampleDirect(h, width, height, [&](int64_t r) { return pixels + static_cast<uint64_t>(r) * rowSize; }, out);
  }
  if (IsRle(h)) return SampleRle(data, h, width, height, out);
  return SampleThroughQt(data, width, height, out);
}

namespace {

// Reads up to `size` bytes at `offset`; the count read, or -1.
ssize_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset) {
  size_t used = 0;
  while (used < size) {
    const ssize_t n = ::pread(fd, buffer + used, size - used, static_cast<off_t>(offset + used));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(used);
}

// The header fits in the first bytes; a palette or long header may need more.
constexpr size_t kHeadBytes = 4096;
// Rows of a file that lie at most this far apart are read in one go: a
// system call costs about as much as copying this many bytes.
constexpr uint64_t kReadGapBytes = 16 * 1024;

}  // namespace

bool LoadStretched(const std::string& path, int width, int height, std::string* buffer, QImage* out) {
  if (width <= 0 || height <= 0) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  bool ok = false;
  char head[kHeadBytes];
  const ssize_t headLength = ReadAt(fd, head, sizeof head, 0);
  Header h;
  if (headLength > 0 && ParseHeader(std::string_view(head, static_cast<size_t>(headLength)), &h) &&
      FitsInFile(h, size) && IsDirect(h)) {
    // Only the rows the output samples are read (a quarter of a 640 x 480
    // file at 160 x 120), nearby ones in one read: a read costs about as
    // much as copying kReadGapBytes.
    const uint64_t rowSize = RowSize(h);
    const int64_t srcHeight = h.height < 0 ? -h.height : h.height;
    std::vector<int64_t> rows;
    for (int y = 0; y < height; ++y) {
      const int64_t sy = static_cast<int64_t>(y) * srcHeight / height;
      rows.push_back(h.height > 0 ? srcHeight - 1 - sy : sy);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Spans of file rows read whole, laid out one after another in *buffer.
    struct Span {
      int64_t first, last;
      uint64_t at;  // where in *buffer
    };
    std::vector<Span> spans;
    uint64_t total = 0;
    for (const int64_t r : rows) {
      if (!spans.empty() && static_cast<uint64_t>(r - spans.back().last - 1) * rowSize <= kReadGapBytes) {
        total += static_cast<uint64_t>(r - spans.back().last) * rowSize;
        spans.back().last = r;
      } else {
        spans.push_back({r, r, total});
        total += rowSize;
      }
    }
    if (buffer->size() < total) buffer->resize(total);
    ok = true;
    for (const Span& span : spans) {
      const uint64_t bytes = static_cast<uint64_t>(span.last - span.first + 1) * rowSize;
      const uint64_t from = h.offset + static_cast<uint64_t>(span.first) * rowSize;
      ok = ok && ReadAt(fd, buffer->data() + span.at, bytes, from) == static_cast<ssize_t>(bytes);
    }
    ok = ok && SampleDirect(h, width, height,
                            [&](int64_t r) -> const uint8_t* {
                              const auto span = std::upper_bound(spans.begin(), spans.end(), r,
                                                                 [](int64_t row, const Span& s) { return row < s.first; }) - 1;
                              return reinterpret_cast<const uint8_t*>(buffer->data() + span->at +
                                                                      static_cast<uint64_t>(r - span->first) * rowSize);
                            },
                            out);
  } else if (headLength > 0) {
    // Every other kind is decoded from the whole file.
    if (buffer->size() < size) buffer->resize(size);
    const ssize_t n = ReadAt(fd, buffer->data(), size, 0);
    ok = n >= 0 && DecodeStretched(std::string_view(buffer->data(), static_cast<size_t>(n)), width, height, out);
  }
  ::close(fd);
  return ok;
}

bool LoadWhole(const std::string& path, std::string* buffer, QImage* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    const auto size = static_cast<uint64_t>(st.st_size);
    if (buffer->size() < size) buffer->resize(size);
    const ssize_t n = ReadAt(fd, buffer->data(), size, 0);
    const std::string_view data(buffer->data(), n > 0 ? static_cast<size_t>(n) : 0);
    Header h;
    // Sampled at its own size, every pixel is taken once: the picture as stored.
    ok = n > 0 && ParseHeader(data, &h) &&
         DecodeStretched(data, static_cast<int>(h.width), static_cast<int>(h.height < 0 ? -h.height : h.height), out);
  }
  ::close(fd);
  return ok;
}

}  // namespace bmp
