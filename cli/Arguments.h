// Command-line parsing for glyphreel-cli: positional words and --options,
// with the errors that make the program exit with status 2.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kFailed = 1;    // the work failed or ended early
constexpr int kBadUsage = 2;  // bad arguments

// Thrown for bad arguments; main() prints the message and the usage.
struct UsageError {
  std::string message;
};

class Arguments {
 public:
  // `flags` take no value; `options` take one (given as "--name value" or "--name=value").
  Arguments(const std::vector<std::string>& args, const std::vector<std::string>& flags,
            const std::vector<std::string>& options);

  bool Has(const std::string& name) const { return present_.count(name) > 0; }
  std::optional<std::string> Value(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }
  // Positional word `index`, or a UsageError naming `what` when it is missing.
  const std::string& Require(size_t index, const char* what) const;
  // No more than `count` positional words.
  void AtMost(size_t count) const;

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;
  std::map<std::string, bool> present_;
};

// A whole decimal number in [low, high], or a UsageError naming the option.
int ParseInt(const std::string& text, int low, int high, const char* what);

// `path` with a trailing "/" added when it has none.
std::string AsFolder(const std::string& path);

// "hh:mm:ss" of a time in milliseconds (not negative), or "hh:mm:ss.mmm".
std::string ClockTime(int64_t ms, bool withMilliseconds = false);

}  // namespace cli
