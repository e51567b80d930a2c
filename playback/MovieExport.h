// A character movie exported as a video file: every frame drawn by the movie
// renderer (as the frame label draws it, without the marker and info lines
// and without the label's margin) and encoded with FFmpeg, optionally with
// the sound of a video.
//
// Timing follows synchronized play: movie frame k is the picture taken
// (k + 1) x V ms into the video and is on screen from (k + 1) x V to
// (k + 2) x V; frame 0 also from 0 to V. The video thus has K + 1 pictures
// at a constant V ms each (frame 0 twice) and lasts (K + 1) x V ms, V the
// movie's interval and K its frame count.
//
// The container and codecs follow the output name's extension:
//   .mp4   H.264 (libx264, preset ultrafast, tune animation, CRF 24, yuv420p), AAC sound, index at the front
//   .webm  VP9 (libvpx), Opus sound
//   .gif   one palette from the two colours (in colour: at most 256 colours chosen
//          for each picture by median cut), no sound; delays are whole centiseconds,
//          rounded so that the running time never drifts, and pictures that would
//          show for less than 2 cs are merged into the one before (GIF players
//          show a shorter delay as 10 cs)
//   .mkv   FFV1 (lossless RGB), 16-bit PCM sound
// In colour (Options::colourSource), every cell takes the mean colour of the
// picture it was recorded from (SourceColours) and is painted by
// colour_paint::SourcePaint; the video is decoded alongside the export, in
// one pass.
// Frames are rendered and encoded one at a time, so memory stays flat with
// the movie's length. The file is written under a temporary name beside the
// output, "." + name + ".part-" + six characters, and moved into place only
// when it is complete: a failed or cancelled export leaves no partial file,
// and an existing output is never touched unless `overwrite` is set. A
// running export holds a flock on its temporary file; each export removes
// the temporary files of its folder whose lock nobody holds (those of
// exports that were killed).
//
// Needs a QGuiApplication (drawing text). Runs on any one thread.
#pragma once

#include "video/PictureRule.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TTextPic;
struct AVFrame;

namespace movie_export {

enum class Container { Mp4, WebM, Gif, Mkv };

// The container for an output name, by its extension (any letter case).
std::optional<Container> ContainerFor(const std::string& path);

// Cell sizes, as the player's font sizes (pixels).
constexpr int kSmallestFontSize = 4;
constexpr int kLargestFontSize = 12;
constexpr int kDefaultFontSize = 9;
// The largest picture an export makes (pixels).
constexpr int kMaxWidth = 3840;
constexpr int kMaxHeight = 2160;

struct Options {
  std::string output;       // the file to write; its extension picks the container
  std::string soundSource;  // a video whose sound goes along; empty for none
  int fontSize = kDefaultFontSize;
  QColor text = Qt::black;   // the frame label's colours
  QColor background = Qt::white;
  bool overwrite = false;  // replace an existing output
  std::string movieFile;   // the movie's own file, when it has one: never the output
  // When set, the cells are drawn in the colours of this video's pictures
  // (the video the movie was recorded from) instead of the two colours
  // above, and the picture's padding is black.
  std::string colourSource;
  // The user's choices its pictures are shown by, as they were recorded.
  video::PictureRule colourPicture;
  // Where the movie's recording started in its video, ms from the video's
  // start: the colours and the sound are taken from there.
  int64_t startMs = 0;
};

// Which input the output names (through any path or link), if any: an
// export never writes over what it reads.
enum class Clash { None, Movie, SoundSource, ColourSource };
Clash OutputClash(const Options& options);

// What an export makes, decided before anything is written.
struct Plan {
  Container container = Container::Mkv;
  int fontSize = kDefaultFontSize;  // the cell size used (smaller than asked when the picture would be too big)
  bool fontSizeReduced = false;
  QSize size;          // pixels, even in both directions
  QSize cells;         // the largest frame's cells: its widest line by its most lines
  int32_t frames = 0;  // the movie's frames (K)
  int32_t intervalMs = 0;
  int64_t DurationMs() const { return int64_t(frames + 1) * intervalMs; }
  int32_t VideoFrames() const { return frames + 1; }  // frame 0 shows twice
};

// Checks the movie and the options and works out the plan. Returns false and
// sets *error (an English text, or TTextPic::kNotStandardMovie) when the export cannot
// be made: a movie that cannot be played (TTextPic::Playable), an unknown
// extension, a font size outside 4 to 12, a picture too big even at size 4,
// an output that is an input (OutputClash), an existing output without
// `overwrite`, a negative start. The picture is as large as the movie's largest frame (its
// widest line and its most lines), at the largest font size from the one
// asked for down that keeps it within kMaxWidth x kMaxHeight.
bool MakePlan(const TTextPic& movie, const Options& options, Plan* plan, std::string* error);

struct Result {
  bool ok = false;
  bool cancelled = false;  // `progress` asked to stop; no file was left
  std::string error;       // why it failed, naming the path where one is concerned
  Plan plan;
  bool soundMissing = false;  // a sound source was given but holds no sound: the export is silent
  // The colour source ended before the movie, at this time (ms from its
  // start): its last picture's colours were used from there; -1 when not.
  int64_t colourSourceEndMs = -1;
};

// Called after each encoded picture with (pictures done, pictures in all),
// and once more with (total, total) just before the finished file is moved
// into place; returning false cancels the export.
using Progress = std::function<bool(int done, int total)>;

// Makes the export. The movie is only read. Every frame is drawn at the
// plan's size, a smaller one padded with the background.
Result Export(const TTextPic& movie, const Options& options, const Progress& progress = {});

// Converts `picture` (Format_ARGB32_Premultiplied, opaque, even size) into
// `out` (AV_PIX_FMT_YUV420P, the same size, allocated): BT.601 at limited
// range, as swscale's accurate road makes it: each chroma sample from its two
// columns over four rows, weighted 1 3 3 1. `gray` says every pixel is gray:
// the chroma is then the constant it is. Used for gray and colour exports.
void ToYuv420(const QImage& picture, bool gray, AVFrame* out);

// The picture of movie frame `index` as the export draws it, at the plan's
// size (Format_ARGB32_Premultiplied). For tests and previews.
class FramePictures {
 public:
  FramePictures(const TTextPic& movie, const Plan& plan, const Options& options);
  ~FramePictures();
  QImage Picture(int32_t index);
  // The same picture drawn into *into (the plan's size, Format_ARGB32_Premultiplied).
  void Draw(int32_t index, QImage* into);
  // The picture in colour: `colours` gives the plan's cells' colours, row by
  // row (SourceColours::Colours); the padding is black.
  QImage PictureInColour(int32_t index, const std::vector<QRgb>& colours);
  void DrawInColour(int32_t index, const std::vector<QRgb>& colours, QImage* into);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace movie_export
