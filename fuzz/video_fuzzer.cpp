// The video service's decoding on arbitrary bytes (the seed corpus holds
// small test clips; the fuzzer truncates them and flips bytes in their
// headers and streams). Each input is opened twice:
//  - by the unpaced decoder, which shares demuxing and decoding with
//    playback: it either fails to open with an error text, or gives
//    24-bit pictures at rising times until it reports the end;
//  - by VideoService::RenderFile, which primes playback's own decoding
//    thread: it either fails with an error text or starts playback's
//    thread, and closes cleanly.
// Run with a per-input time limit (-timeout) so that a hang is a finding.
#include "fuzz/FuzzSupport.h"
#include "video/FrameStepper.h"
#include "video/VideoService.h"

#include <QCoreApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Steps through the movie as a recording does: 40 ms apart at first, then
// in growing steps so that a stream whose times were flipped far ahead still
// ends in a bounded number of steps.
void DecodeToEnd(const std::string& path) {
  video::FrameStepper stepper;
  std::string error;
  if (!stepper.Open(path, &error)) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  FUZZ_CHECK(stepper.DurationMs() >= 0);
  int64_t step = 40;
  constexpr int64_t kFarEnough = int64_t{1} << 42;  // ms; past any time a stream can state here
  for (int64_t ms = 0, n = 0; ms < kFarEnough; ms += step, ++n) {
    if (stepper.IsPastEnd(ms)) return;
    QImage picture;
    // A stream may change its picture size on the way (a new sequence
    // header does that), so only the kind of picture is fixed.
    if (stepper.PictureAt(ms, &picture)) {
      FUZZ_CHECK(!picture.isNull());
      FUZZ_CHECK(picture.format() == QImage::Format_RGB888);
    }
    if (n >= 200) step *= 2;
  }
}

void RenderAndClose(const std::string& path) {
  video::VideoService service;
  service.Activate();
  std::string error;
  if (!service.RenderFile(path, &error)) {
    FUZZ_CHECK(!error.empty());
  } else {
    // The decoding thread publishes the first picture right after it
    // starts, so the buffer may still be empty here; what it holds is whole.
    QImage picture;
    if (service.GrabFrame(&picture)) FUZZ_CHECK(!picture.isNull());
    int64_t duration = -1;
    service.GetDuration(&duration);
    FUZZ_CHECK(duration >= 0);
  }
  service.Deactivate();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The service's timer and its queued events need an application object.
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzing::ScratchFolder() + "clip";
  fuzzing::WriteInput(path, std::string_view(reinterpret_cast<const char*>(data), size));
  DecodeToEnd(path);
  RenderAndClose(path);
  return 0;
}
