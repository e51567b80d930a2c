#include "video/AudioSinkOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QMediaDevices>

#include <cstring>

namespace video {
namespace {

QAudioFormat ToQt(const SoundFormat& format) {
  QAudioFormat qt;
  qt.setSampleRate(format.sampleRate);
  qt.setChannelCount(format.channels);
  qt.setSampleFormat(QAudioFormat::Int16);
  return qt;
}

}  // namespace

// The device the sink pulls from. When the movie's sound runs short it gives
// silence rather than nothing, so the sink keeps running; the silence is
// counted so that it does not count as the movie's sound played.
class AudioSinkOutput::Feed : public QIODevice {
 public:
  Feed(AudioSinkOutput* owner, SoundSource* source) : owner_(owner), source_(source) {}
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override { return QIODevice::bytesAvailable() + (1 << 16); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const int frameBytes = owner_->format_.BytesPerFrame();
    maxSize -= maxSize % frameBytes;
    qint64 got = source_->ReadSound(data, maxSize);
    if (got < maxSize) {
      std::memset(data + got, 0, static_cast<size_t>(maxSize - got));
      owner_->silenceFrames_ += (maxSize - got) / frameBytes;
    }
    owner_->UpdatePlayed();
    return maxSize;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  AudioSinkOutput* owner_;
  SoundSource* source_;
};

AudioSinkOutput::AudioSinkOutput() = default;
AudioSinkOutput::~AudioSinkOutput() { Stop(); }

SoundFormat AudioSinkOutput::FormatFor(const SoundFormat& wish) {
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return {};
  if (wish.Valid() && device.isFormatSupported(ToQt(wish))) return wish;
  const QAudioFormat preferred = device.preferredFormat();
  SoundFormat nearest{preferred.sampleRate(), std::min(preferred.channelCount(), 2)};
  if (nearest.Valid() && device.isFormatSupported(ToQt(nearest))) return nearest;
  return {};
}

bool AudioSinkOutput::Start(const SoundFormat& format, SoundSource* source) {
  Stop();
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull() || !format.Valid() || !source) return false;
  format_ = format;
  played_ = 0;
  silenceFrames_ = 0;
  feed_ = std::make_unique<Feed>(this, source);
  feed_->open(QIODevice::ReadOnly);
  sink_ = std::make_unique<QAudioSink>(device, ToQt(format));
  sink_->setVolume(1.0);
  sink_->start(feed_.get());
  if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
    Stop();
    return false;
  }
  return true;
}

void AudioSinkOutput::UpdatePlayed() {
  if (!sink_) return;
  const int64_t processed = sink_->processedUSecs() * format_.sampleRate / 1000000;
  played_ = std::max<int64_t>(0, processed - silenceFrames_);
}

void AudioSinkOutput::Pause() {
  if (sink_) sink_->suspend();
}

void AudioSinkOutput::Resume() {
  if (sink_) sink_->resume();
}

void AudioSinkOutput::Stop() {
  if (sink_) sink_->stop();
  sink_.reset();
  feed_.reset();
}

QAudio::State AudioSinkOutput::SinkState() const {
  return sink_ ? sink_->state() : QAudio::StoppedState;
}

}  // namespace video
