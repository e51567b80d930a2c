// The subcommands of glyphreel-cli. Each takes the words after its name and
// returns the exit status; results go to standard output, messages to
// standard error. Bad arguments throw cli::UsageError.
#pragma once

#include <string>
#include <vector>

namespace fileio {
class FolderLock;
}

namespace cli {

// Takes the lock of `folder` (which must exist) for a conversion or a
// recording; when another process holds it, says so and waits. False after
// printing why (an interrupted wait prints nothing: main says "interrupted").
bool LockFolder(const std::string& folder, fileio::FolderLock* lock);

struct Context {
  std::string supportFolder;  // holds Web.dll and xls.dll; ends with "/"
};

int ConvertCommand(const Context& context, const std::vector<std::string>& args);
int RecordCommand(const Context& context, const std::vector<std::string>& args);
int MakeCommand(const Context& context, const std::vector<std::string>& args);
int InfoCommand(const Context& context, const std::vector<std::string>& args);
int FrameCommand(const Context& context, const std::vector<std::string>& args);
int PlayCommand(const Context& context, const std::vector<std::string>& args);
// Needs a QGuiApplication (it draws text).
int ExportCommand(const Context& context, const std::vector<std::string>& args);

// Usage texts, for --help and for bad arguments.
extern const char* const kConvertUsage;
extern const char* const kInfoUsage;
extern const char* const kFrameUsage;
extern const char* const kPlayUsage;
extern const char* const kRecordUsage;
extern const char* const kMakeUsage;
extern const char* const kExportUsage;

}  // namespace cli
