// The one way the core writes files.
//
// Every file Glyphreel writes (frames, movies, pages, bitmaps, settings) goes
// through Writer or the helpers below, so a test can make the disk fail at a
// chosen point (at open, after N bytes, at rename) without touching real
// permissions, which root ignores. Paths are the platform's (UTF-8) names;
// file contents are bytes. Failures are values: a false result and an error
// text that names the path.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fileio {

// ---- Fault injection (tests only) -------------------------------------------

enum class FaultPoint {
  None,
  Open,        // opening a file for writing fails
  AfterBytes,  // the file takes `afterBytes` bytes, then every write fails
  Rename,      // the final rename of an atomic write (or of a folder into place) fails
  NoExchange,  // the file system cannot exchange two names in one step (as vfat and NFS)
};

struct Fault {
  FaultPoint point = FaultPoint::None;
  std::string pathContains;  // only paths containing this text; empty: every path
  uint64_t afterBytes = 0;   // for AfterBytes: bytes accepted per file before failing
  int skip = 0;              // matching files that pass untouched before the fault fires
  int errorCode = ENOSPC;    // errno reported by the failing call
};

// Arms `fault` for the whole process until ClearFault(). Not for production.
void InjectFault(const Fault& fault);
void ClearFault();

// Arms a fault for the life of the object.
class ScopedFault {
 public:
  explicit ScopedFault(const Fault& fault) { InjectFault(fault); }
  ~ScopedFault() { ClearFault(); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;
};

// ---- Writing -----------------------------------------------------------------

class Writer {
 public:
  enum class Mode {
    Truncate,  // create the file, or truncate an existing one, and write into it
    Append,    // create the file or append to an existing one
    Atomic,    // write a temporary file in the same folder; Commit() renames it
               // onto the path, so readers see the old file or the whole new one.
               // An existing file the effective user may not write is refused.
  };

  Writer() = default;
  ~Writer();  // an uncommitted atomic write is discarded
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool Open(const std::string& path, Mode mode);
  bool Write(std::string_view data);
  // Closes the file; for Atomic, renames it into place. False on failure,
  // after which an atomic write has left the old file as it was.
  bool Commit();
  // Closes the file; an atomic write's temporary file is removed.
  void Discard();

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }
  // The errno of the failure Error() tells; 0 when none was given.
  int ErrorCode() const { return errorCode_; }

 private:
  bool Fail(const char* what, int code);

  int fd_ = -1;
  Mode mode_ = Mode::Truncate;
  std::string path_;
  std::string tempPath_;
  uint64_t written_ = 0;
  uint64_t failAfter_ = UINT64_MAX;  // from an armed AfterBytes fault
  int failCode_ = 0;
  bool failRename_ = false;
  std::string error_;
  int errorCode_ = 0;
};

// Writes `data` as the whole file, with one write call where the system allows.
bool WriteFile(const std::string& path, std::string_view data, std::string* error);
// Like WriteFile, but the old file stays whole until the new one is complete.
// `errorCode`, when given, takes the failure's errno (0 when it has none).
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error, int* errorCode = nullptr);
// Copies `from` to `to`, replacing `to` atomically.
bool CopyFile(const std::string& from, const std::string& to, std::string* error);

// ---- Reading and the file system ------------------------------------------------

bool ReadFile(const std::string& path, std::string* out, std::string* error);
// Like ReadFile, with room for `spare` more bytes in *out's capacity, so the
// caller can append that much without the buffer being copied.
bool ReadFile(const std::string& path, std::string* out, std::string* error, size_t spare);
bool RemoveFile(const std::string& path, std::string* error);
bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // a folder (or a link to one)
bool PathExists(const std::string& path);       // anything at all
// Creates the folder and any missing parents; true when it exists afterwards.
bool MakePath(const std::string& path, std::string* error);
// Bytes the effective user may still write on the file system of `folder`;
// false when that cannot be told (a missing folder, say).
bool FreeSpace(const std::string& folder, uint64_t* bytes);
// Size in bytes of a regular file; 0 for anything else or a missing one.
uint64_t FileSize(const std::string& path);
// True when both paths name the same existing file (device and inode).
bool SameFile(const std::string& a, const std::string& b);

// Makes a new folder of this run's own inside `folder` (which ends with
// "/"), named kPrivatePrefix + six random characters, and sets *path to it
// with a final "/". Nothing else ever uses such a name, so the files a run
// keeps there cannot mix with another run's or with the user's files.
constexpr const char* kPrivatePrefix = ".glyphreel-";
bool MakePrivateFolder(const std::string& folder, std::string* path, std::string* error);
// A private folder (MakePrivateFolder) that is deleted with everything in it
// when the object goes: a run's temporary files never outlive the run.
class PrivateFolder {
 public:
  PrivateFolder() = default;
  ~PrivateFolder() { Remove(); }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  bool Create(const std::string& folder, std::string* error) {
    Remove();
    return MakePrivateFolder(folder, &path_, error);
  }
  void Remove();
  const std::string& Path() const { return path_; }  // ends with "/"; empty before Create()

 private:
  std::string path_;
};
// Deletes `path` and, when it is a folder, everything in it (links are
// removed, never followed). True when nothing is left under that name.
bool RemoveTree(const std::string& path, std::string* error);
// Deletes what runs that were killed (or lost power) left in `folder`: every
// entry whose name starts with kPrivatePrefix. An old folder that a replace
// (ReplaceFolder) had moved aside is first put back where it was, when
// nothing has taken its place. Call it only while holding the folder's lock
// (FolderLock), so no running writer loses its files.
void RemoveLeftovers(const std::string& folder);
// Puts the folder `fresh` in the place of the folder `target` (both on one
// file system, named without a final "/") and deletes the old one: true
// when `target` holds the fresh folder. Where the file system exchanges two
// names in one step (renameat2 RENAME_EXCHANGE: ext4, tmpfs, xfs, btrfs) a
// complete folder stands at `target` at every moment. Elsewhere (vfat, NFS)
// the old folder is moved into a private folder (kAsidePrefix) beside it
// before the fresh one moves in; a run that dies in between leaves it there,
// and the next RemoveLeftovers puts it back. On failure the old folder stays.
constexpr const char* kAsidePrefix = ".glyphreel-aside-";
bool ReplaceFolder(const std::string& fresh, const std::string& target, std::string* error);
// Creates a new empty file in `folder` (which ends with "/") named `prefix`
// plus six random characters, with a plain create's mode (0666 less the
// umask, applied by the kernel), and sets *path to it. Returns the open
// descriptor, or -1 with errno set. For a writer that must work under a name
// of its own until its file is complete.
int CreateTemporary(const std::string& folder, const std::string& prefix, std::string* path);
// CreateTemporary, with an exclusive flock held on the file for as long as
// the descriptor stays open (however the process ends), so that
// RemoveUnlockedTemporaries leaves it alone. The lock is taken before the
// name is handed out: a file that a cleaner removed in between is made anew.
int CreateLockedTemporary(const std::string& folder, const std::string& prefix, std::string* path);
// Deletes the files of `folder` whose names `matches` accepts and whose
// flock nobody holds: what killed writers of CreateLockedTemporary left.
void RemoveUnlockedTemporaries(const std::string& folder, const std::function<bool(const std::string& name)>& matches);
// Renames `from` to `to` only when `to` does not exist, in one step, so two
// processes can never both take one name. False with *taken set when `to`
// exists; false with *error on any other failure.
bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken, std::string* error);
// Renames `from` onto `to`, replacing what is there in one step.
bool Rename(const std::string& from, const std::string& to, std::string* error);

// Names of the entries of `folder` (files, folders, anything) whose names end
// in `extension` without regard to letter case, in the order the file system
// lists them.
std::vector<std::string> EntriesEndingWith(const std::string& folder, const std::string& extension);

// "Cannot <what> <path>: <reason>" for errno `code`.
std::string ErrorText(const char* what, const std::string& path, int code);

}  // namespace fileio
