// Draws character-movie text as a grid of square cells: the one drawing used
// by the frame label on screen and by the video export.
//
// At cell size s (the font's pixel size) every line is s pixels tall and
// every double-byte character (two GBK bytes) takes an s x s cell, so a
// picture keeps the shape of the video it came from. Single-byte characters
// (ASCII and the euro sign, one GBK byte) go in pairs into the same s pixels:
// the first of a pair takes floor(s / 2), the second the rest. Each glyph is
// drawn with the movie's face at pixel size s (its em is the cell), the
// baseline where the face's ascent and descent share the cell's height,
// centred across the cell and clipped to it, so nothing of one cell ever
// reaches another.
//
// Needs QtGui only (a QGuiApplication must exist for drawing text). One
// renderer is used by one thread at a time: it keeps its cell pictures.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <unordered_map>
#include <vector>

// The families of the movie's cells, best first: the Song-style face the
// project ships (Noto Serif CJK SC, chosen by its measured ink, see
// tools/ink), first even where another "宋体" is installed, so the fine
// picture's committed ink measurements hold; then SimSun, NSimSun and the CJK
// font the project also installs, for characters the first lacks.
QStringList MovieFontFamilies();
// The movie font at a pixel size, without depending on font substitutions,
// hinted and antialiased the same way on every desktop.
QFont MovieFont(int pixels);

// The two colours a cell is painted with in colour: its glyph's and its
// background's (opaque qRgb values).
struct CellPaint {
  QRgb glyph = 0xff000000u;
  QRgb background = 0xffffffffu;
};
// How a cell whose picture has the mean colour `colour` is painted, when its
// glyph covers `coverage` (0..1) of the cell's area.
using PaintRule = CellPaint (*)(QRgb colour, double coverage);

class FrameRenderer {
 public:
  // A line of a text: [start, end) offsets into it, without the line break.
  struct Line {
    int start = 0;
    int end = 0;
  };

  // Which face draws the cells: the movie's (MovieFont at the cell size,
  // whatever family the font given names), or the font given itself, hinted
  // and antialiased as MovieFont is (to measure other faces by the same rule).
  enum class Face { Movie, Given };

  // The cell size is `font`'s pixel size (at least 1).
  FrameRenderer(const QFont& font, const QColor& text, const QColor& background, Face face = Face::Movie);

  int CellSize() const { return cell_; }
  const QFont& Font() const { return font_; }
  QColor TextColor() const { return text_; }
  QColor BackgroundColor() const { return background_; }

  // Splits `text` at CR LF, LF or CR; a last line without a break counts.
  static std::vector<Line> SplitLines(QStringView text);
  // True for characters that take one GBK byte (half a cell).
  static bool SingleByte(char16_t ch) { return ch < 0x80 || ch == 0x20AC; }

  // Width in pixels of one line of text.
  int LineWidth(QStringView line) const;
  // Size in pixels of the lines: the widest line by the line count times s.
  QSize TextSize(QStringView text, const std::vector<Line>& lines) const;

  // Writes the pixels of `area` (in the text's own coordinates, its top-left
  // corner at (0, 0)) as 32-bit premultiplied ARGB rows starting at `origin`,
  // `stride` bytes apart: the cells of `lines` of `text`, and the background
  // everywhere else.
  void Compose(QStringView text, const std::vector<Line>& lines, const QRect& area, uchar* origin,
               qsizetype stride);
  // The whole picture of `text` at `size` (Format_ARGB32_Premultiplied).
  QImage Render(QStringView text, const QSize& size);

  // Like Compose, but in colour: the cell of column c and line l has the
  // colour colours[l * columns + c] (columns x rows of them), and each of its
  // glyphs is drawn over `rule`'s background in `rule`'s glyph colour for
  // that colour and the glyph's coverage, its antialiased edge blended
  // between the two. A glyph belongs to the cell under its middle. Pixels of
  // no cell, and cells beyond the colours, take `padding`. The renderer's own
  // colours are not used.
  void ComposeInColour(QStringView text, const std::vector<Line>& lines, const QRect& area, uchar* origin,
                       qsizetype stride, const QRgb* colours, int columns, int rows, PaintRule rule, QRgb padding);

 private:
  // A cell picture's shape: a whole cell, or the first or second half.
  enum Part : uint8_t { Whole = 0, FirstHalf = 1, SecondHalf = 2 };
  // A cell picture drawn afresh: the glyph in `pen` over `ground`.
  QImage DrawTile(char32_t ch, Part part, const QColor& pen, const QColor& ground) const;
  const QImage& Tile(char32_t ch, Part part);
  // A glyph's coverage of its cell part: 0 (none) to 255 (full) per pixel,
  // as the face draws it black on white.
  struct Mask {
    std::vector<uint8_t> coverage;  // width x cell, row by row
    double share = 0;               // the mean coverage, 0..1
  };
  const Mask& GlyphMask(char32_t ch, Part part);
  int PartWidth(Part part) const;

  QFont font_;        // the caller's font at pixel size s
  QFont glyphFont_;   // MovieFont(s): what the cells are drawn with
  QColor text_;
  QColor background_;
  int cell_ = 1;
  int baseline_ = 0;  // of a glyph inside its cell
  // (character << 2 | part) -> picture of the cell; a node map, so pictures stay put
  std::unordered_map<uint64_t, QImage> tiles_;
  std::unordered_map<uint64_t, Mask> masks_;  // the same keys
};
