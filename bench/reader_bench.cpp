// Times TTextPic::LoadFromFile and measures its peak memory on a 2,000-frame
// movie at 320 x 240 cells (about 310 MB) written by the engine into a
// temporary folder, once with CR LF line ends and once with LF ends, against
// two baselines that share no code with the reader: malloc and read() of the
// whole file into a fresh buffer, and `cat FILE > /dev/null`. Then
// `glyphreel-cli info FILE` as a whole process, against `cat` of the file
// plus the program's start-up (`glyphreel-cli --help`).
//
// Each measurement runs in a child process of its own, so one run's memory
// does not hide the next one's peak: the child resets its peak resident size
// (/proc/self/clear_refs "5"), does the work, and reports VmHWM and the time.
// Figures depend on the machine and its load; this is not a test.
#include "BenchSupport.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "playback/TextPic.h"

#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 2000;
constexpr int kWidth = 320;   // cells
constexpr int kHeight = 240;  // rows
constexpr int kRounds = 5;    // measurements of each kind; the median is reported
constexpr double kTimeGoalSeconds = 0.35;  // load time of the CR LF movie on the project's 2-core machine
constexpr double kMemoryGoal = 1.2;        // load peak / file size, for every kind of line end

// A moving diagonal gradient, so frames differ and every gray level occurs.
QImage Picture(int n) {
  QImage image(kWidth, kHeight, QImage::Format_RGB888);
  for (int y = 0; y < kHeight; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      const uchar v = static_cast<uchar>((x + y + 3 * n) & 0xFF);
      line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = v;
    }
  }
  return image;
}

// `lineEnd` replaces every CR LF of the engine's frames.
bool WriteMovie(const std::string& path, const std::string& lineEnd, std::string* error) {
  TConverter engine;
  bench::SetUpEngine(engine, kWidth, kHeight, 100);
  fileio::Writer writer;
  if (!writer.Open(path, fileio::Writer::Mode::Truncate)) {
    *error = writer.Error();
    return false;
  }
  std::string frame;
  for (int n = 0; n < kFrames; ++n) {
    frame.clear();
    engine.FrameIndex = n;
    engine.AppendFrame(Picture(n), &frame);
    if (lineEnd != "\r\n") frame = QByteArray::fromStdString(frame).replace("\r\n", lineEnd.c_str()).toStdString();
    if (!writer.Write(frame)) {
      *error = writer.Error();
      return false;
    }
  }
  if (!writer.Commit()) {
    *error = writer.Error();
    return false;
  }
  return true;
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::stol(line.substr(n + 1));
  }
  return -1;
}

struct Sample {
  double seconds = 0;
  long peakKb = 0;
  long check = 0;  // a number from the work, so it cannot be left out
  bool ok = false;
};

// Runs `work` in a child process and brings back its time and peak memory.
Sample Measure(const std::function<long()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::ofstream("/proc/self/clear_refs") << "5";
    Sample s;
    const auto start = std::chrono::steady_clock::now();
    s.check = work();
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.peakKb = StatusKb("VmHWM");
    s.ok = true;
    [[maybe_unused]] const ssize_t w = ::write(fds[1], &s, sizeof s);
    ::_exit(0);
  }
  ::close(fds[1]);
  Sample s;
  if (::read(fds[0], &s, sizeof s) != static_cast<ssize_t>(sizeof s)) s.ok = false;
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

constexpr double kInfoGoal = 1.5;  // info / (cat + start-up), whole processes

// The frame count `glyphreel-cli info` prints for `path`; -1 when it fails.
long InfoFrames(const std::string& cli, const std::string& path) {
  FILE* pipe = ::popen(("'" + cli + "' info '" + path + "'").c_str(), "r");
  if (!pipe) return -1;
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  const char* frames = read && status == 0 ? std::strstr(line, "\"frames\":") : nullptr;
  return frames ? std::strtol(frames + 9, nullptr, 10) : -1;
}

}  // namespace

namespace {

// malloc and read() of the whole file into a fresh buffer; the bytes read.
long MallocRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  struct stat st {};
  ::fstat(fd, &st);
  const size_t size = static_cast<size_t>(st.st_size);
  char* buffer = static_cast<char*>(std::malloc(size));
  size_t used = 0;
  while (buffer && used < size) {
    const ssize_t n = ::read(fd, buffer + used, size - used);
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  ::close(fd);
  std::free(buffer);
  return used == size ? static_cast<long>(used) : -1;
}

struct Kind {
  const char* name;
  const char* lineEnd;
};

}  // namespace

int main() {
  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "reader_bench: cannot make a temporary folder\n");
    return 1;
  }
  for (const Kind kind : {Kind{"CR LF", "\r\n"}, Kind{"LF", "\n"}}) {
    const std::string path = dir.path().toStdString() + "/movie.txt";
    std::string error;
    std::printf("\n%s: writing %d frames of %d x %d cells...\n", kind.name, kFrames, kWidth, kHeight);
    std::fflush(stdout);
    if (!WriteMovie(path, kind.lineEnd, &error)) {
      std::fprintf(stderr, "reader_bench: %s\n", error.c_str());
      return 1;
    }
    const auto mallocRead = [&path]() -> long { return MallocRead(path); };
    const auto cat = [&path]() -> long {
      return std::system(("cat '" + path + "' > /dev/null").c_str()) == 0 ? 1 : -1;
    };
    const auto load = [&path]() -> long {
      TTextPic reader;
      reader.FrameMarker = kFrameMarker;
      return reader.LoadFromFile(path) ? reader.FrameTotal() : -1;
    };

    const Sample warm = Measure(mallocRead);  // brings the file into the page cache
    const double fileMb = static_cast<double>(warm.check) / (1024.0 * 1024.0);
    std::printf("file: %.1f MB (%ld bytes)\n", fileMb, warm.check);

    std::vector<double> readTimes, catTimes, loadTimes, readPeaks, loadPeaks;
    for (int round = 0; round < kRounds; ++round) {
      const Sample r = Measure(mallocRead);
      const Sample c = Measure(cat);
      const Sample l = Measure(load);
      if (!r.ok || !c.ok || !l.ok || r.check != warm.check || c.check != 1 || l.check != kFrames) {
        std::fprintf(stderr, "reader_bench: a measurement failed (frames %ld)\n", l.check);
        return 1;
      }
      readTimes.push_back(r.seconds);
      catTimes.push_back(c.seconds);
      loadTimes.push_back(l.seconds);
      readPeaks.push_back(static_cast<double>(r.peakKb) / 1024.0);
      loadPeaks.push_back(static_cast<double>(l.peakKb) / 1024.0);
    }

    const double readTime = Median(readTimes);
    const double loadTime = Median(loadTimes);
    const double loadPeak = Median(loadPeaks);
    std::printf("malloc + read: %7.1f ms   peak %7.1f MB\n", readTime * 1000, Median(readPeaks));
    std::printf("cat:           %7.1f ms\n", Median(catTimes) * 1000);
    std::printf("LoadFromFile:  %7.1f ms   peak %7.1f MB\n", loadTime * 1000, loadPeak);
    std::printf("(medians of %d runs, each in its own process; page cache warm)\n", kRounds);
    std::printf("load / malloc + read time: %.2f; load / cat time: %.2f\n", loadTime / readTime,
                loadTime / Median(catTimes));
    std::printf("load time: %.0f ms (goal < %.0f ms) %s\n", loadTime * 1000, kTimeGoalSeconds * 1000,
                loadTime < kTimeGoalSeconds ? "met" : "MISSED");
    std::printf("load peak / file size: %.2f (goal <= %.1f) %s\n", loadPeak / fileMb, kMemoryGoal,
                loadPeak / fileMb <= kMemoryGoal ? "met" : "MISSED");

    // The command line's info, start-up and all, against reading the file and starting up.
    const std::string cli = bench::ProgramFolder() + "glyphreel-cli";
    if (InfoFrames(cli, path) != kFrames) {
      std::fprintf(stderr, "reader_bench: %s info does not report %d frames\n", cli.c_str(), kFrames);
      return 1;
    }
    std::vector<double> catRuns, startRuns, infoRuns;
    for (int round = 0; round < kRounds; ++round) {
      const bench::Measure c = bench::RunQuiet("/bin/cat", {path});
      const bench::Measure h = bench::RunQuiet(cli, {"--help"});
      const bench::Measure i = bench::RunQuiet(cli, {"info", path});
      if (!c.ok || !h.ok || !i.ok) {
        std::fprintf(stderr, "reader_bench: a process failed (cat %d, --help %d, info %d)\n", c.ok, h.ok, i.ok);
        return 1;
      }
      catRuns.push_back(c.seconds);
      startRuns.push_back(h.seconds);
      infoRuns.push_back(i.seconds);
    }
    const double infoRatio = Median(infoRuns) / (Median(catRuns) + Median(startRuns));
    std::printf("glyphreel-cli info: %.1f ms; cat %.1f ms + start-up (--help) %.1f ms (whole processes, medians)\n",
                Median(infoRuns) * 1000, Median(catRuns) * 1000, Median(startRuns) * 1000);
    std::printf("info / (cat + start-up): %.2f (goal <= %.1f) %s   [%s]\n", infoRatio, kInfoGoal,
                infoRatio <= kInfoGoal ? "met" : "MISSED", bench::LoadAverage().c_str());
    fileio::RemoveFile(path, nullptr);
  }
  return 0;
}
