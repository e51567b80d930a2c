#include "playback/TextPic.h"

#include "common/FileWrite.h"

#include <QtGlobal>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>

// Marked for the window's translation, where the player shows it.
const char* const TTextPic::kNotStandardMovie = QT_TRANSLATE_NOOP("TForm1", "注意:打开的不是标准的字符电影文件");

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Reading takes the file's bytes, widened in place where its line breaks are
// changed to CR LF (up to twice the file for a file of bare breaks): room for
// this many times the file is asked for.
constexpr uint64_t kLoadCopies = 2;
// Beyond the copies: the frame index and what the program needs meanwhile.
constexpr uint64_t kLoadSlack = 16u << 20;

// A number from a "Name:  123 kB" line of a /proc file, in bytes; -1 if absent.
int64_t ProcKilobytes(const char* file, const char* name) {
  std::ifstream in(file);
  std::string line;
  const size_t n = std::strlen(name);
  while (std::getline(in, line)) {
    if (line.compare(0, n, name) == 0 && line.size() > n && line[n] == ':') {
      return std::strtoll(line.c_str() + n + 1, nullptr, 10) * 1024;
    }
  }
  return -1;
}

// Bytes this process can still allocate: below its address-space limit, and
// within the memory (and swap) the system has free, since without a limit
// Linux kills a process that takes too much instead of failing the allocation.
uint64_t MemoryWithinReach() {
  uint64_t reach = std::numeric_limits<uint64_t>::max();
  rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const int64_t used = ProcKilobytes("/proc/self/status", "VmSize");
    const uint64_t cap = static_cast<uint64_t>(limit.rlim_cur);
    reach = used >= 0 && static_cast<uint64_t>(used) < cap ? cap - static_cast<uint64_t>(used) : 0;
  }
  const int64_t available = ProcKilobytes("/proc/meminfo", "MemAvailable");
  const int64_t swap = ProcKilobytes("/proc/meminfo", "SwapFree");
  if (available >= 0) reach = std::min(reach, static_cast<uint64_t>(available + std::max<int64_t>(swap, 0)));
  return reach;
}
constexpr size_t kWidthDigits = 3;     // "W" + 3 digits
constexpr size_t kIntervalDigits = 4;  // "V" + 4 digits

// The decimal value of text[at, at + digits) when every one of those bytes is
// a digit 0 to 9; a sign, a blank or anything else does not read.
bool ReadDigits(std::string_view text, size_t at, size_t digits, int32_t* value) {
  if (at > text.size() || text.size() - at < digits) return false;
  int32_t v = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

int32_t ClampToInt32(int64_t v) {
  return v > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(v);
}

}  // namespace

void TTextPic::Clear() {
  text_ = playback::MovieText();
  frameStart_ = std::vector<size_t>();
  frameTotal_ = 0;
  frameWidth_ = 0;
  linesPerFrame_ = 0;
  frameInterval_ = 0;
}

bool TTextPic::LoadFromFile(const std::string& FileName, std::string* error, bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    if (error) *error = "not a regular file";
    return false;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  const auto refuseSize = [&] {
    if (error) *error = "the file (" + std::to_string(size) + " bytes) is too large to hold in memory";
    if (tooLarge) *tooLarge = true;
    return false;
  };
  if (size > (std::numeric_limits<uint64_t>::max() - kLoadSlack) / kLoadCopies ||
      kLoadCopies * size + kLoadSlack > MemoryWithinReach()) {
    return refuseSize();
  }
  playback::MovieText text;
  int64_t lineCount = 0;
  try {
    errno = 0;
    if (!playback::ReadMovieText(FileName, &text, &lineCount)) {
      if (errno == ENOMEM) return refuseSize();
      if (error) *error = errno != 0 ? std::strerror(errno) : "cannot read the file";
      return false;
    }
  } catch (const std::bad_alloc&) {
    return refuseSize();
  } catch (const std::length_error&) {
    return refuseSize();
  }
  TakeText(std::move(text), lineCount);
  return true;
}

void TTextPic::LoadFromList(const std::vector<std::string>& Lines) {
  size_t size = 0;
  for (const std::string& line : Lines) size += line.size() + kCrLf.size();
  playback::MovieText text;
  bool ok = text.Reserve(size);
  for (const std::string& line : Lines) ok = ok && text.Append(line) && text.Append(kCrLf);
  if (!ok) throw std::bad_alloc();
  TakeText(std::move(text), static_cast<int64_t>(Lines.size()));
}

void TTextPic::TakeText(playback::MovieText movieText, int64_t lineCount) {
  const std::string_view text = movieText.View();
  // The frame separator: the CR LF ending a frame's last row, the marker
  // line, and the "W" that opens the info line.
  std::string separator;
  separator.append(kCrLf).append(FrameMarker).append(kCrLf).append("W");

  std::vector<size_t> starts{0};
  int32_t width = 0;
  int32_t interval = 0;
  bool movie = false;

  size_t at = text.find(separator);
  // A separator at the very start has no rows before it: not a movie.
  if (at != std::string::npos && at != 0) {
    const size_t widthAt = at + separator.size();
    if (ReadDigits(text, widthAt, kWidthDigits, &width)) {
      movie = ReadDigits(text, widthAt + kWidthDigits + 1, kIntervalDigits, &interval);
    }
    if (!movie) interval = 0;
  }

  if (movie) {
    while (at != std::string::npos) {
      // The frame ends with the info line's own CR LF, wherever that falls,
      // so a frame number of six digits or more stays with its frame.
      const size_t lineEnd = text.find(kCrLf, at + separator.size());
      const size_t end = lineEnd == std::string::npos ? text.size() : lineEnd + kCrLf.size();
      starts.push_back(end);
      at = text.find(separator, end);
    }
  } else {
    starts.push_back(text.size());
  }

  const int32_t total = ClampToInt32(static_cast<int64_t>(starts.size()) - 1);
  text_ = std::move(movieText);
  frameStart_ = std::move(starts);
  frameTotal_ = total;
  frameWidth_ = width;
  frameInterval_ = interval;
  linesPerFrame_ = ClampToInt32(lineCount / total);
}

std::string_view TTextPic::FrameView(int32_t Index) const {
  if (Index < 0 || Index >= frameTotal_) return {};
  const size_t i = static_cast<size_t>(Index);
  return text_.View().substr(frameStart_[i], frameStart_[i + 1] - frameStart_[i]);
}

std::string TTextPic::GetFrame(int32_t Index) const { return std::string(FrameView(Index)); }
