#include "playback/ExportSupport.h"

#include "common/Gbk.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace export_support {

std::string MovieText(int frames, int units, int lines, int intervalMs,
                      const std::function<bool(int frame, int x, int y)>& dark) {
  static const std::string darkUnit = gbk::EncodeOrThrow(QStringLiteral("厲"));
  static const std::string lightUnit = gbk::EncodeOrThrow(QStringLiteral("　"));
  std::string text;
  for (int k = 0; k < frames; ++k) {
    for (int y = 0; y < lines; ++y) {
      for (int x = 0; x < units; ++x) text += dark(k, x, y) ? darkUnit : lightUnit;
      text += "\r\n";
    }
    char info[32];
    std::snprintf(info, sizeof info, "W%03dV%04dF%05d", units, intervalMs, k);
    text += "\x80\x80\r\n" + std::string(info) + "\r\n";
  }
  return text;
}

namespace {

struct Closer {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  void operator()(AVFrame* f) const { av_frame_free(&f); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(SwsContext* s) const { sws_freeContext(s); }
  void operator()(SwrContext* s) const { swr_free(&s); }
};

std::unique_ptr<AVCodecContext, Closer> OpenDecoder(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  std::unique_ptr<AVCodecContext, Closer> c(avcodec_alloc_context3(codec));
  if (avcodec_parameters_to_context(c.get(), stream->codecpar) < 0 || avcodec_open2(c.get(), codec, nullptr) < 0) {
    return nullptr;
  }
  return c;
}

}  // namespace

Decoded DecodeFile(const std::string& path, bool keepPictures, bool keepSound) {
  Decoded d;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    d.error = "cannot open " + path;
    return d;
  }
  std::unique_ptr<AVFormatContext, Closer> format(raw);
  avformat_find_stream_info(format.get(), nullptr);
  d.opened = true;
  d.durationMs = format->duration == AV_NOPTS_VALUE ? 0 : format->duration / 1000;
  const int vi = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int ai = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (vi < 0) {
    d.error = "no video stream";
    return d;
  }
  const AVStream* vs = format->streams[vi];
  auto video = OpenDecoder(vs);
  d.videoCodec = avcodec_get_name(vs->codecpar->codec_id);
  d.width = vs->codecpar->width;
  d.height = vs->codecpar->height;
  const int64_t videoStart = vs->start_time == AV_NOPTS_VALUE ? 0 : vs->start_time;
  std::unique_ptr<AVCodecContext, Closer> sound;
  const AVStream* as = nullptr;
  std::unique_ptr<SwrContext, Closer> resampler;
  if (ai >= 0) {
    as = format->streams[ai];
    sound = OpenDecoder(as);
    d.soundCodec = avcodec_get_name(as->codecpar->codec_id);
    d.sampleRate = as->codecpar->sample_rate;
  }
  std::unique_ptr<SwsContext, Closer> scaler;
  std::unique_ptr<AVFrame, Closer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, Closer> packet(av_packet_alloc());
  int64_t lastDuration = 0;

  auto takeVideo = [&](AVFrame* f) {
    const int64_t ts = f->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f->best_effort_timestamp;
    const int64_t ms = av_rescale_q(ts - videoStart, vs->time_base, AVRational{1, 1000});
    d.ptsMs.push_back(ms);
    lastDuration = av_rescale_q(f->pkt_duration, vs->time_base, AVRational{1, 1000});
    d.videoEndMs = ms + lastDuration;
    if (!keepPictures) return;
    scaler.reset(sws_getCachedContext(scaler.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                      f->width, f->height, AV_PIX_FMT_BGRA,
                                      SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                                      nullptr));
    // The scaler writes whole blocks of pixels, past a picture-sized buffer's
    // end: into a frame FFmpeg pads for it, then copied.
    std::unique_ptr<AVFrame, Closer> bgra(av_frame_alloc());
    bgra->format = AV_PIX_FMT_BGRA;
    bgra->width = f->width;
    bgra->height = f->height;
    if (av_frame_get_buffer(bgra.get(), 0) < 0) return;
    sws_scale(scaler.get(), f->data, f->linesize, 0, f->height, bgra->data, bgra->linesize);
    d.pictures.push_back(QImage(bgra->data[0], f->width, f->height, bgra->linesize[0], QImage::Format_RGB32).copy());
  };
  auto takeSound = [&](AVFrame* f) {
    d.soundSamples += f->nb_samples;
    if (!keepSound) return;
    if (!resampler) {
      AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
      SwrContext* s = nullptr;
      swr_alloc_set_opts2(&s, &mono, AV_SAMPLE_FMT_FLT, f->sample_rate, &f->ch_layout,
                          static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
      swr_init(s);
      resampler.reset(s);
    }
    std::vector<float> mono(static_cast<size_t>(f->nb_samples) + 64);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(mono.data())};
    const int got = swr_convert(resampler.get(), out, static_cast<int>(mono.size()),
                                const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    const int64_t first = d.soundSamples - f->nb_samples;
    for (int i = 0; i < got; ++i) {
      const size_t ms = static_cast<size_t>((first + i) * 1000 / f->sample_rate);
      if (d.soundLevel.size() <= ms) d.soundLevel.resize(ms + 1, 0.0f);
      d.soundLevel[ms] = std::max(d.soundLevel[ms], std::fabs(mono[static_cast<size_t>(i)]));
    }
  };
  auto drain = [&](AVCodecContext* c, bool isVideo) {
    while (avcodec_receive_frame(c, frame.get()) == 0) {
      if (isVideo) {
        takeVideo(frame.get());
      } else {
        takeSound(frame.get());
      }
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == vi && video) {
      avcodec_send_packet(video.get(), packet.get());
      drain(video.get(), true);
    } else if (packet->stream_index == ai && sound) {
      avcodec_send_packet(sound.get(), packet.get());
      drain(sound.get(), false);
    }
    av_packet_unref(packet.get());
  }
  if (video) {
    avcodec_send_packet(video.get(), nullptr);
    drain(video.get(), true);
  }
  if (sound) {
    avcodec_send_packet(sound.get(), nullptr);
    drain(sound.get(), false);
  }
  return d;
}

double Psnr(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) {
      const double dr = qRed(p[col]) - qRed(q[col]), dg = qGreen(p[col]) - qGreen(q[col]),
                   db = qBlue(p[col]) - qBlue(q[col]);
      sum += dr * dr + dg * dg + db * db;
    }
  }
  const double mse = sum / (3.0 * x.width() * x.height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace export_support
