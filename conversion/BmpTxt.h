// The conversion engine: numbered bitmaps in, character frames out.
//
// A gray table is a string of GBK bytes, darkest entry first, divided into
// gray units (normally one double-byte character or a pair of single-byte
// characters, so every cell is two text columns wide). Every pixel's gray
// level picks one unit; a W x H picture becomes a character frame:
//
//   H rows of W units, each row followed by CR LF,
//   the marker line (FrameMarker, CR LF),
//   the info line "W" + ZeroPad(W, 3) + "V" + ZeroPad(Interval, 4) + "F" + ZeroPad(frame, 5), CR LF.
//
// The engine works on bytes and never decodes. It shows nothing: a bitmap
// that cannot be loaded is reported through OnBadBitmap, progress through
// OnProgress, and every failure to write comes back as a false result with an
// error text that names the path.
#pragma once

#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A rectangle of four 32-bit values, as the output size table holds them.
struct Rect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
};

// The nine output sizes in cells, index 0 to 8: 60 x 45 up to 320 x 240.
constexpr int kOutputSizeCount = 9;
using OutputSizeTable = std::array<Rect, kOutputSizeCount>;
// Fills `sizes`: 60 + 20i by 45 + 15i for i = 0..3, then 160 + 40i by 120 + 30i for i = 0..4.
void BuildOutputSizes(OutputSizeTable& sizes);
// The table as BuildOutputSizes fills it.
const OutputSizeTable& StandardOutputSizes();

// The tables the conversion accepts have 1 to this many units; with more,
// 256 / L rounds to 0 and no level could be mapped.
constexpr int kMaxGrayLevels = 511;

// Unit count of a gray table (0 for an empty one). Like the unit walk, except
// that a byte 0x7F pairs with a next byte below 0x7F.
int32_t CountGrayUnits(std::string_view table);

// The units of `table` by the selection rules, as (offset, length) pairs:
// a byte >= 0x80 starts a two-byte unit; a byte < 0x7F followed by a byte < 0x7F
// (or by the end) starts a pair; anything else is a unit of one byte.
struct GrayUnit {
  uint32_t offset;
  uint32_t length;
};
std::vector<GrayUnit> WalkGrayUnits(std::string_view table);

// The rules every gray table meets, wherever it comes from (the editor, the
// command line, a gray file, a settings file): no single-byte space (the
// editor's rule) and valid GBK without NUL bytes: each byte 0x81..0xFE leads
// a pair whose second byte is 0x40..0xFE but not 0x7F; 0x80 and 0xFF are not
// characters. Single-byte characters stay accepted wherever they stand. False
// with a message naming the byte offset otherwise.
bool CheckGrayTable(std::string_view table, std::string* error);

// Decimal text of `value`, "0" prepended until it is `width` long; never cut.
std::string ZeroPad(int64_t value, int width);

// `path` without the part from its last "." on, when that "." comes after the
// last "/"; otherwise `path` unchanged.
std::string StripExtension(const std::string& path);

// The interval in milliseconds between frames captured `framesPerSecond`
// times a second: 1000 / framesPerSecond rounded half to even (15 gives 67,
// 7 gives 143, 16 gives 62).
int IntervalForFrameRate(int framesPerSecond);

// The most frames a second the recorder captures (the least is 1).
inline constexpr int kMaxFramesPerSecond = 15;
// The bytes that begin every frame's separator line in a character movie.
inline constexpr char kFrameMarker[] = "\x80\x80";

// Gray level 0..255 of a 24-bit pixel: 0.3 R + 0.59 G + 0.11 B, summed in that
// order in 80-bit extended precision and rounded half to even.
int GrayLevelOf(int red, int green, int blue);

// Where a conversion takes its pictures from: the numbered bitmaps of a
// folder, or pictures decoded from the video as they are needed. The classic
// conversion takes each picture already stretched to the output size, cell
// (x, y) taking source pixel (x * W / width, y * H / height), so a source that
// samples the same pixels gives the same bytes; the fine picture takes each
// at its own size and averages it itself.
class FrameSource {
 public:
  enum class Status {
    Picture,    // *out holds the next picture
    End,        // no more pictures
    EndsEarly,  // no more pictures, though the source declares more (a video cut
                // short): *what says where it ended; the pass is not complete
    Bad,        // the next picture cannot be loaded; *what names it
    Failed,     // the source itself failed (*what says why): the pass fails
  };
  virtual ~FrameSource() = default;
  // The next picture at `width` x `height`, 24-bit (QImage::Format_RGB888).
  virtual Status Next(int width, int height, QImage* out, std::string* what) = 0;
  // The next picture at its own size, 24-bit: the pixels a bitmap written
  // of it holds.
  virtual Status NextWhole(QImage* out, std::string* what) = 0;
};

// The unbroken run folder + first + ".bmp", first + 1, ... of recorded
// bitmaps (".bmp" in any letter case, the lower-case name first). An entry
// of that name that cannot be loaded (a damaged file, a folder, a dangling
// link) is Bad, not the end.
class NumberedBitmaps : public FrameSource {
 public:
  NumberedBitmaps(std::string folder, int first) : folder_(std::move(folder)), next_(first) {}
  Status Next(int width, int height, QImage* out, std::string* what) override;
  Status NextWhole(QImage* out, std::string* what) override;

 private:
  // The next entry's path; false at the end of the run.
  bool NextPath(std::string* path);

  std::string folder_;
  int next_;
  bool scanned_ = false;                                // names_ read (at the first picture)
  std::unordered_map<std::string, std::string> names_;  // number as text -> file name
  std::string fileBuffer_;                              // the bitmap file's bytes, reused for every frame
};

// How far a pass has come, for a progress bar: `done` of `total` steps.
struct ProgressShare {
  int done = 0;
  int total = 0;
};

class TConverter {
 public:
  using ProgressHandler = std::function<void(TConverter&)>;
  using BadBitmapHandler = std::function<void(const std::string& path)>;

  TConverter() = default;

  // ---- Counters (read by the progress handler) ----
  int32_t FrameIndex = 0;      // 0-based frame being built; while merging, the part just appended
  int32_t ConvertedCount = 0;  // frames finished in the current pass
  ProgressHandler OnProgress;  // once per frame and once per merged part; empty until set
  bool Merging = false;        // true while per-frame files are joined into one file

  // ---- Options, set by the conversion run before each conversion ----
  int32_t GrayLevels = 0;   // CountGrayUnits(GrayTable)
  int32_t Interval = 0;     // milliseconds between frames, copied into every info line
  Rect OutputRect;         // (0, 0, W, H): Right = width in cells, Bottom = height in rows
  std::string GrayTable;    // GBK bytes, darkest unit first
  std::string FrameMarker;  // text of the marker line; the owner sets 0x80 0x80
  // The fine picture (FinePicture.h): each cell the area mean of the whole
  // picture, the table's units chosen by their measured ink. Off (the
  // default): nearest-pixel sampling and the units by their order, the
  // classic bytes.
  bool FinePicture = false;

  // Called with the path of a bitmap that could not be loaded, just before
  // the pass ends. The owner shows "图片格式错误".
  BadBitmapHandler OnBadBitmap;
  // The bitmap that ended the last pass early; empty when none did.
  std::string BadBitmapPath;
  // Where the last pass's source ran out of pictures before its declared end
  // (FrameSource::Status::EndsEarly); empty when it did not.
  std::string EarlyEnd;

  void SetOnProgress(ProgressHandler handler) { OnProgress = std::move(handler); }
  void ResetCounters();
  // The share of the pass done, from the counters. Converting counts frames
  // and merging counts the parts on top, so one bar fills over both: total
  // 2 x ConvertedCount + 1. When the pass's frame count is known beforehand
  // (`expectedFrames` > 0) and nothing is being merged, it is FrameIndex of
  // that count.
  ProgressShare Progress(int expectedFrames = 0) const;

  // False, with a message for the user in *error, when the options cannot
  // drive a conversion: a gray table of 0 or more than kMaxGrayLevels units
  // or one CheckGrayTable refuses, or an output size that is not positive.
  bool CheckOptions(std::string* error) const;

  // The unit for gray level 0..255: the k-th unit of the walk, k = g / s + 1
  // with s = 256 / GrayLevels rounded half to even. Levels past the last unit
  // take the last unit. With FinePicture, the unit fine::CalibratedLevels
  // gives. Empty when the options are invalid (see CheckOptions).
  std::string GrayToUnit(int gray) const;
  std::string PixelToCell(int red, int green, int blue) const;

  // The character frame of a picture that is already W x H; then OnProgress.
  std::string BitmapToFrame(const QImage& bitmap);

  // Converts inFolder + n + ".bmp", n + 1, ... (the unbroken run; ".bmp" in
  // any letter case, the lower-case name first) into outFolder + n + ".txt".
  // Folders end with "/". Stops early, with true, at an entry that cannot be
  // loaded as a bitmap (a damaged file, a folder, a dangling link), reported
  // through OnBadBitmap; false with *error when a frame file cannot be
  // written, the options are invalid or the work was interrupted
  // (fileio::RequestInterrupt).
  bool ConvertBitmapsToText(const std::string& outFolder, const std::string& inFolder, int first,
                            std::string* error);
  // The same pass over the pictures of `source`, written as frames (or page
  // blocks) 1, 2, ... of outFolder.
  bool ConvertFramesToText(FrameSource& source, const std::string& outFolder, std::string* error);
  bool ConvertFramesToHtml(FrameSource& source, const std::string& folder, std::string* error);
  // Writes D + "0.htm" (the page template with lines 8 and 9 replaced by the
  // declarations of max_pics and delay) and D + (K + 1) + ".htm" (the tail).
  bool WriteHtmlHeadAndTail(const std::string& folder, const std::string& templatePath, std::string* error);

  // True when the last pass converted every picture its source has (every
  // numbered bitmap it found, the whole video), and at least one: only such
  // a run may replace an existing output.
  bool CompleteRun() const { return BadBitmapPath.empty() && EarlyEnd.empty() && ConvertedCount > 0; }
  // Why the last pass was not complete, for the user; empty when it was.
  std::string IncompleteReason() const;

  // What a conversion does with an output name that is taken.
  enum class Existing {
    FreeName,     // the output takes the next free name (movie_01.txt, ...)
    Replace,      // a complete run replaces it; any other run's result takes a
                  // free name, and the run fails with the old file kept
    ReplaceOnly,  // like Replace, but any other run writes nothing
  };

  // Converts the bitmaps of path's folder into one character-movie file; on
  // return `path` holds the name written. Frame files are written into a
  // private folder of this run (so a user's own 2.txt, or a second run in the
  // same folder, is never touched), joined into one file there, each deleted
  // right after it is appended (the disk needs the movie plus one frame
  // file), and the result is moved onto its name in one step, a free name
  // claimed atomically. On failure nothing but the private folder was
  // written, and it is gone.
  bool MakeTextMovie(std::string& path, Existing existing, std::string* error);
  // The same movie from the pictures of `source`, streamed straight into one
  // file of the private folder (no frame files), then placed as MakeTextMovie
  // places its result.
  bool StreamTextMovie(FrameSource& source, std::string& path, Existing existing, std::string* error);
  // Converts the bitmaps of path's folder into one HTML page built on the
  // page template; always takes a free name. The template is read before any
  // file is touched: a missing one, or one of fewer than 9 lines, is an error.
  bool MakeWebPage(std::string& path, const std::string& templatePath, std::string* error);
  // The same page from the pictures of `source` (its blocks pass through part
  // files, since the page's head needs the frame count).
  bool MakeWebPage(FrameSource& source, std::string& path, const std::string& templatePath, std::string* error);

  // Appends the frame of `bitmap` (any format; converted to 24 bits) to *out
  // and returns the offset in *out where its rows end (the marker line starts).
  // The classic conversion takes a W x H bitmap pixel by pixel; the fine
  // picture takes a picture of any size and averages it into W x H cells.
  size_t AppendFrame(const QImage& bitmap, std::string* out) const;

 private:
  // Per-level unit bytes for the current options; rebuilt when they change.
  struct LevelTable {
    std::string table;
    int32_t levels = -1;
    bool fine = false;
    std::array<std::string, 256> units;
    struct Cell {
      char bytes[2] = {0, 0};  // the unit, padded to two bytes
      uint8_t length = 0;
    };
    std::array<Cell, 256> cells;  // the same units, for the frame loop
    size_t widest = 0;
  };
  const LevelTable& Levels() const;
  std::string UnitForLevel(int gray) const;
  // The rows of the fine picture: the area means of `picture`, through Levels().
  void AppendFineRows(const QImage& picture, std::string* out) const;
  // The marker and info lines after a frame's rows.
  void AppendFrameEnd(std::string* out) const;

  // One pass over the pictures of `source`, handing each frame (or, for
  // `html`, its page block) to put(0-based index, bytes, error); stops with
  // false when put() fails or the work is interrupted.
  using FrameSink = std::function<bool(int index, const std::string& bytes, std::string* error)>;
  bool ConvertPass(FrameSource& source, bool html, const FrameSink& put, std::string* error);
  // The pass with frame n written as outFolder + (first + n) + extension.
  bool ConvertToFiles(FrameSource& source, int first, const std::string& outFolder, const char* extension,
                      bool html, std::string* error);
  // Writes one frame file and remembers its length for the merge.
  bool WritePart(const std::string& folder, int n, const char* extension, std::string_view bytes,
                 std::string* error);
  // Joins folder + from..to + extension into `joined`, deleting each part as
  // soon as it is appended; a part whose length is not what was written is
  // an error.
  bool MergeParts(const std::string& joined, const std::string& folder, int from, int to, const char* extension,
                  std::string* error);
  // The merged file `joined` onto `path` by the rule `existing`.
  bool PlaceOutput(const std::string& joined, std::string& path, const char* extension, Existing existing,
                   std::string* error);

  std::vector<int64_t> partSizes_;  // bytes written to part n, by n; -1 for none

  mutable LevelTable levels_;
  mutable std::vector<uint8_t> cellGrays_;  // the fine picture's cells, reused
};

// Byte-wise escape of "&", "<" and ">" for a row written into a page. GBK
// trail bytes are never in that range, so escaping bytes is safe.
void AppendHtmlEscaped(std::string_view row, std::string* out);

// The first of stem + ext, stem + "_01" + ext, stem + "_02" + ext, ... that does not exist.
std::string FreeOutputName(const std::string& stem, const std::string& ext);
// Moves the finished file `from` to `path` (which ends in `ext`): onto it
// when `replace`, otherwise to the first free name of the FreeOutputName
// row, claimed in one step so a name another process takes at the same
// moment is skipped, never shared. On return `path` holds the name taken.
bool ClaimOutputName(const std::string& from, std::string& path, const std::string& ext, bool replace,
                     std::string* error);
// Moves the folder `from` to the first free name of the row path, path_01,
// path_02, ... (`path` without a final "/"), claimed in one step; on return
// `path` holds the name taken.
bool ClaimFolderName(const std::string& from, std::string& path, std::string* error);
