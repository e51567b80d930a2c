// What the window program's command line asks for: `glyphreel [FILE]`, plus
// --help and --version, which print and end the program. A FILE given at
// start is opened as the open buttons would: a character movie when its
// content holds a frame-end marker line, a video otherwise, so a file manager's
// "Open with" works for both.
#pragma once

#include <string>
#include <vector>

struct StartOptions {
  enum class Action { Run, Help, Version, BadUsage };
  Action action = Action::Run;
  std::string file;   // Run: the file to open at start, or empty
  std::string error;  // BadUsage: what was wrong, for standard error
};

// `args` are the words after the program name, with the toolkit's own
// options (-platform, -style, ...) already taken out.
StartOptions ParseStartOptions(const std::vector<std::string>& args);

// The texts --help and --version print (each ends with a newline).
std::string StartHelpText();
std::string StartVersionText();

// How many bytes from a file's start are searched for a frame-end marker
// line: a whole 320 x 240 frame and then some.
constexpr size_t kMovieProbeBytes = 4u << 20;

// True when the first kMovieProbeBytes of `path` hold `marker` alone on a
// line (any of CR LF, LF or CR around it), as every frame of a character
// movie ends; false for anything else, a file that cannot be read included.
bool HoldsFrameMarkerLine(const std::string& path, const std::string& marker);
