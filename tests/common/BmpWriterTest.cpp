#include "common/BmpWriter.h"

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

}  // namespace
