// The frame view: a label that shows one character-movie frame (or any text)
// fast enough to be replaced 15 times a second at 320 x 240 cells.
//
// It behaves like a QLabel with AlignLeft | AlignTop, no wrapping and no
// automatic sizing: the text is drawn from the top-left corner, one line per
// line break (CR LF, LF or CR), line i in the band from i * lineSpacing()
// pixels down, left to right. Font (setFont; its
// pixel size is the character height), position, size and cursor are the
// widget's own (the owner moves and resizes it inside its parent, or lets it
// fill the parent); the text is drawn in the palette's WindowText colour on
// its Window colour.
//
// Drawing. The text is drawn by the movie renderer (FrameRenderer): lines
// s pixels apart (s the font's pixel size), every double-byte character in an
// s x s cell and two single-byte characters sharing one, each glyph fitted
// into its cell, so a movie frame keeps the video's shape. Only the part of
// the label that is exposed is drawn.
#pragma once

#include "playback/FrameRenderer.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>
#include <string_view>
#include <vector>

class FrameLabel : public QWidget {
  Q_OBJECT

 public:
  explicit FrameLabel(QWidget* parent = nullptr);
  ~FrameLabel() override;

  // ---- Text ----
  // Shows `text`; repaints only when it differs from the text shown.
  void setText(const QString& text);
  // Shows a frame given as GBK bytes (decoded with gbk::Decode).
  void setFrame(std::string_view gbkBytes);
  QString text() const { return text_; }

  // ---- Colours ----
  // Text colour and background colour (the palette's WindowText and Window).
  void setColors(const QColor& textColor, const QColor& background);
  QColor textColor() const;
  QColor backgroundColor() const;

  // ---- Layout (pixels) ----
  // Distance between two lines, and the side of a double-byte cell: the
  // font's pixel size.
  int lineSpacing() const;

  // While on, the label keeps the size of its parent's rectangle at (0, 0)
  // and follows each resize of the parent. Turning it off leaves the
  // geometry where it is.
  void setFillParent(bool fill);
  bool fillsParent() const { return fillParent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FrameRenderer& Renderer();  // made afresh after a font or colour change
  QImage* DirectTarget(QPainter& painter, QPoint* offset) const;
  void FollowParent();

  QString text_;
  std::vector<FrameRenderer::Line> lines_;  // text_ cut into lines
  bool fillParent_ = false;
  std::unique_ptr<FrameRenderer> renderer_;
  QImage scratch_;  // the exposed part, when it cannot be written in place
};
