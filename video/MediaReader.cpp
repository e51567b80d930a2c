#include "video/MediaReader.h"

#include "video/AvError.h"
#include "video/PictureSampler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

namespace video {
namespace {

constexpr int64_t kDefaultFrameIntervalUs = 40000;  // 25 frames a second when the file does not say
constexpr int kMaxSoundChannels = 2;                // more is folded down to stereo by default
constexpr size_t kMaxQueuedPackets = 1024;          // picture packets the sound may read ahead, at most
constexpr int64_t kSeekBackStepUs = 500000;        // first step back when a seek overshoots; doubles each time
constexpr int64_t kEndScanUs = 3000000;             // how much of the file's end is read to find its last picture
// Packets read ahead of the one being decoded to learn which picture follows
// it on screen; H.264 and HEVC reorder at most 16 pictures.
constexpr size_t kSkipLookahead = 17;
constexpr size_t kRecentPositions = 32;  // positions of packets already decoded, kept for the same purpose

// Positions are kept within +-kMaxPositionUs (about 35 years), so that their
// sums and differences never overflow, whatever times a damaged file states.
constexpr int64_t kMaxPositionUs = int64_t{1} << 50;

int64_t ClampUs(int64_t us) { return std::clamp(us, -kMaxPositionUs, kMaxPositionUs); }

// A stream time in microseconds, clamped; AV_NOPTS_VALUE for no time (which
// is also what a rescale that overflows gives).
int64_t StreamUs(int64_t time, AVRational timeBase) {
  if (time == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
  const int64_t us = av_rescale_q(time, timeBase, AV_TIME_BASE_Q);
  return us == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ClampUs(us);
}

// a + b in stream time, held at the int64 limits instead of overflowing.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? INT64_MAX : INT64_MIN + 1;  // INT64_MIN is AV_NOPTS_VALUE
}

// The clockwise quarter turn a stream's display matrix asks for; 0 without
// one, or for an angle that is not within a degree of a quarter turn.
int StreamRotation(const AVStream* stream) {
  const auto* matrix = reinterpret_cast<const int32_t*>(
      av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
  if (!matrix) return 0;
  const double counterClockwise = av_display_rotation_get(matrix);
  if (std::isnan(counterClockwise)) return 0;
  double clockwise = std::fmod(-counterClockwise, 360.0);
  if (clockwise < 0) clockwise += 360.0;
  for (int quarter : {0, 90, 180, 270, 360})
    if (std::fabs(clockwise - quarter) < 1.0) return quarter % 360;
  return 0;
}

void FreePackets(std::deque<AVPacket*>* packets) {
  for (AVPacket* p : *packets) av_packet_free(&p);
  packets->clear();
}

// Calls visit(header, size) for each NAL unit of a packet: units prefixed by
// their length in `lengthSize` big-endian bytes (MP4 and Matroska), or with
// lengthSize 0 separated by start codes (00 00 01). False when the packet
// does not split into units, or visit() returns false.
template <typename Visit>
bool ForEachNal(const uint8_t* data, size_t size, int lengthSize, Visit&& visit) {
  const uint8_t* const end = data + size;
  if (lengthSize > 0) {
    const uint8_t* p = data;
    while (p < end) {
      if (end - p < lengthSize) return false;
      size_t length = 0;
      for (int i = 0; i < lengthSize; ++i) length = length << 8 | p[i];
      p += lengthSize;
      if (length == 0 || length > static_cast<size_t>(end - p) || !visit(p, length)) return false;
      p += length;
    }
    return true;
  }
  const auto nextStart = [end](const uint8_t* from) {  // just after the next 00 00 01, or end
    for (const uint8_t* p = from; end - p >= 3; ++p)
      if (p[0] == 0 && p[1] == 0 && p[2] == 1) return p + 3;
    return end;
  };
  const uint8_t* unit = nextStart(data);
  if (unit == end) return false;
  while (unit < end) {
    const uint8_t* following = nextStart(unit);
    const uint8_t* unitEnd = following == end ? end : following - 3;
    while (unitEnd > unit && unitEnd[-1] == 0) --unitEnd;  // the zero byte of a four-byte start code
    if (unitEnd > unit && !visit(unit, static_cast<size_t>(unitEnd - unit))) return false;
    unit = following;
  }
  return true;
}

// Whether the container stores every packet's presentation time (rather than
// FFmpeg guessing it from the decoding order, as for AVI and raw streams).
bool StoresPresentationTimes(const AVInputFormat* format) {
  if (!format || (format->flags & AVFMT_NOTIMESTAMPS)) return false;
  const std::string name = format->name;
  return name == "mov,mp4,m4a,3gp,3g2,mj2" || name == "matroska,webm";
}

}  // namespace

void FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }
FramePtr NewFrame() { return FramePtr(av_frame_alloc()); }

MediaReader::MediaReader() : sampler_(std::make_unique<PictureSampler>()), soundFrame_(NewFrame()) {
  // FFmpeg's own messages would go to the standard error of whatever program
  // links the core; failures reach the caller as values instead.
  av_log_set_level(AV_LOG_QUIET);
}
MediaReader::~MediaReader() { Close(); }

bool MediaReader::OpenDecoder(int streamIndex, AVCodecContext** codec, std::string* error) {
  AVStream* stream = format_->streams[streamIndex];
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) {
    *error = std::string("no decoder for ") + avcodec_get_name(stream->codecpar->codec_id);
    return false;
  }
  *codec = avcodec_alloc_context3(decoder);
  if (!*codec) {
    *error = "out of memory";
    return false;
  }
  avcodec_parameters_to_context(*codec, stream->codecpar);
  (*codec)->pkt_timebase = stream->time_base;
  (*codec)->thread_count = 0;  // as many as the machine has
  const int rc = avcodec_open2(*codec, decoder, nullptr);
  if (rc < 0) {
    *error = std::string("cannot open the ") + decoder->name + " decoder: " + AvError(rc);
    avcodec_free_context(codec);
    return false;
  }
  return true;
}

bool MediaReader::Open(const std::string& path, bool withSound, std::string* error) {
  Close();
  std::string ignored;
  if (!error) error = &ignored;
  int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
  if (rc < 0) {
    *error = "cannot open " + path + ": " + AvError(rc);
    format_ = nullptr;
    return false;
  }
  rc = avformat_find_stream_info(format_, nullptr);
  if (rc < 0) {
    *error = "cannot read the streams of " + path + ": " + AvError(rc);
    Close();
    return false;
  }
  videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex_ < 0) {
    *error = path + " holds no video stream";
    Close();
    return false;
  }
  if (!OpenDecoder(videoIndex_, &video_, error)) {
    *error = path + ": " + *error;
    Close();
    return false;
  }
  if (video_->width <= 0 || video_->height <= 0) {
    *error = path + ": the picture has no size";
    Close();
    return false;
  }
  if (withSound) {
    soundIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
    std::string soundError;
    if (soundIndex_ >= 0 && !OpenDecoder(soundIndex_, &sound_, &soundError)) soundIndex_ = -1;
  }
  for (unsigned i = 0; i < format_->nb_streams; ++i)
    if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != soundIndex_)
      format_->streams[i]->discard = AVDISCARD_ALL;
  // Positions count from the first picture: muxers often start the sound a
  // little earlier, which would otherwise shift every picture's time.
  const AVStream* stream = format_->streams[videoIndex_];
  startUs_ = StreamUs(stream->start_time, stream->time_base);
  if (startUs_ == AV_NOPTS_VALUE) startUs_ = format_->start_time != AV_NOPTS_VALUE ? ClampUs(format_->start_time) : 0;
  soundOut_ = SourceSoundFormat();
  rule_.rotation = StreamRotation(stream);
  // Which pictures may be left undecoded (PlanPictureTimes): the NAL unit
  // layout comes from the decoder configuration record (avcC, hvcC).
  const AVCodecParameters* codec = stream->codecpar;
  const uint8_t* extra = codec->extradata;
  const bool record = extra && codec->extradata_size >= 7 && extra[0] == 1;
  if (StoresPresentationTimes(format_->iformat) && codec->codec_id == AV_CODEC_ID_H264) {
    skipKind_ = SkipKind::H264;
    nalLengthSize_ = record ? (extra[4] & 3) + 1 : 0;
  } else if (StoresPresentationTimes(format_->iformat) && codec->codec_id == AV_CODEC_ID_HEVC && record &&
             codec->extradata_size >= 23 && ((extra[21] >> 3) & 7) > 0) {
    // Without the record the number of temporal sub-layers is unknown, and a
    // sub-layer non-reference picture below the highest may be referred to.
    skipKind_ = SkipKind::Hevc;
    nalLengthSize_ = (extra[21] & 3) + 1;
    highestTemporalId_ = ((extra[21] >> 3) & 7) - 1;
  }
  videoEndUs_ = ScanVideoEnd();
  Seek(0);
  return true;
}

void MediaReader::Close() {
  FreePackets(&videoPackets_);
  FreePackets(&soundPackets_);
  avcodec_free_context(&video_);
  avcodec_free_context(&sound_);
  if (format_) avformat_close_input(&format_);
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  swr_free(&resampler_);
  videoIndex_ = soundIndex_ = -1;
  startUs_ = 0;
  videoEndUs_ = 0;
  rule_.rotation = 0;
  endOfFile_ = videoDrained_ = soundDrained_ = false;
  lastVideoUs_ = -1;
  nextSoundUs_ = soundFromUs_ = 0;
  soundOut_ = {};
  skipKind_ = SkipKind::None;
  nalLengthSize_ = highestTemporalId_ = 0;
  planFirstUs_ = planStepUs_ = 0;
  recentUs_.clear();
  skipped_ = 0;
}

QSize MediaReader::FrameSize() const {
  if (!video_) return {};
  const QSize stored(video_->width, video_->height);
  return rule_.Shown(stored);
}

int64_t MediaReader::DurationUs() const {
  if (!format_) return 0;
  if (videoEndUs_ > 0) return videoEndUs_;
  if (format_->duration > 0) {
    const int64_t containerStart = format_->start_time != AV_NOPTS_VALUE ? ClampUs(format_->start_time) : 0;
    return std::max<int64_t>(0, ClampUs(format_->duration) + containerStart - startUs_);
  }
  return 0;
}

int64_t MediaReader::StreamDurationUs() const {
  if (!format_ || videoIndex_ < 0) return 0;
  const AVStream* stream = format_->streams[videoIndex_];
  const int64_t declared = stream->duration > 0 ? StreamUs(stream->duration, stream->time_base) : AV_NOPTS_VALUE;
  return declared != AV_NOPTS_VALUE && declared > 0 ? declared : DurationUs();
}

int64_t MediaReader::ScanVideoEnd() {
  // Only the packets' timestamps are read (nothing is decoded): the tail of
  // the file is demuxed from a little before the container's end. Packets
  // that carry only a decoding time are shifted by the latest known
  // difference between presentation and decoding time.
  if (format_->duration <= 0) return 0;
  const int64_t containerStart = format_->start_time != AV_NOPTS_VALUE ? ClampUs(format_->start_time) : 0;
  const int64_t from = std::max<int64_t>(containerStart, containerStart + ClampUs(format_->duration) - kEndScanUs);
  if (av_seek_frame(format_, -1, from, AVSEEK_FLAG_BACKWARD) < 0) return 0;
  const AVStream* stream = format_->streams[videoIndex_];
  const int64_t interval = av_rescale_q(FrameIntervalUs(), AV_TIME_BASE_Q, stream->time_base);
  int64_t end = AV_NOPTS_VALUE;
  int64_t ptsMinusDts = 0;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format_, packet) >= 0) {
    if (packet->stream_index == videoIndex_) {
      const int64_t length = packet->duration > 0 ? packet->duration : interval;
      int64_t at = AV_NOPTS_VALUE;
      if (packet->pts != AV_NOPTS_VALUE) {
        at = packet->pts;
        if (packet->dts != AV_NOPTS_VALUE) ptsMinusDts = SaturatingAdd(packet->pts, -packet->dts);
      } else if (packet->dts != AV_NOPTS_VALUE) {
        at = SaturatingAdd(packet->dts, ptsMinusDts);
      }
      if (at != AV_NOPTS_VALUE && (end == AV_NOPTS_VALUE || SaturatingAdd(at, length) > end))
        end = SaturatingAdd(at, length);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  const int64_t endUs = StreamUs(end, stream->time_base);
  if (endUs == AV_NOPTS_VALUE) return 0;
  return std::max<int64_t>(0, endUs - startUs_);
}

int64_t MediaReader::FrameIntervalUs() const {
  if (!format_) return kDefaultFrameIntervalUs;
  const AVRational rate = av_guess_frame_rate(format_, format_->streams[videoIndex_], nullptr);
  if (rate.num <= 0 || rate.den <= 0) return kDefaultFrameIntervalUs;
  return std::clamp<int64_t>(av_rescale(AV_TIME_BASE, rate.den, rate.num), 1, kMaxPositionUs);
}

SoundFormat MediaReader::SourceSoundFormat() const {
  if (!sound_) return {};
  return {sound_->sample_rate, std::min(sound_->ch_layout.nb_channels, kMaxSoundChannels)};
}

void MediaReader::SetSoundFormat(const SoundFormat& format) {
  soundOut_ = format;
  swr_free(&resampler_);
}

void MediaReader::DropSound() {
  if (!sound_) return;
  format_->streams[soundIndex_]->discard = AVDISCARD_ALL;
  FreePackets(&soundPackets_);
  avcodec_free_context(&sound_);
  soundIndex_ = -1;
}

bool MediaReader::ReadPacket() {
  if (endOfFile_) return false;
  AVPacket* packet = av_packet_alloc();
  if (av_read_frame(format_, packet) < 0) {
    av_packet_free(&packet);
    endOfFile_ = true;
    return false;
  }
  if (packet->stream_index == videoIndex_)
    videoPackets_.push_back(packet);
  else if (packet->stream_index == soundIndex_)
    soundPackets_.push_back(packet);
  else
    av_packet_free(&packet);
  return true;
}

bool MediaReader::Decode(Stream which, AVFrame* frame) {
  starved_ = false;
  AVCodecContext* codec = which == Stream::Video ? video_ : sound_;
  std::deque<AVPacket*>& packets = which == Stream::Video ? videoPackets_ : soundPackets_;
  bool& drained = which == Stream::Video ? videoDrained_ : soundDrained_;
  if (!codec) return false;
  while (true) {
    const int rc = avcodec_receive_frame(codec, frame);
    if (rc == 0) return true;
    if (rc != AVERROR(EAGAIN)) return false;  // end of stream, or the decoder gave up
    // Sound does not read the picture's packets far ahead (its stream may
    // have ended long before the picture's); the picture always reads on.
    while (packets.empty() && (which == Stream::Video || videoPackets_.size() < kMaxQueuedPackets) &&
           ReadPacket()) {
    }
    if (packets.empty() && !endOfFile_) {
      starved_ = true;
      return false;
    }
    if (packets.empty()) {
      if (drained) return false;
      drained = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    AVPacket* packet = packets.front();
    packets.pop_front();
    if (which == Stream::Video) {
      const Skip skip = PlanSkip(packet);
      if (skip != Skip::No) ++skipped_;
      if (skip == Skip::Drop) {
        av_packet_free(&packet);
        continue;
      }
      // The decoder takes the setting with the packet, frame threads included.
      codec->skip_frame = skip == Skip::InDecoder ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    }
    // A damaged packet is skipped; the decoder picks up again at the next one.
    avcodec_send_packet(codec, packet);
    av_packet_free(&packet);
  }
}

void MediaReader::PlanPictureTimes(int64_t firstUs, int64_t stepUs) {
  planFirstUs_ = firstUs;
  planStepUs_ = std::max<int64_t>(0, stepUs);
}

int64_t MediaReader::PacketUs(const AVPacket* packet) const {
  // A picture the decoder is to throw away is never shown: its time must not
  // end the span of one that is (the MP4 demuxer flags the pictures outside an
  // edit list's edits, which may lie between or after the shown ones).
  if (packet->flags & AV_PKT_FLAG_DISCARD) return AV_NOPTS_VALUE;
  const int64_t us = StreamUs(packet->pts, format_->streams[videoIndex_]->time_base);
  return us == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ClampUs(us - startUs_);
}

bool MediaReader::NonReference(const AVPacket* packet) const {
  bool picture = false;
  const bool parsed = ForEachNal(packet->data, static_cast<size_t>(packet->size), nalLengthSize_,
                                 [&](const uint8_t* unit, size_t size) {
    if (skipKind_ == SkipKind::H264) {
      const int type = unit[0] & 0x1F;
      const int refIdc = unit[0] >> 5 & 3;
      if (type >= 1 && type <= 4) {  // slices (and data partitions) of a non-IDR picture
        picture = true;
        return refIdc == 0;
      }
      return type == 6 || type == 9 || type == 12;  // SEI, access unit delimiter, filler
    }
    if (size < 2) return false;
    const int type = unit[0] >> 1 & 0x3F;
    const int layer = (unit[0] & 1) << 5 | unit[1] >> 3;
    const int temporalId = (unit[1] & 7) - 1;
    if (layer != 0) return false;
    if (type < 32) {  // slices: the sub-layer non-reference types are the even ones up to 14
      picture = true;
      return type <= 14 && type % 2 == 0 && temporalId == highestTemporalId_;
    }
    return type == 35 || type == 38 || type == 39 || type == 40;  // delimiter, filler, SEI
  });
  return parsed && picture;
}

int64_t MediaReader::NextPositionAfter(int64_t us) {
  int64_t next = -1;
  const auto consider = [&](int64_t at) {
    if (at != AV_NOPTS_VALUE && at > us && (next < 0 || at < next)) next = at;
  };
  for (const int64_t at : recentUs_) consider(at);
  for (const AVPacket* p : videoPackets_) consider(PacketUs(p));
  while (next < 0 && videoPackets_.size() < kSkipLookahead) {
    const size_t before = videoPackets_.size();
    if (!ReadPacket()) break;
    if (videoPackets_.size() > before) consider(PacketUs(videoPackets_.back()));
  }
  return next;
}

MediaReader::Skip MediaReader::PlanSkip(const AVPacket* packet) {
  if (skipKind_ == SkipKind::None) return Skip::No;
  const int64_t at = PacketUs(packet);
  Skip skip = Skip::No;
  if (planStepUs_ > 0 && at != AV_NOPTS_VALUE && NonReference(packet)) {
    // The picture is shown from `at` until the next one, which comes within
    // the packets around this one; a picture after it not yet read only
    // shortens that span. Nothing planned in it: not needed.
    const int64_t next = NextPositionAfter(at);
    const int64_t k = at <= planFirstUs_ ? 0 : (at - planFirstUs_ + planStepUs_ - 1) / planStepUs_;
    if (next >= 0 && planFirstUs_ + k * planStepUs_ >= next) {
      skip = skipKind_ == SkipKind::H264 ? Skip::InDecoder : Skip::Drop;
    }
  }
  if (at != AV_NOPTS_VALUE) {
    recentUs_.push_back(at);
    if (recentUs_.size() > kRecentPositions) recentUs_.pop_front();
  }
  return skip;
}

bool MediaReader::NextVideoFrame(AVFrame* frame) {
  if (!Decode(Stream::Video, frame)) return false;
  // Skipping rests on the packets' times being the pictures' positions; a
  // decoder that corrects them (times out of order) ends it.
  if (frame->best_effort_timestamp != frame->pts) skipKind_ = SkipKind::None;
  const AVStream* stream = format_->streams[videoIndex_];
  int64_t us = StreamUs(frame->best_effort_timestamp, stream->time_base);
  if (us != AV_NOPTS_VALUE)
    us = ClampUs(us - startUs_);
  else
    us = lastVideoUs_ < 0 ? 0 : ClampUs(lastVideoUs_ + FrameIntervalUs());
  lastVideoUs_ = us;
  frame->pts = us;  // from here on the frame's pts is its position in microseconds
  return true;
}

int64_t MediaReader::PositionUs(const AVFrame* frame) const { return frame->pts; }

bool MediaReader::NextSound(SoundChunk* chunk) {
  if (!sound_ || !soundOut_.Valid()) return false;
  const AVStream* stream = format_->streams[soundIndex_];
  while (Decode(Stream::Sound, soundFrame_.get())) {
    AVFrame* in = soundFrame_.get();
    if (!resampler_) {
      AVChannelLayout inLayout{}, outLayout{};
      if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&inLayout, in->ch_layout.nb_channels);
      else
        av_channel_layout_copy(&inLayout, &in->ch_layout);
      av_channel_layout_default(&outLayout, soundOut_.channels);
      const int rc = swr_alloc_set_opts2(&resampler_, &outLayout, AV_SAMPLE_FMT_S16, soundOut_.sampleRate,
                                         &inLayout, static_cast<AVSampleFormat>(in->format),
                                         in->sample_rate, 0, nullptr);
      av_channel_layout_uninit(&inLayout);
      av_channel_layout_uninit(&outLayout);
      if (rc < 0 || swr_init(resampler_) < 0) {
        swr_free(&resampler_);
        av_frame_unref(in);
        return false;
      }
    }
    const int capacity = swr_get_out_samples(resampler_, in->nb_samples);
    chunk->samples.resize(static_cast<size_t>(std::max(capacity, 0)) * soundOut_.channels);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(chunk->samples.data())};
    const int made = swr_convert(resampler_, out, capacity, const_cast<const uint8_t**>(in->extended_data),
                                 in->nb_samples);
    int64_t startUs = nextSoundUs_;
    if (const int64_t at = StreamUs(in->best_effort_timestamp, stream->time_base); at != AV_NOPTS_VALUE)
      startUs = ClampUs(at - startUs_);
    av_frame_unref(in);
    if (made <= 0) continue;
    chunk->samples.resize(static_cast<size_t>(made) * soundOut_.channels);
    const int64_t endUs = ClampUs(startUs + av_rescale(made, AV_TIME_BASE, soundOut_.sampleRate));
    nextSoundUs_ = endUs;
    if (endUs <= soundFromUs_) continue;
    if (startUs < soundFromUs_) {
      const int64_t cut = av_rescale(soundFromUs_ - startUs, soundOut_.sampleRate, AV_TIME_BASE);
      chunk->samples.erase(chunk->samples.begin(),
                           chunk->samples.begin() + std::min<int64_t>(cut * soundOut_.channels,
                                                                      chunk->samples.size()));
      startUs = soundFromUs_;
      if (chunk->samples.empty()) continue;
    }
    chunk->startUs = startUs;
    return true;
  }
  return false;
}

bool MediaReader::Seek(int64_t targetUs) {
  if (!format_) return false;
  targetUs = std::clamp<int64_t>(targetUs, 0, kMaxPositionUs);
  int rc = av_seek_frame(format_, -1, targetUs + startUs_, AVSEEK_FLAG_BACKWARD);
  if (rc < 0) rc = avformat_seek_file(format_, -1, INT64_MIN, targetUs + startUs_, targetUs + startUs_, 0);
  if (rc < 0) rc = avformat_seek_file(format_, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
  FreePackets(&videoPackets_);
  FreePackets(&soundPackets_);
  avcodec_flush_buffers(video_);
  if (sound_) avcodec_flush_buffers(sound_);
  swr_free(&resampler_);
  endOfFile_ = videoDrained_ = soundDrained_ = false;
  lastVideoUs_ = -1;
  nextSoundUs_ = soundFromUs_ = targetUs;
  recentUs_.clear();
  return rc >= 0;
}

QImage MediaReader::ToImage(const AVFrame* frame) {
  FramePtr rgb;
  if (!ConvertToRgb(frame, &scaler_, &rgb)) return {};
  // The picture takes the converted frame's buffer over without a copy.
  AVBufferRef* owner = av_buffer_ref(rgb->buf[0]);
  if (!owner) return {};
  const QImage image(
      rgb->data[0], rgb->width, rgb->height, rgb->linesize[0], QImage::Format_RGB888,
      [](void* buffer) {
        auto* ref = static_cast<AVBufferRef*>(buffer);
        av_buffer_unref(&ref);
      },
      owner);
  return rule_.Apply(image);
}

bool MediaReader::ToStretchedImage(const AVFrame* frame, int width, int height, QImage* out) {
  return sampler_->Sample(frame, rule_, width, height, out);
}

void MediaReader::SetPictureChoices(const PictureRule& choices) {
  const int rotation = rule_.rotation;
  rule_ = choices;
  rule_.rotation = rotation;
}

bool MediaReader::LastStretchConvertedPart() const { return sampler_->LastSampledGroups(); }

// ---- FrameCursor ---------------------------------------------------------------

void FrameCursor::Reset() {
  current_.reset();
  next_.reset();
  currentUs_ = nextUs_ = 0;
}

void FrameCursor::Fetch() {
  next_ = NewFrame();
  if (reader_->NextVideoFrame(next_.get()))
    nextUs_ = reader_->PositionUs(next_.get());
  else
    next_.reset();
}

bool FrameCursor::Seek(int64_t targetUs) {
  // Some demuxers land after the key frame the target needs (or on no key
  // frame at all near the end): then start further back, down to the start.
  Reset();
  int64_t back = 0;
  while (true) {
    const int64_t from = std::max<int64_t>(0, targetUs - back);
    reader_->Seek(from);
    Fetch();
    if ((next_ && nextUs_ <= targetUs) || from == 0) break;
    back = back == 0 ? kSeekBackStepUs : 2 * back;
  }
  if (!next_) return false;
  current_ = std::move(next_);
  currentUs_ = nextUs_;
  Fetch();
  Advance(targetUs);
  return true;
}

int FrameCursor::Advance(int64_t us, int* skipped) {
  int count = 0;
  while (next_ && nextUs_ <= us) {
    current_ = std::move(next_);
    currentUs_ = nextUs_;
    Fetch();
    ++count;
  }
  if (skipped) *skipped = std::max(0, count - 1);
  return count;
}

int64_t FrameCursor::CurrentEndUs() const {
  return next_ ? nextUs_ : currentUs_ + reader_->FrameIntervalUs();
}

}  // namespace video
