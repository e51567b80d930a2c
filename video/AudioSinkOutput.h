// Sound output through Qt Multimedia's QAudioSink on the default output
// device, at full volume. No device (or no sound server) means FormatFor()
// answers an invalid format and the movie plays silently.
#pragma once

#include "video/SoundOutput.h"

#include <QAudioSink>
#include <QIODevice>

#include <atomic>
#include <memory>

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
  class Feed;
  void UpdatePlayed();  // user-interface thread

  std::unique_ptr<Feed> feed_;
  std::unique_ptr<QAudioSink> sink_;
  SoundFormat format_;
  std::atomic<int64_t> played_{0};
  int64_t silenceFrames_ = 0;  // filler the feed gave when the source had nothing
};

}  // namespace video
