// glyphreel-cli under real faults: a full and a read-only file system, a
// file-size and an address-space limit, signals, and two runs in one folder.
// After every failure: the exit status and message, the old output and every
// bitmap unchanged, nothing hidden left behind, and a re-run once the fault
// is lifted byte-identical to a clean run.
#include "CliSupport.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "support/TestSupport.h"
#include "support/TestVideo.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

namespace {

using namespace testing_support;
using namespace cli_test;

// Every entry under a folder (hidden ones too) with its bytes; a folder as
// "<dir>" followed by its own entries ("sub/", "sub/1.txt").
void AddSnapshot(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>* files) {
  const QDir dir(QString::fromStdString(folder));
  for (const QFileInfo& e : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const std::string name = e.fileName().toStdString();
    if (e.isDir()) {
      (*files)[prefix + name + "/"] = "<dir>";
      AddSnapshot(folder + name + "/", prefix + name + "/", files);
    } else {
      (*files)[prefix + name] = ReadAll(folder + name);
    }
  }
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  AddSnapshot(folder, "", &files);
  return files;
}

std::vector<std::string> Hidden(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Snapshot(folder))
    if (name[0] == '.' || name.find("/.") != std::string::npos) names.push_back(name);
  return names;
}

// A small tmpfs mounted on a fresh folder for the life of the object.
class Tmpfs {
 public:
  explicit Tmpfs(const std::string& size) {
    path_ = dir_.Path() + "mnt/";
    fileio::MakePath(path_, nullptr);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return path_; }
  bool ReadOnly(bool on) {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | (on ? MS_RDONLY : 0), nullptr) == 0;
  }
  // Fills the file system with a file named `name` until `leave` bytes are free.
  void Fill(const std::string& name, uint64_t leave) {
    const int fd = ::open((path_ + name).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    for (;;) {
      const uint64_t free = FreeBytes();
      if (free <= leave) break;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), free - leave));
      if (::write(fd, block.data(), n) <= 0) break;
    }
    ::close(fd);
  }
  uint64_t FreeBytes() const {
    struct statvfs vfs {};
    if (::statvfs(path_.c_str(), &vfs) != 0) return 0;
    return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  }

 private:
  TempFolder dir_;
  std::string path_;
  bool mounted_ = false;
};

#define SKIP_UNLESS_MOUNTED(fs)                                                                  \
  if (!(fs).Mounted()) {                                                                         \
    std::printf("cannot mount a tmpfs here (%s): the real-disk cases are skipped\n", strerror(errno)); \
    GTEST_SKIP();                                                                                \
  }

// Waits until `folder` holds `count` hidden entries, such as a run's private
// folder (the run is mid-way), or the run ended; true in the first case.
bool WaitForPrivateFolder(const std::string& folder, QProcess* run, size_t count = 1) {
  // Only the folder's own names, at once: reading every file would see a run
  // that has already placed its output as still running.
  const auto hiddenNames = [&folder] {
    size_t n = 0;
    const QDir::Filters filters = QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(filters)) n += name.startsWith('.');
    return n;
  };
  for (int i = 0; i < 200000; ++i) {
    if (hiddenNames() >= count) return true;
    if (run->state() == QProcess::NotRunning || run->waitForFinished(0)) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

bool WaitForText(QProcess* run, const std::string& text, std::string* seen) {
  for (int i = 0; i < 600; ++i) {
    run->waitForReadyRead(100);
    *seen += run->readAllStandardError().toStdString();
    if (seen->find(text) != std::string::npos) return true;
  }
  return false;
}

const std::string kTable = gbk::DefaultGrayTable();

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A recording (or a make keeping its frames) into a folder that a stopped
// conversion holds waits for it, deleting nothing, until Ctrl-C or a kill.
TEST(CliFaults, ARecordingWaitsForAHeldFolderUntilStopped) {
  TempFolder dir, clips;
  Record(dir.Path(), 150);
  const std::string clip = Clip(clips / "clip.avi", 25);
  const auto before = Snapshot(dir.Path());
  QProcess convert;
  StartCli(&convert, {"convert", dir.Path(), "--size", "8"});
  if (!WaitForPrivateFolder(dir.Path(), &convert)) GTEST_SKIP() << "the conversion ended before it could be stopped";
  ASSERT_EQ(::kill(static_cast<pid_t>(convert.processId()), SIGSTOP), 0);
  for (const auto& [args, sig] :
       {std::pair{std::vector<std::string>{"record", clip, dir.Path()}, SIGINT},
        std::pair{std::vector<std::string>{"make", clip, dir.Path(), "--keep-frames"}, SIGTERM}}) {
    QProcess run;
    StartCli(&run, args);
    std::string err;
    ASSERT_TRUE(WaitForText(&run, "waiting for it to finish", &err)) << args[0] << err;
    ASSERT_EQ(::kill(static_cast<pid_t>(run.processId()), sig), 0);
    const CliRun r = Finish(&run, 10000);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(Count(err + r.err, "glyphreel-cli: interrupted"), 1) << err << r.err;
  }
  ASSERT_EQ(::kill(static_cast<pid_t>(convert.processId()), SIGCONT), 0);
  EXPECT_EQ(Finish(&convert).status, 0);
  auto after = Snapshot(dir.Path());
  EXPECT_EQ(after["movie.txt"], Expected(OutputForm::Text, 8, 100, kTable, 150));
  after.erase("movie.txt");
  EXPECT_EQ(after, before) << "every bitmap as it was";
}

TEST(CliFaults, TwoRunsInOneFolderNeverMix) {
  TempFolder dir;
  Record(dir.Path(), 150);
  WriteAll(dir / "2.txt", "the user's own notes");
  QProcess first, second;
  StartCli(&first, {"convert", dir.Path(), "--size", "8", "--name", "m"});
  if (!WaitForPrivateFolder(dir.Path(), &first)) GTEST_SKIP() << "the first run ended before it could be stopped";
  ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGSTOP), 0);
  // The second run sees the folder taken and waits for it.
  StartCli(&second, {"convert", dir.Path(), "--size", "2", "--name", "m"});
  std::string secondErr;
  EXPECT_TRUE(WaitForText(&second, "waiting", &secondErr)) << secondErr;
  ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGCONT), 0);
  const CliRun a = Finish(&first), b = Finish(&second);
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(b.status, 0) << secondErr << b.err;
  EXPECT_EQ(a.LastLine(), dir / "m.txt");
  EXPECT_EQ(b.LastLine(), dir / "m_01.txt");
  EXPECT_EQ(ReadAll(dir / "m.txt"), Expected(OutputForm::Text, 8, 100, kTable, 150));
  EXPECT_EQ(ReadAll(dir / "m_01.txt"), Expected(OutputForm::Text, 2, 100, kTable, 150));
  EXPECT_EQ(ReadAll(dir / "2.txt"), "the user's own notes");
  EXPECT_EQ(Hidden(dir.Path()), std::vector<std::string>{});
}

TEST(CliFaults, SignalsRemoveTheRunsTemporaryFilesOnly) {
  TempFolder dir;
  Record(dir.Path(), 150);
  WriteAll(dir / "movie.txt", "an older movie");
  const auto before = Snapshot(dir.Path());
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    QProcess run;
    StartCli(&run, {"convert", dir.Path(), "--size", "8", "--overwrite"});
    if (!WaitForPrivateFolder(dir.Path(), &run)) GTEST_SKIP() << "the run ended before it could be stopped";
    const auto pid = static_cast<pid_t>(run.processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_EQ(::kill(pid, sig), 0);
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    const CliRun r = Finish(&run);
    if (sig == SIGKILL) {
      EXPECT_EQ(r.status, -1);
      EXPECT_FALSE(Hidden(dir.Path()).empty()) << "a killed run cannot clean up";
    } else {
      EXPECT_EQ(r.status, 1) << "signal " << sig << ": " << r.err;
      EXPECT_EQ(Count(r.err, "interrupted"), 1) << r.err;
      EXPECT_EQ(Snapshot(dir.Path()), before) << "signal " << sig << ": everything as it was, nothing hidden";
    }
  }
  // The next run removes what the killed one left, and its movie is a clean run's.
  const CliRun r = Cli({"convert", dir.Path(), "--size", "8", "--overwrite"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Hidden(dir.Path()), std::vector<std::string>{});
  EXPECT_EQ(ReadAll(dir / "movie.txt"), Expected(OutputForm::Text, 8, 100, kTable, 150));
}

TEST(CliFaults, PlayAndRecordEndCleanlyOnSignals) {
  TempFolder dir;
  // Playing: a closed terminal (SIGHUP) ends it like Ctrl-C, not by death.
  Record(dir.Path(), 3);
  const CliRun made = Cli({"convert", dir.Path(), "--interval", "2000"});
  ASSERT_EQ(made.status, 0) << made.err;
  QProcess play;
  StartCli(&play, {"play", made.LastLine()});
  ASSERT_TRUE(play.waitForReadyRead(30000)) << "the first frame is shown";
  ASSERT_EQ(::kill(static_cast<pid_t>(play.processId()), SIGHUP), 0);
  const CliRun played = Finish(&play);
  EXPECT_EQ(played.status, 1) << played.err;
  EXPECT_NE(played.err.find("glyphreel-cli: interrupted"), std::string::npos) << played.err;

  // Recording: stopped mid-way, every bitmap written is whole, nothing hidden stays.
  const std::string clip = Clip(dir / "clip.avi", 75);
  QProcess record;
  StartCli(&record, {"record", clip, dir / "frames"});
  for (int i = 0; i < 100000 && !Exists(dir / "frames/2.bmp") && record.state() != QProcess::NotRunning; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const auto pid = static_cast<pid_t>(record.processId());
  if (record.state() == QProcess::NotRunning || pid <= 0) GTEST_SKIP() << "the recording ended before the signal";
  ASSERT_EQ(::kill(pid, SIGSTOP), 0);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  ASSERT_EQ(::kill(pid, SIGCONT), 0);
  const CliRun r = Finish(&record);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("glyphreel-cli: interrupted"), std::string::npos) << r.err;
  const auto frames = Snapshot(dir / "frames/");
  EXPECT_LT(frames.size(), 29u);
  for (const auto& [name, bytes] : frames) {
    EXPECT_NE(name[0], '.') << "left behind: " << name;
    EXPECT_EQ(bytes.size(), 57654u) << name << " is cut short";
  }
}

// export ends on Ctrl-C, kill and a closed terminal as the other commands
// do: "interrupted", status 1, the old output untouched, nothing left. What
// a killed export leaves, the next export into the folder removes, but never
// the temporary file of an export that still runs (here one held stopped).
TEST(CliFaults, ExportStopsOnSignalsAndClearsWhatKilledExportsLeft) {
  TempFolder dir;
  Record(dir.Path(), 100);
  const std::string movie = Cli({"convert", dir.Path(), "--size", "4", "--interval", "40"}).LastLine();
  WriteAll(dir / "out.mp4", "old");
  QProcess held;
  StartCli(&held, {"export", movie, dir / "held.mp4"});
  if (!WaitForPrivateFolder(dir.Path(), &held)) GTEST_SKIP() << "the export ended before it could be stopped";
  ASSERT_EQ(::kill(static_cast<pid_t>(held.processId()), SIGSTOP), 0);
  const auto holding = Hidden(dir.Path());
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    QProcess run;
    StartCli(&run, {"export", movie, dir / "out.mp4", "--overwrite"});
    if (!WaitForPrivateFolder(dir.Path(), &run, 2)) GTEST_SKIP() << "the export ended before it could be stopped";
    ASSERT_EQ(::kill(static_cast<pid_t>(run.processId()), sig), 0);
    const CliRun r = Finish(&run, 30000);
    EXPECT_EQ(ReadAll(dir / "out.mp4"), "old");
    EXPECT_EQ(Hidden(dir.Path()).size(), sig == SIGKILL ? 2u : 1u) << "signal " << sig;
    EXPECT_TRUE(sig == SIGKILL || (r.status == 1 && Count(r.err, "glyphreel-cli: interrupted") == 1)) << r.err;
  }
  EXPECT_EQ(Cli({"export", movie, dir / "quick.gif", "--font-size", "4"}).status, 0);
  EXPECT_EQ(Hidden(dir.Path()), holding) << "the killed export's file goes, the running one's stays";
  ASSERT_EQ(::kill(static_cast<pid_t>(held.processId()), SIGCONT), 0);
  EXPECT_EQ(Finish(&held).status, 0);
  EXPECT_EQ(Hidden(dir.Path()), std::vector<std::string>{});
}

// Ctrl-Z during play gives the terminal back (its own screen left, the
// cursor shown) and stops; continued, the player sets its screen up again.
TEST(CliFaults, PlayGivesTheTerminalBackWhileStopped) {
  TempFolder dir;
  Record(dir.Path(), 3);
  const std::string program = CliProgram(), movie = Cli({"convert", dir.Path(), "--interval", "500"}).LastLine();
  int terminal = -1, player = -1;
  ASSERT_EQ(::openpty(&terminal, &player, nullptr, nullptr, nullptr), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // a job of this session, as a shell starts it
    ::dup2(player, STDOUT_FILENO);
    ::execl(program.c_str(), program.c_str(), "play", movie.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(player);
  std::string seen;
  int status = 0;
  // Reads the terminal (so the player never waits on it) until `done`, 10 s at most.
  const auto readUntil = [&](const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
      pollfd ready{terminal, POLLIN, 0};
      char buffer[4096];
      const ssize_t n = ::poll(&ready, 1, 100) > 0 ? ::read(terminal, buffer, sizeof buffer) : 0;
      if (n > 0) seen.append(buffer, size_t(n));
      if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  };
  const auto shows = [&](const std::string& text, int times) {
    return readUntil([&] { return Count(seen, text) >= times; });
  };
  const auto changes = [&](int options) {  // stops (WUNTRACED) or ends
    bool changed = false;
    return readUntil([&] { return changed || (changed = ::waitpid(pid, &status, WNOHANG | options) == pid); });
  };
  const std::string setUp = "\x1b[?1049h\x1b[?25l", restored = "\x1b[?25h\x1b[?1049l";
  EXPECT_TRUE(shows(setUp, 1));
  ASSERT_EQ(::kill(pid, SIGTSTP), 0);
  EXPECT_TRUE(shows(restored, 1)) << "the terminal was not given back";
  EXPECT_TRUE(changes(WUNTRACED) && WIFSTOPPED(status));
  ASSERT_EQ(::kill(pid, SIGCONT), 0);
  EXPECT_TRUE(shows(setUp, 2)) << "the player's screen was not set up again";
  EXPECT_TRUE(changes(0) && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(shows(restored, 2));
  if (!WIFEXITED(status)) ::kill(pid, SIGKILL);
  ::close(terminal);
}

// Runs glyphreel-cli with standard output and error on a terminal of its
// own, to its end: what the terminal shows (its line discipline turns each
// "\n" into "\r\n") and the exit status (-1 when it did not end in 60 s).
std::string OnTerminal(const std::vector<std::string>& args, int* status) {
  int terminal = -1, side = -1;
  EXPECT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
  const std::string program = CliProgram();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(side, STDOUT_FILENO);
    ::dup2(side, STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(side);
  std::string seen;
  *status = -1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    pollfd ready{terminal, POLLIN, 0};
    char buffer[4096];
    const ssize_t n = ::poll(&ready, 1, 100) > 0 ? ::read(terminal, buffer, sizeof buffer) : 0;
    if (n > 0) seen.append(buffer, size_t(n));
    int waited = 0;
    if (n <= 0 && ::waitpid(pid, &waited, WNOHANG) == pid) {
      *status = WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
      break;
    }
  }
  if (*status < 0) ::kill(pid, SIGKILL);
  ::close(terminal);
  return seen;
}

// On a terminal the long commands redraw one progress line in place and end
// it before their report; piped, they print the report alone.
TEST(CliFaults, ProgressIsOneLineOnATerminal) {
  TempFolder dir;
  Record(dir.Path(), 3);
  const std::string full = "[" + std::string(40, '#') + "]";
  int status = -1;
  const std::string converted = OnTerminal({"convert", dir.Path(), "--interval", "100"}, &status);
  EXPECT_EQ(status, 0) << converted;
  EXPECT_NE(converted.find("\rconverting [ "), std::string::npos) << converted;
  EXPECT_NE(converted.find("\rconverting " + full + " 3 frames\r\nglyphreel-cli: 3 frames converted\r\n"),
            std::string::npos)
      << converted;
  const std::string exported =
      OnTerminal({"export", dir / "movie.txt", dir / "movie.gif", "--font-size", "4"}, &status);
  EXPECT_EQ(status, 0) << exported;
  EXPECT_NE(exported.find("\rexporting " + full), std::string::npos) << exported;
  EXPECT_NE(exported.find(" frames\r\n" + (dir / "movie.gif") + "\r\n"), std::string::npos) << exported;

  const CliRun piped = Cli({"convert", dir.Path(), "--interval", "100", "--overwrite"});
  EXPECT_EQ(piped.err, "glyphreel-cli: 3 frames converted\n");
}

TEST(CliFaults, FullAndReadOnlyDisksLoseNothing) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    uint64_t leave;  // bytes left free; 0: the file system is made read-only instead
    const char* message;
  } cases[] = {
      {"text, disk full at once", {}, 4096, "No space left on device"},
      {"text, disk full half way", {}, 40 * 1024, "No space left on device"},
      {"text with --overwrite", {"--overwrite"}, 40 * 1024, "No space left on device"},
      {"page, disk full", {"--form", "html"}, 40 * 1024, "No space left on device"},
      {"workbook data, disk full", {"--form", "xls"}, 40 * 1024, "No space left on device"},
      {"frames, disk full half way", {"--form", "frames"}, 40 * 1024, "No space left on device"},
      {"text, read-only", {"--overwrite"}, 0, "Read-only file system"},
      {"frames, read-only", {"--form", "frames"}, 0, "Read-only file system"},
  };
  const int frames = 20;
  for (const Case& c : cases) {
    Tmpfs fs("2m");
    SKIP_UNLESS_MOUNTED(fs);
    const std::string folder = fs.Path();
    Record(folder, frames);
    // Old outputs of every form, which a failed run must leave as they are.
    WriteAll(folder + "movie.txt", "an older movie");
    WriteAll(folder + "data.xxx", "older workbook data");
    fileio::MakePath(folder + "movie", nullptr);
    WriteAll(folder + "movie/1.txt", "older frame 1");
    WriteAll(folder + "movie/99.txt", "older frame 99");
    if (c.leave > 0) {
      fs.Fill(".filler-not-ours", c.leave);
    } else {
      ASSERT_TRUE(fs.ReadOnly(true)) << strerror(errno);
    }
    const auto before = Snapshot(folder);
    std::vector<std::string> args = {"convert", folder, "--size", "4"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 1) << c.what << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(r.err.find("glyphreel-cli: "), 0u) << r.err;
    EXPECT_EQ(Snapshot(folder), before) << c.what << ": old outputs and bitmaps unchanged, nothing left behind";

    // The fault lifted, the same command writes what a clean run writes.
    if (c.leave > 0) {
      fileio::RemoveFile(folder + ".filler-not-ours", nullptr);
    } else {
      ASSERT_TRUE(fs.ReadOnly(false));
    }
    const CliRun again = Cli(args);
    ASSERT_EQ(again.status, c.options.size() > 1 && c.options[1] == "xls" &&
                                    !fileio::FileExists(BuiltAppPath() + "dll/xls.dll")
                                ? 1
                                : 0)
        << c.what << ": " << again.err;
    const bool frameFiles = c.options.size() > 1 && c.options[1] == "frames";
    const bool data = c.options.size() > 1 && c.options[1] == "xls";
    const bool page = c.options.size() > 1 && c.options[1] == "html";
    if (frameFiles) {
      std::vector<std::string> names;
      for (const auto& [name, bytes] : Snapshot(folder + "movie/")) names.push_back(name);
      EXPECT_EQ(names.size(), static_cast<size_t>(frames)) << "no old frame file above the count";
      const std::string movie = Expected(OutputForm::Text, 4, 100, kTable, frames);
      std::string joined;
      for (int n = 1; n <= frames; ++n) joined += ReadAll(folder + "movie/" + std::to_string(n) + ".txt");
      EXPECT_EQ(joined, movie) << c.what;
    } else if (!page) {
      EXPECT_EQ(ReadAll(again.LastLine() == folder + "movie.xls" || data ? folder + "data.xxx" : again.LastLine()),
                Expected(OutputForm::Text, 4, 100, kTable, frames))
          << c.what;
    } else {
      EXPECT_EQ(ReadAll(again.LastLine()), Expected(OutputForm::Html, 4, 100, kTable, frames)) << c.what;
    }
    EXPECT_EQ(Hidden(folder), std::vector<std::string>{}) << c.what;
  }
}

TEST(CliFaults, RecordingOntoAFullDiskLeavesOnlyWholeBitmaps) {
  TempFolder videos;
  const std::string clip = Clip(videos / "clip.avi", 75);  // three seconds, 29 ticks at 10 a second
  Tmpfs fs("1m");
  SKIP_UNLESS_MOUNTED(fs);
  // Room for a few 160 x 120 bitmaps (57,654 bytes each), not for all.
  fs.Fill(".filler-not-ours", 200 * 1024);
  // --force: past the disk check, which would refuse before the first bitmap.
  const CliRun r = Cli({"record", clip, fs.Path(), "--force"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  int whole = 0;
  for (const auto& [name, bytes] : Snapshot(fs.Path())) {
    if (name == ".filler-not-ours") continue;
    ASSERT_NE(name[0], '.') << "left behind: " << name;
    EXPECT_EQ(bytes.size(), 57654u) << name << " is cut short";
    ++whole;
  }
  EXPECT_GT(whole, 0);
  // Converting what was recorded finds only whole bitmaps.
  fileio::RemoveFile(fs.Path() + ".filler-not-ours", nullptr);
  const CliRun c = Cli({"convert", fs.Path()});
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_NE(c.err.find(std::to_string(whole) + " frames converted"), std::string::npos) << c.err;
}

// Sets a resource limit in the child before it runs glyphreel-cli.
CliRun CliWithLimit(int resource, rlim_t limit, const std::vector<std::string>& args) {
  QProcess p;
  p.setChildProcessModifier([resource, limit] {
    const rlimit l{limit, limit};
    ::setrlimit(resource, &l);
  });
  StartCli(&p, args);
  return Finish(&p);
}

TEST(CliFaults, AFileSizeLimitIsAnErrorNotADeath) {
  TempFolder dir;
  Record(dir.Path(), 10);
  WriteAll(dir / "movie.txt", "an older movie");
  const auto before = Snapshot(dir.Path());
  // Each frame file fits, the joined movie does not.
  const CliRun r = CliWithLimit(RLIMIT_FSIZE, 40 * 1024, {"convert", dir.Path(), "--size", "4", "--overwrite"});
  EXPECT_EQ(r.status, 1) << "killed by SIGXFSZ? " << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(dir.Path()), before);
}

TEST(CliFaults, AMovieTooLargeForMemoryIsRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot hold the sanitizer's shadow memory";
#endif
  TempFolder dir;
  // A sparse file of 1 GB: no disk space, but more than the limit below.
  const int fd = ::open((dir / "huge.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
  ::close(fd);
  struct Case {
    std::string path;
    const char* why;
  } cases[] = {{dir / "huge.txt", "too large"}, {"/dev/zero", "not a regular file"}, {dir.Path(), "not a regular file"}};
  for (const Case& c : cases) {
    const CliRun r = CliWithLimit(RLIMIT_AS, rlim_t{700} << 20, {"frame", c.path, "0"});
    EXPECT_EQ(r.status, 1) << c.path << ": " << r.err;
    EXPECT_EQ(r.err.find("glyphreel-cli: cannot read " + c.path + ": "), 0u) << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
  }
  // info reads the file through, holding none of it: any size will do.
  const CliRun r = CliWithLimit(RLIMIT_AS, rlim_t{700} << 20, {"info", dir / "huge.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.LastLine(), R"({"frames":1,"width":0,"lines_per_frame":1,"interval":0,"standard":false})");
}

TEST(CliFaults, AVideoCutShortIsReportedAsAFailure) {
  TempFolder dir;
  const std::string clip = Clip(dir / "clip.avi", 75);  // three seconds
  const std::string bytes = ReadAll(clip);
  WriteAll(dir / "cut.avi", bytes.substr(0, bytes.size() / 3));
  CliRun r = Cli({"record", dir / "cut.avi", dir / "frames"});
  EXPECT_EQ(r.status, 1) << r.err;
  int recorded = -1, expected = -1;
  const size_t at = r.err.find("glyphreel-cli: the video ends early, at 00:00:0");
  ASSERT_NE(at, std::string::npos) << r.err;
  ASSERT_EQ(std::sscanf(r.err.c_str() + r.err.find(": ", at + 20) + 2, "%d frames recorded of about %d expected",
                        &recorded, &expected),
            2)
      << r.err;
  EXPECT_EQ(r.out, std::to_string(recorded) + "\n");
  EXPECT_LT(recorded, expected) << r.err;
  // The whole clip is no failure.
  r = Cli({"record", clip, dir / "whole"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "29\n");
  // make of the cut video under the whole one's name converts what there is
  // and fails, replacing no output: the partial movie or frames go to a free name.
  for (const auto& [form, kept, partial] : {std::tuple{"text", "v.txt", "v_01.txt"}, std::tuple{"xls", "data.xxx", ""},
                                            std::tuple{"frames", "v/1.txt", "v_01/1.txt"}}) {
    WriteAll(dir / "v.avi", bytes);
    r = Cli({"make", dir / "v.avi", "--form", form, "--overwrite"});
    const std::string good = ReadAll(dir / "v/" + kept);
    WriteAll(dir / "v.avi", bytes.substr(0, bytes.size() / 3));
    r = Cli({"make", dir / "v.avi", "--form", form, "--overwrite"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("the video ends early"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir / "v/" + kept), good) << form;
    EXPECT_TRUE(*partial ? Exists(dir / "v/" + partial) : !Exists(dir / "v/v_01.txt")) << form;
    fileio::RemoveTree(dir / "v", nullptr);
  }
}

}  // namespace
