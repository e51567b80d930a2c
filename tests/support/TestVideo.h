// Short movies encoded on the spot through libavformat/libavcodec, so no
// video file is ever committed and no `ffmpeg` program is needed.
//
// The picture tells the time: every frame shows its own frame number as a
// row of black and white blocks (one bit per block, most significant bit
// first, kBitColumns x kBitRows blocks filling the picture), so a grabbed
// picture can be checked against the position it was grabbed at with
// FrameNumberOf(). The sound track is a sine tone.
//
// Depends on the FFmpeg libraries and Qt Gui (QImage) only, not on GoogleTest:
// the tests, the benchmarks and the build (a sample movie) share it.
#pragma once

#include <QImage>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// One container/codec combination of the open dialog's file types.
struct VideoFormat {
  std::string extension;   // file name extension with the dot: ".wmv"
  std::string muxer;       // libavformat muxer name: "asf"
  std::string videoCodec;  // libavcodec encoder name: "wmv2"
  std::string audioCodec;  // libavcodec encoder name; empty: no sound track
};

// Every format of the open dialog plus .mp4:
// .wmv .flv .mpg .dat .avi .mov .rm .mp4, each with a sound track.
const std::vector<VideoFormat>& AllVideoFormats();
// The format with this extension (".avi"); an empty format if unknown.
VideoFormat FormatFor(const std::string& extension);

struct ClipSpec {
  VideoFormat format;          // muxer, codecs
  int width = 160;             // pixels; RealVideo needs multiples of 4
  int height = 120;
  int framesPerSecond = 25;
  int frameCount = 50;         // the movie lasts frameCount / framesPerSecond seconds
  int soundFrames = -1;        // the tone lasts this many pictures' time; -1: as long as the picture
  int sampleRate = 44100;      // Hz of the sine tone
  int toneHz = 440;
  double toneFromSeconds = 0;  // silence before this moment, the tone from it on
  bool withSound = true;       // false: picture only, whatever format.audioCodec says
  bool withVideo = true;       // false: sound only (a movie with no picture)
  bool fastPreset = true;      // libx264: the fastest preset
  // MP4 and MOV: the index before the pictures, as phones and the web write
  // them, so a file cut short still declares its whole length.
  bool indexFirst = false;
  // Moves a fine texture over the blocks (the frame number stays readable),
  // so a decoder works as hard as on a filmed picture; for benchmarks.
  bool busyPicture = false;
  // Clockwise turn (degrees) a player must give the picture, stored as the
  // stream's display matrix the way phones store portrait video.
  int rotation = 0;
  // B-frames between reference pictures (libx264 and mpeg4); 0: none.
  int bFrames = 0;
  // Irregular picture times: pictures stand 1, 1.5 or 0.5 intervals apart in
  // turn instead of evenly (the movie keeps its length on average).
  bool variableRate = false;
  // When set, the picture's brightness (0..255) at (x, y) of frame `frame`
  // instead of the frame-number blocks (FrameNumberOf then reads nothing useful).
  std::function<int(int frame, int x, int y)> luma;
  // When set, the picture of frame `frame` in colour (width x height, any
  // format), stored as the usual 4:2:0 Y'CbCr of BT.601 in studio range
  // (each 2 x 2 block's chroma the mean of its four pixels'); it takes
  // precedence over `luma`.
  std::function<QImage(int frame)> picture;
};

// Encodes the clip into `path`. Returns false and sets *error when an
// encoder or the muxer is missing or a write fails; a missing encoder's text
// starts with "encoder not available:" so a caller can skip rather than fail.
bool WriteTestVideo(const std::string& path, const ClipSpec& clipSpec, std::string* error);

// Whether libavcodec has an encoder of this name.
bool EncoderAvailable(const std::string& name);
// Every encoder `format` needs that this libavcodec lacks (empty: none).
std::string MissingEncoders(const VideoFormat& format);

// Blocks of the frame number drawn into each picture.
inline constexpr int kBitColumns = 5;
inline constexpr int kBitRows = 2;

// The frame number a picture of the test clips shows, read from the centre
// of each block; -1 for a null picture.
int FrameNumberOf(const QImage& picture);

}  // namespace testing_support
