#include "fuzz/FuzzSupport.h"

#include "common/FileWrite.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzzing {

namespace {

std::string MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/glyphreel-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("glyphreel fuzz: cannot make a scratch folder");
    std::abort();
  }
  static std::string removeAtExit;
  removeAtExit = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(removeAtExit, ignored);
  });
  return pattern + "/";
}

}  // namespace

const std::string& ScratchFolder() {
  static const std::string folder = MakeScratchFolder();
  return folder;
}

void WriteInput(const std::string& path, std::string_view bytes) {
  std::string error;
  if (!fileio::WriteFile(path, bytes, &error)) {
    std::fprintf(stderr, "glyphreel fuzz: %s\n", error.c_str());
    std::abort();
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(begin, end - begin));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    begin = end + 1;
  }
  return lines;
}

void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "glyphreel fuzz: property broken at %s:%d: %s\n", file, line, what);
  std::abort();
}

}  // namespace fuzzing
