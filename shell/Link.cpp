#include "shell/Link.h"

#include "common/FileWrite.h"

#include <QCoreApplication>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

std::string AppPath;
std::string IniFileName;
std::string SupportFolder;

namespace {

std::string WithTrailingSlash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + '/';
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// A folder name long enough to use: two characters or more, or the root.
bool LongEnough(const std::string& q) { return q.size() >= 2 || q == "/"; }

}  // namespace

std::string ProgramFolder() {
  return WithTrailingSlash(QCoreApplication::applicationDirPath().toStdString());
}

std::string SettingsFileOf(const std::string& appPath) { return appPath + "dll/Kinograf.ini"; }

LayoutEnvironment CurrentEnvironment() {
  LayoutEnvironment environment;
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    environment.home = home;
  } else if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    environment.home = entry->pw_dir;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME")) environment.xdgConfigHome = config;
  return environment;
}

ProgramLayout LayoutFor(const std::string& programFolder, const LayoutEnvironment& environment) {
  const std::string program = WithTrailingSlash(programFolder);
  const std::string share = program + "../share/glyphreel/";
  ProgramLayout layout;
  if (fileio::DirectoryExists(program + "dll") || !fileio::DirectoryExists(share)) {
    layout.pathBase = program;
    layout.supportFolder = program + "dll/";
    layout.settingsFile = SettingsFileOf(program);
    return layout;
  }
  // The share folder is named without the "bin/.." detour, so messages and
  // the help link show the folder the user knows.
  std::string shareShown = share;
  if (program.size() >= 2) {
    const size_t parent = program.rfind('/', program.size() - 2);
    if (parent != std::string::npos) shareShown = program.substr(0, parent + 1) + "share/glyphreel/";
  }
  const std::string home = WithTrailingSlash(environment.home.empty() ? std::string("/") : environment.home);
  // XDG base directories: a relative XDG_CONFIG_HOME is invalid and ignored.
  const std::string config = IsAbsolute(environment.xdgConfigHome) ? WithTrailingSlash(environment.xdgConfigHome)
                                                                   : home + ".config/";
  layout.installed = true;
  layout.pathBase = home + "Glyphreel/";
  layout.supportFolder = shareShown;
  layout.settingsFile = config + "glyphreel/Kinograf.ini";
  layout.defaultSettings = shareShown + "Kinograf.ini";
  return layout;
}

bool PrepareSettingsFile(const ProgramLayout& layout, std::string* error) {
  if (!layout.installed || fileio::PathExists(layout.settingsFile)) return true;
  const std::string folder = layout.settingsFile.substr(0, layout.settingsFile.rfind('/') + 1);
  std::string defaults;
  if (!fileio::ReadFile(layout.defaultSettings, &defaults, error)) return false;
  // Whole or not at all: a half-copied settings file would be read as the user's.
  return fileio::MakePath(folder, error) && fileio::WriteFileAtomic(layout.settingsFile, defaults, error);
}

void UseLayout(const ProgramLayout& layout) {
  AppPath = layout.pathBase;
  IniFileName = layout.settingsFile;
  SupportFolder = layout.supportFolder;
}

std::string MakeAbsolutePath(const std::string& path) {
  // An empty path comes out as "/", which here names the program folder,
  // not the root: only a path that is "/" itself is the root.
  if (path.empty()) return AppPath;
  const std::string q = WithTrailingSlash(path);
  if (!LongEnough(q)) return AppPath;
  return IsAbsolute(path) ? q : AppPath + q;
}

std::string MakeRelativePath(const std::string& path) {
  const std::string q = WithTrailingSlash(path);
  if (path.empty() || !LongEnough(q) || !IsAbsolute(path) || !path.starts_with(AppPath)) return q;
  return q.substr(AppPath.size());
}

std::string FormatVersion(unsigned major, unsigned minor, unsigned release, unsigned build,
                          const std::string& separator) {
  auto word = [](unsigned v) { return std::to_string(v & 0xFFFFu); };
  return word(major) + separator + word(minor) + separator + word(release) + separator + word(build);
}

std::string FileVersionString(const std::string& fileName, const std::string& separator) {
  if (!fileio::SameFile(fileName, "/proc/self/exe")) return {};
  return FormatVersion(GLYPHREEL_VERSION_MAJOR, GLYPHREEL_VERSION_MINOR, GLYPHREEL_VERSION_PATCH,
                       GLYPHREEL_VERSION_TWEAK, separator);
}
