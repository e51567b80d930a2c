// The command line's whole road, against what the machine must spend on it
// at the least:
//   - a 60-second 640 x 480 H.264 clip (the test encoder's busy picture,
//     medium preset, B-frames): streaming `glyphreel-cli make` at 15 frames a
//     second and 160 x 120 cells, against the decoding floor
//     (`ffmpeg -threads 2 -i CLIP -f null -`);
//   - a feature film's stand-in: a 10-minute grainy 1080p H.264 clip with
//     B-frames and sound (the ffmpeg program's testsrc2 with temporal noise,
//     30 a second, veryfast, CRF 23; made once and cached in the work folder).
//     Its stages, each against its floor in the same run:
//       make at 15 and at 10 frames a second (160 x 120 cells) against the
//         decoding floor;
//       export of the 15 frames a second movie as an MP4 with the clip's
//         sound at font size 9 (1440 x 1080) against the encoding floor: the
//         ffmpeg program encoding the same pictures (the first minute, made
//         once through a lossless export and kept as raw YUV) with the
//         export's settings, scaled to the movie's length;
//     and what the stages project for a 2-hour film.
// Every run is checked (exit status, the movie's frame count, the exported
// video's streams and length) before its figure is printed, and each figure
// is printed with the machine's load average beside it.
//
// Usage: make_bench [work folder] [--sd-only] [--film-seconds N]
//        (default: /tmp/glyphreel-make-bench; --sd-only leaves out the film;
//        --film-seconds makes it N seconds long instead of 10 minutes, at
//        least 60, for a quicker run of the same kind)
#include "BenchSupport.h"
#include "common/FileWrite.h"
#include "conversion/BmpTxt.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"
#include "video/RecordingTicks.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kFilmSeconds = 600;  // the feature film's stand-in (--film-seconds for a shorter one)
constexpr int kProjectedSeconds = 7200;  // the film the figures are projected to
constexpr int kExcerptSeconds = 60;      // of the movie, for the encoding floor
constexpr double kPeakGoalMb = 250;
constexpr double kProjectionGoalMinutes = 30;

uint64_t BytesUnder(const std::string& folder) {
  uint64_t total = 0;
  QDirIterator it(QString::fromStdString(folder), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) total += static_cast<uint64_t>(QFileInfo(it.next()).size());
  return total;
}

std::string Stem(const std::string& path) { return QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString(); }

bool Fail(const std::string& message) {
  std::fprintf(stderr, "make_bench: %s\n", message.c_str());
  return false;
}

// A video file's streams and length.
struct VideoFacts {
  bool read = false;
  int videoStreams = 0;
  int soundStreams = 0;
  int width = 0;
  int height = 0;
  double seconds = 0;
};

VideoFacts FactsOf(const std::string& path) {
  VideoFacts facts;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return facts;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    facts.read = true;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVCodecParameters* p = format->streams[i]->codecpar;
      if (p->codec_type == AVMEDIA_TYPE_VIDEO && facts.videoStreams++ == 0) {
        facts.width = p->width;
        facts.height = p->height;
      }
      if (p->codec_type == AVMEDIA_TYPE_AUDIO) ++facts.soundStreams;
    }
    facts.seconds = format->duration > 0 ? static_cast<double>(format->duration) / AV_TIME_BASE : 0;
  }
  avformat_close_input(&format);
  return facts;
}

struct Tools {
  std::string cli;
  std::string ffmpeg;
  std::string work;
};

// Streams `clip` through make at `fps` into `out`; false when the run fails
// or the movie does not hold the frames the recording takes.
bool Make(const Tools& tools, const std::string& clip, int seconds, int fps, const std::string& out,
          bench::Measure* measure) {
  QDir(QString::fromStdString(out)).removeRecursively();
  fileio::MakePath(out, nullptr);
  *measure = bench::RunQuiet(tools.cli, {"make", clip, out, "--fps", std::to_string(fps), "--size", "160x120",
                                         "--overwrite"});
  if (!measure->ok) return Fail("glyphreel-cli make failed on " + clip);
  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  const int intervalMs = IntervalForFrameRate(fps);
  const int expected = static_cast<int>(video::RecordingTicks{0, intervalMs, seconds * 1000}.Count());
  if (!movie.LoadFromFile(out + Stem(clip) + ".txt") || movie.FrameTotal() < expected - 1 ||
      movie.FrameTotal() > expected) {
    return Fail("the movie of " + clip + " holds " + std::to_string(movie.FrameTotal()) + " frames, not " +
                std::to_string(expected));
  }
  return true;
}

bench::Measure DecodingFloor(const Tools& tools, const std::string& clip) {
  return bench::RunQuiet(tools.ffmpeg, {"-v", "error", "-threads", "2", "-i", clip, "-f", "null", "-"});
}

// One run of make against the decoding floor. The goals: at most the floor,
// and below 0.8 of it when the recording takes at most half the video's
// pictures (`halfRate`).
void PrintMake(const std::string& label, int fps, const bench::Measure& make, const bench::Measure& floor, int seconds,
               bool halfRate, const std::string& load) {
  const double ratio = make.seconds / floor.seconds;
  std::string goals = std::string("<= 1.0 ") + (ratio <= 1.0 ? "met" : "MISSED");
  if (halfRate) goals += std::string(", < 0.8 at half the video's rate ") + (ratio < 0.8 ? "met" : "MISSED");
  std::printf("%s: make at %2d fps %7.1f s (%5.1fx real time), peak %4.0f MB; / decoding floor %.2f (goal %s)   [%s]\n",
              label.c_str(), fps, make.seconds, seconds / make.seconds, make.peakKiB / 1024.0, ratio, goals.c_str(),
              load.c_str());
}

// The SD clip: make at 15 frames a second against the decoding floor.
bool BenchSd(const Tools& tools, const std::string& clip, int seconds) {
  const std::string out = tools.work + "out/";
  const bench::Measure floor = DecodingFloor(tools, clip);
  const std::string floorLoad = bench::LoadAverage();
  if (!floor.ok) return Fail(tools.ffmpeg + " failed on " + clip);
  bench::Measure make;
  if (!Make(tools, clip, seconds, 15, out, &make)) return false;
  const std::string label = "640x480, 60 s";
  std::printf("%s: decoding floor (ffmpeg -threads 2) %.1f s   [%s]\n", label.c_str(), floor.seconds,
              floorLoad.c_str());
  PrintMake(label, 15, make, floor, seconds, false, bench::LoadAverage());  // 15 of 25 pictures a second
  std::printf("%s: %.1f MB written\n", label.c_str(), static_cast<double>(BytesUnder(out)) / 1e6);
  QDir(QString::fromStdString(out)).removeRecursively();
  return true;
}

// The encoding floor of an export of `movieFile` with the sound of `clip`:
// the ffmpeg program encoding the pictures of its first kExcerptSeconds (made
// once, through a lossless export of those frames, into raw YUV) with the
// export's settings. Seconds for the excerpt; *excerptSeconds its length.
bool EncodingFloor(const Tools& tools, const TTextPic& movie, const std::string& clip, bench::Measure* floor,
                   double* excerptSeconds) {
  const int frames = std::min(movie.FrameTotal(), kExcerptSeconds * 1000 / movie.FrameInterval());
  const std::string tag = std::to_string(frames) + "x" + std::to_string(movie.FrameInterval());
  const std::string raw = tools.work + "excerpt-" + tag + ".yuv";
  const std::string lossless = tools.work + "excerpt-" + tag + ".mkv";
  if (!fileio::FileExists(raw)) {
    std::printf("making the encoding floor's pictures (the first %d frames, once) ...\n", frames);
    std::string text;
    for (int i = 0; i < frames; ++i) text.append(movie.FrameView(i));
    const std::string excerpt = tools.work + "excerpt.txt";
    if (!fileio::WriteFile(excerpt, text, nullptr)) return Fail("cannot write " + excerpt);
    if (!bench::RunQuiet(tools.cli, {"export", excerpt, lossless, "--font-size", "9", "--overwrite"}).ok ||
        !bench::RunQuiet(tools.ffmpeg, {"-v", "error", "-y", "-i", lossless, "-f", "rawvideo", "-pix_fmt", "yuv420p",
                                        raw + ".part"})
             .ok ||
        !fileio::Rename(raw + ".part", raw, nullptr)) {
      return Fail("cannot make the encoding floor's pictures " + raw);
    }
    fileio::RemoveFile(excerpt, nullptr);
  }
  const VideoFacts facts = FactsOf(lossless);
  if (!facts.read || facts.width <= 0) return Fail("cannot read " + lossless);
  // The export shows frame 0 twice: frames + 1 pictures.
  *excerptSeconds = (frames + 1) * movie.FrameInterval() / 1000.0;
  *floor = bench::RunQuiet(
      tools.ffmpeg,
      {"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s",
       std::to_string(facts.width) + "x" + std::to_string(facts.height), "-framerate",
       "1000/" + std::to_string(movie.FrameInterval()), "-i", raw, "-i", clip, "-map", "0:v", "-map", "1:a", "-t",
       std::to_string(*excerptSeconds), "-c:v", "libx264", "-preset", "ultrafast", "-tune", "animation", "-crf", "24",
       "-pix_fmt", "yuv420p",
       "-c:a", "aac", "-movflags", "+faststart", tools.work + "floor.mp4"});
  fileio::RemoveFile(tools.work + "floor.mp4", nullptr);
  return floor->ok || Fail("the ffmpeg program could not encode " + raw);
}

// The feature film: make at 15 and 10 frames a second, export, their floors
// and the 2-hour projection.
bool BenchFilm(const Tools& tools, const std::string& clip, int filmSeconds) {
  const std::string label = "1080p, " + std::to_string(filmSeconds) + " s";
  const VideoFacts clipFacts = FactsOf(clip);
  if (!clipFacts.read || std::lround(clipFacts.seconds) != filmSeconds) {
    return Fail(clip + " does not last " + std::to_string(filmSeconds) + " s: remove it to have it made again");
  }
  const std::string out15 = tools.work + "out15/", out10 = tools.work + "out10/";
  const bench::Measure floor = DecodingFloor(tools, clip);
  const std::string floorLoad = bench::LoadAverage();
  if (!floor.ok) return Fail(tools.ffmpeg + " failed on " + clip);
  std::printf("%s: decoding floor (ffmpeg -threads 2) %.1f s (%.1fx real time)   [%s]\n", label.c_str(),
              floor.seconds, filmSeconds / floor.seconds, floorLoad.c_str());
  std::fflush(stdout);

  bench::Measure make15, make10;
  if (!Make(tools, clip, filmSeconds, 15, out15, &make15)) return false;
  // 15 and 10 of the clip's 30 pictures a second: at most half the video's rate.
  PrintMake(label, 15, make15, floor, filmSeconds, true, bench::LoadAverage());
  std::fflush(stdout);
  if (!Make(tools, clip, filmSeconds, 10, out10, &make10)) return false;
  PrintMake(label, 10, make10, floor, filmSeconds, true, bench::LoadAverage());
  QDir(QString::fromStdString(out10)).removeRecursively();
  const double peakMb = std::max(make15.peakKiB, make10.peakKiB) / 1024.0;
  std::printf("%s: make's peak memory %.0f MB (goal <= %.0f MB) %s\n", label.c_str(), peakMb, kPeakGoalMb,
              peakMb <= kPeakGoalMb ? "met" : "MISSED");
  std::fflush(stdout);

  // Export of the 15 frames a second movie, with the clip's sound.
  const std::string movieFile = out15 + Stem(clip) + ".txt";
  TTextPic movie;
  movie.FrameMarker = kFrameMarker;
  if (!movie.LoadFromFile(movieFile) || !movie.Playable()) return Fail("cannot read " + movieFile);
  const std::string exported = tools.work + "export.mp4";
  const bench::Measure exportRun =
      bench::RunQuiet(tools.cli, {"export", movieFile, exported, "--video", clip, "--font-size", "9", "--overwrite"});
  const std::string exportLoad = bench::LoadAverage();
  if (!exportRun.ok) return Fail("glyphreel-cli export failed on " + movieFile);
  const double movieSeconds = (movie.FrameTotal() + 1) * movie.FrameInterval() / 1000.0;
  const VideoFacts facts = FactsOf(exported);
  if (!facts.read || facts.videoStreams != 1 || facts.soundStreams != 1 || std::abs(facts.seconds - movieSeconds) > 1) {
    return Fail("the export " + exported + " holds " + std::to_string(facts.videoStreams) + " video and " +
                std::to_string(facts.soundStreams) + " sound streams over " + std::to_string(facts.seconds) +
                " s, not one of each over " + std::to_string(movieSeconds) + " s");
  }
  const double exportBytes = static_cast<double>(fileio::FileSize(exported));
  fileio::RemoveFile(exported, nullptr);
  bench::Measure encodeFloor;
  double excerptSeconds = 0;
  if (!EncodingFloor(tools, movie, clip, &encodeFloor, &excerptSeconds)) return false;
  const std::string encodeLoad = bench::LoadAverage();
  const double exportFloor = encodeFloor.seconds * movieSeconds / excerptSeconds;
  std::printf("%s: export (MP4 with sound, %d x %d) %.1f s (%.1fx real time), peak %.0f MB, %.1f MB   [%s]\n",
              label.c_str(), facts.width, facts.height, exportRun.seconds, movieSeconds / exportRun.seconds,
              exportRun.peakKiB / 1024.0, exportBytes / 1e6, exportLoad.c_str());
  std::printf("%s: encoding floor (ffmpeg, libx264 as the export sets it and AAC from raw pictures) %.1f s for %.0f s, "
              "%.1f s for the movie (%.1fx real time); export / floor %.2f   [%s]\n",
              label.c_str(), encodeFloor.seconds, excerptSeconds, exportFloor, movieSeconds / exportFloor,
              exportRun.seconds / exportFloor, encodeLoad.c_str());

  // Two hours, stage by stage.
  const double scale = static_cast<double>(kProjectedSeconds) / filmSeconds;
  const double makeMinutes = make15.seconds * scale / 60, exportMinutes = exportRun.seconds * scale / 60;
  const double decodeFloorMinutes = floor.seconds * scale / 60, encodeFloorMinutes = exportFloor * scale / 60;
  std::printf("\n2-hour film, projected      make  export  total\n");
  std::printf("  glyphreel-cli          %6.1f  %6.1f  %5.1f min (goal <= %.0f) %s\n", makeMinutes, exportMinutes,
              makeMinutes + exportMinutes, kProjectionGoalMinutes,
              makeMinutes + exportMinutes <= kProjectionGoalMinutes ? "met" : "MISSED");
  std::printf("  floors                 %6.1f  %6.1f  %5.1f min\n", decodeFloorMinutes, encodeFloorMinutes,
              decodeFloorMinutes + encodeFloorMinutes);
  std::printf("  ratio to floor         %6.2f  %6.2f  %5.2f\n", make15.seconds / floor.seconds,
              exportRun.seconds / exportFloor,
              (makeMinutes + exportMinutes) / (decodeFloorMinutes + encodeFloorMinutes));
  QDir(QString::fromStdString(out15)).removeRecursively();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Tools tools;
  tools.work = "/tmp/glyphreel-make-bench/";
  bool sdOnly = false;
  int filmSeconds = kFilmSeconds;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--sd-only") {
      sdOnly = true;
    } else if (std::string(argv[i]) == "--film-seconds" && i + 1 < argc) {
      filmSeconds = std::max(kExcerptSeconds, std::atoi(argv[++i]));
    } else {
      tools.work = std::string(argv[i]) + "/";
    }
  }
  fileio::MakePath(tools.work, nullptr);
  tools.cli = QCoreApplication::applicationDirPath().toStdString() + "/glyphreel-cli";
  tools.ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).toStdString();
  if (!fileio::FileExists(tools.cli) || tools.ffmpeg.empty()) {
    std::fprintf(stderr, "make_bench: needs %s and the ffmpeg program (tools/install-deps.sh)\n", tools.cli.c_str());
    return 1;
  }

  const std::string sd = tools.work + "clip480.mp4";
  if (!fileio::FileExists(sd)) {
    std::printf("encoding a 60-second 640 x 480 clip (medium preset, B-frames) ...\n");
    testing_support::ClipSpec clipSpec;
    clipSpec.format = testing_support::FormatFor(".mp4");
    clipSpec.width = 640;
    clipSpec.height = 480;
    clipSpec.frameCount = 25 * 60;
    clipSpec.withSound = false;
    clipSpec.fastPreset = false;
    clipSpec.busyPicture = true;
    clipSpec.bFrames = 3;
    std::string error;
    if (!testing_support::WriteTestVideo(sd + ".part", clipSpec, &error) || ::rename((sd + ".part").c_str(), sd.c_str()) != 0) {
      std::fprintf(stderr, "make_bench: %s\n", error.c_str());
      return 1;
    }
  }
  if (!BenchSd(tools, sd, 60)) return 1;
  if (sdOnly) return 0;
  std::printf("\n");
  // A grainy picture, as film is: temporal noise over moving colour patterns,
  // 30 a second as phones film, with a sound track; veryfast keeps B-frames
  // (ultrafast has none).
  const std::string hd = tools.work + "clip1080-grain" +
                         (filmSeconds == kFilmSeconds ? std::string() : "-" + std::to_string(filmSeconds) + "s") + ".mp4";
  if (!fileio::FileExists(hd)) {
    std::printf("encoding a %d-second grainy 1080p clip with the ffmpeg program (once; cached in %s) ...\n",
                filmSeconds, tools.work.c_str());
    std::fflush(stdout);
    const bench::Measure made = bench::RunQuiet(
        tools.ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=48000", "-t", std::to_string(filmSeconds), "-vf",
                       "noise=alls=8:allf=t", "-c:v", "libx264", "-preset", "veryfast", "-crf", "23", "-bf", "3",
                       "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "mp4", hd + ".part"});
    if (!made.ok || ::rename((hd + ".part").c_str(), hd.c_str()) != 0) {
      std::fprintf(stderr, "make_bench: the ffmpeg program could not make %s\n", hd.c_str());
      return 1;
    }
  }
  return BenchFilm(tools, hd, filmSeconds) ? 0 : 1;
}
