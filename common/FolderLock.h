// The lock that keeps two runs out of one record folder.
//
// A conversion reads the numbered bitmaps of a folder and a recording
// deletes and writes them; two of them at once in one folder would mix or
// lose frames. Each holds this lock for its whole length: an advisory
// `flock` on the folder itself, which the kernel releases when the process
// ends however it ends (a process id in a file would outlive a killed run
// and could be reused by another program).
//
// Within one process the lock is shared: the window's recording holds it and
// the conversion that follows takes it again without waiting for itself.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

namespace fileio {

// Set from a signal handler to ask long work (conversion, recording, the wait
// for a lock) to stop at the next frame; async-signal-safe.
void RequestInterrupt();
bool InterruptRequested();
void ClearInterrupt();

class FolderLock {
 public:
  enum class Wait {
    No,   // a folder another process holds is refused at once
    Yes,  // wait until it is free (or until RequestInterrupt())
  };

  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock on `folder` (which must exist). When this process takes it
  // first, what earlier killed runs left there is removed (RemoveLeftovers).
  // False with *error when the folder cannot be opened, when another process
  // holds it (Wait::No; *busy is set then), or when the wait was interrupted.
  bool Acquire(const std::string& folder, Wait wait, std::string* error, bool* busy = nullptr);
  void Release();
  bool Held() const { return held_; }

 private:
  bool held_ = false;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace fileio
