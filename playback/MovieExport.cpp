#include "playback/MovieExport.h"

#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "playback/ColourPaint.h"
#include "playback/FrameRenderer.h"
#include "playback/MedianCut.h"
#include "playback/SourceColours.h"
#include "playback/TextPic.h"
#include "video/AvError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace movie_export {

namespace {

constexpr int kMaxSoundChannels = 2;      // more is folded down to stereo
constexpr int kPcmFrameSamples = 1024;    // samples per sound frame where the encoder takes any number
constexpr int kOpusSampleRate = 48000;    // the one rate Opus is encoded at here
// Chosen by measurement on text pictures (1440 x 1080, black on white,
// against the lossless export): ultrafast with the animation tuning encodes
// in about a third of veryfast's time, at a PSNR of 40 dB and 1.4 times
// veryfast CRF 20's size; superfast halves the size gained but not the time.
constexpr const char* kX264Preset = "ultrafast";
constexpr const char* kX264Tune = "animation";
constexpr const char* kX264Crf = "24";
constexpr const char* kVp9Crf = "32";     // VP9 quality in constant-quality mode (0-63, lower is better)
constexpr const char* kVp9Speed = "8";    // libvpx cpu-used in real-time mode: fastest
constexpr int kCentisecondsPerSecond = 100;
constexpr int64_t kMinGifDelay = 2;       // centiseconds: GIF players show a shorter delay as 10 cs
constexpr char kPartInfix[] = ".part-";  // in "." + output name + ".part-" + six characters
constexpr size_t kPartRandom = 6;        // random characters at the end of a temporary file's name

using video::AvError;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The rows of a frame's bytes (everything before its marker line), decoded.
QString FrameRows(const TTextPic& movie, int32_t index) {
  const std::string_view frame = movie.FrameView(index);
  size_t pos = 0;
  size_t rowsEnd = frame.size();
  while (pos < frame.size()) {
    size_t end = frame.find("\r\n", pos);
    if (end == std::string_view::npos) end = frame.size();
    if (frame.substr(pos, end - pos) == movie.FrameMarker) {
      rowsEnd = pos;
      break;
    }
    pos = end + 2;
  }
  return gbk::Decode(frame.substr(0, rowsEnd));
}

// The size in pixels of the movie's largest frame at `fontSize`: its widest
// line by its most lines (the frames of a hand-made movie may differ).
QSize TextSize(const TTextPic& movie, int fontSize) {
  const FrameRenderer renderer(MovieFont(fontSize), Qt::black, Qt::white);
  QSize text(0, 0);
  for (int32_t k = 0; k < movie.FrameTotal(); ++k) {
    const QString rows = FrameRows(movie, k);
    text = text.expandedTo(renderer.TextSize(rows, FrameRenderer::SplitLines(rows)));
  }
  return text;
}

// Encoders of 4:2:0 pictures need even sizes; the padding is background.
QSize EvenSize(QSize text) {
  return QSize(std::max(2, (text.width() + 1) / 2 * 2), std::max(2, (text.height() + 1) / 2 * 2));
}

// Whether `name` is an export's temporary file: "." + an output name + kPartInfix
// + kPartRandom letters or digits.
bool IsTemporaryName(const std::string& name) {
  const size_t infix = name.rfind(kPartInfix);
  if (name.size() < 2 || name[0] != '.' || infix == std::string::npos || infix < 2 ||
      name.size() != infix + std::strlen(kPartInfix) + kPartRandom) {
    return false;
  }
  for (size_t i = infix + std::strlen(kPartInfix); i < name.size(); ++i) {
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  }
  return ContainerFor(name.substr(1, infix - 1)).has_value();
}

struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct AVFrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using AvFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

// The sound of a video file, decoded from its start and resampled to the
// encoder's format, handed out in runs of exact length; past the sound's end
// it gives silence.
class SoundSource {
 public:
  ~SoundSource() {
    swr_free(&resampler_);
    avformat_close_input(&format_);
  }

  // False with *error when the file cannot be read; true with HasSound()
  // false when it holds no decodable sound.
  bool Open(const std::string& path, std::string* error) {
    int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
      *error = "Cannot read " + path + ": " + AvError(rc);
      return false;
    }
    if ((rc = avformat_find_stream_info(format_, nullptr)) < 0) {
      *error = "Cannot read " + path + ": " + AvError(rc);
      return false;
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || codec == nullptr) return true;
    // Only the sound is read: every other stream's packets are dropped by the demuxer.
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), format_->streams[stream_]->codecpar) < 0 ||
        avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
      decoder_.reset();
    }
    return true;
  }

  bool HasSound() const { return decoder_ != nullptr; }
  int SourceRate() const { return decoder_->sample_rate; }
  int SourceChannels() const { return std::min(kMaxSoundChannels, decoder_->ch_layout.nb_channels); }

  // Resamples to the encoder's format from here on.
  bool SetTarget(const AVCodecContext* encoder, std::string* error) {
    AVChannelLayout in{}, out{};
    if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in, decoder_->ch_layout.nb_channels);
    } else {
      av_channel_layout_copy(&in, &decoder_->ch_layout);
    }
    av_channel_layout_copy(&out, &encoder->ch_layout);
    int rc = swr_alloc_set_opts2(&resampler_, &out, encoder->sample_fmt, encoder->sample_rate, &in,
                                 decoder_->sample_fmt, decoder_->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc >= 0) rc = swr_init(resampler_);
    if (rc < 0) {
      *error = "Cannot convert the sound: " + AvError(rc);
      return false;
    }
    outFormat_ = encoder->sample_fmt;
    outChannels_ = encoder->ch_layout.nb_channels;
    fifo_.reset(av_audio_fifo_alloc(outFormat_, outChannels_, kPcmFrameSamples));
    return fifo_ != nullptr;
  }

  // Passes over the next `count` samples.
  void Skip(int64_t count) {
    while (count > 0) {
      while (av_audio_fifo_size(fifo_.get()) == 0 && !ended_) DecodeMore();
      const int have = av_audio_fifo_size(fifo_.get());
      if (have == 0) return;
      const int passed = static_cast<int>(std::min<int64_t>(have, count));
      av_audio_fifo_drain(fifo_.get(), passed);
      count -= passed;
    }
  }

  // Fills `frame` (allocated by the caller for `count` samples) with the
  // next `count` samples; silence where the sound has ended.
  void Read(AVFrame* frame, int count) {
    while (av_audio_fifo_size(fifo_.get()) < count && !ended_) DecodeMore();
    const int got = std::max(0, av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), count));
    if (got < count) {
      av_samples_set_silence(frame->data, got, count - got, frame->ch_layout.nb_channels,
                             static_cast<AVSampleFormat>(frame->format));
    }
  }

 private:
  void DecodeMore() {
    AvFramePtr decoded(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    while (true) {
      const int rc = avcodec_receive_frame(decoder_.get(), decoded.get());
      if (rc == 0) {
        Convert(decoded.get());
        return;
      }
      if (rc == AVERROR_EOF || (rc != AVERROR(EAGAIN))) {
        Convert(nullptr);  // what the resampler still holds
        ended_ = true;
        return;
      }
      // The decoder wants input.
      int read;
      while ((read = av_read_frame(format_, packet.get())) >= 0 && packet->stream_index != stream_) {
        av_packet_unref(packet.get());
      }
      if (read < 0) {
        avcodec_send_packet(decoder_.get(), nullptr);
      } else {
        avcodec_send_packet(decoder_.get(), packet.get());  // a damaged packet is skipped
        av_packet_unref(packet.get());
      }
    }
  }

  void Convert(const AVFrame* decoded) {
    const int inSamples = decoded ? decoded->nb_samples : 0;
    const int room = swr_get_out_samples(resampler_, inSamples);
    if (room <= 0) return;
    AvFramePtr buffer(av_frame_alloc());
    buffer->nb_samples = room;
    buffer->format = outFormat_;
    av_channel_layout_default(&buffer->ch_layout, outChannels_);
    if (av_frame_get_buffer(buffer.get(), 0) < 0) return;
    const uint8_t** in = decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr;
    const int made = swr_convert(resampler_, buffer->data, room, in, inSamples);
    if (made > 0) av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(buffer->data), made);
  }

  AVFormatContext* format_ = nullptr;
  int stream_ = -1;
  CodecPtr decoder_;
  SwrContext* resampler_ = nullptr;
  std::unique_ptr<AVAudioFifo, FifoDeleter> fifo_;
  AVSampleFormat outFormat_ = AV_SAMPLE_FMT_NONE;
  int outChannels_ = 0;
  bool ended_ = false;
};

// The export's output file: a muxer writing into a temporary file beside
// the output, with one video stream and at most one sound stream.
class Writer {
 public:
  ~Writer() { Abandon(); }

  bool Open(const Plan& plan, const Options& options, SoundSource* sound, std::string* error) {
    plan_ = plan;
    output_ = options.output;
    startMs_ = options.startMs;
    inColour_ = !options.colourSource.empty();
    if (!ClaimTemporary(error)) return false;
    static const char* const kFormats[] = {"mp4", "webm", "gif", "matroska"};
    int rc = avformat_alloc_output_context2(&format_, nullptr, kFormats[static_cast<int>(plan.container)],
                                            temporary_.c_str());
    if (rc < 0 || format_ == nullptr) {
      *error = "Cannot make " + output_ + ": " + AvError(rc);
      return false;
    }
    if (!OpenVideo(error)) return false;
    if (sound != nullptr && sound->HasSound() && plan.container != Container::Gif && !OpenSound(sound, error)) {
      return false;
    }
    if ((rc = avio_open(&format_->pb, temporary_.c_str(), AVIO_FLAG_WRITE)) < 0) {
      *error = fileio::ErrorText("write", output_, AVUNERROR(rc));
      return false;
    }
    AVDictionary* muxerOptions = nullptr;
    if (plan.container == Container::Mp4) av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    if (plan.container == Container::Gif) {
      // The last picture's own delay, so that the whole runs exactly (K + 1) x V.
      PlanGifPictures();
      av_dict_set_int(&muxerOptions, "final_delay", gifLastDelay_, 0);
    }
    rc = avformat_write_header(format_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0) return Failed("write", rc, error);
    return true;
  }

  // Where the pictures are drawn (Format_ARGB32_Premultiplied, the plan's
  // size): a frame FFmpeg allocates, because swscale's SIMD converters read
  // whole blocks of pixels, past the end of a narrow picture's last row
  // (FFmpeg 5.1, BGRA pictures up to 6 pixels wide); its rows and tail have
  // room to spare. Valid from Open() on; use it in place, never a copy.
  QImage* Canvas() { return &canvas_; }

  // Whether video picture `index` goes into the file; a GIF merges pictures
  // that would show too briefly into the one before.
  bool Takes(int index) const { return plan_.container != Container::Gif || gifStarts_[size_t(index)] >= 0; }

  // Writes video picture `index` (0-based) from the canvas, with the sound up
  // to the picture's end first.
  bool WritePicture(int index, SoundSource* sound, std::string* error) {
    if (audio_ && !WriteSoundUntil(int64_t(index + 1) * plan_.intervalMs, sound, error)) return false;
    if (!Takes(index)) return true;
    if (av_frame_make_writable(videoFrame_.get()) < 0) return Failed("write", AVERROR(ENOMEM), error);
    if (plan_.container == Container::Gif) {
      if (inColour_) {
        MedianCutPalette(canvas_, reinterpret_cast<uint32_t*>(videoFrame_->data[1]), videoFrame_->data[0],
                         videoFrame_->linesize[0]);
      } else {
        ToPalette(canvas_);
      }
      videoFrame_->pts = gifStarts_[size_t(index)];
    } else {
      if (videoFrame_->format != AV_PIX_FMT_YUV420P) {
        sws_scale(scaler_.get(), canvasFrame_->data, canvasFrame_->linesize, 0, canvasFrame_->height,
                  videoFrame_->data, videoFrame_->linesize);
      } else {
        ToYuv420(canvas_, !inColour_ && IsGray(text_) && IsGray(background_), videoFrame_.get());
      }
      videoFrame_->pts = index;
    }
    return Encode(video_.get(), videoStream_, videoFrame_.get(), error);
  }

  // Flushes the encoders and writes the index; Commit() then moves the file into place.
  bool Finish(SoundSource* sound, std::string* error) {
    if (audio_ && !WriteSoundUntil(plan_.DurationMs(), sound, error)) return false;
    if (!Encode(video_.get(), videoStream_, nullptr, error)) return false;
    if (audio_ && !Encode(audio_.get(), audioStream_, nullptr, error)) return false;
    int rc = av_write_trailer(format_);
    if (rc < 0) return Failed("write", rc, error);
    if (format_->pb->error < 0) return Failed("write", format_->pb->error, error);
    rc = avio_closep(&format_->pb);
    if (rc < 0) return Failed("write", rc, error);
    return true;
  }

  // Moves the finished file into place.
  bool Commit(std::string* error) {
    bool taken = false;
    // Without `overwrite`, a file that appeared meanwhile is not replaced.
    const bool claimed = optionsOverwrite_ ? fileio::Rename(temporary_, output_, error)
                                           : fileio::RenameNoReplace(temporary_, output_, &taken, error);
    if (taken) *error = fileio::ErrorText("write", output_, EEXIST);
    if (!claimed) return false;
    temporary_.clear();
    ReleaseTemporary();
    return true;
  }

  // Removes the temporary file, if any.
  void Abandon() {
    if (format_ != nullptr) {
      if (format_->pb != nullptr) avio_closep(&format_->pb);
      avformat_free_context(format_);
      format_ = nullptr;
    }
    if (!temporary_.empty()) {
      ::unlink(temporary_.c_str());
      temporary_.clear();
    }
    ReleaseTemporary();
  }

 private:
  // A fresh, uniquely named file in the output's folder (so the final rename
  // stays on one file system), locked for as long as this export runs. What
  // killed exports left there, unlocked, goes first.
  bool ClaimTemporary(std::string* error) {
    const size_t slash = output_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : output_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? output_ : output_.substr(slash + 1);
    fileio::RemoveUnlockedTemporaries(folder, IsTemporaryName);
    // Not the private prefix of a conversion's files: a conversion in the
    // same folder clears what killed runs left under that prefix.
    std::string path;
    lockFd_ = fileio::CreateLockedTemporary(folder, "." + name + kPartInfix, &path);
    if (lockFd_ < 0) {
      *error = fileio::ErrorText("write", output_, errno);
      return false;
    }
    temporary_ = std::move(path);
    return true;
  }

  void ReleaseTemporary() {
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the flock
    lockFd_ = -1;
  }

  int64_t Centiseconds(int64_t index) const {
    return (index * plan_.intervalMs * kCentisecondsPerSecond + 500) / 1000;
  }

  // Picture i starts at i x V rounded to the nearest centisecond, so the
  // running time never drifts; a picture that would show for less than
  // kMinGifDelay, or leave the last picture less than that, is merged into
  // the one before it (-1 in gifStarts_).
  void PlanGifPictures() {
    const int n = plan_.VideoFrames();
    const int64_t end = Centiseconds(n);
    gifStarts_.assign(size_t(n), -1);
    gifStarts_[0] = 0;
    int64_t last = 0;
    for (int i = 1; i < n; ++i) {
      const int64_t start = Centiseconds(i);
      if (start - last < kMinGifDelay || end - start < kMinGifDelay) continue;
      gifStarts_[size_t(i)] = start;
      last = start;
    }
    // A movie shorter than kMinGifDelay in all still shows for that long.
    gifLastDelay_ = std::max(kMinGifDelay, end - last);
  }

  bool Failed(const char* what, int rc, std::string* error) {
    // Errors of the system (a full disk, say) read as the other file errors do.
    constexpr int kLargestErrno = 4095;
    if (rc < 0 && AVUNERROR(rc) <= kLargestErrno) {
      *error = fileio::ErrorText(what, output_, AVUNERROR(rc));
    } else {
      *error = std::string("Cannot ") + what + " " + output_ + ": " + AvError(rc);
    }
    return false;
  }

  // The encoder `names` gives for the plan's container, with a fresh context
  // in *context; null with *error when this FFmpeg lacks it.
  const AVCodec* NewEncoder(const char* const (&names)[4], CodecPtr* context, std::string* error) const {
    const char* name = names[static_cast<int>(plan_.container)];
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
      *error = std::string("This FFmpeg has no ") + name + " encoder";
      return nullptr;
    }
    context->reset(avcodec_alloc_context3(codec));
    return codec;
  }

  bool OpenVideo(std::string* error) {
    static const char* const kEncoders[] = {"libx264", "libvpx-vp9", "gif", "ffv1"};
    const AVCodec* codec = NewEncoder(kEncoders, &video_, error);
    if (codec == nullptr) return false;
    const char* name = codec->name;
    AVCodecContext* c = video_.get();
    c->width = plan_.size.width();
    c->height = plan_.size.height();
    c->sample_aspect_ratio = AVRational{1, 1};
    AVDictionary* opts = nullptr;
    AVPixelFormat pixels = AV_PIX_FMT_YUV420P;
    switch (plan_.container) {
      case Container::Mp4:
        av_dict_set(&opts, "preset", kX264Preset, 0);
        av_dict_set(&opts, "tune", kX264Tune, 0);
        av_dict_set(&opts, "crf", kX264Crf, 0);
        break;
      case Container::WebM:
        av_dict_set(&opts, "crf", kVp9Crf, 0);
        av_dict_set(&opts, "b", "0", 0);
        av_dict_set(&opts, "deadline", "realtime", 0);
        av_dict_set(&opts, "cpu-used", kVp9Speed, 0);
        av_dict_set(&opts, "row-mt", "1", 0);
        break;
      case Container::Gif:
        pixels = AV_PIX_FMT_PAL8;
        break;
      case Container::Mkv:
        pixels = AV_PIX_FMT_0RGB32;  // the renderer's own pixels: lossless without a conversion
        av_dict_set(&opts, "level", "3", 0);
        av_dict_set(&opts, "slicecrc", "1", 0);
        break;
    }
    c->pix_fmt = pixels;
    if (plan_.container == Container::Gif) {
      c->time_base = AVRational{1, kCentisecondsPerSecond};
    } else {
      av_reduce(&c->time_base.num, &c->time_base.den, plan_.intervalMs, 1000, INT32_MAX);
      c->framerate = av_inv_q(c->time_base);
    }
    if (pixels == AV_PIX_FMT_YUV420P) c->color_range = AVCOL_RANGE_MPEG;  // what the scaler makes
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = 0;  // as many as the machine has
    int rc = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
      *error = std::string("Cannot start the ") + name + " encoder: " + AvError(rc);
      return false;
    }
    videoStream_ = avformat_new_stream(format_, nullptr);
    avcodec_parameters_from_context(videoStream_->codecpar, c);
    videoStream_->time_base = c->time_base;
    videoStream_->avg_frame_rate = plan_.container == Container::Gif ? AVRational{0, 1} : c->framerate;
    videoFrame_.reset(av_frame_alloc());
    videoFrame_->format = pixels;
    videoFrame_->width = c->width;
    videoFrame_->height = c->height;
    if (av_frame_get_buffer(videoFrame_.get(), 0) < 0) return Failed("write", AVERROR(ENOMEM), error);
    canvasFrame_.reset(av_frame_alloc());
    if (!canvasFrame_) return Failed("write", AVERROR(ENOMEM), error);
    canvasFrame_->format = AV_PIX_FMT_BGRA;  // Format_ARGB32_Premultiplied in memory, opaque
    canvasFrame_->width = c->width;
    canvasFrame_->height = c->height;
    if (av_frame_get_buffer(canvasFrame_.get(), 0) < 0) return Failed("write", AVERROR(ENOMEM), error);
    canvas_ = QImage(canvasFrame_->data[0], c->width, c->height, canvasFrame_->linesize[0],
                     QImage::Format_ARGB32_Premultiplied);
    if (plan_.container != Container::Gif) {
      scaler_.reset(sws_getContext(c->width, c->height, AV_PIX_FMT_BGRA, c->width, c->height, pixels,
                                   SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
      if (!scaler_) return Failed("write", AVERROR(ENOMEM), error);
    }
    return true;
  }

  bool OpenSound(SoundSource* sound, std::string* error) {
    static const char* const kEncoders[] = {"aac", "libopus", "", "pcm_s16le"};
    const AVCodec* codec = NewEncoder(kEncoders, &audio_, error);
    if (codec == nullptr) return false;
    const char* name = codec->name;
    AVCodecContext* c = audio_.get();
    c->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->sample_rate = plan_.container == Container::WebM ? kOpusSampleRate : sound->SourceRate();
    if (codec->supported_samplerates != nullptr && plan_.container != Container::WebM) {
      bool supported = false;
      for (const int* r = codec->supported_samplerates; *r != 0; ++r) supported |= *r == c->sample_rate;
      if (!supported) c->sample_rate = 48000;
    }
    av_channel_layout_default(&c->ch_layout, sound->SourceChannels());
    c->time_base = AVRational{1, c->sample_rate};
    if (plan_.container == Container::Mp4) c->bit_rate = 128000 * c->ch_layout.nb_channels / 2;
    if (plan_.container == Container::WebM) c->bit_rate = 96000;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
      *error = std::string("Cannot start the ") + name + " encoder: " + AvError(rc);
      return false;
    }
    if (!sound->SetTarget(c, error)) return false;
    sound->Skip(startMs_ * c->sample_rate / 1000);  // the recording's start
    audioStream_ = avformat_new_stream(format_, nullptr);
    avcodec_parameters_from_context(audioStream_->codecpar, c);
    audioStream_->time_base = c->time_base;
    frameSamples_ = c->frame_size > 0 ? c->frame_size : kPcmFrameSamples;
    totalSamples_ = plan_.DurationMs() * c->sample_rate / 1000;
    return true;
  }

  bool WriteSoundUntil(int64_t ms, SoundSource* sound, std::string* error) {
    const int64_t until = std::min(totalSamples_, ms * audio_->sample_rate / 1000);
    while (samplesWritten_ < until) {
      const int count = static_cast<int>(std::min<int64_t>(frameSamples_, totalSamples_ - samplesWritten_));
      AvFramePtr frame(av_frame_alloc());
      frame->nb_samples = count;
      frame->format = audio_->sample_fmt;
      frame->sample_rate = audio_->sample_rate;
      av_channel_layout_copy(&frame->ch_layout, &audio_->ch_layout);
      if (av_frame_get_buffer(frame.get(), 0) < 0) return Failed("write", AVERROR(ENOMEM), error);
      sound->Read(frame.get(), count);
      frame->pts = samplesWritten_;
      samplesWritten_ += count;
      if (!Encode(audio_.get(), audioStream_, frame.get(), error)) return false;
    }
    return true;
  }

  // Sends one frame (nullptr: the end) and writes every packet it yields.
  bool Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string* error) {
    int rc = avcodec_send_frame(codec, frame);
    if (rc < 0) {
      *error = "Cannot encode " + output_ + ": " + AvError(rc);
      return false;
    }
    PacketPtr packet(av_packet_alloc());
    while ((rc = avcodec_receive_packet(codec, packet.get())) == 0) {
      if (packet->duration == 0 && codec == video_.get() && plan_.container != Container::Gif) packet->duration = 1;
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      rc = av_interleaved_write_frame(format_, packet.get());
      if (rc < 0) return Failed("write", rc, error);
      if (format_->pb->error < 0) return Failed("write", format_->pb->error, error);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
      *error = "Cannot encode " + output_ + ": " + AvError(rc);
      return false;
    }
    return true;
  }

  static bool IsGray(QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); }

  // Maps each pixel onto the palette running from the background to the
  // text colour: the renderer's pixels are exactly such blends.
  void ToPalette(const QImage& picture) {
    auto* palette = reinterpret_cast<uint32_t*>(videoFrame_->data[1]);
    const QRgb bg = background_, fg = text_;
    for (int i = 0; i < 256; ++i) {
      auto mix = [&](int b, int f) { return static_cast<uint32_t>((b * (255 - i) + f * i + 127) / 255); };
      palette[i] = 0xff000000u | mix(qRed(bg), qRed(fg)) << 16 | mix(qGreen(bg), qGreen(fg)) << 8 |
                   mix(qBlue(bg), qBlue(fg));
    }
    // The channel in which the two colours differ most tells the blend best.
    int channel = 0, spread = 0;
    const int diffs[3] = {qRed(fg) - qRed(bg), qGreen(fg) - qGreen(bg), qBlue(fg) - qBlue(bg)};
    for (int k = 0; k < 3; ++k) {
      if (std::abs(diffs[k]) > std::abs(spread)) {
        spread = diffs[k];
        channel = k;
      }
    }
    const int base = channel == 0 ? qRed(bg) : channel == 1 ? qGreen(bg) : qBlue(bg);
    for (int y = 0; y < picture.height(); ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
      uint8_t* out = videoFrame_->data[0] + static_cast<ptrdiff_t>(y) * videoFrame_->linesize[0];
      for (int x = 0; x < picture.width(); ++x) {
        const QRgb p = row[x];
        const int v = channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : qBlue(p);
        out[x] = spread == 0 ? 0 : static_cast<uint8_t>(std::clamp(((v - base) * 255 + spread / 2) / spread, 0, 255));
      }
    }
  }

 public:
  bool optionsOverwrite_ = false;
  QRgb text_ = 0xff000000u;
  QRgb background_ = 0xffffffffu;

 private:
  Plan plan_;
  std::string output_;
  int64_t startMs_ = 0;    // where the sound starts in its video
  bool inColour_ = false;  // GIF: a palette of each picture's own
  std::string temporary_;
  AVFormatContext* format_ = nullptr;
  CodecPtr video_;
  CodecPtr audio_;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  AvFramePtr videoFrame_;
  AvFramePtr canvasFrame_;  // owns the canvas' pixels
  QImage canvas_;           // drawn on in place: never copied, so never detached
  std::unique_ptr<SwsContext, SwsDeleter> scaler_;
  int frameSamples_ = 0;
  int64_t totalSamples_ = 0;
  int64_t samplesWritten_ = 0;
  int lockFd_ = -1;                  // the temporary file, open for its flock
  std::vector<int64_t> gifStarts_;   // GIF: each picture's start in centiseconds; -1 merged
  int64_t gifLastDelay_ = 0;         // GIF: centiseconds the last picture shows
};

}  // namespace

// A straight pass over the pixels: the scaler's general road (filters at 1:1)
// took a third of an export's time. Vectorised where the compiler can (about
// four times faster than at -O2).
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize")))
#endif
void ToYuv420(const QImage& picture, bool gray, AVFrame* out) {
  // Format_ARGB32_Premultiplied, opaque: B, G, R, A in memory.
  const int width = picture.width(), height = picture.height();
  const ptrdiff_t stride = picture.bytesPerLine();
  const uint8_t* const pixels = picture.constBits();
  for (int y = 0; y < height; ++y) {
    const auto* __restrict row = reinterpret_cast<const uint32_t*>(pixels + y * stride);
    uint8_t* __restrict luma = out->data[0] + static_cast<ptrdiff_t>(y) * out->linesize[0];
    for (int x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      const int r = p >> 16 & 0xff, g = p >> 8 & 0xff, b = p & 0xff;
      luma[x] = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    }
  }
  if (gray) {
    // Blends of two grays are gray: no colour anywhere.
    for (int plane = 1; plane <= 2; ++plane) {
      std::memset(out->data[plane], 128, static_cast<size_t>(out->linesize[plane]) * static_cast<size_t>(height / 2));
    }
    return;
  }
  for (int y = 0; y + 1 < height; y += 2) {
    const uint8_t* top = pixels + y * stride;
    const uint8_t* bottom = top + stride;
    uint8_t* cb = out->data[1] + static_cast<ptrdiff_t>(y / 2) * out->linesize[1];
    uint8_t* cr = out->data[2] + static_cast<ptrdiff_t>(y / 2) * out->linesize[2];
    // Each pair of columns, over the rows y - 1 to y + 2 weighted 1 3 3 1.
    const uint8_t* above = y > 0 ? top - stride : top;
    const uint8_t* below = y + 2 < height ? bottom + stride : bottom;
    for (int x = 0; x + 1 < width; x += 2) {
      int sum[3];
      for (int c = 0; c < 3; ++c) {
        const int i = 4 * x + c, j = i + 4;
        sum[c] = above[i] + above[j] + 3 * (top[i] + top[j] + bottom[i] + bottom[j]) + below[i] + below[j];
      }
      const int b = sum[0], g = sum[1], r = sum[2];
      cb[x / 2] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 2048) >> 12) + 128);
      cr[x / 2] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 2048) >> 12) + 128);
    }
  }
}

std::optional<Container> ContainerFor(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  const std::string ext = Lower(path.substr(dot));
  if (ext == ".mp4") return Container::Mp4;
  if (ext == ".webm") return Container::WebM;
  if (ext == ".gif") return Container::Gif;
  if (ext == ".mkv") return Container::Mkv;
  return std::nullopt;
}

Clash OutputClash(const Options& options) {
  if (!options.movieFile.empty() && fileio::SameFile(options.output, options.movieFile)) return Clash::Movie;
  if (!options.soundSource.empty() && fileio::SameFile(options.output, options.soundSource)) {
    return Clash::SoundSource;
  }
  if (!options.colourSource.empty() && fileio::SameFile(options.output, options.colourSource)) {
    return Clash::ColourSource;
  }
  return Clash::None;
}

bool MakePlan(const TTextPic& movie, const Options& options, Plan* plan, std::string* error) {
  if (!movie.Playable()) {
    *error = TTextPic::kNotStandardMovie;
    return false;
  }
  const std::optional<Container> container = ContainerFor(options.output);
  if (!container) {
    *error = "Unknown video type for " + options.output + " (use .mp4, .webm, .gif or .mkv)";
    return false;
  }
  if (options.fontSize < kSmallestFontSize || options.fontSize > kLargestFontSize) {
    *error = "Font size " + std::to_string(options.fontSize) + " is outside 4 to 12";
    return false;
  }
  switch (OutputClash(options)) {
    case Clash::Movie:
      *error = options.output + " is the movie being exported";
      return false;
    case Clash::SoundSource:
      *error = options.output + " is the video whose sound is used";
      return false;
    case Clash::ColourSource:
      *error = options.output + " is the video whose colours are used";
      return false;
    case Clash::None:
      break;
  }
  if (options.startMs < 0) {
    *error = "The start " + std::to_string(options.startMs) + " ms lies before the video's start";
    return false;
  }
  if (!options.overwrite && fileio::PathExists(options.output)) {
    *error = options.output + " exists (replace it with --overwrite)";
    return false;
  }
  Plan p;
  p.container = *container;
  p.frames = movie.FrameTotal();
  p.intervalMs = movie.FrameInterval();
  for (int s = options.fontSize; s >= kSmallestFontSize; --s) {
    const QSize text = TextSize(movie, s);
    const QSize size = EvenSize(text);
    if (size.width() <= kMaxWidth && size.height() <= kMaxHeight) {
      p.fontSize = s;
      p.fontSizeReduced = s != options.fontSize;
      p.size = size;
      // A line of an odd number of single-byte characters ends in half a cell.
      p.cells = QSize((text.width() + s - 1) / s, text.height() / s);
      *plan = p;
      return true;
    }
  }
  *error = "The picture would be larger than 3840 x 2160 even at font size 4";
  return false;
}

struct FramePictures::Impl {
  Impl(const TTextPic& m, const Plan& p, const Options& o)
      : movie(m), plan(p), renderer(MovieFont(p.fontSize), o.text, o.background) {}
  const TTextPic& movie;
  Plan plan;
  FrameRenderer renderer;
};

FramePictures::FramePictures(const TTextPic& movie, const Plan& plan, const Options& options)
    : impl_(std::make_unique<Impl>(movie, plan, options)) {}
FramePictures::~FramePictures() = default;

QImage FramePictures::Picture(int32_t index) {
  return impl_->renderer.Render(FrameRows(impl_->movie, index), impl_->plan.size);
}

void FramePictures::Draw(int32_t index, QImage* into) {
  const QString rows = FrameRows(impl_->movie, index);
  impl_->renderer.Compose(rows, FrameRenderer::SplitLines(rows), into->rect(), into->bits(), into->bytesPerLine());
}

QImage FramePictures::PictureInColour(int32_t index, const std::vector<QRgb>& colours) {
  QImage picture(impl_->plan.size, QImage::Format_ARGB32_Premultiplied);
  DrawInColour(index, colours, &picture);
  return picture;
}

void FramePictures::DrawInColour(int32_t index, const std::vector<QRgb>& colours, QImage* into) {
  const QString rows = FrameRows(impl_->movie, index);
  const QSize cells = impl_->plan.cells;
  // Colours for fewer cells than the plan's leave the rest without.
  const bool whole = colours.size() >= static_cast<size_t>(cells.width()) * static_cast<size_t>(cells.height());
  impl_->renderer.ComposeInColour(rows, FrameRenderer::SplitLines(rows), into->rect(), into->bits(),
                                  into->bytesPerLine(), colours.data(), whole ? cells.width() : 0,
                                  whole ? cells.height() : 0, colour_paint::SourcePaint, qRgb(0, 0, 0));
}

Result Export(const TTextPic& movie, const Options& options, const Progress& progress) {
  Result result;
  if (!MakePlan(movie, options, &result.plan, &result.error)) return result;
  const Plan& plan = result.plan;

  SoundSource sound;
  SoundSource* soundIn = nullptr;
  if (!options.soundSource.empty() && plan.container != Container::Gif) {
    if (!sound.Open(options.soundSource, &result.error)) return result;
    if (sound.HasSound()) {
      soundIn = &sound;
    } else {
      result.soundMissing = true;
    }
  }

  std::unique_ptr<SourceColours> colours;
  if (!options.colourSource.empty()) {
    colours = std::make_unique<SourceColours>();
    std::string why;
    if (!colours->Open(options.colourSource, options.startMs, plan.intervalMs, plan.frames, plan.cells,
                       options.colourPicture, &why)) {
      result.error = "Cannot read " + options.colourSource + ": " + why;
      return result;
    }
  }

  Writer writer;
  writer.optionsOverwrite_ = options.overwrite;
  writer.text_ = options.text.rgb();
  writer.background_ = options.background.rgb();
  if (!writer.Open(plan, options, soundIn, &result.error)) return result;

  FramePictures pictures(movie, plan, options);
  const int total = plan.VideoFrames();
  for (int index = 0; index < total; ++index) {
    // Pictures 0 and 1 both show movie frame 0: the canvas still holds it.
    if (index != 1 && writer.Takes(index)) {
      const int32_t frame = std::max(0, index - 1);
      if (colours) {
        pictures.DrawInColour(frame, colours->Colours(frame), writer.Canvas());
      } else {
        pictures.Draw(frame, writer.Canvas());
      }
    }
    if (!writer.WritePicture(index, soundIn, &result.error)) return result;
    if (progress && !progress(index + 1, total)) {
      result.cancelled = true;
      result.error = "Cancelled";
      return result;
    }
  }
  if (!writer.Finish(soundIn, &result.error)) return result;
  // The last moment to cancel: nothing has replaced the output yet.
  if (progress && !progress(total, total)) {
    result.cancelled = true;
    result.error = "Cancelled";
    return result;
  }
  if (!writer.Commit(&result.error)) return result;
  if (colours && colours->PastEnd(plan.frames - 1)) result.colourSourceEndMs = colours->VideoDurationMs();
  result.ok = true;
  return result;
}

}  // namespace movie_export
