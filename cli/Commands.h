// The subcommands of glyphreel-cli. Each takes the words after its name and
// returns the exit status; results go to standard output, messages to
// standard error. Bad arguments throw cli::UsageError.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct Context {
  std::string appPath;  // the program folder, with dll/ beside the program; ends with "/"
};

int ConvertCommand(const Context& context, const std::vector<std::string>& args);
int RecordCommand(const Context& context, const std::vector<std::string>& args);
int MakeCommand(const Context& context, const std::vector<std::string>& args);
int InfoCommand(const Context& context, const std::vector<std::string>& args);
int FrameCommand(const Context& context, const std::vector<std::string>& args);
int PlayCommand(const Context& context, const std::vector<std::string>& args);

// Usage texts, for --help and for bad arguments.
extern const char* const kConvertUsage;
extern const char* const kInfoUsage;
extern const char* const kFrameUsage;
extern const char* const kPlayUsage;
extern const char* const kRecordUsage;
extern const char* const kMakeUsage;

}  // namespace cli
