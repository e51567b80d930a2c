// The engine's bitmap path on arbitrary bytes saved as 1.bmp: loaded and
// stretched to a small output size (or, for the fine picture, loaded whole
// and averaged into cells), then made into a character frame by a
// conversion pass. Either the frame has the expected shape (H rows of W gray
// units, the marker line, the info line) or the bitmap is reported bad (the
// window then shows "图片格式错误") and nothing is written; never a crash, a
// hang or a read past the data (AddressSanitizer watches the last one: the
// bytes are also decoded straight from libFuzzer's exactly sized buffer).
#include "common/FileWrite.h"
#include "common/FrameFolder.h"
#include "common/Gbk.h"
#include "conversion/BmpReader.h"
#include "conversion/BmpTxt.h"
#include "fuzz/FuzzSupport.h"

#include <QImage>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

namespace {

constexpr int kWidth = 8;
constexpr int kHeight = 6;
constexpr int kInterval = 67;
const std::string kMarker = kFrameMarker;

// Whether `row` is exactly kWidth units of the (two-byte) default table.
bool IsRowOfUnits(std::string_view row, const std::set<std::string>& units) {
  if (row.size() != 2 * kWidth) return false;
  for (size_t i = 0; i < row.size(); i += 2) {
    if (!units.count(std::string(row.substr(i, 2)))) return false;
  }
  return true;
}

void CheckFrameShape(std::string_view frame, const std::set<std::string>& units) {
  size_t at = 0;
  for (int y = 0; y < kHeight; ++y) {
    const size_t end = frame.find("\r\n", at);
    FUZZ_CHECK(end != std::string_view::npos);
    FUZZ_CHECK(IsRowOfUnits(frame.substr(at, end - at), units));
    at = end + 2;
  }
  const std::string tail = kMarker + "\r\nW008V0067F00000\r\n";
  FUZZ_CHECK(frame.substr(at) == tail);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Qt's BMP reader warns about every malformed palette it meets; those
  // warnings are the expected answer to bad input, not findings.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string inFolder = fuzzing::ScratchFolder() + "bmp/";
  const std::string outFolder = fuzzing::ScratchFolder() + "txt/";
  static const bool made = fileio::MakePath(inFolder, nullptr) && fileio::MakePath(outFolder, nullptr);
  FUZZ_CHECK(made);
  const std::string bitmapPath = frames::BitmapPath(inFolder, 1);
  const std::string framePath = outFolder + "1.txt";
  fileio::RemoveFile(framePath, nullptr);
  fuzzing::WriteInput(bitmapPath, bytes);

  // Straight from the input buffer: a read past its end is an ASan report.
  QImage direct;
  const bool decoded = bmp::DecodeStretched(bytes, kWidth, kHeight, &direct);
  if (decoded) {
    FUZZ_CHECK(direct.width() == kWidth && direct.height() == kHeight);
    FUZZ_CHECK(direct.format() == QImage::Format_RGB888);
  }

  TConverter converter;
  converter.GrayTable = gbk::DefaultGrayTable();
  converter.GrayLevels = CountGrayUnits(converter.GrayTable);
  converter.Interval = kInterval;
  converter.OutputRect = Rect{0, 0, kWidth, kHeight};
  converter.FrameMarker = kMarker;
  int badReports = 0;
  converter.OnBadBitmap = [&](const std::string& path) {
    FUZZ_CHECK(path == bitmapPath);
    ++badReports;
  };

  std::string error;
  FUZZ_CHECK(converter.ConvertBitmapsToText(outFolder, inFolder, 1, &error));
  if (!decoded) {
    // A bad bitmap: reported once, no frame written.
    FUZZ_CHECK(badReports == 1);
    FUZZ_CHECK(converter.BadBitmapPath == bitmapPath);
    FUZZ_CHECK(converter.ConvertedCount == 0);
    FUZZ_CHECK(!fileio::FileExists(framePath));
    // The fine picture, which reads the bitmap whole, refuses it too.
    converter.FinePicture = true;
    FUZZ_CHECK(converter.ConvertBitmapsToText(outFolder, inFolder, 1, &error));
    FUZZ_CHECK(badReports == 2 && converter.ConvertedCount == 0);
    return 0;
  }
  FUZZ_CHECK(badReports == 0 && converter.BadBitmapPath.empty());
  FUZZ_CHECK(converter.ConvertedCount == 1);

  std::string frame;
  FUZZ_CHECK(fileio::ReadFile(framePath, &frame, nullptr));
  std::set<std::string> units;
  for (const GrayUnit& unit : WalkGrayUnits(converter.GrayTable)) {
    units.insert(converter.GrayTable.substr(unit.offset, unit.length));
  }
  CheckFrameShape(frame, units);

  // The fine picture reads the same bitmap whole and averages it into cells:
  // a frame of the same shape, of the same table's units.
  converter.FinePicture = true;
  FUZZ_CHECK(converter.ConvertBitmapsToText(outFolder, inFolder, 1, &error));
  FUZZ_CHECK(badReports == 0 && converter.ConvertedCount == 1);
  std::string fineFrame;
  FUZZ_CHECK(fileio::ReadFile(framePath, &fineFrame, nullptr));
  CheckFrameShape(fineFrame, units);

  // The file path and the in-memory path give the same frame.
  TConverter again;
  again.GrayTable = converter.GrayTable;
  again.GrayLevels = converter.GrayLevels;
  again.Interval = kInterval;
  again.OutputRect = converter.OutputRect;
  again.FrameMarker = kMarker;
  FUZZ_CHECK(again.BitmapToFrame(direct) == frame);
  return 0;
}
