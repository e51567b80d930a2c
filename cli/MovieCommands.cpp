// glyphreel-cli info, frame and play: character movies read back through the
// same reader the window uses.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/FolderLock.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "playback/TextPic.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

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
    "Plays a character movie in the terminal at its stored interval, until its end\n"
    "(or, with --loop, until Ctrl-C).\n";

namespace {

// A movie plays when it has at least this many frames, as in the window.
constexpr int32_t kStandardFrames = 3;

bool Load(TTextPic& movie, const std::string& path) {
  movie.FrameMarker = kFrameMarker;
  std::string error;
  if (movie.LoadFromFile(path, &error)) return true;
  std::fprintf(stderr, "glyphreel-cli: cannot read %s: %s\n", path.c_str(), error.c_str());
  return false;
}

// The terminal as it was before playing comes back on every way out.
class TerminalScreen {
 public:
  explicit TerminalScreen(bool tty) : tty_(tty) {
    if (tty_) std::fputs("\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J", stdout);  // own screen, no cursor
  }
  ~TerminalScreen() {
    if (tty_) std::fputs("\x1b[?25h\x1b[?1049l", stdout);
    std::fflush(stdout);
  }

 private:
  bool tty_;
};

// The frame's rows, decoded for the terminal; the marker and info lines stay out.
std::string Rows(std::string_view frame) {
  int lines = 0;
  size_t end = frame.size();
  while (end > 0 && lines < 3) {  // the end of the info line, the info line, the marker line
    --end;
    if (frame[end] == '\n') ++lines;
  }
  if (lines == 3) ++end;
  return gbk::Decode(frame.substr(0, end)).toStdString();
}

}  // namespace

int InfoCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {}, {});
  const std::string& path = a.Require(0, "MOVIE");
  a.AtMost(1);
  TTextPic movie;
  if (!Load(movie, path)) return kFailed;
  std::printf("{\"frames\":%d,\"width\":%d,\"lines_per_frame\":%d,\"interval\":%d,\"standard\":%s}\n",
              movie.FrameTotal(), movie.FrameWidth(), movie.LinesPerFrame(), movie.FrameInterval(),
              movie.FrameTotal() >= kStandardFrames ? "true" : "false");
  return kOk;
}

int FrameCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {}, {});
  const std::string& path = a.Require(0, "MOVIE");
  const int index = ParseInt(a.Require(1, "INDEX"), -2147483647, 2147483647, "INDEX");
  a.AtMost(2);
  TTextPic movie;
  if (!Load(movie, path)) return kFailed;
  const std::string_view frame = movie.FrameView(index);
  if (!frame.empty()) std::fwrite(frame.data(), 1, frame.size(), stdout);
  return kOk;
}

int PlayCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {"loop"}, {});
  const std::string& path = a.Require(0, "MOVIE");
  a.AtMost(1);
  TTextPic movie;
  if (!Load(movie, path)) return kFailed;
  if (movie.FrameTotal() < kStandardFrames) {
    std::fprintf(stderr, "glyphreel-cli: 注意:打开的不是标准的字符电影文件: %s\n", path.c_str());
    return kFailed;
  }

  // Ctrl-C, kill and a closed terminal (main's handlers) end the playing.
  const auto interrupted = [] { return fileio::InterruptRequested(); };
  const bool tty = isatty(STDOUT_FILENO) != 0;
  const TerminalScreen screen(tty);
  const auto interval = std::chrono::milliseconds(movie.FrameInterval());
  // Frames are due at fixed times from the start, so slow output does not
  // make the movie drift.
  auto due = std::chrono::steady_clock::now();
  do {
    for (int32_t i = 0; i < movie.FrameTotal() && !interrupted(); ++i) {
      std::this_thread::sleep_until(due);
      if (interrupted()) break;
      const std::string rows = Rows(movie.FrameView(i));
      if (tty) std::fputs("\x1b[H", stdout);
      std::fwrite(rows.data(), 1, rows.size(), stdout);
      if (!tty) std::fputs("\f\n", stdout);  // one frame per page when not on a terminal
      std::fflush(stdout);
      due += interval;
    }
  } while (a.Has("loop") && !interrupted());
  // Ctrl-C is how a looping movie ends; otherwise it cut the movie short.
  return interrupted() && !a.Has("loop") ? kFailed : kOk;
}

}  // namespace cli
