// glyphreel-cli record and make: the movie's pictures into numbered bitmaps,
// as the window's recorder writes them, or straight into a character movie,
// decoded as fast as the machine allows.
#include "cli/ConvertJob.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "common/FolderLock.h"
#include "common/FrameFolder.h"
#include "conversion/BmpReader.h"
#include "conversion/BmpTxt.h"
#include "video/FrameStepper.h"
#include "video/RecordingTicks.h"
#include "video/TimeUnits.h"

#include <algorithm>
#include <cstdio>

namespace cli {

const char* const kRecordUsage =
    "usage: glyphreel-cli record VIDEO FOLDER [--fps N] [--keep] [--force]\n"
    "\n"
    "Writes FOLDER/1.bmp, 2.bmp, ...: file n holds the picture shown n intervals into\n"
    "the movie, as the window's recorder would write them recording the whole movie\n"
    "at N frames a second (1 to 15, default 10). Removes every .bmp of FOLDER first\n"
    "unless --keep; makes FOLDER when missing. Refuses to start, making nothing,\n"
    "when the bitmaps would not fit on the disk, unless --force. Waits while another\n"
    "conversion or recording works in FOLDER. Exits with 1 when the video ends early\n"
    "(a file cut short). Prints the number of files written.\n";
const char* const kMakeUsage =
    "usage: glyphreel-cli make VIDEO [FOLDER] [--fps N] [--size N|WxH] [--form FORM]\n"
    "                          [--picture classic|fine] [--gray TEXT | --gray-file FILE]\n"
    "                          [--overwrite]\n"
    "                          [--keep-frames [--force]]\n"
    "\n"
    "record, then convert, in one: FOLDER defaults to a folder beside VIDEO named after\n"
    "it (clip.avi gives clip/ and the movie clip/clip.txt). Each picture is converted\n"
    "as it is decoded, so no bitmap is written and a long video needs no more disk\n"
    "than its movie; the output is the same as record then convert would write\n"
    "(the options are convert's).\n"
    "  --keep-frames  also write the numbered bitmaps, as record does (--force: even\n"
    "                 when they would not fit on the disk)\n"
    "A video that ends early (a file cut short) is converted as far as it goes, exits\n"
    "with 1 and replaces no output, as an incomplete convert does.\n"
    "Prints the output's path.\n";

namespace {

// The pictures of a whole recording: the picture of each tick of the
// recording from the movie's start (RecordingTicks), decoded unpaced and
// converted to RGB only for the ticks that take it. Pictures no tick takes
// are not even decoded where the file allows (FrameStepper::PlanTicks), and
// a picture wanted stretched converts only the pixels the stretch takes.
// With a bitmap folder, each whole picture is also written there as n.bmp,
// as the recorder writes it.
class DecodedPictures : public FrameSource {
 public:
  DecodedPictures(video::FrameStepper* stepper, int64_t intervalMs, std::string bitmapFolder)
      : stepper_(stepper), ticks_{0, intervalMs, stepper->DurationMs()},
        streamDuration_(std::max(ticks_.durationMs, stepper->StreamDurationMs())),
        bitmapFolder_(std::move(bitmapFolder)) {
    stepper_->PlanTicks(ticks_);
  }

  // How many pictures the recording takes.
  int64_t Count() const { return ticks_.Count(); }
  int64_t Taken() const { return next_ - 1; }

  // Decodes (and writes) the next tick's picture at full size. A video whose
  // pictures end more than one interval before its video stream's declared
  // length (a file cut short) ends there, with EndsEarly; ReportEarlyEnd()
  // then tells how far it came.
  Status Step(std::string* what) { return Take(what, [this](int64_t t) { return WholePicture(t); }); }

  Status Next(int width, int height, QImage* out, std::string* what) override {
    if (!bitmapFolder_.empty()) {
      const Status status = Step(what);
      if (status == Status::Picture) bmp::StretchPicture(picture_, width, height, out);
      return status;
    }
    return Take(what, [&](int64_t t) { return stepper_->StretchedPictureAt(t, width, height, out); });
  }

  Status NextWhole(QImage* out, std::string* what) override {
    const Status status = Step(what);
    if (status == Status::Picture) *out = picture_;  // shared, not copied
    return status;
  }

  // After the end: says so and is true when the video ended early.
  bool ReportEarlyEnd() const {
    if (endedAt_ < 0) return false;
    // What the same recording takes over the length the video stream declares.
    const int64_t expected = video::RecordingTicks{0, ticks_.intervalMs, streamDuration_}.Count();
    std::fprintf(stderr, "glyphreel-cli: the video ends early, at %s: %lld frames recorded of about %lld expected\n",
                 ClockTime(endedAt_).c_str(), static_cast<long long>(Taken()), static_cast<long long>(expected));
    return true;
  }

 private:
  // Takes the next tick's picture through take(time in ms): false when there
  // is none. The bitmap is written by WholePicture.
  template <typename Get>
  Status Take(std::string* what, Get&& take) {
    if (fileio::InterruptRequested()) {
      if (what) *what = "interrupted";
      return Status::Failed;
    }
    if (!ticks_.Takes(next_)) return Finish(what);
    const int64_t t = ticks_.TimeOf(next_);
    if (video::EndsEarly(t, streamDuration_, ticks_.intervalMs) && stepper_->IsPastEnd(t)) {
      endedAt_ = t;
      return Finish(what);
    }
    writeError_.clear();
    if (!take(t)) {
      if (writeError_.empty()) return Finish(what);
      if (what) *what = writeError_;
      return Status::Failed;
    }
    ++next_;
    return Status::Picture;
  }

  // The whole picture at `t` into picture_, written as the next bitmap when
  // there is a folder; a failed write leaves its message in writeError_.
  bool WholePicture(int64_t t) {
    if (!stepper_->PictureAt(t, &picture_)) return false;
    return bitmapFolder_.empty() || bmp::Write24(frames::BitmapPath(bitmapFolder_, next_), picture_, &writeError_);
  }

  Status Finish(std::string* what) {
    if (endedAt_ < 0 && video::EndsEarly(ticks_.durationMs, streamDuration_, ticks_.intervalMs)) {
      endedAt_ = ticks_.durationMs;
    }
    if (endedAt_ < 0) return Status::End;
    if (what) *what = "the video ends early, at " + ClockTime(endedAt_);
    return Status::EndsEarly;
  }

  video::FrameStepper* stepper_;
  video::RecordingTicks ticks_;  // from the movie's start, over its length
  int64_t streamDuration_;        // of the video stream as declared; longer than the movie's when cut short
  std::string bitmapFolder_;
  int64_t next_ = 1;
  int64_t endedAt_ = -1;  // ms where a cut-short video's pictures ended; -1 while none did
  QImage picture_;        // the last whole picture taken, at the movie's own size
  std::string writeError_;  // why the last bitmap could not be written
};

bool Fail(const std::string& message) {
  std::fprintf(stderr, "glyphreel-cli: %s\n", message.c_str());
  return false;
}

bool OpenVideo(const std::string& video, video::FrameStepper* stepper) {
  std::string error;
  return stepper->Open(video, &error) || Fail("cannot open " + video + ": " + error);
}

// Makes `folder` when missing and takes its lock; false after saying why.
bool MakeAndLockFolder(const std::string& folder, fileio::FolderLock* lock) {
  std::string error;
  if (!fileio::MakePath(folder, &error)) return Fail(error);
  return LockFolder(folder, lock);
}

// Whether the recording's bitmaps fit into `folder` (made or not yet),
// counting the old bitmaps that clearing (unless `keep`) frees; `force`
// records anyway. False after saying why, before anything is made.
bool BitmapsFit(const std::string& folder, const DecodedPictures& pictures, QSize size, bool keep, bool force) {
  const bmp::RecordingSpace space =
      bmp::EstimateRecordingSpace(folder, pictures.Count(), size.width(), size.height(), !keep);
  if (space.Fits() || force) return true;
  return Fail("the bitmaps need about " + bmp::SizeText(space.needed) + " of disk space, but " + folder +
              " has only " + bmp::SizeText(space.available) + " left; give --force to record anyway");
}

// Deletes the old bitmaps of `folder`, whose lock is held; what cannot be
// deleted is said, and the recording goes on.
void ClearOldBitmaps(const std::string& folder) {
  for (const std::string& error : frames::ClearBitmaps(folder)) Fail(error);
}

}  // namespace

int RecordCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {"keep", "force"}, {"fps"});
  const std::string& video = a.Require(0, "VIDEO");
  const std::string folder = AsFolder(a.Require(1, "FOLDER"));
  a.AtMost(2);
  const int interval = IntervalOfFps(a);

  video::FrameStepper stepper;
  if (!OpenVideo(video, &stepper)) return kFailed;
  DecodedPictures pictures(&stepper, interval, folder);
  if (!BitmapsFit(folder, pictures, stepper.FrameSize(), a.Has("keep"), a.Has("force"))) return kFailed;
  fileio::FolderLock lock;
  if (!MakeAndLockFolder(folder, &lock)) return kFailed;
  if (!a.Has("keep")) ClearOldBitmaps(folder);
  std::string error;
  FrameSource::Status status;
  while ((status = pictures.Step(&error)) == FrameSource::Status::Picture) {
  }
  if (status == FrameSource::Status::Failed) {
    if (!fileio::InterruptRequested()) Fail(error);  // (an interruption is said by main)
    return kFailed;
  }
  std::printf("%lld\n", static_cast<long long>(pictures.Taken()));
  return pictures.ReportEarlyEnd() ? kFailed : kOk;
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
  // A video without an extension cannot share its name with the folder.
  const std::string stem = StripExtension(video);
  const std::string folder =
      AsFolder(a.Positional().size() > 1 ? a.Positional()[1] : stem == video ? video + "_frames" : stem);
  // The conversion's options are checked before any decoding starts.
  ConvertJob job = MakeConvertJob(context, a, folder, name);

  video::FrameStepper stepper;
  if (!OpenVideo(video, &stepper)) return kFailed;
  const bool keepFrames = a.Has("keep-frames");
  DecodedPictures pictures(&stepper, job.engine.Interval, keepFrames ? folder : std::string());
  if (keepFrames && !BitmapsFit(folder, pictures, stepper.FrameSize(), false, a.Has("force"))) return kFailed;
  // One lock over the recording and the conversion, so no other run comes in between.
  fileio::FolderLock lock;
  if (!MakeAndLockFolder(folder, &lock)) return kFailed;
  if (keepFrames) ClearOldBitmaps(folder);
  const int status = RunConvertJob(context, job, &pictures, static_cast<int>(pictures.Count()));
  if (keepFrames) {
    std::fprintf(stderr, "glyphreel-cli: %lld frames recorded into %s\n", static_cast<long long>(pictures.Taken()),
                 folder.c_str());
  }
  // The frames of a video cut short are converted all the same, but replace
  // no output of an earlier run; the run fails.
  return pictures.ReportEarlyEnd() ? kFailed : status;
}

}  // namespace cli
