// Small helpers shared by the benchmarks: the engine set up as the window
// sets it, timing, and measuring one piece of work's peak memory by running
// it in a child process.
#pragma once

#include "common/Gbk.h"
#include "conversion/BmpTxt.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// `engine` with the default gray table and the frame marker, converting to
// `cells` x `rows` characters with `intervalMs` between frames.
inline void SetUpEngine(TConverter& engine, int cells, int rows, int intervalMs) {
  engine.FrameMarker = kFrameMarker;
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  engine.Interval = intervalMs;
  engine.OutputRect = Rect{0, 0, cells, rows};
}

struct Measure {
  double seconds = 0;
  long peakKiB = 0;  // the child's maximum resident set
  bool ok = false;
};

// Runs `work` in a forked child; its wall time and peak resident memory.
inline Measure InChild(const std::function<bool()>& work) {
  std::fflush(nullptr);  // or the child writes the parent's buffered output again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage usage {};
  wait4(pid, &status, 0, &usage);
  Measure m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakKiB = usage.ru_maxrss;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

// Runs `program args` in a child with its output and messages sent to
// /dev/null (no progress bar, no encoder chatter); wall time and peak memory.
inline Measure RunQuiet(const std::string& program, const std::vector<std::string>& args) {
  return InChild([&] {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) return false;
    execv(program.c_str(), argv.data());
    return false;
  });
}

// The machine's load averages over 1, 5 and 15 minutes, as "load 1.23 0.98
// 0.75", to print beside a figure: on a shared machine a figure means little
// without them.
inline std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  file >> one >> five >> fifteen;
  char text[64];
  std::snprintf(text, sizeof text, "load %.2f %.2f %.2f", one, five, fifteen);
  return text;
}

// The folder of the running program, with a final "/".
inline std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace bench
