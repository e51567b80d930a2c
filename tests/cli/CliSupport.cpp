#include "CliSupport.h"

#include "conversion/ConversionOutput.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"

#include <gtest/gtest.h>

namespace cli_test {

using namespace testing_support;

std::string CliRun::LastLine() const {
  std::string s = out;
  while (!s.empty() && s.back() == '\n') s.pop_back();
  const size_t nl = s.rfind('\n');
  return nl == std::string::npos ? s : s.substr(nl + 1);
}

std::string CliProgram() { return BuiltAppPath() + "glyphreel-cli"; }

void StartCli(QProcess* process, const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  process->start(QString::fromStdString(CliProgram()), list);
  EXPECT_TRUE(process->waitForStarted(60000)) << "glyphreel-cli did not start";
}

CliRun Finish(QProcess* process, int timeoutMs) {
  if (process->state() != QProcess::NotRunning && !process->waitForFinished(timeoutMs)) {
    ADD_FAILURE() << "glyphreel-cli did not finish in " << timeoutMs << " ms";
    process->kill();
    process->waitForFinished();
  }
  CliRun r;
  r.status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
  r.out = process->readAllStandardOutput().toStdString();
  r.err = process->readAllStandardError().toStdString();
  return r;
}

CliRun Cli(const std::vector<std::string>& args, const std::string& program) {
  QProcess p;
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  p.start(QString::fromStdString(program), list);
  return Finish(&p);
}

QImage Picture(int n) {
  return MakeImage(64, 48, [n](int x, int y) { return 0x010101u * static_cast<unsigned>((x * 4 + y + n * 16) % 256); });
}

void Record(const std::string& folder, int frames) {
  for (int n = 1; n <= frames; ++n) WriteBmp(folder + std::to_string(n) + ".bmp", Picture(n));
}

std::string Expected(OutputForm form, int sizeIndex, int interval, const std::string& table, int frames) {
  TempFolder dir;
  Record(dir.Path(), frames);
  TConverter engine;
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = table;
  engine.GrayLevels = CountGrayUnits(table);
  engine.Interval = interval;
  engine.OutputRect = StandardOutputSizes()[static_cast<size_t>(sizeIndex)];
  ConversionRequest request{form, dir.Path(), "movie", BuiltAppPath() + "dll/", false};
  const ConversionResult r = RunConversion(request, engine);
  EXPECT_TRUE(r.ok) << r.error;
  return ReadAll(form == OutputForm::Excel ? r.textFileName : r.outputPath);
}

std::string Clip(const std::string& path, int frames) {
  ClipSpec clipSpec;
  clipSpec.format = FormatFor(".avi");
  clipSpec.frameCount = frames;  // 25 a second
  std::string error;
  EXPECT_TRUE(WriteTestVideo(path, clipSpec, &error)) << error;
  return path;
}

}  // namespace cli_test
