#include "support/TestSupport.h"

#include "common/BmpWriter.h"
#include "common/FileWrite.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace testing_support {

TempFolder::TempFolder() : path_(dir_.path().toStdString() + "/") {}

ScopedTmpfs::ScopedTmpfs(const std::string& size) {
  const std::string options = "size=" + size;
  if (::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
    mounted_ = true;
  } else {
    reason_ = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + "); needs root outside a container";
  }
}

ScopedTmpfs::~ScopedTmpfs() {
  if (mounted_) ::umount2(folder_.Path().c_str(), MNT_DETACH);
}

std::string ReadAll(const std::string& path) {
  std::string data, error;
  EXPECT_TRUE(fileio::ReadFile(path, &data, &error)) << error;
  return data;
}

void WriteAll(const std::string& path, std::string_view bytes) {
  std::string error;
  ASSERT_TRUE(fileio::WriteFile(path, bytes, &error)) << error;
}

bool Exists(const std::string& path) { return fileio::PathExists(path); }

QImage MakeImage(int width, int height, const std::function<unsigned(int x, int y)>& color) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const unsigned c = color(x, y);
      line[3 * x] = static_cast<uchar>(c >> 16);
      line[3 * x + 1] = static_cast<uchar>(c >> 8);
      line[3 * x + 2] = static_cast<uchar>(c);
    }
  }
  return image;
}

void WriteBmp(const std::string& path, const QImage& image) {
  std::string error;
  ASSERT_TRUE(bmp::Write24(path, image, &error)) << error;
}

std::string FirstDifference(std::string_view expected, std::string_view actual) {
  size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  std::ostringstream out;
  out << "sizes " << expected.size() << " and " << actual.size() << "; first difference at byte " << i;
  auto show = [&](std::string_view s) {
    std::ostringstream o;
    for (size_t k = i; k < s.size() && k < i + 24; ++k) {
      const auto c = static_cast<unsigned char>(s[k]);
      if (c >= 0x20 && c < 0x7F) o << c; else o << "\\x" << std::hex << static_cast<int>(c) << std::dec;
    }
    return o.str();
  };
  out << ": expected \"" << show(expected) << "\", got \"" << show(actual) << "\"";
  return out.str();
}

std::string BuiltAppPath() { return std::string(GLYPHREEL_BIN_DIR) + "/"; }

}  // namespace testing_support
