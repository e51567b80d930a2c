#include "cli/Arguments.h"

#include "video/TimeUnits.h"

#include <cstdio>

namespace cli {

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                     const std::vector<std::string>& options) {
  auto isIn = [](const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& s : list)
      if (s == name) return true;
    return false;
  };
  bool onlyPositional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyPositional || a.size() < 2 || a.compare(0, 2, "--") != 0) {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      onlyPositional = true;
      continue;
    }
    std::string name = a.substr(2);
    std::optional<std::string> inlineValue;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (isIn(flags, name)) {
      if (inlineValue) throw UsageError{"--" + name + " takes no value"};
      present_[name] = true;
    } else if (isIn(options, name)) {
      if (present_.count(name)) throw UsageError{"--" + name + " is given twice"};
      if (!inlineValue) {
        if (i + 1 >= args.size()) throw UsageError{"--" + name + " needs a value"};
        inlineValue = args[++i];
      }
      values_[name] = *inlineValue;
      present_[name] = true;
    } else {
      throw UsageError{"unknown option " + a};
    }
  }
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

const std::string& Arguments::Require(size_t index, const char* what) const {
  if (index >= positional_.size()) throw UsageError{std::string("missing ") + what};
  return positional_[index];
}

void Arguments::AtMost(size_t count) const {
  if (positional_.size() > count) throw UsageError{"unexpected argument " + positional_[count]};
}

int ParseInt(const std::string& text, int low, int high, const char* what) {
  const std::string digits = !text.empty() && text[0] == '-' ? text.substr(1) : text;
  // Up to 18 digits fit a long long, so every number in the range the
  // message names is read, and larger ones are refused by the range check.
  bool ok = !digits.empty() && digits.size() <= 18;
  for (char c : digits) ok = ok && c >= '0' && c <= '9';
  const long long value = ok ? std::stoll(text) : 0;
  if (!ok || value < low || value > high) {
    throw UsageError{std::string(what) + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\""};
  }
  return static_cast<int>(value);
}

std::string AsFolder(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + "/";
}

std::string ClockTime(int64_t ms, bool withMilliseconds) {
  const int64_t seconds = video::SecondsFromMs(ms);
  char text[40];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  std::string clock = text;
  if (withMilliseconds) {
    std::snprintf(text, sizeof text, ".%03lld", static_cast<long long>(ms % 1000));
    clock += text;
  }
  return clock;
}

}  // namespace cli
