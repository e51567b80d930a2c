// What the export tests need: character movies written on the spot, and an
// exported video read back through libavformat/libavcodec.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace export_support {

// A character movie of `frames` frames, `lines` rows of `units` double-byte
// characters each, interval `intervalMs`, as the converter writes it. Cell
// (x, y) of frame k is a dark or a light character as `dark(k, x, y)` says.
std::string MovieText(int frames, int units, int lines, int intervalMs,
                      const std::function<bool(int frame, int x, int y)>& dark);

// An exported file as a player sees it.
struct Decoded {
  bool opened = false;
  std::string error;
  std::string videoCodec;  // libavcodec's name: "h264", "vp9", "gif", "ffv1"
  int width = 0, height = 0;
  std::vector<int64_t> ptsMs;    // every picture's time
  std::vector<QImage> pictures;  // Format_RGB32, when asked for
  int64_t durationMs = 0;        // the container's
  int64_t videoEndMs = 0;        // the last picture's end
  std::string soundCodec;        // empty: no sound stream
  int sampleRate = 0;
  int64_t soundSamples = 0;
  std::vector<float> soundLevel;  // loudest sample of each millisecond, 0..1, when asked for
};

Decoded DecodeFile(const std::string& path, bool keepPictures, bool keepSound);

// Peak signal-to-noise ratio of two pictures of one size over R, G and B (dB).
double Psnr(const QImage& a, const QImage& b);

}  // namespace export_support
