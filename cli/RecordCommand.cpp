// glyphreel-cli record and make: the movie's pictures into numbered bitmaps,
// as the window's recorder writes them, decoded as fast as the machine allows.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "conversion/BmpTxt.h"
#include "video/FrameStepper.h"

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

// Records `video` into `folder`; the number of files written, or -1 after
// printing why it failed.
int Record(const std::string& video, const std::string& folder, int fps, bool keep) {
  std::string error;
  if (!fileio::MakePath(folder, &error)) {
    std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
    return -1;
  }
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
  QImage picture;
  int written = 0;
  for (int64_t n = 1; n * interval < duration; ++n) {
    if (!stepper.PictureAt(n * interval, &picture)) break;
    if (!bmp::Write24(folder + std::to_string(n) + ".bmp", picture, &error)) {
      std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
      return -1;
    }
    ++written;
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
  const int written = Record(video, folder, fps, a.Has("keep"));
  if (written < 0) return kFailed;
  std::printf("%d\n", written);
  return kOk;
}

int MakeCommand(const Context& context, const std::vector<std::string>& args) {
  const Arguments a(args, {"overwrite"}, {"fps", "size", "form", "gray", "gray-file"});
  const std::string& video = a.Require(0, "VIDEO");
  a.AtMost(2);
  const std::string name = video.substr(video.rfind('/') + 1);
  const std::string folder =
      AsFolder(a.Positional().size() > 1 ? a.Positional()[1] : StripExtension(video));
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

  const int written = Record(video, folder, std::stoi(fps), false);
  if (written < 0) return kFailed;
  std::fprintf(stderr, "%d frames recorded into %s\n", written, folder.c_str());
  return ConvertCommand(context, convert);
}

}  // namespace cli
