// Hands documents, folders, web addresses and command lines to the desktop.
//
// One string in, nothing waited for: whatever is started runs outside the
// program, and a target that cannot be opened changes nothing in the
// program; when the desktop reports (later) that it could not open a target
// that exists, OnOpenFailed hears of it, so the user can be told. The window, the conversion run and the player each hold a
// Launcher; tests give them a RecordingLauncher, so no test starts a program.
#pragma once

#include <QStringList>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Opens `target` with the program the desktop associates with it: a web
  // address ("scheme://..." or "mailto:...") in the browser, a document in
  // its program, a folder in the file manager. A relative path is taken from
  // the program folder (AppPath), never from the current folder.
  virtual void URLink(const std::string& target) = 0;
  // Starts `commandLine` (program and arguments, split like a shell's words,
  // with quotes grouping) as a detached process.
  virtual void Execute(const std::string& commandLine) = 0;

  // Called on the user-interface thread with a target given to URLink that
  // exists (a web address always does) and that the desktop could not
  // open, with the path or address as shown to the user. May be empty.
  std::function<void(const std::string& shown)> OnOpenFailed;
};

// The real thing: the desktop's opener "xdg-open" (found on PATH), whose
// exit status tells whether the target opened, and detached QProcesses.
class DesktopLauncher : public Launcher {
 public:
  void URLink(const std::string& target) override;
  void Execute(const std::string& commandLine) override;
};

// Remembers every call, in order, and starts nothing.
class RecordingLauncher : public Launcher {
 public:
  enum class Operation { URLink, Execute };
  struct Call {
    Operation operation;
    std::string argument;
    bool operator==(const Call&) const = default;
  };

  void URLink(const std::string& target) override { Calls.push_back({Operation::URLink, target}); }
  void Execute(const std::string& commandLine) override { Calls.push_back({Operation::Execute, commandLine}); }

  std::vector<Call> Calls;
};

// What DesktopLauncher hands to the desktop for `target`, with relative paths
// taken from `appPath`. Invalid (empty) for an empty target.
QUrl LaunchUrl(const std::string& target, const std::string& appPath);
// Program first, then its arguments; empty for a blank command line.
QStringList SplitCommandLine(const std::string& commandLine);
