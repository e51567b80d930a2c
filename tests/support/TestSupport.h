// Helpers shared by the test programs.
#pragma once

#include <QImage>
#include <QTemporaryDir>

#include <functional>
#include <string>
#include <string_view>

namespace testing_support {

// A fresh folder that is removed with everything in it at the end of the test.
// Path() ends with "/".
class TempFolder {
 public:
  TempFolder();
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  QTemporaryDir dir_;
  std::string path_;
};

// A small tmpfs mounted on a fresh folder for the life of the object, so a
// test can fill a disk for real; unmounted (and the folder removed) at the
// end. Where mounting is refused, Mounted() is false and SkipReason() says why.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const std::string& size);  // "2m"
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  bool Mounted() const { return mounted_; }
  const std::string& SkipReason() const { return reason_; }
  const std::string& Path() const { return folder_.Path(); }  // ends with "/"
  std::string operator/(const std::string& name) const { return folder_ / name; }

 private:
  TempFolder folder_;
  bool mounted_ = false;
  std::string reason_;
};

// The whole content of a file; fails the test when it cannot be read.
std::string ReadAll(const std::string& path);
// Writes `bytes` as the whole file; fails the test when it cannot.
void WriteAll(const std::string& path, std::string_view bytes);
bool Exists(const std::string& path);

// A 24-bit picture filled by `color(x, y)` returning 0xRRGGBB.
QImage MakeImage(int width, int height, const std::function<unsigned(int x, int y)>& color);
// Writes `image` as a 24-bit BMP through the program's own writer.
void WriteBmp(const std::string& path, const QImage& image);

// Where the first two strings differ, for failure messages.
std::string FirstDifference(std::string_view expected, std::string_view actual);

// The program folder the build lays out: bin/ with dll/ beside the programs.
std::string BuiltAppPath();

}  // namespace testing_support
