// The control the movie is shown in: the newest picture of the video
// service, scaled into the control on a black background. It follows the
// control's size; the picture keeps its own shape (black bars fill the rest).
#pragma once

#include <QWidget>

#include <cstdint>

namespace video {

class VideoService;

class VideoWindow : public QWidget {
  Q_OBJECT

 public:
  explicit VideoWindow(QWidget* parent = nullptr);

  // Shows the pictures of `service` (not owned; null: black).
  void SetService(VideoService* service);

  // Pictures painted so far (a picture painted twice counts once).
  int64_t PicturesPresented() const { return presented_; }
  // Where the picture goes inside the control for a picture of `size`.
  static QRect PictureRect(const QSize& picture, const QSize& control);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  VideoService* service_ = nullptr;
  const void* lastPicture_ = nullptr;  // identity of the last painted picture
  qint64 lastKey_ = 0;
  int64_t presented_ = 0;
};

}  // namespace video
