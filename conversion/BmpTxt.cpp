#include "conversion/BmpTxt.h"

#include "common/FileWrite.h"
#include "common/FolderLock.h"
#include "common/FrameFolder.h"
#include "conversion/BmpReader.h"
#include "conversion/FinePicture.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

constexpr char kCrLf[] = "\r\n";

int RoundHalfEven(long double x) {
  const long double floorX = std::floor(x);
  const long double diff = x - floorX;
  int64_t r = static_cast<int64_t>(floorX);
  if (diff > 0.5L || (diff == 0.5L && (r % 2 != 0))) ++r;
  return static_cast<int>(r);
}

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NumberedPath(const std::string& folder, int n, const char* extension) {
  return folder + std::to_string(n) + extension;
}

constexpr char kInterrupted[] = "interrupted";

// The lines of a text whose breaks may be CR LF, LF or CR; a final break does
// not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

// ---- Free functions ---------------------------------------------------------

void BuildOutputSizes(OutputSizeTable& sizes) {
  for (int i = 0; i <= 3; ++i) sizes[static_cast<size_t>(i)] = {0, 0, 60 + 20 * i, 45 + 15 * i};
  for (int i = 0; i <= 4; ++i) sizes[static_cast<size_t>(4 + i)] = {0, 0, 160 + 40 * i, 120 + 30 * i};
}

const OutputSizeTable& StandardOutputSizes() {
  static const OutputSizeTable table = [] {
    OutputSizeTable t;
    BuildOutputSizes(t);
    return t;
  }();
  return table;
}

int32_t CountGrayUnits(std::string_view table) {
  int32_t count = 0;
  const size_t n = table.size();
  for (size_t i = 0; i < n;) {
    const auto b = static_cast<uint8_t>(table[i]);
    const auto next = i + 1 < n ? static_cast<uint8_t>(table[i + 1]) : 0;
    if (b >= 0x80 || (b <= 0x7F && next < 0x7F)) {
      i += 2;
    } else {
      i += 1;
    }
    ++count;
  }
  return count;
}

std::vector<GrayUnit> WalkGrayUnits(std::string_view table) {
  std::vector<GrayUnit> units;
  const size_t n = table.size();
  for (size_t i = 0; i < n;) {
    const auto b = static_cast<uint8_t>(table[i]);
    const auto next = i + 1 < n ? static_cast<uint8_t>(table[i + 1]) : 0;
    size_t length = 1;
    if (b >= 0x80 || (b < 0x7F && next < 0x7F)) length = 2;
    if (i + length > n) length = n - i;  // a trailing lead byte or single character
    units.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(length)});
    i += length;
  }
  return units;
}

bool CheckGrayTable(std::string_view table, std::string* error) {
  const auto refuse = [&](size_t at, const char* why) {
    if (error) {
      *error = QCoreApplication::translate("TConverter", "灰度表无效: 第%1个字节%2")
                   .arg(at + 1)
                   .arg(QCoreApplication::translate("TConverter", why))
                   .toStdString();
    }
    return false;
  };
  for (size_t i = 0; i < table.size(); ++i) {
    const auto b = static_cast<uint8_t>(table[i]);
    if (b == 0) return refuse(i, QT_TRANSLATE_NOOP("TConverter", "是NUL"));
    if (b == ' ') return refuse(i, QT_TRANSLATE_NOOP("TConverter", "是空格(灰度表中不能含有空格)"));
    if (b < 0x80) continue;
    if (b == 0x80 || b == 0xFF) return refuse(i, QT_TRANSLATE_NOOP("TConverter", "不是GBK字符"));
    if (i + 1 >= table.size()) return refuse(i, QT_TRANSLATE_NOOP("TConverter", "是不完整的GBK字符"));
    const auto trail = static_cast<uint8_t>(table[i + 1]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) {
      return refuse(i, QT_TRANSLATE_NOOP("TConverter", "起始的GBK字符无效"));
    }
    ++i;
  }
  return true;
}

std::string ZeroPad(int64_t value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

std::string StripExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return path;
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > dot) return path;
  return path.substr(0, dot);
}

int IntervalForFrameRate(int framesPerSecond) {
  return framesPerSecond > 0 ? RoundHalfEven(1000.0L / framesPerSecond) : 0;
}

int GrayLevelOf(int red, int green, int blue) {
  // 100 g = 30 R + 59 G + 11 B exactly. Away from a half, the extended sum
  // (off by far less than 0.01) rounds the same way as the exact value, so
  // only the halves need the extended arithmetic itself: there its rounding
  // error decides which side of .5 the sum falls on.
  const int hundred = 30 * red + 59 * green + 11 * blue;
  if (hundred % 100 != 50) return (hundred + 50) / 100;
  const long double g = 0.3L * red + 0.59L * green + 0.11L * blue;
  return RoundHalfEven(g);
}

void AppendHtmlEscaped(std::string_view row, std::string* out) {
  size_t start = 0;
  for (size_t i = 0; i < row.size(); ++i) {
    const char* entity = nullptr;
    switch (row[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      default: continue;
    }
    out->append(row.substr(start, i - start));
    out->append(entity);
    start = i + 1;
  }
  out->append(row.substr(start));
}

namespace {
std::string NthOutputName(const std::string& stem, const std::string& ext, int n) {
  return n == 0 ? stem + ext : stem + "_" + ZeroPad(n, 2) + ext;
}
}  // namespace

std::string FreeOutputName(const std::string& stem, const std::string& ext) {
  int n = 0;
  while (fileio::PathExists(NthOutputName(stem, ext, n))) ++n;
  return NthOutputName(stem, ext, n);
}

bool ClaimOutputName(const std::string& from, std::string& path, const std::string& ext, bool replace,
                     std::string* error) {
  if (replace) return fileio::Rename(from, path, error);
  const std::string stem = StripExtension(path);
  for (int n = 0;; ++n) {
    const std::string name = NthOutputName(stem, ext, n);
    bool taken = false;
    if (fileio::RenameNoReplace(from, name, &taken, error)) {
      path = name;
      return true;
    }
    if (!taken) return false;
  }
}

bool ClaimFolderName(const std::string& from, std::string& path, std::string* error) {
  // An empty folder claims a name in one step on every file system; the
  // rename then replaces it.
  for (int n = 0;; ++n) {
    const std::string name = NthOutputName(path, "", n);
    if (::mkdir(name.c_str(), 0777) != 0) {
      if (errno == EEXIST) continue;
      if (error) *error = fileio::ErrorText("create folder", name, errno);
      return false;
    }
    if (!fileio::Rename(from, name, error)) {
      ::rmdir(name.c_str());
      return false;
    }
    path = name;
    return true;
  }
}

// ---- TConverter ----------------------------------------------------------------

void TConverter::ResetCounters() {
  FrameIndex = 0;
  ConvertedCount = 0;
}

std::string TConverter::IncompleteReason() const {
  const std::string after = " after " + std::to_string(ConvertedCount) + " frames";
  if (!BadBitmapPath.empty()) return "the conversion stopped at " + BadBitmapPath + after;
  if (!EarlyEnd.empty()) return EarlyEnd + "," + after;
  if (ConvertedCount == 0) return "no bitmaps were found";
  return {};
}

ProgressShare TConverter::Progress(int expectedFrames) const {
  if (expectedFrames > 0 && !Merging) return {FrameIndex, expectedFrames};
  return {Merging ? ConvertedCount + FrameIndex : FrameIndex, 2 * ConvertedCount + 1};
}

bool TConverter::CheckOptions(std::string* error) const {
  if (GrayLevels < 1 || GrayLevels > kMaxGrayLevels || GrayTable.empty()) {
    if (error) {
      *error = QCoreApplication::translate("TConverter", "灰度表无效: 灰度级数为 %1, 必须在 1 到 %2 之间")
                   .arg(GrayLevels)
                   .arg(kMaxGrayLevels)
                   .toStdString();
    }
    return false;
  }
  if (!CheckGrayTable(GrayTable, error)) return false;
  if (OutputRect.Right <= 0 || OutputRect.Bottom <= 0) {
    if (error) {
      *error = QCoreApplication::translate("TConverter", "输出尺寸无效: %1 X %2")
                   .arg(OutputRect.Right)
                   .arg(OutputRect.Bottom)
                   .toStdString();
    }
    return false;
  }
  return true;
}

std::string TConverter::UnitForLevel(int gray) const {
  if (GrayLevels < 1 || GrayLevels > kMaxGrayLevels || GrayTable.empty()) return {};
  const int s = RoundHalfEven(256.0L / GrayLevels);
  const int k = gray / s + 1;
  const std::vector<GrayUnit> units = WalkGrayUnits(GrayTable);
  const GrayUnit& u = units[static_cast<size_t>(std::min<int>(k, static_cast<int>(units.size())) - 1)];
  return GrayTable.substr(u.offset, u.length);
}

const TConverter::LevelTable& TConverter::Levels() const {
  if (levels_.levels != GrayLevels || levels_.table != GrayTable || levels_.fine != FinePicture) {
    levels_.levels = GrayLevels;
    levels_.table = GrayTable;
    levels_.fine = FinePicture;
    levels_.widest = 0;
    const bool valid = GrayLevels >= 1 && GrayLevels <= kMaxGrayLevels && !GrayTable.empty();
    std::array<uint16_t, 256> calibrated{};
    if (FinePicture && valid) calibrated = fine::CalibratedLevels(GrayTable);
    const std::vector<GrayUnit> walked = FinePicture ? WalkGrayUnits(GrayTable) : std::vector<GrayUnit>();
    for (size_t g = 0; g < 256; ++g) {
      std::string& unit = levels_.units[g];
      if (FinePicture) {
        const GrayUnit* u = valid ? &walked[calibrated[g]] : nullptr;
        unit = u ? GrayTable.substr(u->offset, u->length) : std::string();
      } else {
        unit = UnitForLevel(static_cast<int>(g));
      }
      LevelTable::Cell& cell = levels_.cells[g];
      cell.length = static_cast<uint8_t>(unit.size());
      std::memcpy(cell.bytes, unit.data(), unit.size());
      levels_.widest = std::max<size_t>(levels_.widest, unit.size());
    }
  }
  return levels_;
}

std::string TConverter::GrayToUnit(int gray) const {
  if (gray < 0 || gray > 255) return {};
  return Levels().units[static_cast<size_t>(gray)];
}

std::string TConverter::PixelToCell(int red, int green, int blue) const {
  return GrayToUnit(GrayLevelOf(red, green, blue));
}

size_t TConverter::AppendFrame(const QImage& bitmap, std::string* out) const {
  if (FinePicture) {
    AppendFineRows(bitmap, out);
    const size_t rowsEnd = out->size();
    AppendFrameEnd(out);
    return rowsEnd;
  }
  const QImage rgb =
      bitmap.format() == QImage::Format_RGB888 ? bitmap : bitmap.convertToFormat(QImage::Format_RGB888);
  const LevelTable& levels = Levels();
  const int width = rgb.width();
  const int height = rgb.height();
  // Size the text for the widest units first, write cells through a pointer,
  // then trim: the inner loop does no bounds checks or reallocation.
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(height) * (static_cast<size_t>(width) * levels.widest + 2));
  char* p = out->data() + start;
  for (int y = 0; y < height; ++y) {
    const uchar* px = rgb.constScanLine(y);
    for (int x = 0; x < width; ++x, px += 3) {
      const LevelTable::Cell& cell = levels.cells[static_cast<size_t>(GrayLevelOf(px[0], px[1], px[2]))];
      std::memcpy(p, cell.bytes, 2);
      p += cell.length;
    }
    *p++ = '\r';
    *p++ = '\n';
  }
  out->resize(static_cast<size_t>(p - out->data()));
  const size_t rowsEnd = out->size();
  AppendFrameEnd(out);
  return rowsEnd;
}

void TConverter::AppendFineRows(const QImage& picture, std::string* out) const {
  const LevelTable& levels = Levels();
  const int width = OutputRect.Right;
  const int height = OutputRect.Bottom;
  fine::AreaMeanGrays(picture, width, height, &cellGrays_);
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(std::max(0, height)) *
                          (static_cast<size_t>(std::max(0, width)) * levels.widest + 2));
  char* p = out->data() + start;
  const uint8_t* gray = cellGrays_.data();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const LevelTable::Cell& cell = levels.cells[*gray++];
      std::memcpy(p, cell.bytes, 2);
      p += cell.length;
    }
    *p++ = '\r';
    *p++ = '\n';
  }
  out->resize(static_cast<size_t>(p - out->data()));
}

void TConverter::AppendFrameEnd(std::string* out) const {
  out->append(FrameMarker);
  out->append(kCrLf, 2);
  out->append("W").append(ZeroPad(OutputRect.Right, 3));
  out->append("V").append(ZeroPad(Interval, 4));
  out->append("F").append(ZeroPad(FrameIndex, 5));
  out->append(kCrLf, 2);
}

std::string TConverter::BitmapToFrame(const QImage& bitmap) {
  std::string frame;
  AppendFrame(bitmap, &frame);
  if (OnProgress) OnProgress(*this);
  return frame;
}

bool TConverter::WritePart(const std::string& folder, int n, const char* extension, std::string_view bytes,
                          std::string* error) {
  if (!fileio::WriteFile(NumberedPath(folder, n, extension), bytes, error)) return false;
  if (n >= 0) {
    if (partSizes_.size() <= static_cast<size_t>(n)) partSizes_.resize(static_cast<size_t>(n) + 1, -1);
    partSizes_[static_cast<size_t>(n)] = static_cast<int64_t>(bytes.size());
  }
  return true;
}

bool NumberedBitmaps::NextPath(std::string* path) {
  if (!scanned_) {
    names_ = frames::BitmapsByNumber(folder_);
    scanned_ = true;
  }
  const auto entry = names_.find(std::to_string(next_));
  if (entry == names_.end()) return false;
  *path = folder_ + entry->second;
  return true;
}

FrameSource::Status NumberedBitmaps::Next(int width, int height, QImage* out, std::string* what) {
  std::string path;
  if (!NextPath(&path)) return Status::End;
  if (!bmp::LoadStretched(path, width, height, &fileBuffer_, out)) {
    if (what) *what = path;
    return Status::Bad;
  }
  ++next_;
  return Status::Picture;
}

FrameSource::Status NumberedBitmaps::NextWhole(QImage* out, std::string* what) {
  std::string path;
  if (!NextPath(&path)) return Status::End;
  if (!bmp::LoadWhole(path, &fileBuffer_, out)) {
    if (what) *what = path;
    return Status::Bad;
  }
  ++next_;
  return Status::Picture;
}

bool TConverter::ConvertPass(FrameSource& source, bool html, const FrameSink& put, std::string* error) {
  ResetCounters();
  BadBitmapPath.clear();
  EarlyEnd.clear();
  partSizes_.clear();
  if (!CheckOptions(error)) return false;

  const int width = OutputRect.Right;
  const int height = OutputRect.Bottom;
  QImage picture;          // the working picture (stretched, or whole for the fine picture), reused
  std::string frame;       // the frame text, reused
  std::string part;        // the HTML block, reused

  for (;;) {
    if (fileio::InterruptRequested()) {
      if (error) *error = kInterrupted;
      return false;
    }
    std::string bad;
    // The fine picture averages the whole picture itself.
    const FrameSource::Status status =
        FinePicture ? source.NextWhole(&picture, &bad) : source.Next(width, height, &picture, &bad);
    if (status == FrameSource::Status::End) break;
    if (status == FrameSource::Status::EndsEarly) {
      EarlyEnd = bad;
      break;
    }
    if (status == FrameSource::Status::Failed) {
      if (error) *error = bad;
      return false;
    }
    if (status == FrameSource::Status::Bad) {
      BadBitmapPath = bad;
      if (OnBadBitmap) OnBadBitmap(bad);
      break;
    }
    frame.clear();
    const size_t rowsEnd = AppendFrame(picture, &frame);
    if (OnProgress) OnProgress(*this);

    const std::string* bytes = &frame;
    if (html) {
      part.clear();
      part.append("<div style=\"position:absolute; top: 22px\" id=text");
      part.append(std::to_string(FrameIndex));
      part.append(" ><pre>");
      // Rows are escaped; the marker and info lines are not.
      AppendHtmlEscaped(std::string_view(frame).substr(0, rowsEnd), &part);
      part.append(frame, rowsEnd);
      part.append("</pre></div>\r\n");
      bytes = &part;
    }
    if (!put(FrameIndex, *bytes, error)) return false;
    ++FrameIndex;
    ++ConvertedCount;
  }
  return true;
}

bool TConverter::ConvertToFiles(FrameSource& source, int first, const std::string& outFolder,
                                const char* extension, bool html, std::string* error) {
  return ConvertPass(source, html,
                     [&](int index, const std::string& bytes, std::string* e) {
                       return WritePart(outFolder, first + index, extension, bytes, e);
                     },
                     error);
}

bool TConverter::ConvertBitmapsToText(const std::string& outFolder, const std::string& inFolder, int first,
                                      std::string* error) {
  NumberedBitmaps source(inFolder, first);
  return ConvertToFiles(source, first, outFolder, ".txt", false, error);
}

bool TConverter::ConvertFramesToText(FrameSource& source, const std::string& outFolder, std::string* error) {
  return ConvertToFiles(source, 1, outFolder, ".txt", false, error);
}

bool TConverter::ConvertFramesToHtml(FrameSource& source, const std::string& folder, std::string* error) {
  return ConvertToFiles(source, 1, folder, ".htm", true, error);
}

namespace {

// The page head: the template's lines with lines 8 and 9 replaced, CR LF ends.
bool BuildPageHead(const std::string& templatePath, int32_t lastId, int32_t delay, std::string* head,
                   std::string* error) {
  std::string text;
  if (!fileio::ReadFile(templatePath, &text, error)) {
    if (error) *error = "Cannot use the page template: " + *error;
    return false;
  }
  std::vector<std::string_view> lines = SplitLines(text);
  if (lines.size() < 9) {
    if (error) *error = "The page template has fewer than 9 lines: " + templatePath;
    return false;
  }
  const std::string maxPics = "var max_pics=" + std::to_string(lastId) + ";";
  const std::string delayLine = "var delay=" + std::to_string(delay) + ";";
  lines[7] = maxPics;
  lines[8] = delayLine;
  head->clear();
  for (std::string_view line : lines) head->append(line).append(kCrLf, 2);
  return true;
}

}  // namespace

bool TConverter::WriteHtmlHeadAndTail(const std::string& folder, const std::string& templatePath,
                                      std::string* error) {
  std::string head;
  if (!BuildPageHead(templatePath, ConvertedCount - 1, Interval, &head, error)) return false;
  if (!WritePart(folder, 0, ".htm", head, error)) return false;
  return WritePart(folder, ConvertedCount + 1, ".htm", "</BODY></HTML>\r\n", error);
}

bool TConverter::MergeParts(const std::string& joined, const std::string& folder, int from, int to,
                            const char* extension, std::string* error) {
  Merging = true;
  fileio::Writer out;
  std::string part;
  bool ok = out.Open(joined, fileio::Writer::Mode::Truncate);
  for (int n = from; ok && n <= to; ++n) {
    const std::string partPath = NumberedPath(folder, n, extension);
    ok = fileio::ReadFile(partPath, &part, error);
    if (!ok) break;
    const int64_t expected = static_cast<size_t>(n) < partSizes_.size() ? partSizes_[static_cast<size_t>(n)] : -1;
    if (static_cast<int64_t>(part.size()) != expected) {
      if (error) {
        *error = "The frame file " + partPath + " changed during the merge: " + std::to_string(expected) +
                 " bytes were written, " + std::to_string(part.size()) + " were read";
      }
      ok = false;
      break;
    }
    ok = out.Write(part);
    if (!ok) break;
    // The part is in the joined file now: it goes at once, so the disk holds
    // the movie plus one frame file, never two copies of the movie.
    fileio::RemoveFile(partPath, nullptr);
    FrameIndex = n;
    if (OnProgress) OnProgress(*this);
    if (fileio::InterruptRequested()) {
      if (error) *error = kInterrupted;
      ok = false;
    }
  }
  if (ok) ok = out.Commit();
  if (!out.Error().empty() && error) *error = out.Error();
  out.Discard();
  Merging = false;
  return ok;
}

bool TConverter::PlaceOutput(const std::string& joined, std::string& path, const char* extension, Existing existing,
                             std::string* error) {
  // A signal that came after the last frame, before the output is in place,
  // still stops the run: what was there stays.
  if (fileio::InterruptRequested()) {
    if (error) *error = kInterrupted;
    return false;
  }
  if (existing == Existing::FreeName || CompleteRun() || !fileio::PathExists(path)) {
    return ClaimOutputName(joined, path, extension, existing != Existing::FreeName, error);
  }
  // An incomplete run never replaces what is there.
  const std::string kept = path;
  std::string why = IncompleteReason();
  if (existing == Existing::Replace) {
    if (!ClaimOutputName(joined, path, extension, false, error)) return false;
    why += "; the frames converted are in " + path;
  }
  if (error) *error = kept + " was kept as it was: " + why;
  return false;
}

bool TConverter::MakeTextMovie(std::string& path, Existing existing, std::string* error) {
  const std::string folder = FolderPart(path);
  fileio::PrivateFolder work;
  if (!CheckOptions(error) || !work.Create(folder, error)) return false;
  if (!ConvertBitmapsToText(work.Path(), folder, 1, error)) return false;
  // Named after the output (so faults aimed at it find it), never like a frame file.
  const std::string joined = work.Path() + "joined." + path.substr(folder.size());
  if (!MergeParts(joined, work.Path(), 1, ConvertedCount, ".txt", error)) return false;
  return PlaceOutput(joined, path, ".txt", existing, error);
}

bool TConverter::StreamTextMovie(FrameSource& source, std::string& path, Existing existing, std::string* error) {
  const std::string folder = FolderPart(path);
  fileio::PrivateFolder work;
  if (!CheckOptions(error) || !work.Create(folder, error)) return false;
  // The frames go straight into the movie: no frame files, the disk needs the movie alone.
  const std::string joined = work.Path() + "joined." + path.substr(folder.size());
  fileio::Writer out;
  bool ok = out.Open(joined, fileio::Writer::Mode::Truncate) &&
            ConvertPass(source, false, [&](int, const std::string& bytes, std::string*) { return out.Write(bytes); },
                        error) &&
            out.Commit();
  if (!out.Error().empty() && error) *error = out.Error();
  out.Discard();
  return ok && PlaceOutput(joined, path, ".txt", existing, error);
}

bool TConverter::MakeWebPage(std::string& path, const std::string& templatePath, std::string* error) {
  NumberedBitmaps source(FolderPart(path), 1);
  return MakeWebPage(source, path, templatePath, error);
}

bool TConverter::MakeWebPage(FrameSource& source, std::string& path, const std::string& templatePath,
                             std::string* error) {
  const std::string folder = FolderPart(path);
  // Check the template before any file is written, so a missing one costs nothing.
  std::string head;
  if (!CheckOptions(error) || !BuildPageHead(templatePath, 0, 0, &head, error)) return false;
  fileio::PrivateFolder work;
  if (!work.Create(folder, error)) return false;
  if (!ConvertFramesToHtml(source, work.Path(), error)) return false;
  if (!WriteHtmlHeadAndTail(work.Path(), templatePath, error)) return false;
  const std::string joined = work.Path() + "joined." + path.substr(folder.size());
  if (!MergeParts(joined, work.Path(), 0, ConvertedCount + 1, ".htm", error)) return false;
  return PlaceOutput(joined, path, ".htm", Existing::FreeName, error);
}
