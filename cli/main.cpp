// glyphreel-cli: the road from video to character movie without the window,
// for servers, scripts and terminals. The same core as the window does the work.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/FolderLock.h"
#include "shell/Link.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

const char* const kUsage =
    "usage: glyphreel-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  convert FOLDER ...     numbered bitmaps to a character movie, page, workbook or frame files\n"
    "  info MOVIE             frames, width, lines per frame and interval of a character movie (JSON)\n"
    "  frame MOVIE INDEX      one frame's bytes\n"
    "  play MOVIE [--loop]    play a character movie in the terminal\n"
    "  record VIDEO FOLDER    a video's pictures into numbered bitmaps\n"
    "  make VIDEO [FOLDER]    record and convert in one: video to character movie\n"
    "  export MOVIE OUT       a character movie as an MP4, WebM, GIF or MKV video\n"
    "\n"
    "glyphreel-cli COMMAND --help tells more. Exit status: 0 success, 1 the work failed\n"
    "or ended early, 2 bad arguments.\n";

struct Command {
  const char* name;
  const char* usage;
  std::function<int(const cli::Context&, const std::vector<std::string>&)> run;
};

void OnSignal(int) { fileio::RequestInterrupt(); }

// Ctrl-C, kill and a closed terminal ask the running command to stop at the
// next frame, so it can remove its temporary files and folders (never a
// finished bitmap or output) and restore the terminal. Installed without
// SA_RESTART, so a wait for the folder lock wakes up too. A file larger than
// the size limit fails its write with an error instead of killing us.
void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing text (export) needs a QGuiApplication; the offscreen platform
  // serves without a display.
  const bool drawsText = argc > 1 && std::strcmp(argv[1], "export") == 0;
  if (drawsText && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::unique_ptr<QCoreApplication> app =
      drawsText ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
  const cli::Context context{LayoutFor(ProgramFolder(), CurrentEnvironment()).supportFolder};
  const Command commands[] = {
      {"convert", cli::kConvertUsage, cli::ConvertCommand},
      {"info", cli::kInfoUsage, cli::InfoCommand},
      {"frame", cli::kFrameUsage, cli::FrameCommand},
      {"play", cli::kPlayUsage, cli::PlayCommand},
      {"record", cli::kRecordUsage, cli::RecordCommand},
      {"make", cli::kMakeUsage, cli::MakeCommand},
      {"export", cli::kExportUsage, cli::ExportCommand},
  };

  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs("glyphreel-cli: a command is missing\n\n", stderr);
    std::fputs(kUsage, stderr);
    return cli::kBadUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, stdout);
    return cli::kOk;
  }
  for (const Command& c : commands) {
    if (args[0] != c.name) continue;
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest) {
      if (a == "--help" || a == "-h") {
        std::fputs(c.usage, stdout);
        return cli::kOk;
      }
    }
    InstallSignalHandlers();
    try {
      const int status = c.run(context, rest);
      if (fileio::InterruptRequested() && status != cli::kOk) {
        std::fputs("glyphreel-cli: interrupted\n", stderr);
        return cli::kFailed;
      }
      return status;
    } catch (const cli::UsageError& e) {
      std::fprintf(stderr, "glyphreel-cli: %s: %s\n\n%s", c.name, e.message.c_str(), c.usage);
      return cli::kBadUsage;
    }
  }
  std::fprintf(stderr, "glyphreel-cli: unknown command \"%s\"\n\n%s", args[0].c_str(), kUsage);
  return cli::kBadUsage;
}
