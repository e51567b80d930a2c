// Clips for the video tests, encoded once per test program into a folder
// removed at exit, and small helpers to wait on the event loop.
#pragma once

#include "support/TestVideo.h"

#include <functional>
#include <string>

namespace video_test {

inline constexpr int kFps = 25;
inline constexpr int kFrames = 40;  // 1.6 s: long enough to pause and seek, short to play through
inline constexpr int64_t kFrameMs = 1000 / kFps;

// The path of a clip of `extension`'s format with kFrames frames and sound
// (withSound false: picture only), encoded on first use. Empty, with
// *skipReason set, when this libavcodec lacks an encoder the format needs.
std::string Clip(const std::string& extension, std::string* skipReason, bool withSound = true);
// A clip of any other description, encoded on first use under `name`.
std::string CustomClip(const std::string& name, const testing_support::ClipSpec& clipSpec);
// A path in the program's scratch folder (nothing is created).
std::string ScratchPath(const std::string& name);

// Runs the event loop until `done` is true or `timeoutMs` passed; the result of done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the event loop for `ms`.
void Pump(int ms);

// The extensions of every format, for parameterised tests.
std::vector<std::string> AllExtensions();

}  // namespace video_test

// Skips the current test when `path` is empty (an encoder is missing).
#define SKIP_WITHOUT_CLIP(path, reason) \
  if ((path).empty()) GTEST_SKIP() << (reason)
