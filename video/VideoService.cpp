#include "video/VideoService.h"

#include "video/TimeUnits.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

namespace video {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int64_t kSoundAheadUs = 500000;      // decoded sound kept ready for the output
constexpr int64_t kSoundStallUs = 300000;      // a device that plays nothing this long no longer drives the clock
constexpr int64_t kSoundDrainSlackUs = 50000;  // sound this close to played out counts as played out
constexpr int64_t kSoundStartMaxUs = 2000000;  // longest the clock waits for a starting device to play
constexpr int64_t kSoundDrainMaxUs = 2000000;  // longest wait for a device to report the last sound played
constexpr int64_t kMaxWaitUs = 10000;          // the decoding thread looks at the clock at least this often
constexpr int64_t kMinWaitUs = 1000;           // and waits at least this long between looks, so it never spins

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now().time_since_epoch()).count();
}

// A clock that runs at wall-clock speed while running, holds while stopped,
// and can be set. Thread-safe.
class MonotonicClock {
 public:
  int64_t Now() const {
    std::lock_guard lock(mutex_);
    return running_ ? baseUs_ + (NowUs() - sinceUs_) : baseUs_;
  }
  void Set(int64_t us) {
    std::lock_guard lock(mutex_);
    baseUs_ = us;
    sinceUs_ = NowUs();
  }
  void Run(bool running) {
    std::lock_guard lock(mutex_);
    if (running == running_) return;
    const int64_t now = NowUs();
    if (running_) baseUs_ += now - sinceUs_;
    sinceUs_ = now;
    running_ = running;
  }

 private:
  mutable std::mutex mutex_;
  bool running_ = false;
  int64_t baseUs_ = 0;
  int64_t sinceUs_ = 0;
};

}  // namespace

// One open movie being played: the decoding thread, its reader, the sound
// queue the output pulls from, and the clock.
class Playback : public SoundSource {
 public:
  enum class State { Stopped, Paused, Playing };

  Playback(VideoService* service, std::unique_ptr<MediaReader> reader, SoundOutput* output,
           SoundFormat soundFormat)
      : service_(service),
        reader_(std::move(reader)),
        cursor_(reader_.get()),
        output_(soundFormat.Valid() ? output : nullptr),
        soundFormat_(soundFormat),
        durationUs_(reader_->DurationUs()),
        streamDurationUs_(reader_->StreamDurationUs()) {
    if (!output_) reader_->DropSound();
  }

  // Decodes the first picture; false when there is none.
  bool Prime() { return cursor_.Seek(0); }
  void Start() { thread_ = std::thread([this] { Run(); }); }

  ~Playback() override {
    if (output_) output_->Stop();
    {
      std::lock_guard lock(mutex_);
      abort_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  int64_t DurationUs() const { return durationUs_; }
  int64_t StreamDurationUs() const { return streamDurationUs_; }

  // ---- User-interface thread -------------------------------------------------
  void SetState(State state) {
    State old;
    {
      std::lock_guard lock(mutex_);
      old = state_;
      state_ = state;
    }
    if (old == state) return;
    clock_.Run(state == State::Playing);
    if (output_ && !soundFailed_) {
      // Every way into Playing starts the device when it is not started (a
      // movie paused before it ever played has no sound running to resume).
      if (state == State::Playing && !soundStarted_) {
        StartSound();
      } else if (state == State::Playing) {
        {
          std::lock_guard lock(soundMutex_);
          lastAdvanceUs_ = NowUs();  // a pause is no stall
        }
        output_->Resume();
      } else if (state == State::Paused && old == State::Playing) {
        output_->Pause();
      } else if (state == State::Stopped && soundStarted_) {
        output_->Stop();
        soundStarted_ = false;
      }
    }
    wake_.notify_all();
  }

  void Seek(int64_t targetUs) {
    clock_.Set(targetUs);
    {
      std::lock_guard lock(mutex_);
      seekTargetUs_ = targetUs;
      ++seekRequests_;
    }
    wake_.notify_all();
  }

  // ---- Any thread ---------------------------------------------------------------
  // The playback position: the sound actually played while sound plays, the
  // monotonic clock otherwise (which the sound keeps in step).
  int64_t PositionUs() {
    if (output_ && !soundFailed_ && seekDone_ == seekRequests_) {
      const int64_t played = output_->PlayedFrames();
      const int64_t now = NowUs();
      std::lock_guard lock(soundMutex_);
      if (played != lastPlayed_) {
        lastPlayed_ = played;
        lastAdvanceUs_ = now;
      }
      if (awaitingSound_) {
        // A starting device may take a while before it plays; the picture
        // waits for it rather than running ahead of the sound.
        if (played > 0 || now - soundStartUs_ >= kSoundStartMaxUs || state_ != State::Playing ||
            (soundEnded_ && chunks_.empty())) {
          awaitingSound_ = false;
          clock_.Run(state_ == State::Playing);
        }
      }
      const bool playing = played > 0 && now - lastAdvanceUs_ < kSoundStallUs && !SoundPlayedOutLocked();
      if (playing && state_ == State::Playing) {
        const int64_t us = nextSoundUs_ - UsFromSoundFrames(handed_ - played, soundFormat_.sampleRate);
        clock_.Set(us);
        return us;
      }
    }
    return clock_.Now();
  }

  int64_t ReadSound(char* data, int64_t maxBytes) override {
    const int frameBytes = soundFormat_.BytesPerFrame();
    int64_t want = maxBytes / frameBytes;
    int64_t copied = 0;
    std::lock_guard lock(soundMutex_);
    while (want > 0 && !chunks_.empty()) {
      SoundChunk& chunk = chunks_.front();
      const int64_t frames = static_cast<int64_t>(chunk.samples.size()) / soundFormat_.channels;
      const int64_t n = std::min(want, frames - chunkOffset_);
      std::memcpy(data + copied * frameBytes, chunk.samples.data() + chunkOffset_ * soundFormat_.channels,
                  n * frameBytes);
      chunkOffset_ += n;
      copied += n;
      want -= n;
      nextSoundUs_ = chunk.startUs + UsFromSoundFrames(chunkOffset_, soundFormat_.sampleRate);
      if (chunkOffset_ == frames) {
        queuedUs_ -= UsFromSoundFrames(frames, soundFormat_.sampleRate);
        chunks_.pop_front();
        chunkOffset_ = 0;
      }
    }
    handed_ += copied;
    return copied * frameBytes;
  }

 private:
  void StartSound() {
    {
      std::lock_guard lock(soundMutex_);
      handed_ = 0;
      lastPlayed_ = 0;
      lastAdvanceUs_ = soundStartUs_ = NowUs();
      awaitingSound_ = true;
      clock_.Run(false);
    }
    soundStarted_ = true;
    if (!output_->Start(soundFormat_, this)) {
      soundFailed_ = true;  // plays silently; the thread stops decoding sound
      wake_.notify_all();
    }
  }

  bool SoundPlayedOutLocked() const {
    return soundEnded_ && chunks_.empty() &&
           lastPlayed_ + SoundFramesFromUs(kSoundDrainSlackUs, soundFormat_.sampleRate) >= handed_;
  }

  // Whether the sound side lets the movie end.
  bool SoundDone() {
    if (!output_ || soundFailed_) return true;
    const int64_t played = output_->PlayedFrames();
    std::lock_guard lock(soundMutex_);
    if (played != lastPlayed_) {
      lastPlayed_ = played;
      lastAdvanceUs_ = NowUs();
    }
    if (!soundEnded_ || !chunks_.empty()) {
      drainedSinceUs_ = -1;
      // The picture has ended; a device that stopped taking sound long ago
      // will not take the rest.
      return NowUs() - lastAdvanceUs_ >= kSoundDrainMaxUs;
    }
    // The last sample has gone to the device; a device that miscounts must
    // not hold the end of the movie back for ever.
    if (drainedSinceUs_ < 0) drainedSinceUs_ = NowUs();
    return SoundPlayedOutLocked() || NowUs() - lastAdvanceUs_ >= kSoundStallUs ||
           NowUs() - drainedSinceUs_ >= kSoundDrainMaxUs;
  }

  // ---- Decoding thread ------------------------------------------------------------
  void Publish() {
    if (!cursor_.Current()) return;
    service_->Publish(reader_->ToImage(cursor_.Current()));
    framesShown_.fetch_add(1);
  }

  void FillSound() {
    if (!output_) return;
    if (soundFailed_) {
      if (!soundDropped_) reader_->DropSound();
      soundDropped_ = true;
      return;
    }
    while (true) {
      {
        std::lock_guard lock(soundMutex_);
        if (soundEnded_ || queuedUs_ >= kSoundAheadUs) return;
      }
      SoundChunk chunk;
      const bool more = reader_->NextSound(&chunk);
      std::lock_guard lock(soundMutex_);
      if (!more) {
        soundEnded_ = !reader_->Starved();
        return;
      }
      queuedUs_ += UsFromSoundFrames(static_cast<int64_t>(chunk.samples.size()) / soundFormat_.channels,
                                     soundFormat_.sampleRate);
      chunks_.push_back(std::move(chunk));
    }
  }

  void DoSeek(int64_t targetUs) {
    ended_ = false;
    if (cursor_.Seek(targetUs)) Publish();
    std::lock_guard lock(soundMutex_);
    chunks_.clear();
    chunkOffset_ = 0;
    queuedUs_ = 0;
    soundEnded_ = false;
    nextSoundUs_ = targetUs;
  }

  // Shows whatever picture is due; returns how long to wait before looking again.
  int64_t Step() {
    FillSound();
    const int64_t now = PositionUs();
    int skipped = 0;
    if (cursor_.Advance(now, &skipped) > 0) {
      framesDropped_.fetch_add(skipped);
      Publish();
    }
    if (!cursor_.HasNext()) {
      if (now >= cursor_.CurrentEndUs() && SoundDone()) {
        ended_ = true;
        clock_.Set(std::max(durationUs_, cursor_.CurrentEndUs()));
        service_->PostEvent(EC_COMPLETE);
        return 0;
      }
      return kMaxWaitUs;
    }
    return std::clamp(cursor_.NextUs() - now, kMinWaitUs, kMaxWaitUs);
  }

  void Run() {
    Publish();
    std::unique_lock lock(mutex_);
    while (!abort_) {
      if (seekDone_ != seekRequests_) {
        const uint64_t request = seekRequests_;
        const int64_t target = seekTargetUs_;
        lock.unlock();
        DoSeek(target);
        lock.lock();
        seekDone_ = request;
        continue;
      }
      if (state_ != State::Playing || ended_) {
        wake_.wait(lock);
        continue;
      }
      lock.unlock();
      const int64_t waitUs = Step();
      lock.lock();
      if (waitUs > 0 && !abort_ && seekDone_ == seekRequests_ && state_ == State::Playing)
        wake_.wait_for(lock, std::chrono::microseconds(waitUs));
    }
  }

 public:
  std::atomic<int64_t> framesShown_{0};
  std::atomic<int64_t> framesDropped_{0};

 private:
  VideoService* const service_;
  std::unique_ptr<MediaReader> reader_;  // decoding thread only, once started
  FrameCursor cursor_;                   // decoding thread only, once started
  SoundOutput* output_;                  // null: silent
  const SoundFormat soundFormat_;
  const int64_t durationUs_;
  const int64_t streamDurationUs_;  // what the video stream declares; longer in a file cut short
  std::atomic<bool> soundFailed_{false};
  bool soundStarted_ = false;  // the device was started and not stopped since (user-interface thread)
  MonotonicClock clock_;
  std::thread thread_;

  // ---- Commands from the user-interface thread, under mutex_ ----------------------
  std::mutex mutex_;
  std::condition_variable wake_;
  bool abort_ = false;
  std::atomic<State> state_{State::Stopped};
  int64_t seekTargetUs_ = 0;
  std::atomic<uint64_t> seekRequests_{0};
  std::atomic<uint64_t> seekDone_{0};  // written by the decoding thread

  // ---- Decoding thread only ---------------------------------------------------------
  bool ended_ = false;
  bool soundDropped_ = false;

  // ---- Sound queue, shared with the output's thread, under soundMutex_ --------------
  std::mutex soundMutex_;
  std::deque<SoundChunk> chunks_;
  int64_t chunkOffset_ = 0;      // frames of the front chunk already handed out
  int64_t queuedUs_ = 0;         // sound waiting in chunks_
  bool soundEnded_ = false;      // the reader has no more sound
  int64_t nextSoundUs_ = 0;      // position of the next frame handed out
  int64_t handed_ = 0;           // frames handed to the output since it started
  int64_t lastPlayed_ = 0;       // the output's played count when last asked
  int64_t lastAdvanceUs_ = 0;    // steady time that count last moved
  int64_t drainedSinceUs_ = -1;  // steady time every sample was first seen handed out; -1 while some is left
  bool awaitingSound_ = false;   // the device has started but played nothing yet
  int64_t soundStartUs_ = 0;     // steady time the device was started
};

// ---- VideoService ------------------------------------------------------------------

VideoService::VideoService(QObject* parent) : QObject(parent) {
  tick_.setInterval(TimerInterval);
  connect(&tick_, &QTimer::timeout, this, &VideoService::PositionTick);
}

VideoService::~VideoService() { Deactivate(); }

void VideoService::Activate() {
  if (active_) Deactivate();
  active_ = true;
}

void VideoService::Deactivate() {
  CloseMovie();
  active_ = false;
}

void VideoService::CloseMovie() {
  tick_.stop();
  ++session_;  // whatever the old thread has posted is now stale
  playback_.reset();
  path_.clear();
  videoSize_ = QSize();
  std::lock_guard lock(frameMutex_);
  frame_ = QImage();
}

bool VideoService::RenderFile(const std::string& path, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  CloseMovie();
  if (!active_) {
    *error = "the video service is not active";
    return false;
  }
  auto reader = std::make_unique<MediaReader>();
  reader->SetPictureChoices(choices_);
  if (!reader->Open(path, soundOutput_ != nullptr, error)) return false;
  SoundFormat soundFormat;
  if (soundOutput_ && reader->HasSound()) {
    soundFormat = soundOutput_->FormatFor(reader->SourceSoundFormat());
    if (soundFormat.Valid()) reader->SetSoundFormat(soundFormat);
  }
  const QSize size = reader->FrameSize();
  auto playback = std::make_unique<Playback>(this, std::move(reader), soundOutput_, soundFormat);
  if (!playback->Prime()) {
    *error = path + ": no picture can be decoded";
    return false;
  }
  playback_ = std::move(playback);
  path_ = path;
  videoSize_ = size;
  playback_->Start();
  return true;
}

bool VideoService::CanRender(const std::string& path, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  MediaReader reader;
  if (!reader.Open(path, false, error)) return false;
  FrameCursor cursor(&reader);
  if (!cursor.Seek(0)) {
    *error = path + ": no picture can be decoded";
    return false;
  }
  return true;
}

void VideoService::Play() {
  if (!playback_) return;
  playback_->SetState(Playback::State::Playing);
  tick_.start();
}

void VideoService::Pause() {
  if (!playback_) return;
  playback_->SetState(Playback::State::Paused);
  tick_.stop();
}

void VideoService::Stop() {
  if (!playback_) return;
  playback_->SetState(Playback::State::Stopped);
  tick_.stop();
}

void VideoService::ClearGraph() {
  if (!playback_) return;
  Stop();
  CloseMovie();
}

bool VideoService::GrabFrame(QImage* bitmap) const {
  std::lock_guard lock(frameMutex_);
  if (frame_.isNull() || !bitmap) return false;
  *bitmap = frame_;
  return true;
}

QImage VideoService::CurrentFrame() const {
  std::lock_guard lock(frameMutex_);
  return frame_;
}

bool VideoService::GetDuration(int64_t* duration) const {
  if (!playback_ || !duration) return false;
  *duration = UnitsFromUs(playback_->DurationUs());
  return true;
}

bool VideoService::GetStreamDuration(int64_t* duration) const {
  if (!playback_ || !duration) return false;
  *duration = UnitsFromUs(playback_->StreamDurationUs());
  return true;
}

bool VideoService::GetStopPosition(int64_t* stop) const { return GetDuration(stop); }

bool VideoService::GetCurrentPosition(int64_t* current) const {
  if (!playback_ || !current) return false;
  *current = UnitsFromUs(ClampedPositionUs());
  return true;
}

int64_t VideoService::ClampedPositionUs() const {
  return std::clamp<int64_t>(playback_->PositionUs(), 0, std::max<int64_t>(playback_->DurationUs(), 0));
}

bool VideoService::SetPositions(int64_t* current, int currentFlags, int64_t* /*stop*/, int stopFlags) {
  if (!playback_) return false;
  const int how = currentFlags & AM_SEEKING_PositioningBitsMask;
  if (current && how != AM_SEEKING_NoPositioning) {
    int64_t target = UsFromUnits(*current);
    if (how == AM_SEEKING_RelativePositioning) target += playback_->PositionUs();
    else if (how != AM_SEEKING_AbsolutePositioning) return false;
    playback_->Seek(std::clamp<int64_t>(target, 0, std::max<int64_t>(playback_->DurationUs(), 0)));
  }
  return (stopFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_NoPositioning;
}

VideoService::Statistics VideoService::Counts() const {
  if (!playback_) return {};
  return {playback_->framesShown_.load(), playback_->framesDropped_.load()};
}

void VideoService::PositionTick() {
  if (!playback_) return;
  const auto durationMs = static_cast<uint32_t>(MsFromUs(playback_->DurationUs()));
  const auto currentMs = static_cast<uint32_t>(MsFromUs(ClampedPositionUs()));
  if (positionBar_ && !positionBar_->ShowPosition(currentMs, durationMs)) return;
  if (OnTimer) OnTimer(currentMs, durationMs);
}

void VideoService::Publish(const QImage& picture) {
  if (picture.isNull()) return;
  {
    std::lock_guard lock(frameMutex_);
    frame_ = picture;
  }
  if (!framePosted_.exchange(true)) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          framePosted_ = false;
          emit frameReady();
        },
        Qt::QueuedConnection);
  }
}

void VideoService::PostEvent(long event) {
  const uint64_t session = session_;
  QMetaObject::invokeMethod(this, [this, session, event] { DeliverEvent(session, event); },
                            Qt::QueuedConnection);
}

void VideoService::DeliverEvent(uint64_t session, long event) {
  if (session != session_ || !playback_) return;
  if (positionBar_) positionBar_->OnGraphEvent(event);
  if (OnDSEvent) OnDSEvent(event, 0, 0);
}

}  // namespace video
