#include "playback/MovieNumbers.h"

#include "playback/TextPic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace playback {
namespace {

constexpr size_t kWidthDigits = 3;     // "W" + 3 digits
constexpr size_t kIntervalDigits = 4;  // then one character ("V") + 4 digits

int32_t ClampToInt32(uint64_t v) {
  return v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                          : static_cast<int32_t>(v);
}

// The movie's frames as TTextPic::TakeText cuts them, from the file's own
// bytes. The reader widens every lone CR and lone LF to CR LF first, so in
// its text a CR LF is always exactly one line break of the file: the frame
// separator (CR LF, marker, CR LF, "W") is a line break, the marker, a line
// break and "W" here, and positions in the two texts differ only by the
// widened breaks, which no digit test passes. The marker holds no CR or LF.
class Scanner {
 public:
  explicit Scanner(const std::string& marker) : marker_(marker) {}

  // Bytes from a break on that the checks at it may look at.
  size_t Lookahead() const { return 2 + marker_.size() + 2 + 1 + kWidthDigits + 1 + kIntervalDigits; }

  // Takes the line break at data[at] (offset `base` + at in the file);
  // data[0, size) holds at least Lookahead() bytes from `at`, or the rest of
  // the file. Returns the break's length (CR LF: 2).
  size_t Break(const char* data, size_t size, size_t at, uint64_t base) {
    const size_t length = data[at] == '\r' && at + 1 < size && data[at + 1] == '\n' ? 2 : 1;
    ++breaks_;
    const uint64_t offset = base + at;
    if (infoAt_ != kNone) {
      // The first break after a separator's "W" ends its frame and starts no separator.
      if (offset > infoAt_) infoAt_ = kNone;
      return length;
    }
    if (decided_ && !movie_) return length;
    // The marker, a line break and "W" after this break: a frame ends here.
    size_t p = at + length;
    if (size - p < marker_.size() || data + p != std::search(data + p, data + p + marker_.size(), marker_.begin(),
                                                           marker_.end())) {
      return length;
    }
    p += marker_.size();
    if (p >= size || (data[p] != '\r' && data[p] != '\n')) return length;
    p += data[p] == '\r' && p + 1 < size && data[p + 1] == '\n' ? 2 : 1;
    if (p >= size || data[p] != 'W') return length;
    if (!decided_) {
      decided_ = true;
      // A separator at the very start has no rows before it: not a movie.
      if (offset == 0) return length;
      if (!Digits(data, size, p + 1, kWidthDigits, &width_)) return length;
      movie_ = Digits(data, size, p + 1 + kWidthDigits + 1, kIntervalDigits, &interval_);
      if (!movie_) return length;
    }
    ++frames_;
    infoAt_ = base + p;
    return length;
  }

  MovieNumbers Numbers(bool endsWithBreak) const {
    const uint64_t lines = breaks_ + (endsWithBreak ? 0 : 1);
    MovieNumbers n;
    n.frameTotal = movie_ ? ClampToInt32(frames_) : 1;
    n.frameWidth = width_;
    n.frameInterval = movie_ ? interval_ : 0;
    n.linesPerFrame = ClampToInt32(lines / static_cast<uint64_t>(n.frameTotal));
    return n;
  }

 private:
  static constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

  // The decimal value of data[at, at + digits) when each of those bytes is 0 to 9.
  static bool Digits(const char* data, size_t size, size_t at, size_t digits, int32_t* value) {
    if (at > size || size - at < digits) return false;
    int32_t v = 0;
    for (size_t i = at; i < at + digits; ++i) {
      if (data[i] < '0' || data[i] > '9') return false;
      v = v * 10 + (data[i] - '0');
    }
    *value = v;
    return true;
  }

  const std::string& marker_;
  uint64_t breaks_ = 0;
  uint64_t frames_ = 0;
  bool decided_ = false;  // the first separator has been found
  bool movie_ = false;
  int32_t width_ = 0;
  int32_t interval_ = 0;
  uint64_t infoAt_ = kNone;  // offset of the "W" of the frame whose info line is being read
};

}  // namespace

bool MovieNumbers::Playable() const { return TTextPic::IsPlayable(frameTotal, frameInterval); }

bool ReadMovieNumbers(const std::string& path, const std::string& marker, MovieNumbers* out, std::string* error,
                      size_t chunkBytes) {
  if (marker.find_first_of("\r\n") != std::string::npos) {
    // A marker with a line break in it would straddle the widened breaks: load.
    TTextPic movie;
    movie.FrameMarker = marker;
    if (!movie.LoadFromFile(path, error)) return false;
    *out = {movie.FrameTotal(), movie.FrameWidth(), movie.LinesPerFrame(), movie.FrameInterval()};
    return true;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    if (error) *error = stated ? "not a regular file" : std::strerror(errno);
    ::close(fd);
    return false;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  Scanner scanner(marker);
  chunkBytes = std::max<size_t>(chunkBytes, 1);
  std::vector<char> buffer(scanner.Lookahead() + chunkBytes);
  size_t size = 0;     // bytes in the buffer
  uint64_t base = 0;   // file offset of buffer[0]
  char last = '\n';    // the file's last byte; an empty file ends with a break
  bool end = false;
  while (!end) {
    if (buffer.size() - size < chunkBytes) buffer.resize(size + chunkBytes);
    const ssize_t n = ::read(fd, buffer.data() + size, chunkBytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = std::strerror(errno);
      ::close(fd);
      return false;
    }
    end = n == 0;
    if (n > 0) last = buffer[size + static_cast<size_t>(n) - 1];
    size += static_cast<size_t>(n);
    // Every break whose look-ahead is in the buffer (or is the file's end);
    // the rest waits for the next read.
    const char* data = buffer.data();
    size_t at = 0;
    size_t nextCr = 0, nextLf = 0;  // where the next CR and LF are (size: none), searched from `at`
    const auto find = [&](char c, size_t from) {
      const void* p = std::memchr(data + from, c, size - from);
      return p ? static_cast<size_t>(static_cast<const char*>(p) - data) : size;
    };
    nextCr = find('\r', 0);
    nextLf = find('\n', 0);
    while (true) {
      if (nextCr < at) nextCr = find('\r', at);
      if (nextLf < at) nextLf = find('\n', at);
      const size_t next = std::min(nextCr, nextLf);
      if (next == size) {
        at = size;
        break;
      }
      if (!end && size - next < scanner.Lookahead()) {
        at = next;
        break;
      }
      at = next + scanner.Break(data, size, next, base);
    }
    // Keep what is not yet taken at the front.
    std::memmove(buffer.data(), buffer.data() + at, size - at);
    base += at;
    size -= at;
  }
  ::close(fd);
  *out = scanner.Numbers(last == '\r' || last == '\n');
  return true;
}

}  // namespace playback
