// Pictures to character frames: the frame layout, sampling, and which
// bitmap files load.
#include "conversion/BmpReader.h"
#include "conversion/BmpTxt.h"

#include "ConversionTestSupport.h"
#include "common/Gbk.h"
#include "support/RunLengthBmp.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace conversion_test;
using namespace testing_support;

TEST(Frame, LayoutByteForByte) {
  TConverter engine;
  Configure(engine, 4, 2, 100);
  const int levels[2][4] = {{0, 31, 32, 255}, {64, 96, 128, 224}};
  const QImage picture = MakeImage(4, 2, [&](int x, int y) { return 0x010101u * levels[y][x]; });
  EXPECT_EQ(engine.BitmapToFrame(picture), Frame({"aaaabbhh", "ccddeehh"}, 4, 100, 0));

  // Default table: black is the first unit, white the last.
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = 16;
  engine.Interval = 67;
  engine.FrameIndex = 12;
  const std::string black = gbk::EncodeOrThrow(QStringLiteral("厲厲厲厲"));
  const std::string white = gbk::EncodeOrThrow(QStringLiteral("一一一一"));
  const QImage halves = MakeImage(4, 2, [](int, int y) { return y == 0 ? 0u : 0xFFFFFFu; });
  EXPECT_EQ(engine.BitmapToFrame(halves), Frame({black, white}, 4, 67, 12));

  // Numbers longer than their width are written whole.
  engine.FrameIndex = 100000;
  engine.Interval = 12345;
  const std::string frame = engine.BitmapToFrame(halves);
  EXPECT_EQ(frame.substr(frame.size() - 19), "W004V12345F100000\r\n");
}

TEST(Frame, ProgressIsCalledAfterEachFrameBeforeTheCountersMove) {
  TempFolder dir;
  for (int n = 1; n <= 3; ++n) WriteBmp(dir / (std::to_string(n) + ".bmp"), Gray(8, 8, 40 * n));
  TConverter engine;
  Configure(engine, 2, 2);
  std::vector<std::pair<int, int>> seen;
  engine.SetOnProgress([&](TConverter& e) {
    EXPECT_FALSE(e.Merging);
    seen.emplace_back(e.FrameIndex, e.ConvertedCount);
  });
  std::string error;
  ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}}));
  EXPECT_EQ(engine.ConvertedCount, 3);
  EXPECT_EQ(engine.FrameIndex, 3);
  EXPECT_EQ(ReadAll(dir / "2.txt"), Frame({"cccc", "cccc"}, 2, 100, 1));
}

TEST(Frame, StretchTakesTheNearestPixelAndIgnoresTheAspectRatio) {
  // Source gray 32 * ((x + y) % 8): every unit says which pixel was taken.
  const int srcW = 8, srcH = 6;
  const QImage source = MakeImage(srcW, srcH, [](int x, int y) { return 0x010101u * (32 * ((x + y) % 8)); });
  TempFolder dir;
  WriteBmp(dir / "1.bmp", source);
  for (const auto& [w, h] : {std::pair{3, 2}, std::pair{8, 6}, std::pair{20, 9}, std::pair{1, 1}}) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; ++y) {
      std::string row;
      for (int x = 0; x < w; ++x) {
        const int sx = x * srcW / w, sy = y * srcH / h;
        row += kPairTable.substr(2 * ((sx + sy) % 8), 2);
      }
      rows.push_back(row);
    }
    TConverter engine;
    Configure(engine, w, h);
    std::string error;
    ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
    EXPECT_EQ(ReadAll(dir / "1.txt"), Frame(rows, w, 100, 0)) << w << "x" << h;
  }
}

// A BMP of the picture `colors` (0xRRGGBB, rows top first) in other layouts
// than the recorder's.
std::string HandMadeBmp(int bitCount, bool topDown, const std::vector<std::vector<unsigned>>& colors) {
  const int h = static_cast<int>(colors.size()), w = static_cast<int>(colors[0].size());
  std::vector<unsigned> palette;
  if (bitCount == 8) {
    for (const auto& row : colors)
      for (unsigned c : row)
        if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
  }
  const int rowSize = (w * bitCount + 31) / 32 * 4;
  const int offset = 54 + 4 * static_cast<int>(palette.size());
  std::string b(static_cast<size_t>(offset + rowSize * h), '\0');
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(at + i)] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, static_cast<uint32_t>(offset));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(topDown ? -h : h));
  b[26] = 1;
  b[28] = static_cast<char>(bitCount);
  put32(46, static_cast<uint32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) put32(54 + 4 * static_cast<int>(i), palette[i]);
  for (int y = 0; y < h; ++y) {
    const int fileRow = topDown ? y : h - 1 - y;
    char* row = &b[static_cast<size_t>(offset + fileRow * rowSize)];
    for (int x = 0; x < w; ++x) {
      const unsigned c = colors[static_cast<size_t>(y)][static_cast<size_t>(x)];
      if (bitCount == 8) {
        row[x] = static_cast<char>(std::find(palette.begin(), palette.end(), c) - palette.begin());
      } else {
        char* px = row + x * bitCount / 8;
        px[0] = static_cast<char>(c);
        px[1] = static_cast<char>(c >> 8);
        px[2] = static_cast<char>(c >> 16);
      }
    }
  }
  return b;
}

TEST(Frame, BitmapKindsThatLoadTheSame) {
  const std::vector<std::vector<unsigned>> colors = {
      {0x000000, 0x404040, 0x808080}, {0xFFFFFF, 0x202020, 0x606060}};
  const std::string expected = Frame({"aaccee", "hhbbdd"}, 3, 100, 0);
  struct Kind {
    const char* name;
    int bitCount;
    bool topDown;
  } kinds[] = {{"24-bit bottom-up", 24, false}, {"24-bit top-down", 24, true}, {"32-bit", 32, false},
               {"8-bit palette", 8, false},     {"8-bit top-down", 8, true}};
  std::string fineFrame;  // the fine picture reads every kind whole, the same too
  for (const Kind& k : kinds) {
    TempFolder dir;
    WriteAll(dir / "1.bmp", HandMadeBmp(k.bitCount, k.topDown, colors));
    TConverter engine;
    Configure(engine, 3, 2);
    std::string error;
    ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
    EXPECT_EQ(engine.ConvertedCount, 1) << k.name;
    EXPECT_EQ(ReadAll(dir / "1.txt"), expected) << k.name;
    engine.FinePicture = true;
    ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
    if (fineFrame.empty()) fineFrame = ReadAll(dir / "1.txt");
    EXPECT_EQ(ReadAll(dir / "1.txt"), fineFrame) << k.name;
  }
}

TEST(Frame, RunLengthPixelsThatNoRunWritesArePaletteIndexZero) {
  // Runs, early line ends, a delta skip and literals (see RunLengthBmp.h);
  // every pixel they pass over is index 0, red.
  const unsigned red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;
  const std::vector<std::vector<unsigned>> expected = {
      {white, green, blue, red}, {red, red, blue, red}, {green, green, red, red}};
  // Odd literals below the top row: their pad byte must be skipped, or it is
  // read as the next code. Bottom row: literal (green, blue, white) and a run
  // of one red; middle row: literal of five (one past the edge); top row: a
  // run of four white.
  const std::vector<std::vector<unsigned>> oddExpected = {
      {white, white, white, white}, {green, blue, white, blue}, {green, blue, white, red}};
  const std::vector<uint8_t> odd8 = {0, 3, 1, 2, 3, 0, 1, 0, 0, 0, 0, 5, 1, 2, 3, 2, 1, 0, 0, 0, 4, 3, 0, 1};
  const std::vector<uint8_t> odd4 = {0, 3, 0x12, 0x30, 1, 0, 0, 0, 0, 5, 0x12, 0x32, 0x10, 0, 0, 0, 4, 0x33, 0, 1};
  for (const auto& [name, data, pixels] : {std::tuple{"RLE8", RunLengthBmp(1, kRle8Codes), expected},
                                           std::tuple{"RLE4", RunLengthBmp(2, kRle4Codes), expected},
                                           std::tuple{"RLE8 odd literals", RunLengthBmp(1, odd8), oddExpected},
                                           std::tuple{"RLE4 odd literals", RunLengthBmp(2, odd4), oddExpected}}) {
    // The same file twice, with the heap dirtied in between: the same picture.
    for (int pass = 0; pass < 2; ++pass) {
      // Freed blocks full of a pattern the decoder's buffer may be carved from.
      std::vector<std::string> litter(64, std::string(4096, static_cast<char>(0xA5 + pass)));
      litter.clear();
      QImage picture;
      ASSERT_TRUE(bmp::DecodeStretched(data, 4, 3, &picture)) << name;
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
          EXPECT_EQ(picture.pixel(x, y) & 0xFFFFFFu, pixels[y][x]) << name << " at " << x << ", " << y;
        }
      }
    }
  }
  // A run past the right edge is cut there.
  QImage cut;
  ASSERT_TRUE(bmp::DecodeStretched(RunLengthBmp(1, {200, 1, 0, 1}), 4, 3, &cut));
  EXPECT_EQ(cut.pixel(3, 2) & 0xFFFFFFu, green);
  EXPECT_EQ(cut.pixel(0, 1) & 0xFFFFFFu, red);
}

TEST(Frame, FilesThatAreNotLoadableBitmapsEndThePass) {
  const std::string good = HandMadeBmp(24, false, {{0x000000, 0xFFFFFF}, {0xFFFFFF, 0x000000}});
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  Gray(4, 4, 0).save(&buffer, "PNG");
  std::string badHeader = good;
  badHeader[14] = 7;  // no such header size
  std::string hugeWidth = good;
  hugeWidth[21] = 0x40;  // a width of about a billion pixels in a tiny file

  const std::pair<const char*, std::string> bad[] = {
      {"a PNG named .bmp", png.toStdString()},
      {"pixel data shorter than the header says", good.substr(0, good.size() - 3)},
      {"an empty file", ""},
      {"text", "BM but not really a bitmap"},
      {"an unknown header", badHeader},
      {"a width the data cannot hold", hugeWidth},
  };
  // The fine picture, which reads each bitmap whole, refuses the same files.
  for (const bool fine : {false, true}) {
    for (const auto& [what, bytes] : bad) {
      TempFolder dir;
      WriteAll(dir / "1.bmp", good);
      WriteAll(dir / "2.bmp", bytes);
      WriteAll(dir / "3.bmp", good);
      TConverter engine;
      Configure(engine, 2, 2);
      engine.FinePicture = fine;
      std::vector<std::string> reported;
      engine.OnBadBitmap = [&](const std::string& path) { reported.push_back(path); };
      std::string error;
      EXPECT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << what << ": " << error;
      EXPECT_EQ(engine.ConvertedCount, 1) << what;
      EXPECT_EQ(reported, std::vector<std::string>{dir / "2.bmp"}) << what;
      EXPECT_EQ(engine.BadBitmapPath, dir / "2.bmp");
      EXPECT_TRUE(Exists(dir / "1.txt"));
      EXPECT_FALSE(Exists(dir / "2.txt")) << what;
      EXPECT_FALSE(Exists(dir / "3.txt")) << what;
      QImage out;
      EXPECT_FALSE(bmp::DecodeStretched(bytes, 2, 2, &out)) << what;
    }
  }
}

TEST(Frame, TheUnbrokenRunFromOneIsConverted) {
  TempFolder dir;
  for (int n : {1, 2, 4}) WriteBmp(dir / (std::to_string(n) + ".bmp"), Gray(2, 2, 0));
  WriteBmp(dir / "0.bmp", Gray(2, 2, 0));
  TConverter engine;
  Configure(engine, 2, 2);
  std::string error;
  ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
  EXPECT_EQ(engine.ConvertedCount, 2);
  EXPECT_FALSE(Exists(dir / "4.txt"));
  EXPECT_FALSE(Exists(dir / "0.txt"));
  for (int n : {0, 1, 2, 4}) EXPECT_TRUE(Exists(dir / (std::to_string(n) + ".bmp"))) << "bitmaps stay";

  // A second pass replaces the frame files; an empty folder converts nothing.
  WriteAll(dir / "1.txt", "stale and much longer than a frame of two by two cells");
  ASSERT_TRUE(engine.ConvertBitmapsToText(dir.Path(), dir.Path(), 1, &error)) << error;
  EXPECT_EQ(ReadAll(dir / "1.txt"), Frame({"aaaa", "aaaa"}, 2, 100, 0));
  TempFolder empty;
  ASSERT_TRUE(engine.ConvertBitmapsToText(empty.Path(), empty.Path(), 1, &error));
  EXPECT_EQ(engine.ConvertedCount, 0);
}

}  // namespace
