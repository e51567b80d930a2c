#include "video/AudioSinkOutput.h"

#include "video/TimeUnits.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QMediaDevices>

namespace video {
namespace {

constexpr int kFeedMs = 10;     // how often the device is topped up and its position read
constexpr int kBufferMs = 250;  // sound the device holds ahead of what it plays

QAudioFormat ToQt(const SoundFormat& format) {
  QAudioFormat qt;
  qt.setSampleRate(format.sampleRate);
  qt.setChannelCount(format.channels);
  qt.setSampleFormat(QAudioFormat::Int16);
  return qt;
}

}  // namespace

AudioSinkOutput::AudioSinkOutput() {
  // The sink is pushed to rather than left to pull: some servers let a
  // pulling stream run dry and wait a second or more before asking again.
  feeder_.setInterval(kFeedMs);
  QObject::connect(&feeder_, &QTimer::timeout, [this] { Feed(); });
}

AudioSinkOutput::~AudioSinkOutput() { Stop(); }

SoundFormat AudioSinkOutput::FormatFor(const SoundFormat& wish) {
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return {};
  if (wish.Valid() && device.isFormatSupported(ToQt(wish))) return wish;
  const QAudioFormat preferred = device.preferredFormat();
  const SoundFormat nearest{preferred.sampleRate(), std::min(preferred.channelCount(), 2)};
  if (nearest.Valid() && device.isFormatSupported(ToQt(nearest))) return nearest;
  return {};
}

bool AudioSinkOutput::Start(const SoundFormat& format, SoundSource* source) {
  Stop();
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull() || !format.Valid() || !source) return false;
  format_ = format;
  source_ = source;
  written_ = 0;
  played_ = 0;
  sink_ = std::make_unique<QAudioSink>(device, ToQt(format));
  sink_->setVolume(1.0);
  sink_->setBufferSize(static_cast<qsizetype>(format.sampleRate) * format.BytesPerFrame() * kBufferMs / 1000);
  device_ = sink_->start();
  if (!device_ || sink_->error() != QAudio::NoError) {
    Stop();
    return false;
  }
  Feed();
  feeder_.start();
  return true;
}

void AudioSinkOutput::Feed() {
  if (!sink_ || !device_) return;
  if (sink_->state() != QAudio::SuspendedState) {
    const int frameBytes = format_.BytesPerFrame();
    const qsizetype room = sink_->bytesFree() / frameBytes * frameBytes;
    if (room > 0) {
      buffer_.resize(static_cast<size_t>(room));
      const int64_t got = source_->ReadSound(buffer_.data(), room);
      if (got > 0) {
        const qint64 taken = device_->write(buffer_.data(), got);
        // What the device refuses is lost; it only refuses when failing.
        if (taken > 0) written_ += taken / frameBytes;
      }
    }
  }
  const int64_t processed = SoundFramesFromUs(sink_->processedUSecs(), format_.sampleRate);
  played_ = std::min(processed, written_);
}

void AudioSinkOutput::Pause() {
  if (sink_) sink_->suspend();
}

void AudioSinkOutput::Resume() {
  if (sink_) sink_->resume();
}

void AudioSinkOutput::Stop() {
  feeder_.stop();
  if (sink_) sink_->stop();
  sink_.reset();
  device_ = nullptr;
  source_ = nullptr;
}

QAudio::State AudioSinkOutput::SinkState() const {
  return sink_ ? sink_->state() : QAudio::StoppedState;
}

}  // namespace video
