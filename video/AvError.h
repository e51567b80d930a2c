// FFmpeg's text for one of its error codes.
#pragma once

extern "C" {
#include <libavutil/error.h>
}

#include <string>

namespace video {

// The text av_strerror gives for `code` (an AVERROR value), in English.
inline std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace video
