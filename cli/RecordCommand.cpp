// glyphreel-cli record and make: the movie's pictures into numbered bitmaps,
// as the window's recorder writes them, or straight into a character movie,
// decoded as fast as the machine allows.
#include "cli/ConvertJob.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "conversion/BmpReader.h"
#include "video/FrameStepper.h"

#include <cstdio>

namespace cli {

const char* const kRecordUsage =
    "usage: glyphreel-cli record VIDEO FOLDER [--fps N] [--keep] [--force]\n"
    "\n"
    "Writes FOLDER/1.bmp, 2.bmp, ...: file n holds the picture shown n intervals into\n"
    "the movie, as the window's recorder would write them recording the whole movie\n"
    "at N frames a second (1 to 15, default 10). Removes every .bmp of FOLDER first\n"
    "unless --keep; makes FOLDER when missing. Refuses to start when the bitmaps\n"
    "would not fit on the disk, unless --force. Prints the number of files written.\n";
const char* const kMakeUsage =
    "usage: glyphreel-cli make VIDEO [FOLDER] [--fps N] [--size N|WxH] [--form FORM]\n"
    "                          [--gray TEXT | --gray-file FILE] [--overwrite]\n"
    "                          [--keep-frames [--force]]\n"
    "\n"
    "record, then convert, in one: FOLDER defaults to a folder beside VIDEO named after\n"
    "it (clip.avi gives clip/ and the movie clip/clip.txt). Each picture is converted\n"
    "as it is decoded, so no bitmap is written and a long video needs no more disk\n"
    "than its movie; the output is the same as record then convert would write.\n"
    "  --keep-frames  also write the numbered bitmaps, as record does (--force: even\n"
    "                 when they would not fit on the disk)\n"
    "Prints the output's path.\n";

namespace {

// The pictures of a whole recording: the picture shown at n x interval for
// n = 1, 2, ... while that lies before the movie's end, decoded unpaced and
// converted to RGB only for the ticks that take it. With a bitmap folder,
// each one is also written there as n.bmp, as the recorder writes it.
class DecodedPictures : public FrameSource {
 public:
  DecodedPictures(video::FrameStepper* stepper, int64_t intervalMs, std::string bitmapFolder)
      : stepper_(stepper), interval_(intervalMs), duration_(stepper->DurationMs()),
        bitmapFolder_(std::move(bitmapFolder)) {}

  // How many pictures the recording takes.
  int64_t Count() const { return duration_ > 0 ? (duration_ - 1) / interval_ : 0; }
  int64_t Taken() const { return next_ - 1; }

  // Decodes (and writes) the next tick's picture at full size.
  Status Step(std::string* what) {
    if (next_ * interval_ >= duration_ || !stepper_->PictureAt(next_ * interval_, &picture_)) return Status::End;
    if (!bitmapFolder_.empty() &&
        !bmp::Write24(bitmapFolder_ + std::to_string(next_) + ".bmp", picture_, what)) {
      return Status::Failed;
    }
    ++next_;
    return Status::Picture;
  }

  Status Next(int width, int height, QImage* out, std::string* what) override {
    const Status status = Step(what);
    if (status == Status::Picture) bmp::StretchPicture(picture_, width, height, out);
    return status;
  }

 private:
  video::FrameStepper* stepper_;
  int64_t interval_;
  int64_t duration_;
  std::string bitmapFolder_;
  int64_t next_ = 1;
  QImage picture_;  // the last picture taken, at the movie's own size
};

bool Fail(const std::string& message) {
  std::fprintf(stderr, "glyphreel-cli: %s\n", message.c_str());
  return false;
}

bool OpenVideo(const std::string& video, video::FrameStepper* stepper) {
  std::string error;
  if (!stepper->Open(video, &error)) return Fail("cannot open " + video + ": " + error);
  return true;
}

// Makes the bitmap folder, checks that the recording fits (unless `force`)
// and clears the old bitmaps (unless `keep`).
bool PrepareBitmapFolder(const std::string& folder, const DecodedPictures& pictures, QSize size, bool keep,
                         bool force) {
  std::string error;
  if (!fileio::MakePath(folder, &error)) return Fail(error);
  const bmp::RecordingSpace space =
      bmp::EstimateRecordingSpace(folder, pictures.Count(), size.width(), size.height(), !keep);
  if (!space.Fits() && !force) {
    return Fail("the bitmaps need about " + bmp::SizeText(space.needed) + " of disk space, but " + folder +
                " has only " + bmp::SizeText(space.available) + " left; give --force to record anyway");
  }
  if (!keep) {
    for (const std::string& name : fileio::EntriesEndingWith(folder, ".bmp")) {
      if (!fileio::RemoveFile(folder + name, &error)) Fail(error);
    }
  }
  return true;
}

}  // namespace

int RecordCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {"keep", "force"}, {"fps"});
  const std::string& video = a.Require(0, "VIDEO");
  const std::string folder = AsFolder(a.Require(1, "FOLDER"));
  a.AtMost(2);
  const int fps = ParseInt(a.Value("fps").value_or("10"), 1, 15, "--fps");

  video::FrameStepper stepper;
  if (!OpenVideo(video, &stepper)) return kFailed;
  DecodedPictures pictures(&stepper, IntervalForFrameRate(fps), folder);
  if (!PrepareBitmapFolder(folder, pictures, stepper.FrameSize(), a.Has("keep"), a.Has("force"))) return kFailed;
  std::string error;
  FrameSource::Status status;
  while ((status = pictures.Step(&error)) == FrameSource::Status::Picture) {
  }
  if (status == FrameSource::Status::Failed) {
    Fail(error);
    return kFailed;
  }
  std::printf("%lld\n", static_cast<long long>(pictures.Taken()));
  return kOk;
}

int MakeCommand(const Context& context, const std::vector<std::string>& args) {
  std::vector<std::string> flags = kConvertFlags;
  flags.insert(flags.end(), {"keep-frames", "force"});
  const Arguments a(args, flags, kConvertOptions);
  const std::string& video = a.Require(0, "VIDEO");
  a.AtMost(2);
  if (a.Has("interval")) throw UsageError{"make records at --fps; --interval is for convert"};
  if (a.Has("force") && !a.Has("keep-frames")) throw UsageError{"--force only matters with --keep-frames"};
  const std::string name = video.substr(video.rfind('/') + 1);
  const std::string folder =
      AsFolder(a.Positional().size() > 1 ? a.Positional()[1] : StripExtension(video));
  // The conversion's options are checked before any decoding starts.
  ConvertJob job = MakeConvertJob(context, a, folder, name);

  video::FrameStepper stepper;
  if (!OpenVideo(video, &stepper)) return kFailed;
  const bool keepFrames = a.Has("keep-frames");
  DecodedPictures pictures(&stepper, job.engine.Interval, keepFrames ? folder : std::string());
  if (keepFrames) {
    if (!PrepareBitmapFolder(folder, pictures, stepper.FrameSize(), false, a.Has("force"))) return kFailed;
  } else if (std::string error; !fileio::MakePath(folder, &error)) {
    Fail(error);
    return kFailed;
  }
  const int status = RunConvertJob(context, job, &pictures, static_cast<int>(pictures.Count()));
  if (keepFrames) {
    std::fprintf(stderr, "%lld frames recorded into %s\n", static_cast<long long>(pictures.Taken()), folder.c_str());
  }
  return status;
}

}  // namespace cli
