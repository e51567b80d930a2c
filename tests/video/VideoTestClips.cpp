#include "video/VideoTestClips.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <map>

namespace video_test {
namespace {

const std::string& Folder() {
  static QTemporaryDir dir;
  static const std::string path = dir.path().toStdString() + "/";
  return path;
}

}  // namespace

std::string ScratchPath(const std::string& name) { return Folder() + name; }

std::string CustomClip(const std::string& name, const testing_support::ClipSpec& clipSpec) {
  static std::map<std::string, std::string> made;
  auto found = made.find(name);
  if (found != made.end()) return found->second;
  const std::string path = Folder() + name;
  std::string error;
  if (!testing_support::WriteTestVideo(path, clipSpec, &error)) {
    ADD_FAILURE() << "cannot encode " << name << ": " << error;
    return {};
  }
  made[name] = path;
  return path;
}

std::string Clip(const std::string& extension, std::string* skipReason, bool withSound) {
  const testing_support::VideoFormat format = testing_support::FormatFor(extension);
  const std::string missing = testing_support::MissingEncoders(format);
  if (!missing.empty()) {
    *skipReason = "this libavcodec has no encoder " + missing + " for " + extension;
    return {};
  }
  testing_support::ClipSpec clipSpec;
  clipSpec.format = format;
  clipSpec.framesPerSecond = kFps;
  clipSpec.frameCount = kFrames;
  clipSpec.withSound = withSound;
  return CustomClip(std::string("clip") + (withSound ? "" : "-mute") + extension, clipSpec);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

void Pump(int ms) {
  WaitUntil([] { return false; }, ms);
}

std::vector<std::string> AllExtensions() {
  std::vector<std::string> all;
  for (const auto& f : testing_support::AllVideoFormats()) all.push_back(f.extension);
  return all;
}

}  // namespace video_test
