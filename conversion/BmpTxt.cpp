#include "conversion/BmpTxt.h"

#include "common/FileWrite.h"
#include "conversion/BmpReader.h"

#include <cmath>
#include <cstring>

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

std::string FreeOutputName(const std::string& stem, const std::string& ext) {
  std::string name = stem + ext;
  for (int n = 1; fileio::PathExists(name); ++n) name = stem + "_" + ZeroPad(n, 2) + ext;
  return name;
}

// ---- TConverter ----------------------------------------------------------------

void TConverter::ResetCounters() {
  FrameIndex = 0;
  ConvertedCount = 0;
}

bool TConverter::CheckOptions(std::string* error) const {
  if (GrayLevels < 1 || GrayLevels > kMaxGrayLevels || GrayTable.empty()) {
    if (error) {
      *error = "灰度表无效: 灰度级数为 " + std::to_string(GrayLevels) + ", 必须在 1 到 " +
               std::to_string(kMaxGrayLevels) + " 之间";
    }
    return false;
  }
  if (OutputRect.Right <= 0 || OutputRect.Bottom <= 0) {
    if (error) {
      *error = "输出尺寸无效: " + std::to_string(OutputRect.Right) + " X " + std::to_string(OutputRect.Bottom);
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
  if (levels_.levels != GrayLevels || levels_.table != GrayTable) {
    levels_.levels = GrayLevels;
    levels_.table = GrayTable;
    levels_.widest = 0;
    for (size_t g = 0; g < 256; ++g) {
      std::string& unit = levels_.units[g];
      unit = UnitForLevel(static_cast<int>(g));
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
  out->append(FrameMarker);
  out->append(kCrLf, 2);
  out->append("W").append(ZeroPad(OutputRect.Right, 3));
  out->append("V").append(ZeroPad(Interval, 4));
  out->append("F").append(ZeroPad(FrameIndex, 5));
  out->append(kCrLf, 2);
  return rowsEnd;
}

std::string TConverter::BitmapToFrame(const QImage& bitmap) {
  std::string frame;
  AppendFrame(bitmap, &frame);
  if (OnProgress) OnProgress(*this);
  return frame;
}

FrameSource::Status NumberedBitmaps::Next(int width, int height, QImage* out, std::string* what) {
  const std::string path = NumberedPath(folder_, next_, ".bmp");
  if (!fileio::FileExists(path)) return Status::End;
  if (!bmp::LoadStretched(path, width, height, &fileBuffer_, out)) {
    if (what) *what = path;
    return Status::Bad;
  }
  ++next_;
  return Status::Picture;
}

bool TConverter::ConvertPass(FrameSource& source, bool html, const FrameSink& put, std::string* error) {
  ResetCounters();
  BadBitmapPath.clear();
  if (!CheckOptions(error)) return false;

  const int width = OutputRect.Right;
  const int height = OutputRect.Bottom;
  QImage picture;          // the stretched working bitmap, reused
  std::string frame;       // the frame text, reused
  std::string part;        // the HTML block, reused

  for (;;) {
    std::string bad;
    const FrameSource::Status status = source.Next(width, height, &picture, &bad);
    if (status == FrameSource::Status::End) break;
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
                       return fileio::WriteFile(NumberedPath(outFolder, first + index, extension), bytes, e);
                     },
                     error);
}

bool TConverter::ConvertBitmapsToText(const std::string& outFolder, const std::string& inFolder, int first,
                                      std::string* error) {
  NumberedBitmaps source(inFolder, first);
  return ConvertToFiles(source, first, outFolder, ".txt", false, error);
}

bool TConverter::ConvertBitmapsToHtml(const std::string& folder, int first, std::string* error) {
  NumberedBitmaps source(folder, first);
  return ConvertToFiles(source, first, folder, ".htm", true, error);
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
  if (!fileio::WriteFile(folder + "0.htm", head, error)) return false;
  return fileio::WriteFile(NumberedPath(folder, ConvertedCount + 1, ".htm"), "</BODY></HTML>\r\n", error);
}

bool TConverter::MergeParts(std::string& path, const std::string& folder, int from, int to,
                            const char* extension, std::string* error) {
  Merging = true;
  fileio::Writer out;
  std::string part;
  bool ok = out.Open(path, fileio::Writer::Mode::Atomic);
  for (int n = from; ok && n <= to; ++n) {
    ok = fileio::ReadFile(NumberedPath(folder, n, extension), &part, error) && out.Write(part);
    if (ok) {
      FrameIndex = n;
      if (OnProgress) OnProgress(*this);
    }
  }
  ok = ok && out.Commit();
  if (!ok && error && !out.Error().empty()) *error = out.Error();
  out.Discard();
  Merging = false;
  if (!ok) return false;

  // Only now that the whole output is in place do the parts go. A part whose
  // name the output took (a video called 1.avi) is the output now.
  for (int n = from; n <= to; ++n) {
    const std::string partPath = NumberedPath(folder, n, extension);
    if (partPath != path) fileio::RemoveFile(partPath, nullptr);
  }
  return true;
}

bool TConverter::MakeTextMovie(std::string& path, bool overwrite, std::string* error) {
  const std::string folder = FolderPart(path);
  if (!ConvertBitmapsToText(folder, folder, 1, error)) return false;
  if (!overwrite) path = FreeOutputName(StripExtension(path), ".txt");
  return MergeParts(path, folder, 1, ConvertedCount, ".txt", error);
}

bool TConverter::StreamTextMovie(FrameSource& source, std::string& path, bool overwrite, std::string* error) {
  if (!CheckOptions(error)) return false;
  if (!overwrite) path = FreeOutputName(StripExtension(path), ".txt");
  fileio::Writer out;
  if (!out.Open(path, fileio::Writer::Mode::Atomic)) {
    if (error) *error = out.Error();
    return false;
  }
  const bool ok = ConvertPass(source, false,
                              [&](int, const std::string& bytes, std::string*) { return out.Write(bytes); },
                              error) &&
                  out.Commit();
  if (!ok && error && !out.Error().empty()) *error = out.Error();
  out.Discard();
  return ok;
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
  if (!ConvertFramesToHtml(source, folder, error)) return false;
  if (!WriteHtmlHeadAndTail(folder, templatePath, error)) return false;
  path = FreeOutputName(StripExtension(path), ".htm");
  return MergeParts(path, folder, 0, ConvertedCount + 1, ".htm", error);
}
