#include "playback/MovieText.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace playback {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;  // a transparent huge page on x86-64 and arm64
constexpr size_t kPage = 4096;
// Room left after the file's bytes for widening breaks in place; a movie's
// lines are hundreds of bytes long, so it never needs more than a little.
constexpr size_t kSpareDivisor = 5;

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// A fresh anonymous mapping of at least `capacity` bytes; large ones aligned
// to a huge page and marked for huge pages. Null when none can be had.
char* Map(size_t* capacity) {
  if (*capacity < kHugePage) {
    *capacity = RoundUp(std::max<size_t>(*capacity, 1), kPage);
    void* p = ::mmap(nullptr, *capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  *capacity = RoundUp(*capacity, kHugePage);
  // Over-ask by one huge page, then give back the ends around an aligned run.
  const size_t asked = *capacity + kHugePage;
  void* p = ::mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) ::munmap(p, aligned - start);
  const uintptr_t end = start + asked;
  if (end > aligned + *capacity) ::munmap(reinterpret_cast<void*>(aligned + *capacity), end - aligned - *capacity);
  ::madvise(reinterpret_cast<void*>(aligned), *capacity, MADV_HUGEPAGE);  // a hint; refused is fine
  return reinterpret_cast<char*>(aligned);
}

struct BreakCount {
  int64_t crLf = 0;
  int64_t loneCr = 0;
  int64_t loneLf = 0;
  int64_t Total() const { return crLf + loneCr + loneLf; }
};

// Counts with memchr, which runs far faster than a loop over every byte on a
// movie of hundreds of megabytes.
BreakCount CountBreaks(std::string_view text) {
  BreakCount count;
  int64_t crs = 0;
  int64_t lfs = 0;
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
    if (!p) break;
    ++crs;
    if (p + 1 < end && p[1] == '\n') ++count.crLf;
  }
  for (const char* p = text.data(); p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!p) break;
    ++lfs;
  }
  count.loneCr = crs - count.crLf;
  count.loneLf = lfs - count.crLf;
  return count;
}

// Widens the lone breaks of data[0, n) to CR LF, from the back, so that each
// byte moves once and at most `extra` bytes past n are needed. The last CR
// and the last LF before the bytes still to move are each searched for
// again only once they have been passed, so a file without any CR (or any
// LF) is not searched to its start at every line.
void WidenBreaks(char* data, size_t n, size_t extra) {
  size_t src = n;          // bytes [0, src) are still to move
  size_t dst = n + extra;  // they end at dst
  const auto last = [&](char c) -> size_t {  // position + 1 of the last c before src; 0 for none
    const auto* p = static_cast<const char*>(::memrchr(data, c, src));
    return p ? static_cast<size_t>(p - data) + 1 : 0;
  };
  size_t cr = last('\r');
  size_t lf = last('\n');
  while (src > 0 && dst > src) {
    if (cr > src) cr = last('\r');
    if (lf > src) lf = last('\n');
    const size_t runStart = std::max(cr, lf);  // just after the last break; 0 for none
    const size_t run = src - runStart;
    dst -= run;
    std::memmove(data + dst, data + runStart, run);
    src = runStart;
    if (runStart == 0) break;
    // data[src - 1] is a break: CR LF stays, a lone CR or LF becomes CR LF.
    if (data[src - 1] == '\n' && src >= 2 && data[src - 2] == '\r') {
      src -= 2;
    } else {
      src -= 1;
    }
    dst -= 2;
    data[dst] = '\r';
    data[dst + 1] = '\n';
  }
}

}  // namespace

MovieText::~MovieText() {
  if (data_) ::munmap(data_, capacity_);
}

MovieText::MovieText(MovieText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

MovieText& MovieText::operator=(MovieText&& other) noexcept {
  if (this != &other) {
    if (data_) ::munmap(data_, capacity_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

MovieText::MovieText(const MovieText& other) {
  if (other.size_ > 0 && !Append(other.View())) throw std::bad_alloc();
}

MovieText& MovieText::operator=(const MovieText& other) {
  if (this != &other) *this = MovieText(other);
  return *this;
}

bool MovieText::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  if (!data_) {
    char* p = Map(&capacity);
    if (!p) return false;
    data_ = p;
    capacity_ = capacity;
    return true;
  }
  // Growing moves the pages, not the bytes.
  capacity = RoundUp(capacity, capacity >= kHugePage ? kHugePage : kPage);
  void* p = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<char*>(p);
  capacity_ = capacity;
  if (capacity_ >= kHugePage) ::madvise(data_, capacity_, MADV_HUGEPAGE);
  return true;
}

bool MovieText::Append(std::string_view bytes) {
  if (bytes.size() > capacity_ - size_ && !Reserve(std::max(size_ + bytes.size(), 2 * capacity_))) return false;
  if (!bytes.empty()) std::memcpy(data_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
  return true;
}

bool ReadMovieText(const std::string& path, MovieText* out, int64_t* lineCount) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  MovieText text;
  // The size is a hint: the file may grow or shrink while it is read.
  const size_t hint = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  bool ok = text.Reserve(hint + hint / kSpareDivisor + 2);
  while (ok) {
    if (text.size_ == text.capacity_ && !text.Reserve(2 * text.capacity_)) {
      ok = false;
      break;
    }
    const ssize_t n = ::read(fd, text.data_ + text.size_, text.capacity_ - text.size_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.size_ += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok) return false;

  const BreakCount breaks = CountBreaks(text.View());
  const bool finalBreak = text.size_ == 0 || text.data_[text.size_ - 1] == '\n' || text.data_[text.size_ - 1] == '\r';
  const size_t widened = static_cast<size_t>(breaks.loneCr + breaks.loneLf);
  if (!text.Reserve(text.size_ + widened + 2)) return false;
  WidenBreaks(text.data_, text.size_, widened);
  text.size_ += widened;
  if (!finalBreak) {
    text.data_[text.size_++] = '\r';
    text.data_[text.size_++] = '\n';
  }
  *lineCount = breaks.Total() + (finalBreak ? 0 : 1);
  *out = std::move(text);
  return true;
}

}  // namespace playback
