#include "common/BmpWriter.h"

#include "common/FileWrite.h"
#include "support/TestSupport.h"

#include <QImageReader>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

uint32_t Le32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

TEST(BmpWriter, HeaderRowsAndPaddingByteForByte) {
  // 3 x 2: rows of 9 bytes padded to 12; the bottom row comes first.
  const QImage image = MakeImage(3, 2, [](int x, int y) { return (y == 0 ? 0x102030u : 0xA0B0C0u) + x; });
  std::string bytes;
  bmp::Encode24(image, &bytes);
  ASSERT_EQ(bytes.size(), 54u + 24u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bytes, 2), 78u);   // file size
  EXPECT_EQ(Le32(bytes, 10), 54u);  // pixel data offset
  EXPECT_EQ(Le32(bytes, 14), 40u);  // BITMAPINFOHEADER
  EXPECT_EQ(Le32(bytes, 18), 3u);
  EXPECT_EQ(Le32(bytes, 22), 2u);   // positive height: bottom-up
  EXPECT_EQ(Le32(bytes, 28) & 0xFFFF, 24u);
  EXPECT_EQ(Le32(bytes, 30), 0u);   // BI_RGB
  EXPECT_EQ(Le32(bytes, 34), 24u);
  const std::string bottomRow("\xC0\xB0\xA0\xC1\xB0\xA0\xC2\xB0\xA0\0\0\0", 12);
  const std::string topRow("\x30\x20\x10\x31\x20\x10\x32\x20\x10\0\0\0", 12);
  EXPECT_EQ(bytes.substr(54, 12), bottomRow);
  EXPECT_EQ(bytes.substr(66, 12), topRow);
}

TEST(BmpWriter, FilesReadBackIdenticallyThroughQt) {
  TempFolder dir;
  for (const QSize size : {QSize(1, 1), QSize(4, 3), QSize(33, 17)}) {
    const QImage image = MakeImage(size.width(), size.height(), [](int x, int y) { return x * 7919u + y * 104729u; });
    WriteBmp(dir / "f.bmp", image);
    QImageReader reader(QString::fromStdString(dir / "f.bmp"), "bmp");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(back, image) << size.width() << "x" << size.height();
  }
  std::string error;
  EXPECT_FALSE(bmp::Write24(dir / "no/such/folder/f.bmp", MakeImage(1, 1, [](int, int) { return 0u; }), &error));
  EXPECT_NE(error.find("no/such/folder/f.bmp"), std::string::npos);
}

// The disk check's arithmetic: the size of the files the writer writes, and
// the sizes shown to the user.
TEST(BmpWriter, RecordingSpaceFigures) {
  TempFolder dir;
  for (const QSize size : {QSize(1, 1), QSize(3, 2), QSize(160, 120), QSize(1920, 1080)}) {
    WriteBmp(dir / "f.bmp", MakeImage(size.width(), size.height(), [](int, int) { return 0u; }));
    EXPECT_EQ(bmp::FileSize24(size.width(), size.height()), fileio::FileSize(dir / "f.bmp")) << size.width();
  }
  const struct {
    uint64_t bytes;
    const char* text;
  } sizes[] = {
      {0, "0 MB"}, {700 * 1024, "1 MB"}, {350ull << 20, "350 MB"}, {(1ull << 30) - 1, "1024 MB"},
      {1ull << 30, "1.0 GB"}, {54ull * 1000 * 1000 * 1000, "50.3 GB"},
  };
  for (const auto& s : sizes) EXPECT_EQ(bmp::SizeText(s.bytes), s.text) << s.bytes;

  // Old bitmaps (any letter case) count as free when the recording clears them.
  constexpr uint64_t kOld = 16u << 20;
  WriteAll(dir / "old.BMP", std::string(kOld, 'x'));
  const bmp::RecordingSpace keeping = bmp::EstimateRecordingSpace(dir.Path(), 10, 160, 120, false);
  const bmp::RecordingSpace clearing = bmp::EstimateRecordingSpace(dir.Path(), 10, 160, 120, true);
  EXPECT_EQ(keeping.needed, 10 * bmp::FileSize24(160, 120));
  // Other programs may write to the same disk between the two looks.
  EXPECT_NEAR(static_cast<double>(clearing.available - keeping.available),
              static_cast<double>(kOld + fileio::FileSize(dir / "f.bmp")), 4 << 20);
  // A folder not made yet has the space of the one it will be made in.
  EXPECT_NEAR(static_cast<double>(bmp::EstimateRecordingSpace(dir / "missing/more/", 10, 160, 120, true).available),
              static_cast<double>(keeping.available), 4 << 20);
}

}  // namespace
