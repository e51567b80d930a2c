// Writes the seed corpus of every fuzz target into OUTDIR/<target>/:
// small movies and plain texts for the reader, bitmaps of the kinds the
// engine meets (24- and 32-bit, paletted, a PNG that must be refused), a few
// settings files, gray tables, 8-frame 32 x 24 clips in several video
// formats and 3-frame clips 1 to 15 pixels wide. Nothing binary is committed; the corpus is made on each run.
//
//   glyphreel_fuzz_seeds OUTDIR
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "support/RunLengthBmp.h"
#include "support/TestVideo.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string outDir;
int failures = 0;

void Put(const std::string& target, const std::string& name, std::string_view bytes) {
  std::string error;
  if (!fileio::MakePath(outDir + target + "/", &error) || !fileio::WriteFile(outDir + target + "/" + name, bytes, &error)) {
    std::fprintf(stderr, "fuzz seeds: %s\n", error.c_str());
    ++failures;
  }
}

QImage Gradient(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x + y) * 40 % 256));
    }
  }
  return image;
}

std::string Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// A two-frame movie as the engine writes it, with the given line break.
std::string Movie(const std::string& lineBreak) {
  TConverter converter;
  converter.GrayTable = gbk::DefaultGrayTable();
  converter.GrayLevels = CountGrayUnits(converter.GrayTable);
  converter.Interval = 67;
  converter.OutputRect = Rect{0, 0, 4, 3};
  converter.FrameMarker = kFrameMarker;
  std::string text;
  for (int frame = 0; frame < 2; ++frame) {
    converter.FrameIndex = frame;
    converter.AppendFrame(Gradient(4, 3), &text);
  }
  return QByteArray::fromStdString(text).replace("\r\n", lineBreak.c_str()).toStdString();
}

void ReaderSeeds() {
  Put("reader", "movie_crlf.txt", Movie("\r\n"));
  Put("reader", "movie_lf.txt", Movie("\n"));
  Put("reader", "movie_cr.txt", Movie("\r"));
  Put("reader", "movie_unended.txt", Movie("\r\n").substr(0, Movie("\r\n").size() - 2));
  Put("reader", "plain.txt", "just a text\r\nof two lines\r\n");
  Put("reader", "mixed_breaks.txt", "a\rb\nc\r\n\r\n\n\rd");
}

void BitmapSeeds() {
  Put("bitmap", "rle8.bmp", testing_support::RunLengthBmp(1, testing_support::kRle8Codes));
  Put("bitmap", "rle4.bmp", testing_support::RunLengthBmp(2, testing_support::kRle4Codes));
  std::string bytes;
  bmp::Encode24(Gradient(5, 3), &bytes);
  Put("bitmap", "rgb24.bmp", bytes);
  bmp::Encode24(Gradient(13, 9), &bytes);
  Put("bitmap", "rgb24_odd.bmp", bytes);
  Put("bitmap", "rgb32.bmp", Encoded(Gradient(6, 4).convertToFormat(QImage::Format_ARGB32), "BMP"));
  Put("bitmap", "indexed8.bmp", Encoded(Gradient(7, 5).convertToFormat(QImage::Format_Indexed8), "BMP"));
  Put("bitmap", "mono.bmp", Encoded(Gradient(9, 4).convertToFormat(QImage::Format_Mono), "BMP"));
  Put("bitmap", "picture.png", Encoded(Gradient(4, 4), "PNG"));
}

void IniSeeds() {
  // The first byte picks how many of the following bytes are the value the
  // target writes; the rest is the settings file.
  Put("ini", "settings.ini", std::string("\x05") + "hello" +
                                 "[Options]\r\nGrayTable=abc\r\nInterval=67\r\n\r\n[Window]\r\nLeft = 10\r\n");
  Put("ini", "quoted.ini", std::string("\x03") + " x " + "[A]\n; note\nKey=\" spaced \"\nOther='q'\n[a]\nkey=2");
  Put("ini", "no_section.ini", std::string("\x02") + "\"\"" + "loose=1\r# comment\r[S]\rk=$FF\r");
  Put("ini", "gbk.ini", std::string("\x04") + gbk::DefaultGrayTable().substr(0, 4) + "[" +
                            gbk::DefaultGrayTable().substr(0, 2) + "]\r\n" + gbk::DefaultGrayTable().substr(2, 2) +
                            "=0x10\r\n");
}

void GraySeeds() {
  Put("gray", "default.txt", gbk::DefaultGrayTable());
  Put("gray", "ascii.txt", "@@##**++==--..  ");
  Put("gray", "mixed.txt", std::string("#\x7f") + "ab" + gbk::DefaultGrayTable().substr(0, 6) + "\x81");
}

void PutClip(const std::string& name, const testing_support::ClipSpec& clipSpec) {
  const std::string path = outDir + "video/" + name;
  fileio::MakePath(outDir + "video/", nullptr);
  std::string error;
  if (!testing_support::WriteTestVideo(path, clipSpec, &error)) {
    // A missing encoder only leaves that format out of the corpus.
    if (error.rfind("encoder not available:", 0) != 0) {
      std::fprintf(stderr, "fuzz seeds: %s: %s\n", path.c_str(), error.c_str());
      ++failures;
    }
  }
}

void VideoSeeds() {
  for (const char* extension : {".avi", ".mpg", ".flv", ".wmv", ".mp4", ".mov"}) {
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(extension);
    clipSpec.width = 32;
    clipSpec.height = 24;
    clipSpec.frameCount = 8;
    // One clip in three keeps its sound track, so both kinds of stream are mutated.
    clipSpec.withSound = std::string(extension) == ".avi" || std::string(extension) == ".mp4";
    PutClip(std::string("clip") + extension, clipSpec);
  }
  // Pictures narrower than the scaler's blocks of 16 pixels, which it once
  // wrote past the end of.
  for (int width = 1; width <= 15; ++width) {
    testing_support::ClipSpec narrow;
    narrow.format = testing_support::FormatFor(width % 2 ? ".avi" : ".flv");
    narrow.width = width;
    narrow.height = 8 + 10 * (width % 3);
    narrow.frameCount = 3;
    narrow.withSound = false;
    PutClip("narrow" + std::to_string(width) + narrow.format.extension, narrow);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  QCoreApplication app(argc, argv);
  outDir = argv[1];
  if (outDir.back() != '/') outDir += '/';
  ReaderSeeds();
  BitmapSeeds();
  IniSeeds();
  GraySeeds();
  VideoSeeds();
  return failures == 0 ? 0 : 1;
}
