// The position bar under the preview: range in seconds, thumb at the
// current second. The video service's tick moves it (not while the left
// button holds it); releasing the button seeks to the thumb's position.
#pragma once

#include "video/VideoService.h"

#include <QSlider>

#include <cstdint>

namespace video {

class TrackBar : public QSlider, public PositionBar {
  Q_OBJECT

 public:
  explicit TrackBar(QWidget* parent = nullptr);

  // The service whose position this bar shows and seeks (not owned; null:
  // none). Also makes this bar the service's position bar.
  void SetService(VideoService* service);

  // The position a thumb at `thumb` of `maximum` stands for in a movie whose
  // stop position is `stop` (100-ns units): stop x thumb / maximum in 64-bit
  // arithmetic; 0 when the maximum is 0.
  static int64_t SeekTarget(int64_t stop, int thumb, int maximum);

  // True while the user holds the bar with the left button.
  bool Held() const { return held_; }

  // PositionBar. While held, the thumb stays where the user put it and the
  // tick is refused.
  bool ShowPosition(uint32_t currentMs, uint32_t durationMs) override;
  void OnGraphEvent(long event) override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Arrow keys and the wheel move the thumb by one position and seek there.
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void SeekToThumb();

  VideoService* service_ = nullptr;
  bool held_ = false;  // the left button is down on the bar
  int wheelRest_ = 0;  // wheel turn short of a whole notch
};

}  // namespace video
