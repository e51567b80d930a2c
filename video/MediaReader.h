// Demuxing and decoding of one movie file, shared by real-time playback
// (VideoService) and unpaced decoding (FrameStepper).
//
// Times inside the core are microseconds from the start of the movie (the
// first picture's time is subtracted). A MediaReader is used by one thread
// at a time; it takes no locks.
#pragma once

#include "video/PictureRule.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace video {

// Sound as the core hands it to a sound output: signed 16-bit samples,
// interleaved, `channels` per frame, `sampleRate` frames a second.
struct SoundFormat {
  int sampleRate = 0;
  int channels = 0;
  bool Valid() const { return sampleRate > 0 && channels > 0; }
  int BytesPerFrame() const { return 2 * channels; }
  bool operator==(const SoundFormat&) const = default;
};

// A run of decoded, resampled sound.
struct SoundChunk {
  int64_t startUs = 0;           // position of the first sample
  std::vector<int16_t> samples;  // interleaved in the reader's SoundFormat
};

struct FrameDeleter {
  void operator()(AVFrame* frame) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
FramePtr NewFrame();

class PictureSampler;

class MediaReader {
 public:
  MediaReader();
  ~MediaReader();
  MediaReader(const MediaReader&) = delete;
  MediaReader& operator=(const MediaReader&) = delete;

  // Opens `path` and its best video stream, and its best sound stream when
  // `withSound`. Returns false and sets *error when the file cannot be read,
  // is not a movie, or holds no video stream with a decoder. A sound stream
  // that cannot be decoded is left out silently.
  bool Open(const std::string& path, bool withSound, std::string* error);
  void Close();
  bool IsOpen() const { return format_ != nullptr; }

  // The picture's size in pixels as it is shown (Rule().Shown): width and
  // height swap when the stream turns it by a quarter.
  QSize FrameSize() const;
  // How a decoded picture is shown: the open file's rotation (phones store
  // portrait video lying down with a display matrix saying how to turn it;
  // other angles than quarter turns count as no turn) with the choices
  // last given to SetPictureChoices().
  const PictureRule& Rule() const { return rule_; }
  // Takes every field of `choices` but the rotation, which stays the file's,
  // for the pictures from now on; kept over Close() and Open().
  void SetPictureChoices(const PictureRule& choices);
  // Length of the movie: the end of its last picture (sound that runs on a
  // little longer does not count), else the container's length; 0 if unknown.
  int64_t DurationUs() const;
  int64_t FrameIntervalUs() const; // from the stream's frame rate; 40,000 when unknown
  // The video stream's own declared length (a longer sound track does not
  // stretch it); DurationUs() when the stream declares none.
  int64_t StreamDurationUs() const;

  bool HasSound() const { return sound_ != nullptr; }
  SoundFormat SourceSoundFormat() const;  // the sound stream's rate and channels
  // The format NextSound() delivers; default: SourceSoundFormat().
  void SetSoundFormat(const SoundFormat& format);
  SoundFormat OutputSoundFormat() const { return soundOut_; }
  // Stops decoding sound for good (its packets are thrown away unread).
  void DropSound();

  // The next picture in display order; its position is PositionUs(frame).
  // False at the end of the stream or on an unrecoverable error. With a
  // plan (PlanPictureTimes), pictures no planned time shows may be passed over.
  bool NextVideoFrame(AVFrame* frame);
  int64_t PositionUs(const AVFrame* frame) const;

  // The next run of sound at the output format; false at its end, or when
  // reaching it would mean reading too far ahead in the picture (then
  // Starved() is true and a later call may succeed). Sound before the last
  // Seek() target is cut away.
  bool NextSound(SoundChunk* chunk);
  bool Starved() const { return starved_; }

  // Moves both streams to the key frame at or before `targetUs` and forgets
  // everything decoded before. Returns false when the file cannot seek (the
  // reader then restarts from its beginning where it can).
  bool Seek(int64_t targetUs);

  // Says that from here on pictures are wanted only where a time
  // firstUs + k x stepUs (k = 0, 1, ...) shows them: the last picture at or
  // before such a time. A non-reference picture (one no other picture is
  // decoded from) that no such time shows is then not decoded at all, where
  // that is safe: in files whose packets carry their presentation times
  // (MP4, MOV, Matroska; not AVI or raw streams, where FFmpeg guesses them),
  // for H.264 (the decoder's own skipping of non-reference frames) and HEVC
  // (sub-layer non-reference pictures of the highest layer, left out before
  // the decoder). Every wanted picture stays byte for byte what decoding
  // every frame gives. stepUs <= 0 ends the plan.
  void PlanPictureTimes(int64_t firstUs, int64_t stepUs);
  // Pictures passed over undecoded since Open().
  int64_t SkippedPictures() const { return skipped_; }

  // The picture converted to 24-bit RGB (QImage::Format_RGB888) at its own
  // size and shown by Rule(); a null image on failure.
  QImage ToImage(const AVFrame* frame);
  // ToImage(frame) stretched to `width` x `height` by the nearest-pixel rule
  // (pixel (x, y) takes pixel (x * W / width, y * H / height)), converting
  // only the pixels the rule takes where that gives the same bytes
  // (PictureSampler). False on failure, *out unchanged.
  bool ToStretchedImage(const AVFrame* frame, int width, int height, QImage* out);
  // Whether the last ToStretchedImage() converted only the pixels it took.
  bool LastStretchConvertedPart() const;

 private:
  enum class Stream { Video, Sound };
  bool ReadPacket();  // demuxes one packet into its queue; false at end of file
  bool Decode(Stream which, AVFrame* frame);
  int64_t ScanVideoEnd();  // end of the last picture, from the packets' timestamps; 0 if unknown
  bool OpenDecoder(int streamIndex, AVCodecContext** codec, std::string* error);
  // How the video packet about to be decoded is treated under the plan.
  enum class Skip { No, InDecoder, Drop };
  Skip PlanSkip(const AVPacket* packet);
  // Whether the packet holds only pictures no other picture is decoded from.
  bool NonReference(const AVPacket* packet) const;
  // The smallest position after `us` among the packets around the one being
  // decoded (read ahead where needed); -1 when none is known.
  int64_t NextPositionAfter(int64_t us);
  // Its presentation time as a position; AV_NOPTS_VALUE for none, and for a
  // picture that is never shown.
  int64_t PacketUs(const AVPacket* packet) const;

  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* sound_ = nullptr;
  int videoIndex_ = -1;
  int soundIndex_ = -1;
  int64_t startUs_ = 0;  // the first picture's time, subtracted from every position
  int64_t videoEndUs_ = 0;
  PictureRule rule_;
  std::deque<AVPacket*> videoPackets_;  // owned; demuxed ahead of need
  std::deque<AVPacket*> soundPackets_;
  bool endOfFile_ = false;
  bool starved_ = false;  // the last decode stopped because the other queue was full
  bool videoDrained_ = false;  // end-of-stream sent to the decoder
  bool soundDrained_ = false;
  int64_t lastVideoUs_ = -1;   // stands in for a missing timestamp

  // --- Skipping pictures no planned time shows (PlanPictureTimes).
  enum class SkipKind { None, H264, Hevc };
  SkipKind skipKind_ = SkipKind::None;  // what this file's video allows
  int nalLengthSize_ = 0;               // bytes of each NAL unit's length prefix; 0: start codes
  int highestTemporalId_ = 0;           // HEVC: the highest sub-layer's id
  int64_t planFirstUs_ = 0;
  int64_t planStepUs_ = 0;              // 0: no plan
  std::deque<int64_t> recentUs_;        // positions of the last video packets decoded or passed over
  int64_t skipped_ = 0;

  SwsContext* scaler_ = nullptr;
  std::unique_ptr<PictureSampler> sampler_;
  SwrContext* resampler_ = nullptr;
  SoundFormat soundOut_;
  int64_t nextSoundUs_ = 0;   // stands in for a missing timestamp
  int64_t soundFromUs_ = 0;   // sound before this is cut away after a seek
  FramePtr soundFrame_;
};

// The picture shown at a position: the last frame whose position is at or
// before it (the first frame before the first position). Walks forward
// through a MediaReader, never converting the frames it passes over.
class FrameCursor {
 public:
  explicit FrameCursor(MediaReader* reader) : reader_(reader) {}

  // Decodes from the key frame before `targetUs` up to the picture shown at
  // it. False when no picture at all can be decoded there.
  bool Seek(int64_t targetUs);
  // Moves to the picture shown at `us` (not before the current one). Returns
  // how many pictures became current (0: unchanged); *skipped gets how many
  // of them were passed over without becoming the shown one.
  int Advance(int64_t us, int* skipped = nullptr);

  const AVFrame* Current() const { return current_.get(); }
  int64_t CurrentUs() const { return currentUs_; }
  bool HasNext() const { return next_ != nullptr; }
  int64_t NextUs() const { return nextUs_; }  // valid while HasNext()
  // When the current picture stops being shown: the next one's position, or
  // at the end of the stream the movie's end.
  int64_t CurrentEndUs() const;
  void Reset();

 private:
  void Fetch();  // decodes next_

  MediaReader* reader_;
  FramePtr current_;
  int64_t currentUs_ = 0;
  FramePtr next_;
  int64_t nextUs_ = 0;
};

}  // namespace video
