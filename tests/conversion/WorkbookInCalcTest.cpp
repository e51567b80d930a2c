// The Excel form played by a real spreadsheet program: the engine writes
// data.xxx and copies the workbook template beside it, in a folder whose
// name has Chinese characters and a space; a headless LibreOffice Calc of the
// test's own opens the workbook (calc_play.py drives it) and column A must
// end showing the last frame's rows exactly.
#include "PlayerSupport.h"

#include "common/Gbk.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

using player_support::MovieFrame;

constexpr int kWidth = 10;     // cells per row
constexpr int kHeight = 5;     // rows per frame
constexpr int kFrames = 3;
constexpr int kIntervalMs = 100;
constexpr int kCalcTimeoutMs = 58000;  // the driver kills its program after 50 s
const char* const kSystemPython = "/usr/bin/python3";  // the Python that has uno

struct CalcReport {
  QString hint;          // A1 with macros off
  QStringList rows;      // column A at the end
  bool sawChange = false;
  QString error;
};

// Runs the driver on `workbook`, waiting for column A to show `expected`.
CalcReport PlayInCalc(const std::string& workbook, const QStringList& expected, const std::string& scratch) {
  const std::string expectedFile = scratch + "expected.txt";
  const std::string reportFile = scratch + "report.json";
  testing_support::WriteAll(expectedFile, (expected.join(QLatin1Char('\n')) + QLatin1Char('\n')).toStdString());
  const player_support::ToolRun run = player_support::RunTool(
      QString::fromLatin1(kSystemPython),
      {QStringLiteral(GLYPHREEL_SOURCE_DIR "/tests/conversion/calc_play.py"), QString::fromStdString(workbook),
       QString::fromStdString(expectedFile), QString::fromStdString(reportFile)},
      kCalcTimeoutMs);
  CalcReport report;
  if (!run.finished || run.exitCode != 0) {
    report.error = QStringLiteral("driver failed (exit %1): %2").arg(run.exitCode).arg(QString::fromStdString(run.err));
    return report;
  }
  const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(testing_support::ReadAll(reportFile))).object();
  report.hint = json.value(QStringLiteral("hint")).toString();
  for (const QJsonValue& row : json.value(QStringLiteral("rows")).toArray()) report.rows << row.toString();
  report.sawChange = json.value(QStringLiteral("saw_change")).toBool();
  report.error = json.value(QStringLiteral("error")).toString();
  return report;
}

// Rows built to trip a spreadsheet: a black first row of "厲"; a row from
// light to dark that starts with blanks; rows of one mid gray that read as a
// number ("0101...") and as a formula ("=1=1..."); and a ramp through every
// unit, including 亐 (0x81 0x80), which a gb2312 decoder would lose.
QImage TrickyPicture(int frame) {
  return testing_support::MakeImage(kWidth, kHeight, [frame](int x, int y) -> unsigned {
    unsigned level = 0;
    switch (y) {
      case 0: level = 0; break;
      case 1: level = 255 - static_cast<unsigned>(x * 255 / (kWidth - 1)); break;
      case 2: level = 110; break;
      case 3: level = 80; break;
      default: level = static_cast<unsigned>(((x + frame) % kWidth) * 255 / (kWidth - 1)); break;
    }
    return level << 16 | level << 8 | level;
  });
}

class WorkbookInCalc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFile::exists(QString::fromLatin1(kSystemPython)));
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        << "LibreOffice is not installed: run tools/install-deps.sh";
    ASSERT_TRUE(testing_support::Exists(testing_support::BuiltAppPath() + "dll/xls.dll"));
    movieFolder_ = folder_.Path() + "字符 电影/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(movieFolder_)));
  }

  testing_support::TempFolder folder_;
  std::string movieFolder_;
};

TEST_F(WorkbookInCalc, PlaysTheEngineWrittenMovieToItsLastFrame) {
  for (int n = 1; n <= kFrames; ++n)
    testing_support::WriteBmp(movieFolder_ + std::to_string(n) + ".bmp", TrickyPicture(n));
  TConverter engine;
  const std::string table = gbk::EncodeOrThrow(QStringLiteral("厲")) + "=101" +
                            gbk::EncodeOrThrow(QStringLiteral("亐")) + "..";
  player_support::SetUpEngine(engine, table, kWidth, kHeight, kIntervalMs);
  const ConversionResult result = player_support::Convert(engine, OutputForm::Excel, movieFolder_, "clip.avi");
  ASSERT_TRUE(result.workbookCopied);
  ASSERT_EQ(result.outputPath, movieFolder_ + "clip.xls");

  const std::vector<MovieFrame> frames =
      player_support::SplitMovie(testing_support::ReadAll(movieFolder_ + "data.xxx"));
  ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
  QStringList lastRows;
  for (const std::string& row : frames.back().rows) lastRows << gbk::Decode(row);
  // The rows are as tricky as meant: dots first (a table cannot hold a
  // single-byte space), a number, a formula, 亐.
  ASSERT_TRUE(lastRows[0].startsWith(QStringLiteral("厲厲")));
  ASSERT_TRUE(lastRows[1].startsWith(QStringLiteral("..")));
  ASSERT_TRUE(lastRows[2].startsWith(QStringLiteral("0101")));
  ASSERT_TRUE(lastRows[3].startsWith(QStringLiteral("=1=1")));
  ASSERT_TRUE(lastRows.join(QString()).contains(QStringLiteral("亐")));

  const CalcReport report = PlayInCalc(result.outputPath, lastRows, folder_.Path());
  ASSERT_TRUE(report.error.isEmpty()) << report.error.toStdString();
  EXPECT_TRUE(report.hint.contains(QStringLiteral("启用宏"))) << report.hint.toStdString();
  EXPECT_TRUE(report.hint.contains(QStringLiteral("enable macros"))) << report.hint.toStdString();
  EXPECT_TRUE(report.sawChange) << "A1 never left the hint";
  EXPECT_EQ(report.rows, lastRows) << "column A: " << report.rows.join(QStringLiteral(" | ")).toStdString();
}

// Without a movie to play the sheet says so: data.xxx missing, or holding
// lines but no frame (no marker line).
TEST_F(WorkbookInCalc, SaysSoWhenThereIsNoMovieToPlay) {
  const QStringList message = {QStringLiteral("未找到 data.xxx，或其中没有字符帧。 data.xxx is missing from this "
                                              "workbook's folder or holds no frame.")};
  const struct {
    const char* name;
    const char* data;  // nullptr: no data.xxx
  } cases[] = {{"missing", nullptr}, {"no frame", "ab\r\ncd\r\nW002V0100F00001\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = movieFolder_ + c.name + "/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    if (c.data) testing_support::WriteAll(folder + "data.xxx", c.data);
    const std::string workbook = folder + "clip.xls";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testing_support::BuiltAppPath() + "dll/xls.dll"),
                            QString::fromStdString(workbook)));
    const CalcReport report = PlayInCalc(workbook, message, folder);
    ASSERT_TRUE(report.error.isEmpty()) << report.error.toStdString();
    EXPECT_EQ(report.rows, message) << "column A: " << report.rows.join(QStringLiteral(" | ")).toStdString();
  }
}

}  // namespace
