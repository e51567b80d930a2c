// glyphreel-cli export: a character movie as a video file (MP4, WebM, GIF or
// MKV), drawn as the window's frame label draws it.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ProgressLine.h"
#include "common/FolderLock.h"
#include "conversion/BmpTxt.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace cli {

const char* const kExportUsage =
    "usage: glyphreel-cli export MOVIE OUT [--video SOURCE] [--font-size S]\n"
    "                            [--colours normal|inverted|source] [--start MS]\n"
    "                            [--overwrite]\n"
    "\n"
    "Draws every frame of a character movie as the player does (square cells of S\n"
    "pixels, default 9) and encodes it; OUT's extension picks the kind of video:\n"
    "  .mp4   H.264 and AAC sound (plays everywhere)\n"
    "  .webm  VP9 and Opus sound\n"
    "  .gif   no sound; GIF delays are whole centiseconds and players show one below\n"
    "         2 cs as 10 cs, so pictures that would show for less than 20 ms are\n"
    "         merged into the one before (the running time stays right)\n"
    "  .mkv   FFV1, lossless, and PCM sound\n"
    "Frame k shows from (k+1) x V to (k+2) x V ms (frame 0 also from 0), as in\n"
    "synchronized play; V is the movie's interval. The picture is as large as the\n"
    "movie's largest frame; smaller frames are padded with the background.\n"
    "Refuses an OUT that is MOVIE or SOURCE. Ctrl-C (or a kill) stops the export\n"
    "and leaves OUT as it was.\n"
    "\n"
    "  --video SOURCE  take the sound of SOURCE from its start, cut to the movie's length\n"
    "  --font-size S   4 to 12; a picture larger than 3840 x 2160 takes the largest S that fits\n"
    "  --colours C     normal (black on white), inverted (white on black) or source:\n"
    "                  each cell in the mean colour of the part of SOURCE's picture it\n"
    "                  stands for, at the moment the frame was recorded (frame k at\n"
    "                  (k+1) x V ms after the start), the glyph a shade apart from its\n"
    "                  background (needs --video; SOURCE should be the video the movie\n"
    "                  was made from). Past SOURCE's end its last picture's colours hold\n"
    "  --start MS      the movie was recorded from MS milliseconds into SOURCE (default 0):\n"
    "                  its colours and its sound are taken from there\n"
    "  --overwrite     replace OUT when it exists\n";

int ExportCommand(const Context&, const std::vector<std::string>& args) {
  const Arguments a(args, {"overwrite"}, {"video", "font-size", "colours", "start"});
  movie_export::Options options;
  const std::string& moviePath = a.Require(0, "MOVIE");
  options.output = a.Require(1, "OUT");
  a.AtMost(2);
  if (!movie_export::ContainerFor(options.output)) {
    throw UsageError{"OUT must end in .mp4, .webm, .gif or .mkv: " + options.output};
  }
  if (const auto v = a.Value("video")) options.soundSource = *v;
  if (const auto s = a.Value("font-size")) {
    options.fontSize = ParseInt(*s, movie_export::kSmallestFontSize, movie_export::kLargestFontSize, "--font-size");
  }
  if (const auto c = a.Value("colours")) {
    if (*c == "inverted") {
      std::swap(options.text, options.background);
    } else if (*c == "source") {
      if (options.soundSource.empty()) {
        std::fputs("glyphreel-cli: --colours source needs --video\n", stderr);
        return kBadUsage;
      }
      options.colourSource = options.soundSource;
    } else if (*c != "normal") {
      throw UsageError{"--colours must be normal, inverted or source"};
    }
  }
  if (const auto s = a.Value("start")) {
    if (options.soundSource.empty()) throw UsageError{"--start is a time in --video's SOURCE; give --video"};
    options.startMs = ParseInt(*s, 0, INT32_MAX, "--start");
  }
  options.overwrite = a.Has("overwrite");
  options.movieFile = moviePath;
  switch (movie_export::OutputClash(options)) {
    case movie_export::Clash::Movie:
      std::fputs("glyphreel-cli: OUT is the movie being exported\n", stderr);
      return kBadUsage;
    case movie_export::Clash::SoundSource:
    case movie_export::Clash::ColourSource:
      std::fputs("glyphreel-cli: OUT is the video whose sound is used\n", stderr);
      return kBadUsage;
    case movie_export::Clash::None:
      break;
  }

  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  if (!movie.LoadFromFile(moviePath)) {
    std::fprintf(stderr, "glyphreel-cli: cannot read %s\n", moviePath.c_str());
    return kFailed;
  }
  movie_export::Plan plan;
  std::string error;
  if (!movie_export::MakePlan(movie, options, &plan, &error)) {
    std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
    return kFailed;
  }
  if (plan.fontSizeReduced) {
    std::fprintf(stderr, "glyphreel-cli: at font size %d the picture would exceed %d x %d; using font size %d\n",
                 options.fontSize, movie_export::kMaxWidth, movie_export::kMaxHeight, plan.fontSize);
  }

  av_log_set_level(AV_LOG_ERROR);  // the encoders' own reports are not for this terminal
  movie_export::Result result;
  {
    ProgressLine bar;
    // Ctrl-C, kill and a closed terminal (main's handlers) cancel it.
    result = movie_export::Export(movie, options, [&](int done, int total) {
      bar.Show("exporting", done, total, std::to_string(done) + "/" + std::to_string(total) + " frames");
      return !fileio::InterruptRequested();
    });
  }
  if (result.cancelled) return kFailed;  // main says "interrupted"
  if (!result.ok) {
    std::fprintf(stderr, "glyphreel-cli: %s\n", result.error.c_str());
    return kFailed;
  }
  if (result.soundMissing) {
    std::fprintf(stderr, "glyphreel-cli: %s has no sound; the video is silent\n", options.soundSource.c_str());
  }
  if (result.colourSourceEndMs >= 0) {
    std::fprintf(stderr,
                 "glyphreel-cli: the video ends at %s, before the movie; its last picture's colours are used from "
                 "there\n",
                 ClockTime(result.colourSourceEndMs, true).c_str());
  }
  std::printf("%s\n", options.output.c_str());
  return kOk;
}

}  // namespace cli
