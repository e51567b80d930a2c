// Helpers for the tests that play converted movies in outside programs (a
// browser, a spreadsheet program): engine-written inputs and a way to run a
// program with a time limit.
#pragma once

#include "conversion/ConversionOutput.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace player_support {

// One character frame of a movie file: its rows without line ends, and the
// info line.
struct MovieFrame {
  std::vector<std::string> rows;
  std::string info;
};

// Splits the bytes of a character-movie file at its marker lines. Fails the
// test (and returns what it has) when the file does not end on a frame.
std::vector<MovieFrame> SplitMovie(const std::string& bytes);

// Writes `count` bitmaps 1.bmp .. of width x height pixels into `folder`.
// Frame n is a left-to-right ramp shifted by n columns, with a black first
// row, so the darkest and the lightest units both appear and every frame
// differs from the one before.
void WriteRampBitmaps(const std::string& folder, int count, int width, int height);

// An engine set up as the window sets it: the marker, the table, its level
// count, the interval, and an output size of width x height cells.
void SetUpEngine(TConverter& engine, const std::string& table, int width, int height, int intervalMs);

// Converts the bitmaps of `recordFolder` in `form` with the program's
// support files; fails the test when the run reports an error.
ConversionResult Convert(TConverter& engine, OutputForm form, const std::string& recordFolder,
                         const std::string& videoFileName);

struct ToolRun {
  bool started = false;
  bool finished = false;  // within the time limit
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `arguments` and no standard input, waiting at most
// timeoutMs; a program still running then is killed.
ToolRun RunTool(const QString& program, const QStringList& arguments, int timeoutMs,
                const QString& workingFolder = QString());

}  // namespace player_support
