// Plays a 640 x 480 and a 1920 x 1080 H.264 clip of 20 s each, 25 frames a
// second, into an offscreen VideoWindow and reports how many pictures were
// presented against how many were due, how many were dropped, the CPU time
// spent per second of video and the peak memory. The clips are encoded first
// (not measured). Prints figures; asserts nothing.
#include "support/TestVideo.h"
#include "video/VideoService.h"
#include "video/VideoWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFps = 25;
constexpr int kSeconds = 20;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakMemoryKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool Run(const char* name, int width, int height, const std::string& folder, video::VideoWindow& window,
         video::VideoService& service) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = {".mp4", "mp4", "libx264", ""};
  clipSpec.width = width;
  clipSpec.height = height;
  clipSpec.framesPerSecond = kFps;
  clipSpec.frameCount = kFps * kSeconds;
  clipSpec.withSound = false;
  clipSpec.busyPicture = true;
  const std::string path = folder + name + ".mp4";
  std::string error;
  std::printf("%s: encoding %d x %d, %d frames...\n", name, width, height, clipSpec.frameCount);
  std::fflush(stdout);
  if (!testing_support::WriteTestVideo(path, clipSpec, &error)) {
    std::printf("%s: cannot encode: %s\n", name, error.c_str());
    return false;
  }

  service.Activate();
  if (!service.RenderFile(path, &error)) {
    std::printf("%s: cannot open: %s\n", name, error.c_str());
    return false;
  }
  bool ended = false;
  service.OnDSEvent = [&](long event, intptr_t, intptr_t) { ended |= event == video::EC_COMPLETE; };
  QApplication::processEvents();
  const int64_t presentedBefore = window.PicturesPresented();
  const double cpuBefore = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  service.Play();
  while (!ended && wall.elapsed() < 3 * kSeconds * 1000) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(500);
  }
  const double cpu = CpuSeconds() - cpuBefore;
  const double seconds = wall.elapsed() / 1000.0;
  const video::VideoService::Statistics counts = service.Counts();
  const int64_t presented = window.PicturesPresented() - presentedBefore;
  const int64_t due = clipSpec.frameCount;
  service.Deactivate();

  std::printf("%s %dx%d: %s in %.2f s wall\n", name, width, height, ended ? "played to the end" : "DID NOT END",
              seconds);
  std::printf("  frames due %lld, put in the buffer %lld, presented %lld, dropped %lld (%.2f%%)\n",
              static_cast<long long>(due), static_cast<long long>(counts.framesShown),
              static_cast<long long>(presented), static_cast<long long>(due - presented),
              100.0 * (due - presented) / due);
  std::printf("  decoder passed over %lld late frames\n", static_cast<long long>(counts.framesDropped));
  std::printf("  CPU %.3f s per second of video (%.1f%% of one core)\n", cpu / kSeconds, 100.0 * cpu / kSeconds);
  std::printf("  peak memory so far %.1f MB\n", PeakMemoryKb() / 1024.0);
  std::fflush(stdout);
  return ended;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/";

  video::VideoService service;
  video::VideoWindow window;
  window.resize(kWindowWidth, kWindowHeight);
  window.SetService(&service);
  window.show();

  std::printf("video_bench: %d cores; figures depend on the machine's load\n", QThread::idealThreadCount());
  bool ok = Run("vga", 640, 480, folder, window, service);
  ok = Run("full-hd", 1920, 1080, folder, window, service) && ok;
  return ok ? 0 : 1;
}
