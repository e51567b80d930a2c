#include "cli/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace cli {

ProgressLine::ProgressLine() : enabled_(isatty(STDERR_FILENO) != 0) {}

void ProgressLine::Show(const std::string& label, int done, int total, const std::string& count) {
  if (!enabled_) return;
  constexpr int kWidth = 40;
  const int filled = total > 0 ? std::clamp(kWidth * done / total, 0, kWidth) : 0;
  std::fprintf(stderr, "\r%s [%-*s] %s", label.c_str(), kWidth, std::string(static_cast<size_t>(filled), '#').c_str(),
               count.c_str());
  std::fflush(stderr);
  shown_ = true;
  label_ = label;
}

void ProgressLine::Complete(const std::string& count) {
  if (shown_) Show(label_, 1, 1, count);
}

void ProgressLine::Finish() {
  if (shown_) std::fputs("\n", stderr);
  shown_ = false;
}

}  // namespace cli
