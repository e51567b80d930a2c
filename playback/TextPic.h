// The character-movie reader: a movie file in, frames by index out.
//
// A character movie is a run of character frames, each made of its rows
// (every row ending in CR LF), the marker line (FrameMarker, CR LF) and the
// info line "W" + width (3 digits) + "V" + interval in ms (4 digits) + "F" +
// frame number + CR LF. The reader cuts the text into frames and reports how
// many there are, how wide they are, how many lines each has and how many
// milliseconds lie between two of them. It works on bytes (GBK) and never
// decodes them; it knows nothing of the screen.
//
// Any other text file is read as one frame holding the whole text, with
// FrameWidth and FrameInterval 0; the player tells the two cases apart by the
// frame count.
#pragma once

#include "playback/MovieText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TTextPic {
 public:
  // An empty reader (as after Clear) with an empty FrameMarker.
  TTextPic() = default;

  // The text of the marker line that ends every frame's rows; the owner sets
  // it to the two bytes 0x80 0x80 before the first load. Loads use the value
  // it holds when they run.
  std::string FrameMarker;

  // Forgets the movie: no frames, and FrameTotal, FrameWidth, LinesPerFrame
  // and FrameInterval all 0. FrameMarker stays.
  void Clear();

  // Reads the whole file (line breaks CR LF, LF or CR alike) and replaces the
  // movie with the frames found in it; true. When the file cannot be opened
  // or read, is not a regular file (a device, a pipe), or is larger than the
  // memory the process can have (its address-space limit, the system's free
  // memory), returns false with the reason in *error (and *tooLarge set for
  // the last case); the previous movie stays exactly as it was.
  bool LoadFromFile(const std::string& FileName, std::string* error = nullptr, bool* tooLarge = nullptr);

  // Replaces the movie with the frames found in `Lines`, taken as the lines
  // of a text (each one followed by CR LF). Gives the same result as
  // LoadFromFile on a file holding those lines.
  void LoadFromList(const std::vector<std::string>& Lines);

  // A copy of frame `Index` (0-based): its rows, its marker line and its info
  // line, each with CR LF. Empty for an index outside 0 .. FrameTotal() - 1.
  std::string GetFrame(int32_t Index) const;
  // The same bytes without a copy, in constant time. The view stays valid
  // until the next load, Clear or destruction of the reader.
  std::string_view FrameView(int32_t Index) const;

  // Number of frames; 0 only before the first load and after Clear.
  int32_t FrameTotal() const { return frameTotal_; }
  // Characters per line, from the first frame's info line; 0 when there is none.
  int32_t FrameWidth() const { return frameWidth_; }
  // Lines of the whole text divided by FrameTotal (truncated).
  int32_t LinesPerFrame() const { return linesPerFrame_; }
  // Milliseconds between frames, from the first frame's info line; 0 when
  // there is none.
  int32_t FrameInterval() const { return frameInterval_; }

  // The frames a movie needs to be played.
  static constexpr int32_t kPlayableFrames = 3;
  // Whether a movie of `frames` frames `interval` ms apart can be played
  // (and exported): kPlayableFrames frames or more, and an interval above
  // 0 ms. Anything else is not a standard character movie.
  static bool IsPlayable(int32_t frames, int32_t interval) { return frames >= kPlayableFrames && interval > 0; }
  bool Playable() const { return IsPlayable(frameTotal_, frameInterval_); }
  // The player's refusal of a movie that is not (the window shows it
  // translated, in the context "TForm1").
  static const char* const kNotStandardMovie;

 private:
  // Cuts `text` (lines joined with CR LF, `lineCount` lines) into frames and
  // makes it the reader's movie. Built aside, then swapped in.
  void TakeText(playback::MovieText text, int64_t lineCount);

  // The movie's text exactly once: every frame's bytes back to back, plus
  // whatever stray lines followed the last frame.
  playback::MovieText text_;
  // Frame i is text_[frameStart_[i], frameStart_[i + 1]); FrameTotal + 1
  // entries once a movie is loaded, empty before.
  std::vector<size_t> frameStart_;
  int32_t frameTotal_ = 0;
  int32_t frameWidth_ = 0;
  int32_t linesPerFrame_ = 0;
  int32_t frameInterval_ = 0;
};
