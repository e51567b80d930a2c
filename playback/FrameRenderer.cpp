#include "playback/FrameRenderer.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The picture format of cells and of composed pictures: what the raster
// engine draws text into, copied unchanged by drawImage.
constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

// Cell pictures kept; a text of very many distinct characters starts afresh.
constexpr size_t kMaxTiles = size_t(1) << 14;

// The face is drawn with vertical hinting and gray antialiasing whatever the
// desktop's font settings say, so a cell looks the same in the window, in an
// export and in the ink measurements the fine picture relies on.
constexpr QFont::HintingPreference kHinting = QFont::PreferVerticalHinting;
constexpr auto kStrategy = QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias);

// An ideograph's share of the em above the baseline in the usual CJK face,
// for a face that reports no metrics at all.
constexpr double kUsualAscentShare = 0.88;

// The part of the cell above the baseline: the face's ascent over its ascent
// and descent. The OpenType typographic ascender and descender (the OS/2
// table) frame an ideograph's em box exactly; a face without them gives its
// ascent and descent as the font engine reports them.
double AscentShare(const QFont& font) {
  const QByteArray os2 = QRawFont::fromFont(font).fontTable("OS/2");
  constexpr int kTypoAscender = 68, kTypoDescender = 70;
  if (os2.size() >= kTypoDescender + 2) {
    const auto at = [&](int i) {
      return static_cast<int16_t>(static_cast<uint8_t>(os2[i]) << 8 | static_cast<uint8_t>(os2[i + 1]));
    };
    const int ascender = at(kTypoAscender), descender = at(kTypoDescender);
    if (ascender > 0 && descender <= 0) return double(ascender) / (ascender - descender);
  }
  const QFontMetricsF metrics(font);
  const double height = metrics.ascent() + metrics.descent();
  return height > 0 ? metrics.ascent() / height : kUsualAscentShare;
}

}  // namespace

QStringList MovieFontFamilies() {
  return {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
          QStringLiteral("WenQuanYi Zen Hei Mono")};
}

QFont MovieFont(int pixels) {
  QFont font;
  font.setFamilies(MovieFontFamilies());
  font.setPixelSize(std::max(1, pixels));
  font.setHintingPreference(kHinting);
  font.setStyleStrategy(kStrategy);
  return font;
}

FrameRenderer::FrameRenderer(const QFont& font, const QColor& text, const QColor& background, Face face)
    : font_(font), text_(text), background_(background) {
  cell_ = std::max(1, font.pixelSize());
  if (font.pixelSize() <= 0) font_.setPixelSize(cell_);
  // The movie's face at pixel size s, whatever family the caller's font
  // names: its em is the cell, and its ascent and descent share the cell's
  // height.
  glyphFont_ = MovieFont(cell_);
  if (face == Face::Given) glyphFont_.setFamilies(font.families().isEmpty() ? QStringList{font.family()} : font.families());
  baseline_ = static_cast<int>(std::lround(cell_ * AscentShare(glyphFont_)));
}

std::vector<FrameRenderer::Line> FrameRenderer::SplitLines(QStringView text) {
  std::vector<Line> lines;
  const int n = static_cast<int>(text.size());
  int start = 0;
  for (int i = 0; i < n; ++i) {
    const char16_t c = text[i].unicode();
    if (c != u'\r' && c != u'\n') continue;
    lines.push_back({start, i});
    if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) lines.push_back({start, n});
  return lines;
}

int FrameRenderer::PartWidth(Part part) const {
  switch (part) {
    case FirstHalf:
      return cell_ / 2;
    case SecondHalf:
      return cell_ - cell_ / 2;
    case Whole:
      break;
  }
  return cell_;
}

namespace {

// Walks one line cell by cell: each call gives the next character, the part
// of a cell it takes and its width. Single-byte characters alternate between
// first and second halves; a double-byte one starts the pairing afresh.
template <typename Visit>
void ForEachCell(QStringView line, int cell, Visit&& visit) {
  bool second = false;
  const int n = static_cast<int>(line.size());
  for (int i = 0; i < n; ++i) {
    char32_t ch = line[i].unicode();
    if (QChar::isHighSurrogate(ch) && i + 1 < n && line[i + 1].isLowSurrogate()) {
      ch = QChar::surrogateToUcs4(line[i].unicode(), line[i + 1].unicode());
      ++i;
    }
    if (ch < 0x10000 && FrameRenderer::SingleByte(static_cast<char16_t>(ch))) {
      const int width = second ? cell - cell / 2 : cell / 2;
      if (!visit(ch, second ? 2 : 1, width)) return;
      second = !second;
    } else {
      if (!visit(ch, 0, cell)) return;
      second = false;
    }
  }
}

// One line of cells as far as it lies inside the area being composed: rows
// `top` to `top + rows` of the picture, whose first row starts at `origin`.
struct Band {
  int line;
  int top;
  int rows;
  uchar* origin;
};

// Walks the cells of `lines` (cells of `s` pixels) that fall inside `area`,
// band by band: `draw(band, ch, part, cellLeft, width, left, end)` fills the
// cell's columns `left` to `end` (picture columns; the cell starts at
// `cellLeft` and is `width` wide) in each of the band's rows; the rest of the
// band to the area's right edge is then set to `fill`.
template <typename Draw>
void ForEachBand(QStringView text, const std::vector<FrameRenderer::Line>& lines, const QRect& area, uchar* origin,
                 qsizetype stride, int s, QRgb fill, Draw&& draw) {
  const int right = area.right() + 1, bottom = area.bottom() + 1;
  for (int line = std::max(0, area.top() / s); line * s < bottom; ++line) {
    const int top = std::max(area.top(), line * s);
    const Band band{line, top, std::min(bottom, (line + 1) * s) - top,
                    origin + static_cast<qsizetype>(top - area.top()) * stride};
    int covered = area.left();  // cells are drawn this far right
    if (line < static_cast<int>(lines.size())) {
      const FrameRenderer::Line& l = lines[static_cast<size_t>(line)];
      int x = 0;
      ForEachCell(text.mid(l.start, l.end - l.start), s, [&](char32_t ch, int part, int width) {
        const int cellLeft = x;
        x += width;
        if (x <= area.left() || width == 0) return true;
        if (cellLeft >= right) return false;
        const int left = std::max(area.left(), cellLeft);
        const int end = std::min(right, x);
        draw(band, ch, part, cellLeft, width, left, end);
        covered = end;
        return true;
      });
    }
    for (int y = 0; y < band.rows; ++y) {
      auto* row = reinterpret_cast<QRgb*>(band.origin + y * stride);
      std::fill(row + (covered - area.left()), row + (right - area.left()), fill);
    }
  }
}

}  // namespace

int FrameRenderer::LineWidth(QStringView line) const {
  int width = 0;
  ForEachCell(line, cell_, [&](char32_t, int, int w) {
    width += w;
    return true;
  });
  return width;
}

QSize FrameRenderer::TextSize(QStringView text, const std::vector<Line>& lines) const {
  int width = 0;
  for (const Line& l : lines) width = std::max(width, LineWidth(text.mid(l.start, l.end - l.start)));
  return QSize(width, static_cast<int>(lines.size()) * cell_);
}

QImage FrameRenderer::DrawTile(char32_t ch, Part part, const QColor& pen, const QColor& ground) const {
  const int width = PartWidth(part);
  QImage tile(std::max(1, width), cell_, kFormat);
  tile.fill(ground);
  const QString glyph = QString::fromUcs4(&ch, 1);
  if (width > 0 && (ch > u' ' || ch >= 0x80)) {
    QPainter p(&tile);
    p.setClipRect(tile.rect());
    p.setFont(glyphFont_);
    p.setPen(pen);
    const qreal advance = QFontMetricsF(glyphFont_).horizontalAdvance(glyph);
    p.drawText(QPointF((width - advance) / 2, baseline_), glyph);
  }
  return tile;
}

const QImage& FrameRenderer::Tile(char32_t ch, Part part) {
  const uint64_t key = (uint64_t(ch) << 2) | part;
  auto it = tiles_.find(key);
  if (it != tiles_.end()) return it->second;
  return tiles_.emplace(key, DrawTile(ch, part, text_, background_)).first->second;
}

const FrameRenderer::Mask& FrameRenderer::GlyphMask(char32_t ch, Part part) {
  const uint64_t key = (uint64_t(ch) << 2) | part;
  auto it = masks_.find(key);
  if (it != masks_.end()) return it->second;
  // Black on white, as the gray export draws it: the coverage is what the
  // glyph takes away from the white.
  const QImage tile = DrawTile(ch, part, Qt::black, Qt::white);
  Mask mask;
  mask.coverage.reserve(static_cast<size_t>(tile.width()) * static_cast<size_t>(tile.height()));
  int64_t total = 0;
  for (int y = 0; y < tile.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
    for (int x = 0; x < tile.width(); ++x) {
      mask.coverage.push_back(static_cast<uint8_t>(255 - qRed(row[x])));
      total += mask.coverage.back();
    }
  }
  mask.share = double(total) / (255.0 * static_cast<double>(mask.coverage.size()));
  return masks_.emplace(key, std::move(mask)).first->second;
}

void FrameRenderer::Compose(QStringView text, const std::vector<Line>& lines, const QRect& area, uchar* origin,
                            qsizetype stride) {
  if (area.isEmpty()) return;
  // Never while composing: pointers into the store are held below.
  if (tiles_.size() >= kMaxTiles) tiles_.clear();
  const int s = cell_;
  ForEachBand(text, lines, area, origin, stride, s, qPremultiply(background_.rgba()),
              [&](const Band& band, char32_t ch, int part, int cellLeft, int, int left, int end) {
                const QImage& tile = Tile(ch, static_cast<Part>(part));
                const uchar* src = tile.constBits() +
                                   static_cast<qsizetype>(band.top - band.line * s) * tile.bytesPerLine() +
                                   static_cast<qsizetype>(left - cellLeft) * 4;
                uchar* dst = band.origin + static_cast<qsizetype>(left - area.left()) * 4;
                const size_t bytes = static_cast<size_t>(end - left) * 4;
                for (int y = 0; y < band.rows; ++y) {
                  std::memcpy(dst + y * stride, src + y * tile.bytesPerLine(), bytes);
                }
              });
}

namespace {

// `ground` covered by `ink` to the extent `coverage` (0..255), per channel:
// (ground x (255 - coverage) + ink x coverage) / 255, rounded half up; with
// black ink on white it gives exactly the tile the face draws. R, G and B
// are worked in three 16-bit lanes of one word, the division by 255 exact
// as (t + t / 256) / 256 with t = x + 128 for every x up to 255 x 255.
inline QRgb Blend(QRgb ground, QRgb ink, uint32_t coverage) {
  constexpr uint64_t kLanes = 0x00ff00ff00ffULL;
  const auto spread = [](QRgb c) {
    return (uint64_t(c & 0xff0000u) << 16) | (uint64_t(c & 0xff00u) << 8) | uint64_t(c & 0xffu);
  };
  const uint64_t t = spread(ground) * (255 - coverage) + spread(ink) * coverage + 0x008000800080ULL;
  const uint64_t v = ((t + ((t >> 8) & kLanes)) >> 8) & kLanes;
  return 0xff000000u | (uint32_t(v >> 16) & 0xff0000u) | (uint32_t(v >> 8) & 0xff00u) | (uint32_t(v) & 0xffu);
}

}  // namespace

void FrameRenderer::ComposeInColour(QStringView text, const std::vector<Line>& lines, const QRect& area,
                                    uchar* origin, qsizetype stride, const QRgb* colours, int columns, int rows,
                                    PaintRule rule, QRgb padding) {
  if (area.isEmpty()) return;
  // Never while composing: pointers into the store are held below.
  if (masks_.size() >= kMaxTiles) masks_.clear();
  const QRgb pad = 0xff000000u | padding;
  const int s = cell_;
  ForEachBand(text, lines, area, origin, stride, s, pad,
              [&](const Band& band, char32_t ch, int part, int cellLeft, int width, int left, int end) {
                const Mask& mask = GlyphMask(ch, static_cast<Part>(part));
                const int column = (cellLeft + width / 2) / s;
                const CellPaint paint =
                    column < columns && band.line < rows
                        ? rule(colours[static_cast<size_t>(band.line) * static_cast<size_t>(columns) +
                                       static_cast<size_t>(column)],
                               mask.share)
                        : CellPaint{pad, pad};
                const QRgb ground = 0xff000000u | paint.background, ink = 0xff000000u | paint.glyph;
                for (int y = 0; y < band.rows; ++y) {
                  const uint8_t* m = mask.coverage.data() +
                                     static_cast<size_t>(band.top - band.line * s + y) * static_cast<size_t>(width) +
                                     static_cast<size_t>(left - cellLeft);
                  auto* dst = reinterpret_cast<QRgb*>(band.origin + y * stride) + (left - area.left());
                  for (int i = 0; i < end - left; ++i) dst[i] = Blend(ground, ink, m[i]);
                }
              });
}

QImage FrameRenderer::Render(QStringView text, const QSize& size) {
  QImage image(size, kFormat);
  if (image.isNull()) return image;
  Compose(text, SplitLines(text), image.rect(), image.bits(), image.bytesPerLine());
  return image;
}
