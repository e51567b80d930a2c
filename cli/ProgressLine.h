// The command line's progress: one line on standard error, redrawn in place
// while standard error is a terminal, and nothing at all otherwise (a log
// file or a pipe gets only the closing report).
#pragma once

#include <string>

namespace cli {

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine() { Finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Draws "LABEL [####    ] COUNT" over the line: a bar 40 wide, filled
  // done/total of the way (empty while total is unknown, 0).
  void Show(const std::string& label, int done, int total, const std::string& count);
  // Draws the last label's line once more, full, with `count`: a pass that
  // reports before each step ends on what it finished, not one step short.
  // Nothing when no line was drawn.
  void Complete(const std::string& count);
  // Ends a drawn line, so that what is printed next starts on its own.
  void Finish();

 private:
  bool enabled_;
  bool shown_ = false;
  std::string label_;  // of the last line drawn
};

}  // namespace cli
