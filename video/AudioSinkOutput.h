// Sound output through Qt Multimedia's QAudioSink on the default output
// device, at full volume. No device (or no sound server) means FormatFor()
// answers an invalid format and the movie plays silently.
#pragma once

#include "video/SoundOutput.h"

#include <QAudioSink>
#include <QIODevice>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

namespace video {

class AudioSinkOutput : public SoundOutput {
 public:
  AudioSinkOutput();
  ~AudioSinkOutput() override;

  SoundFormat FormatFor(const SoundFormat& wish) override;
  bool Start(const SoundFormat& format, SoundSource* source) override;
  void Pause() override;
  void Resume() override;
  void Stop() override;
  int64_t PlayedFrames() const override { return played_.load(); }

  // The sink's state, for tests; QAudio::StoppedState when none.
  QAudio::State SinkState() const;

 private:
  void Feed();  // user-interface thread: tops the device up from the source

  std::unique_ptr<QAudioSink> sink_;
  QIODevice* device_ = nullptr;  // owned by sink_
  QTimer feeder_;
  SoundSource* source_ = nullptr;
  SoundFormat format_;
  std::vector<char> buffer_;
  int64_t written_ = 0;  // frames written to the device since Start
  std::atomic<int64_t> played_{0};
};

}  // namespace video
