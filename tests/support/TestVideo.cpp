#include "support/TestVideo.h"

#include "video/AvError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

namespace testing_support {
namespace {

constexpr int kBits = kBitColumns * kBitRows;
constexpr uint8_t kDarkLuma = 16;
constexpr uint8_t kLightLuma = 235;
constexpr double kToneAmplitude = 0.3;  // of full scale

using video::AvError;

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// An output file being written; closes and frees whatever was opened.
struct Output {
  AVFormatContext* context = nullptr;
  bool headerWritten = false;
  ~Output() {
    if (!context) return;
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};

struct Track {
  CodecPtr codec;
  AVStream* stream = nullptr;
  int64_t nextPts = 0;  // in codec time base
  int frames = 0;       // pictures sent so far
  bool done = false;
};

constexpr int kTextureDepth = 40;  // luma swing of the moving texture, kept off the 128 threshold

// Draws `picture` (the frame's size): BT.601 Y'CbCr in studio range, as
// decoders take a picture that says nothing of its colours.
void DrawPicture(AVFrame* frame, const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  const int w = std::min(frame->width, rgb.width()), h = std::min(frame->height, rgb.height());
  const auto level = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  for (int y = 0; y < h; ++y) {
    const uchar* p = rgb.constScanLine(y);
    uint8_t* luma = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
    for (int x = 0; x < w; ++x, p += 3) luma[x] = level(16 + (65.481 * p[0] + 128.553 * p[1] + 24.966 * p[2]) / 255);
  }
  for (int y = 0; y < (h + 1) / 2; ++y) {
    for (int x = 0; x < (w + 1) / 2; ++x) {
      double r = 0, g = 0, b = 0;
      int n = 0;
      for (int dy = 0; dy < 2 && 2 * y + dy < h; ++dy) {
        const uchar* p = rgb.constScanLine(2 * y + dy) + 3 * 2 * x;
        for (int dx = 0; dx < 2 && 2 * x + dx < w; ++dx, ++n, p += 3) r += p[0], g += p[1], b += p[2];
      }
      r /= n, g /= n, b /= n;
      frame->data[1][static_cast<ptrdiff_t>(y) * frame->linesize[1] + x] =
          level(128 + (-37.797 * r - 74.203 * g + 112 * b) / 255);
      frame->data[2][static_cast<ptrdiff_t>(y) * frame->linesize[2] + x] =
          level(128 + (112 * r - 93.786 * g - 18.214 * b) / 255);
    }
  }
}

// Draws frame `number` as blocks: bit set = light block, clear = dark block.
void DrawFrame(AVFrame* frame, int number, const ClipSpec& clipSpec) {
  const bool busy = clipSpec.busyPicture;
  const int w = frame->width, h = frame->height;
  if (clipSpec.picture) {
    DrawPicture(frame, clipSpec.picture(number));
    return;
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* line = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
    if (clipSpec.luma) {
      for (int x = 0; x < w; ++x) line[x] = static_cast<uint8_t>(std::clamp(clipSpec.luma(number, x, y), 0, 255));
      continue;
    }
    const int row = std::min(kBitRows - 1, y * kBitRows / h);
    for (int x = 0; x < w; ++x) {
      const int column = std::min(kBitColumns - 1, x * kBitColumns / w);
      const int bit = kBits - 1 - (row * kBitColumns + column);
      int luma = ((number >> bit) & 1) ? kLightLuma - kTextureDepth : kDarkLuma + kTextureDepth;
      if (busy) luma += static_cast<int>(kTextureDepth * std::sin((x + 3 * number) * 0.21) *
                                         std::cos((y - 2 * number) * 0.17));
      line[x] = static_cast<uint8_t>(busy ? luma : (((number >> bit) & 1) ? kLightLuma : kDarkLuma));
    }
  }
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < (h + 1) / 2; ++y)
      std::fill_n(frame->data[plane] + static_cast<ptrdiff_t>(y) * frame->linesize[plane], (w + 1) / 2,
                  uint8_t{128});
}

// Fills `frame` (mono) with the tone from sample `first` on.
void DrawTone(AVFrame* frame, int64_t first, const ClipSpec& clipSpec) {
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double t = static_cast<double>(first + i) / clipSpec.sampleRate;
    const double v = t < clipSpec.toneFromSeconds ? 0.0 : kToneAmplitude * std::sin(2 * M_PI * clipSpec.toneHz * t);
    switch (frame->format) {
      case AV_SAMPLE_FMT_S16:
      case AV_SAMPLE_FMT_S16P:
        reinterpret_cast<int16_t*>(frame->data[0])[i] = static_cast<int16_t>(v * 32767);
        break;
      case AV_SAMPLE_FMT_S32:
      case AV_SAMPLE_FMT_S32P:
        reinterpret_cast<int32_t*>(frame->data[0])[i] = static_cast<int32_t>(v * 2147483647.0);
        break;
      case AV_SAMPLE_FMT_FLT:
      case AV_SAMPLE_FMT_FLTP:
        reinterpret_cast<float*>(frame->data[0])[i] = static_cast<float>(v);
        break;
      default:
        reinterpret_cast<double*>(frame->data[0])[i] = v;
        break;
    }
  }
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// Sends `frame` (null: flush) and writes every packet the encoder gives back.
bool Encode(Output& out, Track& track, AVFrame* frame, std::string* error) {
  int rc = avcodec_send_frame(track.codec.get(), frame);
  if (rc < 0 && rc != AVERROR_EOF) return Fail(error, "encoding failed: " + AvError(rc));
  PacketPtr packet(av_packet_alloc());
  while (true) {
    rc = avcodec_receive_packet(track.codec.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return Fail(error, "encoding failed: " + AvError(rc));
    // Some encoders leave a picture's duration out; without it a muxer may
    // cut the last picture off the movie's edit list.
    if (packet->duration <= 0 && track.codec->codec_type == AVMEDIA_TYPE_VIDEO) packet->duration = 1;
    av_packet_rescale_ts(packet.get(), track.codec->time_base, track.stream->time_base);
    packet->stream_index = track.stream->index;
    rc = av_interleaved_write_frame(out.context, packet.get());
    if (rc < 0) return Fail(error, "writing failed: " + AvError(rc));
  }
}

bool OpenTrack(Output& out, Track& track, const AVCodec* encoder, std::string* error) {
  if (out.context->oformat->flags & AVFMT_GLOBALHEADER)
    track.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(track.codec.get(), encoder, nullptr);
  if (rc < 0) return Fail(error, std::string("cannot open encoder ") + encoder->name + ": " + AvError(rc));
  track.stream = avformat_new_stream(out.context, nullptr);
  if (!track.stream) return Fail(error, "cannot add a stream");
  track.stream->time_base = track.codec->time_base;
  avcodec_parameters_from_context(track.stream->codecpar, track.codec.get());
  return true;
}

}  // namespace

const std::vector<VideoFormat>& AllVideoFormats() {
  static const std::vector<VideoFormat> formats = {
      {".wmv", "asf", "wmv2", "wmav2"},        {".flv", "flv", "flv", "libmp3lame"},
      {".mpg", "mpeg", "mpeg1video", "mp2"},   {".dat", "vcd", "mpeg1video", "mp2"},
      {".avi", "avi", "mpeg4", "mp2"},         {".mov", "mov", "mpeg4", "aac"},
      {".rm", "rm", "rv20", "ac3"},            {".mp4", "mp4", "libx264", "aac"},
  };
  return formats;
}

VideoFormat FormatFor(const std::string& extension) {
  for (const VideoFormat& f : AllVideoFormats())
    if (f.extension == extension) return f;
  return {};
}

bool EncoderAvailable(const std::string& name) {
  return avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

std::string MissingEncoders(const VideoFormat& format) {
  std::string missing;
  for (const std::string& name : {format.videoCodec, format.audioCodec})
    if (!name.empty() && !EncoderAvailable(name)) missing += (missing.empty() ? "" : " ") + name;
  return missing;
}

bool WriteTestVideo(const std::string& path, const ClipSpec& clipSpec, std::string* error) {
  av_log_set_level(AV_LOG_QUIET);  // encoders chatter; failures come back as values
  const bool withSound = clipSpec.withSound && !clipSpec.format.audioCodec.empty();
  const AVCodec* videoEncoder = nullptr;
  const AVCodec* audioEncoder = nullptr;
  if (clipSpec.withVideo && !(videoEncoder = avcodec_find_encoder_by_name(clipSpec.format.videoCodec.c_str())))
    return Fail(error, "encoder not available: " + clipSpec.format.videoCodec);
  if (withSound && !(audioEncoder = avcodec_find_encoder_by_name(clipSpec.format.audioCodec.c_str())))
    return Fail(error, "encoder not available: " + clipSpec.format.audioCodec);

  Output out;
  int rc = avformat_alloc_output_context2(&out.context, nullptr, clipSpec.format.muxer.c_str(), path.c_str());
  if (rc < 0 || !out.context) return Fail(error, "muxer not available: " + clipSpec.format.muxer);

  Track video, audio;
  if (clipSpec.withVideo) {
    video.codec.reset(avcodec_alloc_context3(videoEncoder));
    video.codec->width = clipSpec.width;
    video.codec->height = clipSpec.height;
    // A variable rate needs half intervals: its time base ticks twice a picture.
    video.codec->time_base = AVRational{1, clipSpec.framesPerSecond * (clipSpec.variableRate ? 2 : 1)};
    video.codec->framerate = AVRational{clipSpec.framesPerSecond, 1};
    video.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    video.codec->gop_size = clipSpec.framesPerSecond;  // a key frame every second keeps seeks cheap
    video.codec->max_b_frames = clipSpec.bFrames;
    video.codec->bit_rate = static_cast<int64_t>(clipSpec.width) * clipSpec.height * clipSpec.framesPerSecond / 4;
    if (clipSpec.format.videoCodec == "libx264") {
      av_opt_set(video.codec->priv_data, "preset", clipSpec.fastPreset ? "ultrafast" : "medium", 0);
      // zerolatency would switch B-frames off.
      if (clipSpec.bFrames == 0) av_opt_set(video.codec->priv_data, "tune", "zerolatency", 0);
    }
    if (clipSpec.format.videoCodec == "libx265") av_opt_set(video.codec->priv_data, "x265-params", "log-level=error", 0);
    if (!OpenTrack(out, video, videoEncoder, error)) return false;
    if (clipSpec.rotation != 0) {
      auto* matrix = reinterpret_cast<int32_t*>(
          av_stream_new_side_data(video.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
      if (!matrix) return Fail(error, "out of memory");
      // Set takes the clockwise angle (reading the matrix back gives it counter-clockwise).
      av_display_rotation_set(matrix, clipSpec.rotation);
    }
  }
  if (withSound) {
    audio.codec.reset(avcodec_alloc_context3(audioEncoder));
    audio.codec->sample_rate = clipSpec.sampleRate;
    audio.codec->sample_fmt = audioEncoder->sample_fmts ? audioEncoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&audio.codec->ch_layout, 1);
    audio.codec->bit_rate = 64000;
    audio.codec->time_base = AVRational{1, clipSpec.sampleRate};
    if (!OpenTrack(out, audio, audioEncoder, error)) return false;
  }

  if (!(out.context->oformat->flags & AVFMT_NOFILE)) {
    rc = avio_open(&out.context->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return Fail(error, "cannot create " + path + ": " + AvError(rc));
  }
  AVDictionary* muxerOptions = nullptr;
  if (clipSpec.indexFirst) av_dict_set(&muxerOptions, "movflags", "faststart", 0);
  rc = avformat_write_header(out.context, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (rc < 0) return Fail(error, "cannot write the header of " + path + ": " + AvError(rc));

  FramePtr picture(av_frame_alloc());
  if (clipSpec.withVideo) {
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = clipSpec.width;
    picture->height = clipSpec.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0) return Fail(error, "out of memory");
  }
  const int samplesPerFrame =
      withSound && audio.codec->frame_size > 0 ? audio.codec->frame_size : 1024;
  const int64_t totalSamples = static_cast<int64_t>(clipSpec.soundFrames >= 0 ? clipSpec.soundFrames : clipSpec.frameCount) *
                               clipSpec.sampleRate / clipSpec.framesPerSecond;
  video.done = !clipSpec.withVideo;
  audio.done = !withSound;

  // Feed whichever track is behind, so the muxer sees the tracks interleaved.
  while (!video.done || !audio.done) {
    const bool videoNext =
        !video.done && (audio.done || av_compare_ts(video.nextPts, video.codec->time_base,
                                                    audio.nextPts, audio.codec->time_base) <= 0);
    if (videoNext) {
      if (video.frames >= clipSpec.frameCount) {
        if (!Encode(out, video, nullptr, error)) return false;
        video.done = true;
        continue;
      }
      if (av_frame_make_writable(picture.get()) < 0) return Fail(error, "out of memory");
      DrawFrame(picture.get(), video.frames, clipSpec);
      picture->pts = video.nextPts;
      ++video.frames;
      // Steps of 2, 3, 1 half intervals in turn (evenly: 1 interval).
      video.nextPts = clipSpec.variableRate ? 2 * video.frames + (video.frames % 3 == 1 ? 1 : 0) : video.frames;
      if (!Encode(out, video, picture.get(), error)) return false;
    } else {
      if (audio.nextPts >= totalSamples) {
        if (!Encode(out, audio, nullptr, error)) return false;
        audio.done = true;
        continue;
      }
      FramePtr tone(av_frame_alloc());
      tone->format = audio.codec->sample_fmt;
      tone->sample_rate = clipSpec.sampleRate;
      av_channel_layout_copy(&tone->ch_layout, &audio.codec->ch_layout);
      const bool fixedSize = !(audioEncoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
      tone->nb_samples = fixedSize ? samplesPerFrame
                                   : static_cast<int>(std::min<int64_t>(samplesPerFrame, totalSamples - audio.nextPts));
      if (av_frame_get_buffer(tone.get(), 0) < 0) return Fail(error, "out of memory");
      DrawTone(tone.get(), audio.nextPts, clipSpec);
      tone->pts = audio.nextPts;
      audio.nextPts += tone->nb_samples;
      if (!Encode(out, audio, tone.get(), error)) return false;
    }
  }
  rc = av_write_trailer(out.context);
  if (rc < 0) return Fail(error, "cannot finish " + path + ": " + AvError(rc));
  if (out.context->pb && !(out.context->oformat->flags & AVFMT_NOFILE)) {
    rc = avio_closep(&out.context->pb);
    if (rc < 0) return Fail(error, "cannot close " + path + ": " + AvError(rc));
  }
  return true;
}

int FrameNumberOf(const QImage& picture) {
  if (picture.isNull()) return -1;
  int number = 0;
  for (int row = 0; row < kBitRows; ++row) {
    for (int column = 0; column < kBitColumns; ++column) {
      const int x = (2 * column + 1) * picture.width() / (2 * kBitColumns);
      const int y = (2 * row + 1) * picture.height() / (2 * kBitRows);
      number = number * 2 + (qGray(picture.pixel(x, y)) >= 128 ? 1 : 0);
    }
  }
  return number;
}

}  // namespace testing_support
