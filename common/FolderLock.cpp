#include "common/FolderLock.h"

#include "common/FileWrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

namespace fileio {
namespace {

volatile std::sig_atomic_t gInterrupt = 0;

// The folders this process holds, by (device, inode): the open descriptor
// that carries the flock and how many FolderLock objects share it.
struct HeldFolder {
  int fd = -1;
  int users = 0;
};
std::mutex gHeldMutex;
std::map<std::pair<uint64_t, uint64_t>, HeldFolder> gHeld;

}  // namespace

void RequestInterrupt() { gInterrupt = 1; }
bool InterruptRequested() { return gInterrupt != 0; }
void ClearInterrupt() { gInterrupt = 0; }

bool FolderLock::Acquire(const std::string& folder, Wait wait, std::string* error, bool* busy) {
  Release();
  if (busy) *busy = false;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (error) *error = ErrorText("open folder", folder, errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  const std::pair<uint64_t, uint64_t> key{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  std::lock_guard lock(gHeldMutex);
  if (auto it = gHeld.find(key); it != gHeld.end()) {
    ::close(fd);
    ++it->second.users;
  } else {
    for (;;) {
      if (::flock(fd, LOCK_EX | (wait == Wait::No ? LOCK_NB : 0)) == 0) break;
      const int code = errno;
      if (code == EINTR && !InterruptRequested()) continue;
      ::close(fd);
      if (code == EWOULDBLOCK) {
        if (busy) *busy = true;
        if (error) *error = folder + " is in use by another conversion or recording";
      } else if (code == EINTR) {
        if (error) *error = "interrupted";
      } else if (error) {
        *error = ErrorText("lock", folder, code);
      }
      return false;
    }
    gHeld[key] = HeldFolder{fd, 1};
    // No other run is in this folder now: what is there under a private name
    // was left by a run that was killed.
    RemoveLeftovers(folder);
  }
  held_ = true;
  device_ = key.first;
  inode_ = key.second;
  return true;
}

void FolderLock::Release() {
  if (!held_) return;
  held_ = false;
  std::lock_guard lock(gHeldMutex);
  const auto it = gHeld.find({device_, inode_});
  if (it == gHeld.end()) return;
  if (--it->second.users == 0) {
    ::close(it->second.fd);  // closing the last descriptor releases the flock
    gHeld.erase(it);
  }
}

}  // namespace fileio
