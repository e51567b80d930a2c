// The character-movie reader on arbitrary bytes, read from a file as the
// player reads a movie. After every input:
//  - the file path gives the same movie as LoadFromList of the same text cut
//    into lines (the fast path against the plain one);
//  - the frames joined back are a prefix of the text with every line ended by
//    CR LF;
//  - there is at least one frame, and GetFrame of any index is safe.
#include "conversion/BmpTxt.h"
#include "fuzz/FuzzSupport.h"
#include "playback/TextPic.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

const std::string kMarker = kFrameMarker;

void CheckSameMovie(const TTextPic& a, const TTextPic& b) {
  FUZZ_CHECK(a.FrameTotal() == b.FrameTotal());
  FUZZ_CHECK(a.FrameWidth() == b.FrameWidth());
  FUZZ_CHECK(a.LinesPerFrame() == b.LinesPerFrame());
  FUZZ_CHECK(a.FrameInterval() == b.FrameInterval());
  for (int32_t i = 0; i < a.FrameTotal(); ++i) FUZZ_CHECK(a.GetFrame(i) == b.GetFrame(i));
}

void CheckFrameAccess(const TTextPic& movie) {
  FUZZ_CHECK(movie.GetFrame(-1).empty());
  FUZZ_CHECK(movie.GetFrame(movie.FrameTotal()).empty());
  FUZZ_CHECK(movie.GetFrame(INT32_MIN).empty());
  FUZZ_CHECK(movie.FrameView(INT32_MAX).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzzing::ScratchFolder() + "movie.txt";
  fuzzing::WriteInput(path, bytes);

  TTextPic fromFile;
  fromFile.FrameMarker = kMarker;
  FUZZ_CHECK(fromFile.LoadFromFile(path));

  const std::vector<std::string> lines = fuzzing::SplitLines(bytes);
  TTextPic fromList;
  fromList.FrameMarker = kMarker;
  fromList.LoadFromList(lines);

  CheckSameMovie(fromFile, fromList);
  FUZZ_CHECK(fromFile.FrameTotal() >= 1);
  FUZZ_CHECK(fromFile.LinesPerFrame() == static_cast<int32_t>(lines.size() / fromFile.FrameTotal()));
  CheckFrameAccess(fromFile);

  std::string normalized;
  for (const std::string& line : lines) normalized.append(line).append("\r\n");
  std::string joined;
  for (int32_t i = 0; i < fromFile.FrameTotal(); ++i) {
    const std::string frame = fromFile.GetFrame(i);
    // Only an empty text has an empty frame.
    FUZZ_CHECK(!frame.empty() || normalized.empty());
    FUZZ_CHECK(fromFile.FrameView(i) == frame);
    joined += frame;
  }
  FUZZ_CHECK(std::string_view(normalized).starts_with(joined));
  // A text without a single frame separator is no movie: one frame holding
  // all of it, no width and no interval.
  if (normalized.find("\r\n" + kMarker + "\r\nW") == std::string::npos) {
    FUZZ_CHECK(fromFile.FrameTotal() == 1);
    FUZZ_CHECK(fromFile.FrameWidth() == 0 && fromFile.FrameInterval() == 0);
    FUZZ_CHECK(joined == normalized);
  }

  // A reload of the same reader replaces the movie entirely.
  fromList.LoadFromFile(path);
  CheckSameMovie(fromFile, fromList);
  return 0;
}
