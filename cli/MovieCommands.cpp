// glyphreel-cli info, frame and play: character movies read back.
#include "cli/Arguments.h"
#include "cli/Commands.h"

#include <cstdio>

namespace cli {

const char* const kInfoUsage =
    "usage: glyphreel-cli info MOVIE\n"
    "\n"
    "Prints one line of JSON: {\"frames\":N,\"width\":W,\"lines_per_frame\":L,\"interval\":V,\"standard\":B},\n"
    "standard being true when the movie has three frames or more and can be played.\n";
const char* const kFrameUsage =
    "usage: glyphreel-cli frame MOVIE INDEX\n"
    "\n"
    "Writes frame INDEX (from 0) as its raw bytes (GBK); nothing for an index out of range.\n";
const char* const kPlayUsage =
    "usage: glyphreel-cli play MOVIE [--loop]\n"
    "\n"
    "Plays a character movie in the terminal at its stored interval. Ctrl-C stops.\n";

int InfoCommand(const Context&, const std::vector<std::string>&) {
  std::fprintf(stderr, "glyphreel-cli info: not available yet\n");
  return kFailed;
}
int FrameCommand(const Context&, const std::vector<std::string>&) {
  std::fprintf(stderr, "glyphreel-cli frame: not available yet\n");
  return kFailed;
}
int PlayCommand(const Context&, const std::vector<std::string>&) {
  std::fprintf(stderr, "glyphreel-cli play: not available yet\n");
  return kFailed;
}

}  // namespace cli
