// The frame view: a label that shows one character-movie frame (or any text)
// fast enough to be replaced 15 times a second at 320 x 240 cells.
//
// It behaves like a QLabel with AlignLeft | AlignTop, no wrapping and no
// automatic sizing: the text is drawn from the top-left corner, one line per
// line break (CR LF, LF or CR), line i with its baseline at
// i * lineSpacing() + baseline() pixels, left to right. Font (setFont; its
// pixel size is the character height), position, size and cursor are the
// widget's own (the owner moves and resizes it inside its parent, or lets it
// fill the parent); the text is drawn in the palette's WindowText colour on
// its Window colour.
//
// Drawing. A movie frame is a grid: every gray unit is one double-width
// character or two single-width ones, so every cell is two columns (twice
// the advance of "0", the pixel size in the project's font) wide. Such text
// is drawn from cells rendered once per font and colours and copied into
// place, and only the part of the label that is exposed is drawn. The picture is the one QPainter::drawText gives for each
// line at the same baseline: a cell's picture is taken from drawText with the
// cells around it whose ink reaches into it. Text the grid cannot reproduce
// (characters whose width is not one or two columns, marks, controls such as
// tabs, right-to-left text, glyphs reaching into the next line) is drawn with
// QPainter::drawText line by line.
#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

class TFrameLabel : public QWidget {
  Q_OBJECT

 public:
  explicit TFrameLabel(QWidget* parent = nullptr);
  ~TFrameLabel() override;

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
  // Distance between two baselines. 0 (the default) means the font's own
  // line spacing (QFontMetrics::lineSpacing()), or ascent + descent + 1 where
  // that is more (the smallest sizes), so that lines do not overlap. A
  // smaller spacing is honoured but may leave the grid (see drawsFromCells).
  void setLineSpacing(int pixels);
  int lineSpacing() const;
  // Baseline of the first line below the widget's top: the font's ascent.
  int baseline() const;

  // While on, the label keeps the size of its parent's rectangle at (0, 0)
  // and follows each resize of the parent. Turning it off leaves the
  // geometry where it is.
  void setFillParent(bool fill);
  bool fillsParent() const { return fillParent_; }

  // True when the current text is drawn from cells (the grid), false when it
  // is drawn with drawText line by line. For tests and measurements.
  bool drawsFromCells() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Cell ids index cells_; kNoCell stands for an empty neighbour.
  static constexpr int32_t kNoCell = -1;

  // One distinct cell: one double-width character, two single-width ones,
  // or a single-width one at the end of a line.
  struct Cell {
    QString text;
    bool fits = false;        // its ink stays within its line and its neighbours
    bool reachesLeft = false;  // its ink enters the cell before it
    bool reachesRight = false;  // ... the cell after it
  };

  // Width class of a character in the current font.
  enum class Width : uint8_t { Unknown, Single, Double, Other };

  void Relayout();             // the text changed: split into lines and cells
  void ResetCells();           // font, colours or spacing changed
  void ProbeCell(Cell& cell);  // measures a cell's ink
  Width WidthOf(char16_t ch);
  int32_t CellIdFor(char16_t first, char16_t second);
  const QImage& Tile(int32_t prev, int32_t cell, int32_t next);
  QImage* DirectTarget(QPainter& painter, QPoint* offset) const;
  void Compose(const QRect& area, uchar* origin, qsizetype stride);
  void PaintLines(QPainter& painter, const QRect& area);
  int CellWidth() const;  // pixels: twice the single-column advance
  void FollowParent();

  QString text_;
  int lineSpacingSetting_ = 0;
  bool fillParent_ = false;

  // ---- The text cut into lines: [lineStart_[i], lineStart_[i + 1]) ----
  std::vector<int> lineStart_;  // offsets into text_ of each line's start
  std::vector<int> lineEnd_;    // ... and end (before its break)
  // The same lines as cells, when the grid can draw them: line i is
  // lineCells_[cellStart_[i] .. cellStart_[i + 1]).
  bool grid_ = false;
  std::vector<int32_t> lineCells_;
  std::vector<int> cellStart_;

  // ---- Per font and colours ----
  std::vector<Width> widths_;   // by UTF-16 code unit
  std::vector<Cell> cells_;
  QHash<uint32_t, int32_t> cellIds_;  // (first << 16 | second) -> id
  // (prev, cell, next) -> picture of the cell; a node map, so pictures stay put
  std::unordered_map<uint64_t, QImage> tiles_;
  QImage scratch_;  // the exposed part, when it cannot be written in place
};
