// The video service: opens a movie, plays, pauses, stops and seeks it,
// keeps the newest picture due for display (the grabber's buffer), plays the
// sound through a SoundOutput, ticks the position once a second and reports
// the end of the movie.
//
// Threads. Every public function is called on the user-interface thread (the
// thread that made the service), and every handler below is called there. A
// decoding thread of the service's own demuxes, decodes, waits for each
// picture's time and puts it into the grabber's buffer; the sound output
// pulls samples on its own schedule. Deactivate() (and ClearGraph(), and a
// new RenderFile()) end that thread: abort, wake, join.
//
// Positions at the seeking functions are in 100-ns units; the tick reports
// milliseconds (video/TimeUnits.h converts between them). Operations on an
// inactive service, or on one with no movie, have no effect (seeking answers
// false).
#pragma once

#include "video/MediaReader.h"
#include "video/PictureRule.h"
#include "video/SoundOutput.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace video {

// Event codes delivered to OnDSEvent.
inline constexpr long EC_COMPLETE = 1;        // the last picture has been shown and the sound played out
inline constexpr long EC_CLOCK_CHANGED = 13;  // a position bar goes back to 0

// Positioning flags of SetPositions.
inline constexpr int AM_SEEKING_NoPositioning = 0;
inline constexpr int AM_SEEKING_AbsolutePositioning = 1;
inline constexpr int AM_SEEKING_RelativePositioning = 2;
inline constexpr int AM_SEEKING_PositioningBitsMask = 3;

// What the position tick and the events need of the position bar (the
// window's TrackBar). The core knows only this much of it.
class PositionBar {
 public:
  virtual ~PositionBar() = default;
  // The tick: range 0 .. durationMs div 1000, thumb at currentMs div 1000.
  // Returns false, showing nothing, while the bar will not follow the tick
  // (the user holds it); the rest of that tick is skipped, OnTimer too.
  virtual bool ShowPosition(uint32_t currentMs, uint32_t durationMs) = 0;
  // Every event, before OnDSEvent.
  virtual void OnGraphEvent(long event) = 0;
};

class Playback;

class VideoService : public QObject {
  Q_OBJECT

 public:
  static constexpr int TimerInterval = 1000;  // ms between position ticks while playing

  explicit VideoService(QObject* parent = nullptr);
  ~VideoService() override;

  // Where sound goes; not owned, must outlive the service's use of it.
  // Null (the default): every movie plays silently. Takes effect at the next
  // RenderFile().
  void SetSoundOutput(SoundOutput* output) { soundOutput_ = output; }
  // The user's choices the pictures are shown by (the file's rotation
  // aside: see PictureRule). Takes effect at the next RenderFile().
  void SetPictureChoices(const PictureRule& choices) { choices_ = choices; }
  // The bar the tick and the events go to; not owned; null: none.
  void SetPositionBar(PositionBar* bar) { positionBar_ = bar; }

  // Makes an empty service ready to open a movie.
  void Activate();
  // Ends playback and the decoding thread and frees the movie. No tick and
  // no event arrives after it returns.
  void Deactivate();
  bool IsActive() const { return active_; }

  // Opens `path` in place of any movie already open, stopped at its start
  // with its first picture in the grabber's buffer. Returns false and sets
  // *error (a text for a log, not for the user) when the service is inactive,
  // the file cannot be opened, is not a movie, or holds no decodable video
  // stream; the previous movie is gone either way. A sound track that cannot
  // be decoded or played leaves the picture playing silently.
  bool RenderFile(const std::string& path, std::string* error);
  // The path of the open movie as RenderFile() was given it; empty when none.
  const std::string& FilePath() const { return path_; }

  // Whether RenderFile would open `path`: a movie with a decodable picture.
  // Touches no service; false with *error (a text for a log) otherwise.
  static bool CanRender(const std::string& path, std::string* error);
  // A movie is open.
  bool HasMovie() const { return playback_ != nullptr; }

  void Play();   // starts or resumes; starts the position tick
  void Pause();  // holds the picture; ends the tick
  void Stop();   // stops where it is (the position is kept); ends the tick
  // Stops and closes the movie; the service stays active.
  void ClearGraph();

  // Puts the newest picture, 24-bit RGB at the movie's own size, into
  // *bitmap and returns true; returns false and leaves *bitmap unchanged
  // when there is no movie or no picture yet. The picture is shared with the
  // buffer (QImage's implicit sharing): it never changes under the caller,
  // and a caller that draws on it detaches its own copy.
  bool GrabFrame(QImage* bitmap) const;
  // The same picture, for painting; null if none.
  QImage CurrentFrame() const;
  // The size of the movie's pictures as shown (turned upright), known from
  // RenderFile() on; empty when no movie is open.
  QSize VideoSize() const { return videoSize_; }

  // ---- Seeking, in 100-ns units -------------------------------------------
  bool GetDuration(int64_t* duration) const;
  bool GetStopPosition(int64_t* stop) const;  // the movie's length
  // The length the video stream declares: longer than GetDuration() when the
  // file was cut short and its pictures end early.
  bool GetStreamDuration(int64_t* duration) const;
  bool GetCurrentPosition(int64_t* current) const;
  // Moves the current position (absolute or relative to the current one);
  // a stopped or paused movie shows the picture of the new position. Only
  // AM_SEEKING_NoPositioning is taken for the stop position: anything else
  // leaves it unchanged and answers false.
  bool SetPositions(int64_t* current, int currentFlags, int64_t* stop, int stopFlags);

  // ---- Handlers -------------------------------------------------------------
  // The position tick: current position and duration, milliseconds.
  std::function<void(uint32_t currentMs, uint32_t durationMs)> OnTimer;
  // Events; only EC_COMPLETE is sent, once per movie end.
  std::function<void(long event, intptr_t param1, intptr_t param2)> OnDSEvent;

  // Counts for the current movie since it was opened.
  struct Statistics {
    int64_t framesShown = 0;    // pictures put into the grabber's buffer
    int64_t framesDropped = 0;  // pictures passed over because they were late
  };
  Statistics Counts() const;

  // One position tick now (what the timer calls).
  void PositionTick();

 signals:
  // A new picture is in the buffer (user-interface thread; several new
  // pictures may be announced by one signal).
  void frameReady();

 private:
  friend class Playback;
  // ---- Called on the decoding thread -----------------------------------------
  void Publish(const QImage& picture);
  void PostEvent(long event);

  // ---- User-interface thread only ----------------------------------------------
  void CloseMovie();
  void DeliverEvent(uint64_t session, long event);
  // The playing position, held within 0 .. the movie's length, in
  // microseconds; only while a movie is open.
  int64_t ClampedPositionUs() const;

  SoundOutput* soundOutput_ = nullptr;
  PictureRule choices_;
  PositionBar* positionBar_ = nullptr;
  bool active_ = false;
  QTimer tick_;
  std::unique_ptr<Playback> playback_;
  std::string path_;  // of the open movie
  QSize videoSize_;
  // Events posted by a decoding thread carry the session they belong to; a
  // late arrival from a closed movie is dropped.
  std::atomic<uint64_t> session_{0};

  // ---- The grabber's buffer: shared by both threads, under frameMutex_ -------
  mutable std::mutex frameMutex_;
  // Only ever replaced by a whole new picture (MediaReader::ToImage makes a
  // new image for each), never drawn on in place, so handing it out shared
  // is safe on either thread.
  QImage frame_;
  std::atomic<bool> framePosted_{false};  // a frameReady() is on its way
};

}  // namespace video
