#include "PlayerSupport.h"

#include "support/TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace player_support {

namespace {
const std::string kMarker = "\x80\x80";
}

std::vector<MovieFrame> SplitMovie(const std::string& bytes) {
  std::vector<MovieFrame> frames;
  MovieFrame frame;
  bool infoNext = false;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "movie file does not end with CR LF";
      break;
    }
    std::string line = bytes.substr(at, end - at);
    at = end + 2;
    if (infoNext) {
      frame.info = line;
      frames.push_back(frame);
      frame = MovieFrame();
      infoNext = false;
    } else if (line == kMarker) {
      infoNext = true;
    } else {
      frame.rows.push_back(line);
    }
  }
  EXPECT_TRUE(frame.rows.empty() && !infoNext) << "movie file ends inside a frame";
  return frames;
}

void WriteRampBitmaps(const std::string& folder, int count, int width, int height) {
  for (int n = 1; n <= count; ++n) {
    const QImage image = testing_support::MakeImage(width, height, [&](int x, int y) -> unsigned {
      if (y == 0) return 0x000000;
      const unsigned level = static_cast<unsigned>(((x + n) % width) * 255 / (width - 1));
      return level << 16 | level << 8 | level;
    });
    testing_support::WriteBmp(folder + std::to_string(n) + ".bmp", image);
  }
}

void SetUpEngine(TConverter& engine, const std::string& table, int width, int height, int intervalMs) {
  engine.FrameMarker = kMarker;
  engine.GrayTable = table;
  engine.GrayLevels = CountGrayUnits(table);
  engine.Interval = intervalMs;
  engine.OutputRect = Rect{0, 0, width, height};
}

ConversionResult Convert(TConverter& engine, OutputForm form, const std::string& recordFolder,
                         const std::string& videoFileName) {
  ConversionRequest request;
  request.form = form;
  request.recordFolder = recordFolder;
  request.videoFileName = videoFileName;
  request.supportFolder = testing_support::BuiltAppPath() + "dll/";
  request.overwrite = true;
  ConversionResult result = RunConversion(request, engine);
  EXPECT_TRUE(result.ok) << result.error;
  return result;
}

ToolRun RunTool(const QString& program, const QStringList& arguments, int timeoutMs,
                const QString& workingFolder) {
  ToolRun run;
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  if (!workingFolder.isEmpty()) process.setWorkingDirectory(workingFolder);
  process.start(program, arguments);
  run.started = process.waitForStarted(10000);
  if (!run.started) return run;
  run.finished = process.waitForFinished(timeoutMs);
  if (!run.finished) {
    process.kill();
    process.waitForFinished(5000);
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

}  // namespace player_support
