// The numbers of a character-movie file without loading it: one pass over
// the file through a small buffer, for `glyphreel-cli info` on movies of
// hundreds of megabytes (loading one holds all of it in memory, which costs
// several times reading it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace playback {

// What TTextPic reports after LoadFromFile of the same file.
struct MovieNumbers {
  int32_t frameTotal = 0;
  int32_t frameWidth = 0;
  int32_t linesPerFrame = 0;
  int32_t frameInterval = 0;
  bool Playable() const;  // as TTextPic::Playable()
};

// Reads the file at `path` once, `chunkBytes` at a time, and fills *out with
// the numbers TTextPic (its FrameMarker set to `marker`) would report after
// loading it: the same frames, found by the same separator with every lone CR
// and lone LF taken as CR LF. False, with the reason in *error, when the file
// cannot be opened or read or is not a regular file.
bool ReadMovieNumbers(const std::string& path, const std::string& marker, MovieNumbers* out, std::string* error,
                      size_t chunkBytes = size_t{1} << 18);

}  // namespace playback
