#include "shell/StartOptions.h"

#include "shell/Link.h"

#include <fstream>

StartOptions ParseStartOptions(const std::vector<std::string>& args) {
  StartOptions options;
  bool onlyFiles = false;
  for (const std::string& a : args) {
    if (!onlyFiles && a == "--") {
      onlyFiles = true;
    } else if (!onlyFiles && (a == "--help" || a == "-h")) {
      return {StartOptions::Action::Help, {}, {}};
    } else if (!onlyFiles && (a == "--version" || a == "-v")) {
      return {StartOptions::Action::Version, {}, {}};
    } else if (!onlyFiles && a.size() > 1 && a[0] == '-') {
      return {StartOptions::Action::BadUsage, {}, "unknown option " + a};
    } else if (!options.file.empty()) {
      return {StartOptions::Action::BadUsage, {}, "only one file can be opened at start, not also " + a};
    } else if (a.empty()) {
      return {StartOptions::Action::BadUsage, {}, "an empty file name"};
    } else {
      options.file = a;
    }
  }
  return options;
}

std::string StartHelpText() {
  return "usage: glyphreel [FILE]\n"
         "\n"
         "Turns a video into a character movie: frames drawn with text characters.\n"
         "FILE, when given, is opened at start: a character movie (a file whose\n"
         "frames end in the frame-end marker line) in the character-movie pane,\n"
         "any other file as a video.\n"
         "\n"
         "Options:\n"
         "  -h, --help     print this help and exit\n"
         "  -v, --version  print the version and exit\n"
         "\n"
         "glyphreel-cli does the same work without a window.\n";
}

std::string StartVersionText() {
  return std::string(GLYPHREEL_PRODUCT_NAME) + " " +
         FormatVersion(GLYPHREEL_VERSION_MAJOR, GLYPHREEL_VERSION_MINOR, GLYPHREEL_VERSION_PATCH,
                       GLYPHREEL_VERSION_TWEAK, ".") +
         "\n";
}

bool HoldsFrameMarkerLine(const std::string& path, const std::string& marker) {
  if (marker.empty()) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string head(kMovieProbeBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  for (size_t at = head.find(marker); at != std::string::npos; at = head.find(marker, at + 1)) {
    const size_t end = at + marker.size();
    const bool lineStart = at == 0 || isBreak(head[at - 1]);
    const bool lineEnd = end == head.size() || isBreak(head[end]);
    if (lineStart && lineEnd) return true;
  }
  return false;
}
