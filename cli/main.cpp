// glyphreel-cli: the road from video to character movie without the window,
// for servers, scripts and terminals. The same core as the window does the work.
#include "app/Link.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <functional>

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
    "\n"
    "glyphreel-cli COMMAND --help tells more. Exit status: 0 success, 1 the work failed\n"
    "or ended early, 2 bad arguments.\n";

struct Command {
  const char* name;
  const char* usage;
  std::function<int(const cli::Context&, const std::vector<std::string>&)> run;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const cli::Context context{LayoutFor(ProgramFolder(), CurrentEnvironment()).supportFolder};
  const Command commands[] = {
      {"convert", cli::kConvertUsage, cli::ConvertCommand},
      {"info", cli::kInfoUsage, cli::InfoCommand},
      {"frame", cli::kFrameUsage, cli::FrameCommand},
      {"play", cli::kPlayUsage, cli::PlayCommand},
      {"record", cli::kRecordUsage, cli::RecordCommand},
      {"make", cli::kMakeUsage, cli::MakeCommand},
  };

  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
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
    try {
      return c.run(context, rest);
    } catch (const cli::UsageError& e) {
      std::fprintf(stderr, "glyphreel-cli %s: %s\n\n%s", c.name, e.message.c_str(), c.usage);
      return cli::kBadUsage;
    }
  }
  std::fprintf(stderr, "glyphreel-cli: unknown command \"%s\"\n\n%s", args[0].c_str(), kUsage);
  return cli::kBadUsage;
}
