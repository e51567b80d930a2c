// The program's folder, its settings file, and the two path functions that
// translate between a folder as the settings file stores it (relative to the
// program folder when it lies inside it) and the folder the program works in.
//
// Folders end with "/". A path is relative when it does not start with "/".
#pragma once

#include <string>

// The program's folder, with a trailing "/". Set once at start
// (ProgramFolder()); tests set it to a folder of their own.
extern std::string AppPath;
// Full path of the settings file: AppPath + "dll/Kinograf.ini".
extern std::string IniFileName;

// The folder of the running executable, with a trailing "/". Needs a
// QCoreApplication.
std::string ProgramFolder();
// AppPath + "dll/Kinograf.ini" for the given program folder.
std::string SettingsFileOf(const std::string& appPath);

// `path` with a trailing "/" (q): AppPath for an empty path, AppPath + q for
// a relative one, q itself for an absolute one.
std::string MakeAbsolutePath(const std::string& path);
// `path` with a trailing "/" (q), with AppPath taken off its front when
// `path` is absolute and begins with AppPath (compared exactly); else q.
std::string MakeRelativePath(const std::string& path);

// The four numbers of a version record as text: major, minor, release and
// build joined by `separator` ("1.0.0.0" with ".", "1000" with "").
std::string FormatVersion(unsigned major, unsigned minor, unsigned release, unsigned build,
                          const std::string& separator);
// The version of the program file `fileName`: the program carries its
// version compiled in, so this is the program's own version when
// `fileName` is the running program, and "" for any other file (no record).
std::string FileVersionString(const std::string& fileName, const std::string& separator);
