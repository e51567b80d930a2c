// The program's folder, its settings file, and the two path functions that
// translate between a folder as the settings file stores it (relative to the
// program folder when it lies inside it) and the folder the program works in.
//
// Folders end with "/". A path is relative when it does not start with "/".
#pragma once

#include <string>

// The folder stored paths hang from, with a trailing "/": the program's
// folder in the portable layout, ~/Glyphreel/ in the installed one. Set once
// at start from the layout (LayoutFor()); tests set it to a folder of their own.
extern std::string AppPath;
// Full path of the settings file: AppPath + "dll/Kinograf.ini" in the
// portable layout, $XDG_CONFIG_HOME/glyphreel/Kinograf.ini when installed.
extern std::string IniFileName;
// The folder of the support files (Web.dll, xls.dll, Help.txt), with a
// trailing "/": AppPath + "dll/" in the portable layout.
extern std::string SupportFolder;

// Where the program keeps its files. The layout is decided by where the
// program stands, never by what it may write (root writes anywhere):
//  - portable: a dll/ folder beside the program (as the build lays it out),
//    or no share folder above it: support files, settings and the working
//    folder all beside the program;
//  - installed: no dll/ beside the program and ../share/glyphreel/ exists:
//    support files from that share folder, settings in the user's
//    configuration folder, outputs under ~/Glyphreel/.
struct ProgramLayout {
  bool installed = false;
  std::string pathBase;         // stored relative paths resolve here; ends with "/"
  std::string supportFolder;    // Web.dll, xls.dll, Help.txt; ends with "/"
  std::string settingsFile;     // the Kinograf.ini read at start and written at close
  std::string defaultSettings;  // installed only: the packaged Kinograf.ini a new settings file starts from
};

// What the installed layout takes from the user's environment.
struct LayoutEnvironment {
  std::string home;           // $HOME (or the password entry's home folder)
  std::string xdgConfigHome;  // $XDG_CONFIG_HOME; empty or relative means ~/.config
};
LayoutEnvironment CurrentEnvironment();

// The one decision: the layout of the program in `programFolder` (ends with "/").
ProgramLayout LayoutFor(const std::string& programFolder, const LayoutEnvironment& environment);
// Installed layout: creates the settings file from the packaged defaults when
// it does not exist yet (with its folders). Nothing to do in the portable
// layout. False with `error` set when the file could not be made.
bool PrepareSettingsFile(const ProgramLayout& layout, std::string* error);
// Sets AppPath, IniFileName and SupportFolder from `layout`.
void UseLayout(const ProgramLayout& layout);

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
