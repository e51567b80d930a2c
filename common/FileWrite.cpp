#include "common/FileWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
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

mode_t CurrentUmask() {
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

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
    mode_t fileMode = 0666 & ~CurrentUmask();
    if (::stat(path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return Fail("write", EISDIR);
      if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return Fail("write", errno);
      fileMode = st.st_mode & 07777;
    }
    std::string templ = FolderOf(path) + ".glyphreel-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) return Fail("write", errno);
    tempPath_ = buf.data();
    ::fchmod(fd_, fileMode);
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

bool WriteWhole(const std::string& path, std::string_view data, Writer::Mode mode, std::string* error) {
  Writer w;
  if (w.Open(path, mode) && w.Write(data) && w.Commit()) return true;
  if (error) *error = w.Error();
  w.Discard();
  return false;
}

}  // namespace

bool WriteFile(const std::string& path, std::string_view data, std::string* error) {
  return WriteWhole(path, data, Writer::Mode::Truncate, error);
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* error) {
  return WriteWhole(path, data, Writer::Mode::Atomic, error);
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
