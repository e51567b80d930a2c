// The frame folder: where a recording writes its numbered bitmaps and a
// conversion reads them. The window's recorder, fast recording, the command
// line and the conversion all name, find and clear frames through here.
//
// A recording writes frame n (1, 2, ...) as "n.bmp", exactly. Finding and
// clearing frames takes ".bmp" in any letter case, as on the file systems
// the recordings come from, and every kind of entry: a folder named "2.bmp"
// is a frame that cannot be read (or deleted), not a gap in the numbers.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace frames {

// "n.bmp": the file name of frame n.
std::string BitmapName(int64_t n);
// `folder` + BitmapName(n); `folder` ends with "/".
std::string BitmapPath(const std::string& folder, int64_t n);

// The names of the entries of `folder` that end in ".bmp" in any letter
// case, in the order the file system lists them: the bitmaps a recording
// clears. Empty when the folder cannot be read.
std::vector<std::string> Bitmaps(const std::string& folder);

// The numbered bitmaps of `folder` by their number as text ("1" for
// "1.bmp"); where "1.bmp" and "1.BMP" both exist the lower-case name is
// taken.
std::unordered_map<std::string, std::string> BitmapsByNumber(const std::string& folder);

// Deletes every entry Bitmaps() lists, going on past the ones that cannot be
// deleted. Returns one error text (naming the path) for each of those; empty
// when all went.
std::vector<std::string> ClearBitmaps(const std::string& folder);

}  // namespace frames
