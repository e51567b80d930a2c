#include "common/FileWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <random>
#include <vector>

namespace fileio {
namespace {

std::mutex gFaultMutex;
Fault gFault;
int gFaultMatches = 0;

// The armed fault, if it applies to this path; counts the match.
Fault TakeFault(const std::string& path) {
  std::lock_guard lock(gFaultMutex);
  if (gFault.point == FaultPoint::None) return {};
  if (!gFault.pathContains.empty() && path.find(gFault.pathContains) == std::string::npos) return {};
  if (gFaultMatches++ < gFault.skip) return {};
  return gFault;
}

// Makes a new entry named `folder` + `prefix` + six random characters
// through `create(name)` (which fails with EEXIST when the name is taken),
// as a plain create would: the mode less the umask is applied by the kernel
// (mkstemp and mkdtemp would give 0600 and 0700, and reading the umask is
// not thread-safe). The result of `create`, -1 on failure.
template <typename Create>
int CreateUnique(const std::string& folder, const std::string& prefix, std::string* path, Create&& create) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder + prefix;
    for (int i = 0; i < 6; ++i) name += kChars[pick(random)];
    const int result = create(name);
    if (result >= 0 || errno != EEXIST) {
      *path = std::move(name);
      return result;
    }
  }
  errno = EEXIST;
  return -1;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

int CreateTemporary(const std::string& folder, const std::string& prefix, std::string* path) {
  return CreateUnique(folder, prefix, path, [](const std::string& name) {
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  });
}

void InjectFault(const Fault& fault) {
  std::lock_guard lock(gFaultMutex);
  gFault = fault;
  gFaultMatches = 0;
}

void ClearFault() { InjectFault({}); }

std::string ErrorText(const char* what, const std::string& path, int code) {
  return std::string("Cannot ") + what + " " + path + ": " + std::strerror(code);
}

Writer::~Writer() {
  if (fd_ >= 0) Discard();
}

bool Writer::Fail(const char* what, int code) {
  error_ = ErrorText(what, path_, code);
  errorCode_ = code;
  return false;
}

bool Writer::Open(const std::string& path, Mode mode) {
  if (fd_ >= 0) Discard();
  path_ = path;
  mode_ = mode;
  written_ = 0;
  failAfter_ = UINT64_MAX;
  failRename_ = false;
  error_.clear();
  errorCode_ = 0;
  tempPath_.clear();

  const Fault fault = TakeFault(path);
  if (fault.point == FaultPoint::Open) return Fail("create", fault.errorCode);
  if (fault.point == FaultPoint::AfterBytes) {
    failAfter_ = fault.afterBytes;
    failCode_ = fault.errorCode;
  }
  failRename_ = fault.point == FaultPoint::Rename;

  if (mode == Mode::Atomic) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
      if (S_ISDIR(st.st_mode)) return Fail("write", EISDIR);
      if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return Fail("write", errno);
    }
    std::string temp;
    fd_ = CreateTemporary(FolderOf(path), kPrivatePrefix, &temp);
    if (fd_ < 0) return Fail("write", errno);
    tempPath_ = std::move(temp);
    // A replaced file keeps its mode; a new one has a plain create's.
    if (exists) ::fchmod(fd_, st.st_mode & 07777);
    return true;
  }

  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
  fd_ = ::open(path.c_str(), flags, 0666);
  if (fd_ < 0) return Fail("create", errno);
  return true;
}

bool Writer::Write(std::string_view data) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "Cannot write " + path_ + ": the file is not open";
    return false;
  }
  size_t allowed = data.size();
  bool injected = false;
  if (failAfter_ != UINT64_MAX && written_ + data.size() > failAfter_) {
    allowed = static_cast<size_t>(failAfter_ - written_);
    injected = true;
  }
  const char* p = data.data();
  size_t left = allowed;
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail("write", errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
    written_ += static_cast<uint64_t>(n);
  }
  if (injected) return Fail("write", failCode_);
  return true;
}

bool Writer::Commit() {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "Cannot write " + path_ + ": the file is not open";
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int code = errno;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    return Fail("write", code);
  }
  if (mode_ != Mode::Atomic) return true;
  if (failRename_) {
    ::unlink(tempPath_.c_str());
    return Fail("replace", EIO);
  }
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    const int code = errno;
    ::unlink(tempPath_.c_str());
    return Fail("replace", code);
  }
  tempPath_.clear();
  return true;
}

void Writer::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

namespace {

bool WriteWhole(const std::string& path, std::string_view data, Writer::Mode mode, std::string* error,
                int* errorCode = nullptr) {
  Writer w;
  if (w.Open(path, mode) && w.Write(data) && w.Commit()) return true;
  if (error) *error = w.Error();
  if (errorCode) *errorCode = w.ErrorCode();
  w.Discard();
  return false;
}

}  // namespace

bool WriteFile(const std::string& path, std::string_view data, std::string* error) {
  return WriteWhole(path, data, Writer::Mode::Truncate, error);
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error, int* errorCode) {
  return WriteWhole(path, data, Writer::Mode::Atomic, error, errorCode);
}

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
  std::string data;
  if (!ReadFile(from, &data, error)) return false;
  return WriteWhole(to, data, Writer::Mode::Atomic, error);
}

bool ReadFile(const std::string& path, std::string* out, std::string* error) {
  return ReadFile(path, out, error, 0);
}

bool ReadFile(const std::string& path, std::string* out, std::string* error, size_t spare) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = ErrorText("open", path, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    if (error) *error = ErrorText("read", path, code);
    return false;
  }
  std::string data;
  // The size is a hint: the file may grow or shrink while it is read.
  // One byte more than the file lets the final read see the end without growing.
  size_t capacity = (st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096) + spare;
  data.resize(capacity);
  size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      if (error) *error = ErrorText("read", path, code);
      return false;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(used);
  *out = std::move(data);
  return true;
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) == 0) return true;
  if (error) *error = ErrorText("delete", path, errno);
  return false;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool MakePath(const std::string& path, std::string* error) {
  if (path.empty()) {
    if (error) *error = "Cannot create a folder with an empty name";
    return false;
  }
  if (DirectoryExists(path)) return true;
  // Create each missing level from the top down.
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string level = path.substr(0, pos);
    if (level.empty() || DirectoryExists(level)) continue;
    if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) {
      if (error) *error = ErrorText("create folder", level, errno);
      return false;
    }
  }
  if (DirectoryExists(path)) return true;
  if (error) *error = ErrorText("create folder", path, ENOTDIR);
  return false;
}

std::vector<std::string> EntriesEndingWith(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const size_t n = std::strlen(entry->d_name);
    if (n >= extension.size() && ::strcasecmp(entry->d_name + n - extension.size(), extension.c_str()) == 0) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  return names;
}

namespace {

// A new empty folder named `folder` + `prefix` + six random characters; *path ends with "/".
bool MakeUniqueFolder(const std::string& folder, const char* prefix, std::string* path, std::string* error) {
  std::string name;
  if (CreateUnique(folder, prefix, &name, [](const std::string& n) { return ::mkdir(n.c_str(), 0777); }) < 0) {
    if (error) *error = ErrorText("create folder", folder + prefix + "XXXXXX", errno);
    return false;
  }
  *path = name + "/";
  return true;
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names in `folder` except "." and "..".
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
  }
  return names;
}

}  // namespace

bool MakePrivateFolder(const std::string& folder, std::string* path, std::string* error) {
  return MakeUniqueFolder(folder, kPrivatePrefix, path, error);
}

bool RemoveTree(const std::string& path, std::string* error) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) {
    for (const std::string& entry : Entries(name)) RemoveTree(name + "/" + entry, nullptr);
    if (::rmdir(name.c_str()) == 0) return true;
  } else if (::unlink(name.c_str()) == 0) {
    return true;
  }
  if (error) *error = ErrorText("delete", name, errno);
  return false;
}

void PrivateFolder::Remove() {
  if (path_.empty()) return;
  RemoveTree(path_, nullptr);
  path_.clear();
}

void RemoveLeftovers(const std::string& folder) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  const size_t prefixLength = std::strlen(kPrivatePrefix);
  for (const std::string& name : Entries(base)) {
    if (name.compare(0, prefixLength, kPrivatePrefix) != 0) continue;
    const std::string leftover = base + name;
    // A replace that died between its two renames: the old folder is
    // complete and its place still empty. One that cannot be put back stays.
    bool keep = false;
    if (name.compare(0, std::strlen(kAsidePrefix), kAsidePrefix) == 0) {
      for (const std::string& moved : Entries(leftover)) {
        if (PathExists(base + moved)) continue;
        keep |= ::rename((leftover + "/" + moved).c_str(), (base + moved).c_str()) != 0;
      }
    }
    if (!keep) RemoveTree(leftover, nullptr);
  }
}

bool ReplaceFolder(const std::string& fresh, const std::string& target, std::string* error) {
  const Fault fault = TakeFault(target);
  if (fault.point == FaultPoint::Rename) {
    if (error) *error = ErrorText("replace", target, fault.errorCode);
    return false;
  }
  const bool exchange = fault.point != FaultPoint::NoExchange;
  if (exchange && ::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    RemoveTree(fresh, nullptr);  // the old folder, under the fresh one's name now
    return true;
  }
  if (exchange && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    if (error) *error = ErrorText("replace", target, errno);
    return false;
  }
  // No exchange here: the old folder goes aside (inside a private folder, so
  // a run that dies next leaves it for RemoveLeftovers to put back), then
  // the fresh one comes in.
  std::string aside;
  if (!MakeUniqueFolder(FolderOf(target), kAsidePrefix, &aside, error)) return false;
  const std::string old = aside + NameOf(target);
  if (!Rename(target, old, error)) {
    RemoveTree(aside, nullptr);
    return false;
  }
  if (!Rename(fresh, target, error)) {
    ::rename(old.c_str(), target.c_str());
    RemoveTree(aside, nullptr);
    return false;
  }
  RemoveTree(aside, nullptr);
  return true;
}

int CreateLockedTemporary(const std::string& folder, const std::string& prefix, std::string* path) {
  for (;;) {
    const int fd = CreateTemporary(folder, prefix, path);
    if (fd < 0) return -1;
    // A cleaner may have taken the new file for a leftover before the lock
    // was held: only a file still under its name when locked is ours.
    struct stat held {}, named {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && ::stat(path->c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      return fd;
    }
    ::close(fd);
  }
}

void RemoveUnlockedTemporaries(const std::string& folder, const std::function<bool(const std::string& name)>& matches) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const std::string& name : Entries(base.empty() ? "./" : base)) {
    if (!matches(name)) continue;
    const std::string path = base + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {}, named {};
    // Nobody writes it (the flock is free), and it is still the file of that name.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
}

bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken, std::string* error) {
  *taken = false;
  const Fault fault = TakeFault(to);
  if (fault.point == FaultPoint::Rename) {
    if (error) *error = ErrorText("create", to, fault.errorCode);
    return false;
  }
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int code = errno;
  if (code == EINVAL || code == ENOSYS) {
    // A file system without the flag: a hard link claims the name just as
    // atomically, and the temporary name goes afterwards.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return true;
    }
    code = errno;
  }
  if (code == EEXIST) {
    *taken = true;
    return false;
  }
  if (error) *error = ErrorText("create", to, code);
  return false;
}

bool Rename(const std::string& from, const std::string& to, std::string* error) {
  const Fault fault = TakeFault(to);
  if (fault.point == FaultPoint::Rename) {
    if (error) *error = ErrorText("replace", to, fault.errorCode);
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = ErrorText("replace", to, errno);
  return false;
}

bool FreeSpace(const std::string& folder, uint64_t* bytes) {
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return false;
  *bytes = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
  return true;
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace fileio
