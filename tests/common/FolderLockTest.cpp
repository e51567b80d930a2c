// The record folder's lock between processes: other programs are kept out,
// the same process shares it, and a holder that is killed lets go. Forks and
// kills processes: runs once, not again under the sanitizer build.
#include "common/FileWrite.h"
#include "common/FolderLock.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

using testing_support::Exists;
using testing_support::TempFolder;
using testing_support::WriteAll;

// In a child process, as another program would: 0 when it could lock the
// folder at once, 1 when the folder was busy, 2 on another failure. (A forked
// child shares its parent's open files and lock table, so it opens the folder
// afresh and locks that.)
int TryLockInChild(const std::string& folder) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) ::_exit(2);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::_exit(0);
    ::_exit(errno == EWOULDBLOCK ? 1 : 2);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FolderLock, KeepsOtherProcessesOutAndDiesWithItsHolder) {
  TempFolder dir;
  std::string error;
  WriteAll(dir / ".glyphreel-killed", "left by a killed run");
  {
    fileio::FolderLock lock, again;
    ASSERT_TRUE(lock.Acquire(dir.Path(), fileio::FolderLock::Wait::No, &error)) << error;
    EXPECT_FALSE(Exists(dir / ".glyphreel-killed")) << "the first holder clears what killed runs left";
    WriteAll(dir / ".glyphreel-running", "this run's own");
    // The same process takes it again (a recording's conversion) without
    // waiting for itself, and clears nothing.
    ASSERT_TRUE(again.Acquire(dir.Path(), fileio::FolderLock::Wait::No, &error)) << error;
    EXPECT_TRUE(Exists(dir / ".glyphreel-running"));
    EXPECT_EQ(TryLockInChild(dir.Path()), 1);
    again.Release();
    EXPECT_EQ(TryLockInChild(dir.Path()), 1) << "still held by the first";
  }
  EXPECT_EQ(TryLockInChild(dir.Path()), 0);

  // A holder that is killed releases the lock with its death.
  const pid_t holder = ::fork();
  if (holder == 0) {
    fileio::FolderLock lock;
    if (!lock.Acquire(dir.Path(), fileio::FolderLock::Wait::No, nullptr)) ::_exit(2);
    WriteAll(dir / "held", "");
    ::pause();
    ::_exit(0);
  }
  while (!Exists(dir / "held")) ::usleep(1000);
  EXPECT_EQ(TryLockInChild(dir.Path()), 1);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(TryLockInChild(dir.Path()), 0);
  fileio::FolderLock missing;
  EXPECT_FALSE(missing.Acquire(dir / "missing", fileio::FolderLock::Wait::No, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
}

}  // namespace
