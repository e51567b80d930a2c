// Running the built glyphreel-cli from the tests, and the inputs they give it.
#pragma once

#include "conversion/ConversionOutput.h"

#include <QImage>
#include <QProcess>

#include <string>
#include <vector>

namespace cli_test {

struct CliRun {
  int status = -1;  // the exit status; -1 when the program was killed by a signal
  std::string out, err;
  std::string LastLine() const;
};

std::string CliProgram();
// Runs glyphreel-cli with `args` to its end.
CliRun Cli(const std::vector<std::string>& args, const std::string& program = CliProgram());
// Starts glyphreel-cli with `args` without waiting; Finish() collects it.
void StartCli(QProcess* process, const std::vector<std::string>& args);
// Waits for it to end; one that does not end in `timeoutMs` is killed, and the test fails.
CliRun Finish(QProcess* process, int timeoutMs = 120000);

// Test picture n, 64 x 48, a different pattern for every n.
QImage Picture(int n);
// Writes folder + "1.bmp" .. frames + ".bmp".
void Record(const std::string& folder, int frames);
// What the window's conversion run writes for `frames` test pictures and the options.
std::string Expected(OutputForm form, int sizeIndex, int interval, const std::string& table, int frames);
// A test clip of `frames` pictures, 25 a second, as an AVI file at `path`.
std::string Clip(const std::string& path, int frames);

}  // namespace cli_test
