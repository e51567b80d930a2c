// glyphreel-cli info, frame and play: character movies read back through the
// same reader the window uses.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/FolderLock.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "playback/MovieNumbers.h"
#include "playback/TextPic.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace cli {

const char* const kInfoUsage =
    "usage: glyphreel-cli info MOVIE\n"
    "\n"
    "Prints one line of JSON: {\"frames\":N,\"width\":W,\"lines_per_frame\":L,\"interval\":V,\"standard\":B},\n"
    "standard being true when the movie can be played (and exported): three frames or\n"
    "more and an interval above 0.\n";
const char* const kFrameUsage =
    "usage: glyphreel-cli frame MOVIE INDEX\n"
    "\n"
    "Writes frame INDEX (from 0) as its raw bytes (GBK); nothing for an index out of range.\n";
const char* const kPlayUsage =
    "usage: glyphreel-cli play MOVIE [--loop]\n"
    "\n"
    "Plays a character movie in the terminal at its stored interval, until its end\n"
    "(or, with --loop, until Ctrl-C). Refuses a movie that is not standard (see info).\n"
    "Ctrl-Z gives the terminal back while the player is stopped; fg plays on.\n";

namespace {

bool Load(TTextPic& movie, const std::string& path) {
  movie.FrameMarker = kFrameMarker;
  std::string error;
  if (movie.LoadFromFile(path, &error)) return true;
  std::fprintf(stderr, "glyphreel-cli: cannot read %s: %s\n", path.c_str(), error.c_str());
  return false;
}

// The terminal as it was before playing comes back on every way out, and
// while the player is stopped (Ctrl-Z): Suspend() gives the screen back and
// stops the process; when it is continued, the player's screen is set up again.
class TerminalScreen {
 public:
  explicit TerminalScreen(bool tty) : tty_(tty) { SetUp(); }
  ~TerminalScreen() { Restore(); }

  // Restores the terminal and stops as Ctrl-Z would have; returns once
  // continued (at once where the system does not stop this process).
  void Suspend() {
    Restore();
    struct sigaction ours {}, stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTSTP, &stop, &ours);
    ::raise(SIGTSTP);
    sigaction(SIGTSTP, &ours, nullptr);
  }
  void SetUp() {
    if (tty_) std::fputs("\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J", stdout);  // own screen, no cursor
    std::fflush(stdout);
  }

 private:
  void Restore() {
    if (tty_) std::fputs("\x1b[?25h\x1b[?1049l", stdout);
    std::fflush(stdout);
  }

  bool tty_;
};

volatile std::sig_atomic_t gStopAsked = 0;  // Ctrl-Z (SIGTSTP) arrived
volatile std::sig_atomic_t gContinued = 0;  // SIGCONT arrived (after Ctrl-Z, or a SIGSTOP)

void OnStop(int) { gStopAsked = 1; }
void OnContinue(int) { gContinued = 1; }

// Waits until `due`, in short steps so that a signal is answered at once.
// False when the wait ended early because of a signal.
bool WaitUntil(std::chrono::steady_clock::time_point due) {
  constexpr auto kStep = std::chrono::milliseconds(20);
  while (std::chrono::steady_clock::now() < due) {
    if (fileio::InterruptRequested() || gStopAsked || gContinued) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kStep, due - std::chrono::steady_clock::now()));
  }
  return true;
}

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
  // Read in one pass rather than loaded: a movie of hundreds of megabytes
  // takes little more than reading it, and no memory.
  playback::MovieNumbers movie;
  std::string error;
  if (!playback::ReadMovieNumbers(path, kFrameMarker, &movie, &error)) {
    std::fprintf(stderr, "glyphreel-cli: cannot read %s: %s\n", path.c_str(), error.c_str());
    return kFailed;
  }
  std::printf("{\"frames\":%d,\"width\":%d,\"lines_per_frame\":%d,\"interval\":%d,\"standard\":%s}\n",
              movie.frameTotal, movie.frameWidth, movie.linesPerFrame, movie.frameInterval,
              movie.Playable() ? "true" : "false");
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
  if (!movie.Playable()) {
    std::fprintf(stderr, "glyphreel-cli: %s: %s\n", TTextPic::kNotStandardMovie, path.c_str());
    return kFailed;
  }

  // Ctrl-C, kill and a closed terminal (main's handlers) end the playing;
  // Ctrl-Z stops it with the terminal restored.
  const auto interrupted = [] { return fileio::InterruptRequested(); };
  const bool tty = isatty(STDOUT_FILENO) != 0;
  if (tty) {  // before the screen is set up, so a Ctrl-Z always finds it to give back
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStop;
    sigaction(SIGTSTP, &action, nullptr);
    action.sa_handler = OnContinue;
    sigaction(SIGCONT, &action, nullptr);
  }
  TerminalScreen screen(tty);
  const auto interval = std::chrono::milliseconds(movie.FrameInterval());
  // Frames are due at fixed times from the start, so slow output does not
  // make the movie drift; after a stop the movie goes on where it stood.
  auto due = std::chrono::steady_clock::now();
  do {
    for (int32_t i = 0; i < movie.FrameTotal() && !interrupted();) {
      if (!WaitUntil(due)) {
        if (gStopAsked) {
          gStopAsked = 0;
          screen.Suspend();
          gContinued = 1;
        }
        if (gContinued) {
          // After Ctrl-Z, and after a SIGSTOP too: the screen may have been used meanwhile.
          gContinued = 0;
          screen.SetUp();
          due = std::chrono::steady_clock::now();
          if (i > 0) --i;  // the frame that was shown, shown again
        }
        continue;
      }
      const std::string rows = Rows(movie.FrameView(i));
      if (tty) std::fputs("\x1b[H", stdout);
      std::fwrite(rows.data(), 1, rows.size(), stdout);
      if (!tty) std::fputs("\f\n", stdout);  // one frame per page when not on a terminal
      std::fflush(stdout);
      due += interval;
      ++i;
    }
  } while (a.Has("loop") && !interrupted());
  // Ctrl-C is how a looping movie ends; otherwise it cut the movie short.
  return interrupted() && !a.Has("loop") ? kFailed : kOk;
}

}  // namespace cli
