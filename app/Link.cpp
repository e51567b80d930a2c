#include "app/Link.h"

#include "common/FileWrite.h"

#include <QCoreApplication>

std::string AppPath;
std::string IniFileName;

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
