#include "common/FileWrite.h"
#include "common/FolderLock.h"

#include "support/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::Exists;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

TEST(FileWrite, WritesReplacesAndReadsBack) {
  TempFolder dir;
  std::string error;
  ASSERT_TRUE(fileio::WriteFile(dir / "a.txt", "first version, longer", &error)) << error;
  ASSERT_TRUE(fileio::WriteFile(dir / "a.txt", "second", &error)) << error;
  EXPECT_EQ(ReadAll(dir / "a.txt"), "second");

  ASSERT_TRUE(fileio::WriteFileAtomic(dir / "a.txt", "third", &error)) << error;
  EXPECT_EQ(ReadAll(dir / "a.txt"), "third");
  ASSERT_TRUE(fileio::CopyFile(dir / "a.txt", dir / "b.txt", &error)) << error;
  EXPECT_EQ(ReadAll(dir / "b.txt"), "third");

  fileio::Writer w;
  ASSERT_TRUE(w.Open(dir / "a.txt", fileio::Writer::Mode::Append));
  ASSERT_TRUE(w.Write("+more"));
  ASSERT_TRUE(w.Commit());
  EXPECT_EQ(ReadAll(dir / "a.txt"), "third+more");
}

TEST(FileWrite, FailuresNameThePathAndLeaveNoTemporaryFiles) {
  TempFolder dir;
  std::string error, data;
  EXPECT_FALSE(fileio::WriteFile(dir / "missing/x.txt", "x", &error));
  EXPECT_NE(error.find(dir / "missing/x.txt"), std::string::npos) << error;
  EXPECT_FALSE(fileio::ReadFile(dir / "nothing.txt", &data, &error));
  EXPECT_NE(error.find("nothing.txt"), std::string::npos) << error;
  EXPECT_FALSE(fileio::ReadFile(dir.Path(), &data, &error));  // a folder is not a file
  EXPECT_FALSE(fileio::CopyFile(dir / "nothing.txt", dir / "copy.txt", &error));
  EXPECT_FALSE(Exists(dir / "copy.txt"));

  // An uncommitted atomic write leaves the old file and no temporary file.
  WriteAll(dir / "keep.txt", "old");
  {
    fileio::Writer w;
    ASSERT_TRUE(w.Open(dir / "keep.txt", fileio::Writer::Mode::Atomic));
    ASSERT_TRUE(w.Write("new, never committed"));
  }
  EXPECT_EQ(ReadAll(dir / "keep.txt"), "old");
  EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(FileWrite, InjectedFaultsAtOpenAfterBytesAndAtRename) {
  TempFolder dir;
  std::string error;
  WriteAll(dir / "target.txt", "precious");

  {
    fileio::ScopedFault fault({fileio::FaultPoint::Open, "target", 0, 0, ENOSPC});
    EXPECT_FALSE(fileio::WriteFileAtomic(dir / "target.txt", "replacement", &error));
    EXPECT_NE(error.find("target.txt"), std::string::npos);
    // Other paths are not affected.
    EXPECT_TRUE(fileio::WriteFile(dir / "other.txt", "fine", &error)) << error;
  }
  {
    fileio::ScopedFault fault({fileio::FaultPoint::AfterBytes, "target", 4, 0, ENOSPC});
    EXPECT_FALSE(fileio::WriteFileAtomic(dir / "target.txt", "replacement", &error));
    EXPECT_NE(error.find("No space left"), std::string::npos) << error;
  }
  {
    fileio::ScopedFault fault({fileio::FaultPoint::Rename, "", 0, 0, EIO});
    EXPECT_FALSE(fileio::WriteFileAtomic(dir / "target.txt", "replacement", &error));
  }
  EXPECT_EQ(ReadAll(dir / "target.txt"), "precious");
  // The truncating writer really stops after N bytes: what a full disk does.
  {
    fileio::ScopedFault fault({fileio::FaultPoint::AfterBytes, "partial", 3, 0, ENOSPC});
    EXPECT_FALSE(fileio::WriteFile(dir / "partial.txt", "abcdef", &error));
  }
  EXPECT_EQ(ReadAll(dir / "partial.txt"), "abc");
  // `skip` lets the first matching files through.
  {
    fileio::ScopedFault fault({fileio::FaultPoint::Open, "n", 0, 2, ENOSPC});
    EXPECT_TRUE(fileio::WriteFile(dir / "n1", "1", &error));
    EXPECT_TRUE(fileio::WriteFile(dir / "n2", "2", &error));
    EXPECT_FALSE(fileio::WriteFile(dir / "n3", "3", &error));
  }
  EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

TEST(FileWrite, AtomicWriteKeepsTheFileModeAndRefusesAFolder) {
  TempFolder dir;
  std::string error;
  WriteAll(dir / "mode.txt", "x");
  ASSERT_EQ(::chmod((dir / "mode.txt").c_str(), 0640), 0);
  ASSERT_TRUE(fileio::WriteFileAtomic(dir / "mode.txt", "y", &error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat((dir / "mode.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  ASSERT_TRUE(fileio::MakePath(dir / "sub/folder", &error)) << error;
  EXPECT_FALSE(fileio::WriteFileAtomic(dir / "sub", "z", &error));
  EXPECT_TRUE(fileio::DirectoryExists(dir / "sub/folder"));
}

TEST(FileWrite, MakePathAndSameFile) {
  TempFolder dir;
  std::string error;
  EXPECT_TRUE(fileio::MakePath(dir / "a/b/c", &error)) << error;
  EXPECT_TRUE(fileio::MakePath(dir / "a/b/c/", &error)) << error;  // exists already, trailing slash
  EXPECT_TRUE(fileio::DirectoryExists(dir / "a/b/c"));
  WriteAll(dir / "a/file", "x");
  EXPECT_FALSE(fileio::MakePath(dir / "a/file/d", &error));  // a file is in the way
  EXPECT_FALSE(error.empty());

  EXPECT_TRUE(fileio::SameFile(dir / "a/file", dir / "a/b/../file"));
  ASSERT_EQ(::symlink((dir / "a/file").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(fileio::SameFile(dir / "link", dir / "a/file"));
  EXPECT_FALSE(fileio::SameFile(dir / "a/file", dir / "a/missing"));
}

TEST(FileWrite, NewFilesGetThePlainCreateMode) {
  // 0666 less the umask, as open() gives, never the temporary file's 0600;
  // private folders 0777 less the umask, since the frames folder is one.
  TempFolder dir;
  std::string error;
  const mode_t old = ::umask(0);
  for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{0}, mode_t{077}}) {
    ::umask(mask);
    const std::string tag = std::to_string(mask);
    ASSERT_TRUE(fileio::WriteFileAtomic(dir / ("atomic" + tag), "x", &error)) << error;
    ASSERT_TRUE(fileio::CopyFile(dir / ("atomic" + tag), dir / ("copy" + tag), &error)) << error;
    ASSERT_TRUE(fileio::WriteFile(dir / ("plain" + tag), "x", &error)) << error;
    for (const char* kind : {"atomic", "copy", "plain"}) {
      struct stat st {};
      ASSERT_EQ(::stat((dir / (kind + tag)).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << kind << " under umask " << std::oct << mask;
    }
    fileio::PrivateFolder folder;
    ASSERT_TRUE(folder.Create(dir.Path(), &error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(folder.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask) << "private folder under umask " << std::oct << mask;
  }
  ::umask(old);
}

TEST(FileWrite, PrivateFoldersAndClaimingNames) {
  TempFolder dir;
  std::string error;
  std::string kept;
  {
    fileio::PrivateFolder a, b;
    ASSERT_TRUE(a.Create(dir.Path(), &error)) << error;
    ASSERT_TRUE(b.Create(dir.Path(), &error)) << error;
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(a.Path().rfind(dir / ".glyphreel-", 0), 0u) << a.Path();
    WriteAll(a.Path() + "part.txt", "x");
    fileio::MakePath(a.Path() + "sub/deeper", nullptr);
    kept = a.Path();
  }
  EXPECT_FALSE(Exists(kept)) << "removed with everything in it";

  // A name is claimed once: the second claim sees it taken.
  WriteAll(dir / "one", "1");
  WriteAll(dir / "two", "2");
  bool taken = false;
  EXPECT_TRUE(fileio::RenameNoReplace(dir / "one", dir / "name", &taken, &error)) << error;
  EXPECT_FALSE(fileio::RenameNoReplace(dir / "two", dir / "name", &taken, &error));
  EXPECT_TRUE(taken);
  EXPECT_EQ(ReadAll(dir / "name"), "1");
  EXPECT_EQ(ReadAll(dir / "two"), "2");

  // What a killed run left is removed by the next one to take the folder;
  // everything else stays.
  fileio::MakePath(dir / ".glyphreel-left1/x", nullptr);
  WriteAll(dir / ".glyphreel-left2", "temp");
  WriteAll(dir / ".hidden-but-not-ours", "user");
  fileio::RemoveLeftovers(dir.Path());
  EXPECT_FALSE(Exists(dir / ".glyphreel-left1"));
  EXPECT_FALSE(Exists(dir / ".glyphreel-left2"));
  EXPECT_TRUE(Exists(dir / ".hidden-but-not-ours"));
}

}  // namespace

namespace {

// A frames folder is replaced in one step where the file system exchanges two
// names, and by two renames where it cannot (as on vfat); a run that died
// between those two left the old folder aside, and the next run that takes
// the record folder's lock puts it back, unless a folder stands in its place.
TEST(FileWrite, AReplacedFolderIsNeverLost) {
  const auto put = [](const std::string& folder, const std::string& bytes) {
    fileio::MakePath(folder, nullptr);
    WriteAll(folder + "/1.txt", bytes);
  };
  const auto entries = [](const TempFolder& dir) {
    return QDir(QString::fromStdString(dir.Path())).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  };
  for (const auto point : {fileio::FaultPoint::None, fileio::FaultPoint::NoExchange}) {
    TempFolder dir;
    put(dir / "frames", "old");
    put(dir / ".glyphreel-work", "new");
    const fileio::ScopedFault noExchange({point, "frames"});
    ASSERT_TRUE(fileio::ReplaceFolder(dir / ".glyphreel-work", dir / "frames", nullptr));
    EXPECT_EQ(ReadAll(dir / "frames/1.txt"), "new");
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("frames")});
  }
  TempFolder dir;
  put(dir / ".glyphreel-aside-a1b2c3/frames", "old");
  put(dir / ".glyphreel-aside-d4e5f6/taken", "old");
  put(dir / "taken", "current");
  fileio::FolderLock lock;
  ASSERT_TRUE(lock.Acquire(dir.Path(), fileio::FolderLock::Wait::No, nullptr));
  EXPECT_EQ(ReadAll(dir / "frames/1.txt"), "old");
  EXPECT_EQ(ReadAll(dir / "taken/1.txt"), "current");
  EXPECT_EQ(entries(dir), (QStringList{QStringLiteral("frames"), QStringLiteral("taken")}));
}

}  // namespace
