// Unpaced decoding: "the picture shown at time t" for rising t, as fast as
// the machine decodes, with no clock and no sound. The command line's
// recording and the tests use it; it shares MediaReader and FrameCursor with
// real-time playback, so both show the same picture at the same position.
#pragma once

#include "video/MediaReader.h"
#include "video/PictureRule.h"
#include "video/RecordingTicks.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <optional>
#include <string>

namespace video {

class FrameStepper {
 public:
  FrameStepper();

  // Opens the movie and decodes its first picture, to be shown by the
  // file's rotation and the user's `choices` (MediaReader::Rule). Returns
  // false and sets *error when the file cannot be opened or holds no
  // decodable picture.
  bool Open(const std::string& path, std::string* error, const PictureRule& choices = {});
  void Close();

  // The picture shown at `ms` milliseconds from the start (the last frame
  // whose position is at or before it), as 24-bit RGB at the movie's own
  // size. Rising times only decode forward; an earlier time seeks back.
  // Returns false and leaves *out unchanged when nothing is open. Past the
  // end the last picture stays.
  bool PictureAt(int64_t ms, QImage* out);
  // PictureAt(ms) stretched to `width` x `height` by the nearest-pixel rule
  // (pixel (x, y) takes pixel (x * W / width, y * H / height)), the same
  // bytes, converting only the pixels it takes where it can
  // (MediaReader::ToStretchedImage).
  bool StretchedPictureAt(int64_t ms, int width, int height, QImage* out);

  // Says that from now on pictures are asked for only at the times of the
  // ticks of `ticks` (TimeOf(n), n >= 1), rising, so pictures no tick shows
  // need not be decoded (MediaReader::PlanPictureTimes). Asking any other
  // time ends the plan; that picture is then decoded again from its key frame.
  void PlanTicks(const RecordingTicks& ticks);
  // Pictures passed over undecoded under the plan.
  int64_t SkippedPictures() const { return reader_.SkippedPictures(); }
  // Whether the last StretchedPictureAt() converted only the pixels it took.
  bool LastStretchConvertedPart() const { return reader_.LastStretchConvertedPart(); }
  // Whether `ms` lies at or after the end of the last picture, so nothing
  // is shown there any more. Decodes forward as far as it needs (without
  // converting). A recording ends by RecordingTicks, at the movie's length;
  // the command line asks this besides, to tell a movie whose pictures stop
  // short of the length its video stream declares.
  bool IsPastEnd(int64_t ms);

  int64_t DurationMs() const;  // the movie's length; 0 when unknown
  // The video stream's declared length, which a file cut short still
  // declares; DurationMs() when the stream declares none.
  int64_t StreamDurationMs() const;
  QSize FrameSize() const;

 private:
  // Moves the cursor to the picture shown at `ms`; false when none is.
  bool MoveTo(int64_t ms);
  // Whether the cursor's picture is the one `made` was made from.
  bool IsCurrent(const AVFrame* made, int64_t madeUs) const;

  MediaReader reader_;
  FrameCursor cursor_;
  std::optional<RecordingTicks> plan_;
  const AVFrame* converted_ = nullptr;  // the frame `picture_` was made from
  int64_t convertedUs_ = -1;
  QImage picture_;
  const AVFrame* stretchedFrom_ = nullptr;  // the frame `stretched_` was made from
  int64_t stretchedUs_ = -1;
  QImage stretched_;
};

}  // namespace video
