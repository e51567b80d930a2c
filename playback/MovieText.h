// The memory a character movie's text lives in, and reading a movie file
// into it with every line break made CR LF.
//
// A movie of hundreds of megabytes loads mostly in the kernel handing out
// fresh pages; the buffer is an anonymous mapping aligned to 2 MB and asks
// for transparent huge pages, so it is handed out 512 times fewer pages at a
// time. It holds its own copy of the bytes: the player goes on when the file
// is deleted or truncated under it. Lone CR and lone LF breaks are widened to
// CR LF in place, growing the mapping without a copy where needed, so reading
// any file peaks at its final text plus a fifth of the file at most.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace playback {

class MovieText {
 public:
  MovieText() = default;
  ~MovieText();
  MovieText(MovieText&& other) noexcept;
  MovieText& operator=(MovieText&& other) noexcept;
  // A copy holds its own buffer (a movie handed to a worker thread); throws
  // std::bad_alloc when the memory cannot be had.
  MovieText(const MovieText& other);
  MovieText& operator=(const MovieText& other);

  // Room for at least `capacity` bytes; keeps the bytes held. False when the
  // memory cannot be had (the buffer is then unchanged).
  bool Reserve(size_t capacity);
  bool Append(std::string_view bytes);  // grows as needed

  std::string_view View() const { return {data_, size_}; }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }

 private:
  friend bool ReadMovieText(const std::string& path, MovieText* out, int64_t* lineCount);
  char* data_ = nullptr;  // the mapping, capacity_ bytes
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Reads the file at `path` into *out with every lone CR and lone LF turned
// into CR LF and a CR LF added after a last line that has none. *lineCount
// gets the number of lines. False (and *out untouched) when the file cannot
// be opened or read, or memory runs out.
bool ReadMovieText(const std::string& path, MovieText* out, int64_t* lineCount);

}  // namespace playback
