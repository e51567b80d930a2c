// glyphreel-cli record and make: the movie's pictures into numbered bitmaps,
// as the window's recorder writes them, decoded as fast as the machine allows.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "common/FolderLock.h"
#include "conversion/BmpTxt.h"
#include "video/FrameStepper.h"

#include <algorithm>
#include <cstdio>

namespace cli {

const char* const kRecordUsage =
    "usage: glyphreel-cli record VIDEO FOLDER [--fps N] [--keep]\n"
    "\n"
    "Writes FOLDER/1.bmp, 2.bmp, ...: file n holds the picture shown n intervals into\n"
    "the movie, as the window's recorder would write them recording the whole movie\n"
    "at N frames a second (1 to 15, default 10). Removes every .bmp of FOLDER first\n"
    "unless --keep; makes FOLDER when missing. Prints the number of files written.\n";
const char* const kMakeUsage =
    "usage: glyphreel-cli make VIDEO [FOLDER] [--fps N] [--size N|WxH] [--form FORM]\n"
    "                          [--gray TEXT | --gray-file FILE] [--overwrite]\n"
    "\n"
    "record, then convert, in one: FOLDER defaults to a folder beside VIDEO named after\n"
    "it (clip.avi gives clip/ and the movie clip/clip.txt). Prints the output's path.\n";

namespace {

// "hh:mm:ss" of a time in milliseconds.
std::string ClockTime(int64_t ms) {
  const int64_t seconds = ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

// Records `video` into `folder`; the number of files written, or -1 after
// printing why it failed (nothing when interrupted: main says so). A video
// whose pictures end more than one interval before its video stream's
// declared length (a file cut short) sets *endedEarly after saying so.
int Record(const std::string& video, const std::string& folder, int fps, bool keep, bool* endedEarly) {
  *endedEarly = false;
  std::string error;
  if (!fileio::MakePath(folder, &error)) {
    std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
    return -1;
  }
  fileio::FolderLock lock;
  if (!LockFolder(folder, &lock)) return -1;
  video::FrameStepper stepper;
  if (!stepper.Open(video, &error)) {
    std::fprintf(stderr, "glyphreel-cli: cannot open %s: %s\n", video.c_str(), error.c_str());
    return -1;
  }
  if (!keep) {
    for (const std::string& name : fileio::EntriesEndingWith(folder, ".bmp")) {
      if (!fileio::RemoveFile(folder + name, &error)) std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
    }
  }
  const int64_t interval = IntervalForFrameRate(fps);
  const int64_t duration = stepper.DurationMs();
  const int64_t streamDuration = std::max(duration, stepper.StreamDurationMs());
  QImage picture;
  int written = 0;
  int64_t endedAt = -1;
  for (int64_t n = 1; n * interval < duration; ++n) {
    if (fileio::InterruptRequested()) return -1;
    if (streamDuration - n * interval > interval && stepper.IsPastEnd(n * interval)) {
      endedAt = n * interval;
      break;
    }
    if (!stepper.PictureAt(n * interval, &picture)) break;
    if (!bmp::Write24(folder + std::to_string(n) + ".bmp", picture, &error)) {
      std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
      return -1;
    }
    ++written;
  }
  if (endedAt < 0 && streamDuration - duration > interval) endedAt = duration;
  if (endedAt >= 0) {
    const int64_t expected = streamDuration > 0 ? (streamDuration - 1) / interval : 0;
    std::fprintf(stderr,
                 "glyphreel-cli: the video ends early, at %s: %d frames recorded of about %lld expected\n",
                 ClockTime(endedAt).c_str(), written, static_cast<long long>(expected));
    *endedEarly = true;
  }
  return written;
}

}  // namespace

int RecordCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {"keep"}, {"fps"});
  const std::string& video = a.Require(0, "VIDEO");
  const std::string folder = AsFolder(a.Require(1, "FOLDER"));
  a.AtMost(2);
  const int fps = ParseInt(a.Value("fps").value_or("10"), 1, 15, "--fps");
  bool endedEarly = false;
  const int written = Record(video, folder, fps, a.Has("keep"), &endedEarly);
  if (written < 0) return kFailed;
  std::printf("%d\n", written);
  return endedEarly ? kFailed : kOk;
}

int MakeCommand(const Context& context, const std::vector<std::string>& args) {
  const Arguments a(args, {"overwrite"}, {"fps", "size", "form", "gray", "gray-file"});
  const std::string& video = a.Require(0, "VIDEO");
  a.AtMost(2);
  const std::string name = video.substr(video.rfind('/') + 1);
  // A video without an extension cannot share its name with the folder.
  const std::string stem = StripExtension(video);
  const std::string folder =
      AsFolder(a.Positional().size() > 1 ? a.Positional()[1] : stem == video ? video + "_frames" : stem);
  const std::string fps = a.Value("fps").value_or("10");
  ParseInt(fps, 1, 15, "--fps");

  // The conversion's options are checked before any decoding starts.
  std::vector<std::string> convert = {folder, "--name", name, "--fps", fps};
  for (const char* option : {"size", "form", "gray", "gray-file"}) {
    if (const auto value = a.Value(option)) {
      convert.push_back(std::string("--") + option);
      convert.push_back(*value);
    }
  }
  if (a.Has("overwrite")) convert.push_back("--overwrite");
  ValidateConvertArguments(convert);

  // One lock over the recording and the conversion, so no other run comes in between.
  std::string error;
  if (!fileio::MakePath(folder, &error)) {
    std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
    return kFailed;
  }
  fileio::FolderLock lock;
  if (!LockFolder(folder, &lock)) return kFailed;
  bool endedEarly = false;
  const int written = Record(video, folder, std::stoi(fps), false, &endedEarly);
  if (written < 0) return kFailed;
  std::fprintf(stderr, "glyphreel-cli: %d frames recorded into %s\n", written, folder.c_str());
  // The frames of a video cut short are converted all the same; the run still fails.
  const int status = ConvertCommand(context, convert);
  return endedEarly ? kFailed : status;
}

}  // namespace cli
