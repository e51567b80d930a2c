// A conversion as the command line asks for it, shared by convert and make:
// the options are parsed once into the engine and the request, then run with
// progress on the terminal and the result reported.
#pragma once

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "conversion/ConversionOutput.h"

#include <string>
#include <vector>

namespace cli {

struct ConvertJob {
  TConverter engine;
  ConversionRequest request;
};

// The conversion options every command that converts takes.
inline const std::vector<std::string> kConvertFlags = {"overwrite"};
inline const std::vector<std::string> kConvertOptions = {"form", "size", "fps", "interval", "gray", "gray-file",
                                                        "picture"};

// The interval in milliseconds of the frame rate --fps gives (1 to
// kMaxFramesPerSecond, default 10). Throws UsageError for another rate.
int IntervalOfFps(const Arguments& a);

// The job for the record folder `folder` (ends with "/") and outputs named
// after `videoName`, from the options of `a`. Throws UsageError for bad options.
ConvertJob MakeConvertJob(const Context& context, const Arguments& a, const std::string& folder,
                          const std::string& videoName);

// Runs the job over the folder's bitmaps (streamed into the output, no file
// per frame), or over `source` when given (`expectedFrames`, when known,
// scales the progress bar). Prints the result as convert does; the exit status.
int RunConvertJob(const Context& context, ConvertJob& job, FrameSource* source = nullptr, int expectedFrames = 0);

}  // namespace cli
