#include "playback/FrameLabel.h"

#include "common/Gbk.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Cell pictures kept per font and colours. A movie needs a few hundred (its
// gray units and their neighbours); a text of many distinct characters would
// otherwise grow without end, so the store starts afresh past this count.
constexpr int kMaxTiles = 1 << 16;

// Distinct cells kept per font and colours (ids must fit 21 bits of a tile key).
constexpr size_t kMaxCells = size_t(1) << 20;

// The picture format of cells and of the exposed part: what the raster engine
// draws text into, and copied unchanged by drawImage.
constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

// Characters the grid may place by their advance alone: no marks, controls,
// format characters or surrogates, nothing that joins or runs right to left.
bool PlainCharacter(QChar ch) {
  switch (ch.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
      return false;
    default:
      break;
  }
  if (ch.joiningType() != QChar::Joining_None && ch.joiningType() != QChar::Joining_Transparent) return false;
  switch (ch.direction()) {
    case QChar::DirL:
    case QChar::DirEN:
    case QChar::DirES:
    case QChar::DirET:
    case QChar::DirCS:
    case QChar::DirWS:
    case QChar::DirON:
      return true;
    default:
      return false;
  }
}

uint64_t TileKey(int32_t prev, int32_t cell, int32_t next) {
  // Ids are below kMaxCells; +1 makes the empty neighbour 0.
  return (uint64_t(uint32_t(prev + 1)) << 42) | (uint64_t(uint32_t(cell + 1)) << 21) | uint64_t(uint32_t(next + 1));
}

}  // namespace

TFrameLabel::TFrameLabel(QWidget* parent) : QWidget(parent) {
  // Every exposed pixel is painted, background included.
  setAttribute(Qt::WA_OpaquePaintEvent);
  Relayout();
}

TFrameLabel::~TFrameLabel() = default;

void TFrameLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  Relayout();
  update();
}

void TFrameLabel::setFrame(std::string_view gbkBytes) { setText(gbk::Decode(gbkBytes)); }

void TFrameLabel::setColors(const QColor& textColor, const QColor& background) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, textColor);
  pal.setColor(QPalette::Window, background);
  setPalette(pal);  // a palette change resets the cells and repaints
}

QColor TFrameLabel::textColor() const { return palette().color(QPalette::WindowText); }

QColor TFrameLabel::backgroundColor() const { return palette().color(QPalette::Window); }

void TFrameLabel::setLineSpacing(int pixels) {
  pixels = std::max(0, pixels);
  if (pixels == lineSpacingSetting_) return;
  lineSpacingSetting_ = pixels;
  ResetCells();
  Relayout();
  update();
}

int TFrameLabel::lineSpacing() const {
  if (lineSpacingSetting_ > 0) return lineSpacingSetting_;
  // At the smallest sizes the font's spacing is shorter than its ascent and
  // descent plus the pixel that antialiasing adds below; lines would overlap
  // and could not be drawn from cells.
  const QFontMetrics fm(font());
  return std::max({1, fm.lineSpacing(), fm.ascent() + fm.descent() + 1});
}

int TFrameLabel::baseline() const { return QFontMetrics(font()).ascent(); }

void TFrameLabel::setFillParent(bool fill) {
  if (fill == fillParent_) return;
  fillParent_ = fill;
  if (QWidget* parent = parentWidget()) {
    if (fill) {
      parent->installEventFilter(this);
      FollowParent();
    } else {
      parent->removeEventFilter(this);
    }
  }
}

void TFrameLabel::FollowParent() {
  if (QWidget* parent = parentWidget()) setGeometry(parent->rect());
}

bool TFrameLabel::drawsFromCells() const { return grid_; }

bool TFrameLabel::eventFilter(QObject* watched, QEvent* event) {
  if (fillParent_ && watched == parentWidget() && event->type() == QEvent::Resize) FollowParent();
  return QWidget::eventFilter(watched, event);
}

void TFrameLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    ResetCells();
    Relayout();
    update();
  } else if (event->type() == QEvent::ParentAboutToChange && fillParent_ && parentWidget()) {
    parentWidget()->removeEventFilter(this);
  } else if (event->type() == QEvent::ParentChange && fillParent_ && parentWidget()) {
    parentWidget()->installEventFilter(this);
    FollowParent();
  }
  QWidget::changeEvent(event);
}

int TFrameLabel::CellWidth() const {
  const qreal column = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
  const qreal cell = 2 * column;
  if (!(cell >= 1) || cell != std::floor(cell)) return 0;  // cells must start on whole pixels
  return static_cast<int>(cell);
}

void TFrameLabel::ResetCells() {
  widths_.assign(0x10000, Width::Unknown);
  cells_.clear();
  cellIds_.clear();
  tiles_.clear();
}

TFrameLabel::Width TFrameLabel::WidthOf(char16_t ch) {
  if (widths_.empty()) widths_.assign(0x10000, Width::Unknown);
  Width& w = widths_[ch];
  if (w == Width::Unknown) {
    w = Width::Other;
    const QChar qc(ch);
    if (PlainCharacter(qc)) {
      const QFontMetricsF fm(font());
      const qreal column = fm.horizontalAdvance(QLatin1Char('0'));
      const qreal advance = fm.horizontalAdvance(qc);
      if (advance == column) {
        w = Width::Single;
      } else if (advance == 2 * column) {
        w = Width::Double;
      }
    }
  }
  return w;
}

int32_t TFrameLabel::CellIdFor(char16_t first, char16_t second) {
  const uint32_t key = (uint32_t(first) << 16) | second;
  auto it = cellIds_.constFind(key);
  if (it != cellIds_.constEnd()) return *it;
  const int32_t id = static_cast<int32_t>(cells_.size());
  Cell cell;
  const QChar units[2] = {QChar(first), QChar(second)};
  cell.text = QString(units, second ? 2 : 1);
  ProbeCell(cell);
  cells_.push_back(std::move(cell));
  cellIds_.insert(key, id);
  return id;
}

// Draws the cell alone in the middle of a 5-cell by 3-line field and looks
// where its ink lands: it must stay in its own line and within one cell to
// either side, so that a cell's picture depends only on its two neighbours.
void TFrameLabel::ProbeCell(Cell& cell) {
  const int cw = CellWidth();
  const int ls = lineSpacing();
  const QColor bg = backgroundColor();
  QImage field(5 * cw, 3 * ls, kFormat);
  field.fill(bg);
  {
    QPainter p(&field);
    p.setFont(font());
    p.setPen(textColor());
    p.drawText(QPointF(2 * cw, ls + baseline()), cell.text);
  }
  const QRgb plain = field.pixel(0, 0);
  int left = field.width(), right = -1, top = field.height(), bottom = -1;
  for (int y = 0; y < field.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(field.constScanLine(y));
    for (int x = 0; x < field.width(); ++x) {
      if (row[x] == plain) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) {  // no ink at all
    cell.fits = true;
    return;
  }
  cell.fits = left >= cw && right < 4 * cw && top >= ls && bottom < 2 * ls;
  cell.reachesLeft = left < 2 * cw;
  cell.reachesRight = right >= 3 * cw;
}

void TFrameLabel::Relayout() {
  // Cell ids must stay within a tile key's fields; a long run of texts of
  // many different characters starts the cells afresh.
  if (cells_.size() >= kMaxCells) ResetCells();
  lineStart_.clear();
  lineEnd_.clear();
  lineCells_.clear();
  cellStart_.clear();

  const char16_t* s = reinterpret_cast<const char16_t*>(text_.constData());
  const int n = static_cast<int>(text_.size());
  int start = 0;
  for (int i = 0; i < n; ++i) {
    if (s[i] != u'\r' && s[i] != u'\n') continue;
    lineStart_.push_back(start);
    lineEnd_.push_back(i);
    if (s[i] == u'\r' && i + 1 < n && s[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) {  // a last line without a break
    lineStart_.push_back(start);
    lineEnd_.push_back(n);
  }

  grid_ = CellWidth() > 0;
  if (!grid_) return;
  if (widths_.empty()) widths_.assign(0x10000, Width::Unknown);
  lineCells_.reserve(static_cast<size_t>(n / 2 + 1));
  cellStart_.reserve(lineStart_.size() + 1);
  // A small memory of the last cells seen: neighbouring cells of a picture
  // are mostly alike, and this spares most hash look-ups.
  uint32_t recentKey[64];
  int32_t recentId[64];
  std::fill(std::begin(recentKey), std::end(recentKey), 0u);
  for (size_t line = 0; line < lineStart_.size() && grid_; ++line) {
    cellStart_.push_back(static_cast<int>(lineCells_.size()));
    const int end = lineEnd_[line];
    for (int i = lineStart_[line]; i < end;) {
      const char16_t first = s[i];
      char16_t second = 0;
      const Width w = WidthOf(first);
      if (w == Width::Double) {
        i += 1;
      } else if (w == Width::Single && i + 1 < end && WidthOf(s[i + 1]) == Width::Single) {
        second = s[i + 1];
        i += 2;
      } else if (w == Width::Single && i + 1 == end) {
        i += 1;  // a single column ending the line
      } else {
        grid_ = false;  // off the grid: another width, or a single column before a double one
        break;
      }
      const uint32_t key = (uint32_t(first) << 16) | second;
      const uint32_t slot = (key ^ (key >> 13)) & 63;
      int32_t id;
      if (recentKey[slot] == key) {
        id = recentId[slot];
      } else {
        id = CellIdFor(first, second);
        recentKey[slot] = key;
        recentId[slot] = id;
      }
      if (!cells_[static_cast<size_t>(id)].fits) {
        grid_ = false;
        break;
      }
      lineCells_.push_back(id);
    }
  }
  if (grid_) {
    cellStart_.push_back(static_cast<int>(lineCells_.size()));
  } else {
    lineCells_.clear();
    cellStart_.clear();
  }
}

// The picture of `cell`'s box (cell may be kNoCell: the empty box after a
// line's last cell), with the ink that its neighbours put into it; prev and
// next are kNoCell unless their ink reaches into the box. Drawn with the
// neighbours in one drawText, as the line itself would be.
const QImage& TFrameLabel::Tile(int32_t prev, int32_t cell, int32_t next) {
  const uint64_t key = TileKey(prev, cell, next);
  auto it = tiles_.find(key);
  if (it != tiles_.end()) return it->second;

  const int cw = CellWidth();
  const int ls = lineSpacing();
  QImage strip(3 * cw, ls, kFormat);
  strip.fill(backgroundColor());
  QString run;
  int x = cw;
  if (prev != kNoCell) {
    run = cells_[static_cast<size_t>(prev)].text;
    x = 0;
  }
  if (cell != kNoCell) run += cells_[static_cast<size_t>(cell)].text;
  if (next != kNoCell) run += cells_[static_cast<size_t>(next)].text;
  if (!run.isEmpty()) {
    QPainter p(&strip);
    p.setFont(font());
    p.setPen(textColor());
    p.drawText(QPointF(x, baseline()), run);
  }
  return tiles_.emplace(key, strip.copy(cw, 0, cw, ls)).first->second;
}

void TFrameLabel::paintEvent(QPaintEvent* event) {
  const QRect area = event->rect() & rect();
  if (area.isEmpty()) return;
  QPainter painter(this);
  // Cell pictures are made at one device pixel per pixel; a scaled screen
  // gets drawText, which stays sharp there.
  if (!grid_ || painter.device()->devicePixelRatioF() != 1.0) {
    PaintLines(painter, area);
    return;
  }
  if (tiles_.size() >= kMaxTiles) tiles_.clear();  // never while composing: it keeps pointers into the store
  QPoint offset;
  if (QImage* target = DirectTarget(painter, &offset)) {
    // Written straight into the picture being painted, part by part of the
    // exposed region (which is exactly what this paint may touch).
    const QRect bounds = target->rect().translated(-offset);
    for (const QRect& part : event->region()) {
      const QRect r = part & rect() & bounds;
      if (r.isEmpty()) continue;
      uchar* origin = target->bits() + static_cast<qsizetype>(r.top() + offset.y()) * target->bytesPerLine() +
                      static_cast<qsizetype>(r.left() + offset.x()) * 4;
      Compose(r, origin, target->bytesPerLine());
    }
    return;
  }
  // Otherwise built in a scratch image and drawn in one call.
  if (scratch_.width() < area.width() || scratch_.height() < area.height()) {
    scratch_ = QImage(std::max(area.width(), scratch_.width()), std::max(area.height(), scratch_.height()), kFormat);
  }
  Compose(area, scratch_.bits(), scratch_.bytesPerLine());
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(area.topLeft(), scratch_, QRect(QPoint(0, 0), area.size()));
}

// The raster image under the painter, when cell pictures can be copied into
// it unchanged: 32-bit pixels, no scaling, a whole-pixel offset, an opaque
// background. *offset maps the widget's coordinates to the image's.
QImage* TFrameLabel::DirectTarget(QPainter& painter, QPoint* offset) const {
  QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster) return nullptr;
  QPaintDevice* device = engine->paintDevice();
  if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  switch (image->format()) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      break;
    default:
      return nullptr;
  }
  if (image->devicePixelRatio() != 1.0 || !image->isDetached() || backgroundColor().alpha() != 255) return nullptr;
  const QTransform t = painter.deviceTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())) {
    return nullptr;
  }
  *offset = QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
  return image;
}

// Writes the pixels of `area` (widget coordinates) into 32-bit rows starting
// at `origin`. Lines are bands of lineSpacing() pixels, cells columns of
// CellWidth() pixels; a band gets the background to the right of its last
// cell picture.
void TFrameLabel::Compose(const QRect& area, uchar* origin, qsizetype stride) {
  const int cw = CellWidth();
  const int ls = lineSpacing();
  const QRgb bg = qPremultiply(backgroundColor().rgba());
  const size_t tileStride = static_cast<size_t>(cw) * sizeof(QRgb);
  const int right = area.right() + 1, bottom = area.bottom() + 1;

  // The last tiles used, by key: neighbouring cells of a picture are mostly alike.
  constexpr int kRecent = 256;
  uint64_t recentKey[kRecent];
  const uchar* recentBits[kRecent];
  std::fill(std::begin(recentKey), std::end(recentKey), ~uint64_t(0));

  const int lines = static_cast<int>(cellStart_.size()) - 1;
  for (int line = area.top() / ls; line * ls < bottom; ++line) {
    const int top = std::max(area.top(), line * ls);
    const int rows = std::min(bottom, (line + 1) * ls) - top;
    uchar* band = origin + static_cast<qsizetype>(top - area.top()) * stride;
    int covered = area.left();  // cell pictures reach this far right
    if (line < lines) {
      const int32_t* cells = lineCells_.data() + cellStart_[static_cast<size_t>(line)];
      const int count = cellStart_[static_cast<size_t>(line) + 1] - cellStart_[static_cast<size_t>(line)];
      for (int col = area.left() / cw; col <= count && col * cw < right; ++col) {
        int32_t prev = col > 0 ? cells[col - 1] : kNoCell;
        const int32_t cell = col < count ? cells[col] : kNoCell;
        int32_t next = col + 1 < count ? cells[col + 1] : kNoCell;
        if (prev != kNoCell && !cells_[static_cast<size_t>(prev)].reachesRight) prev = kNoCell;
        if (next != kNoCell && !cells_[static_cast<size_t>(next)].reachesLeft) next = kNoCell;
        if (cell == kNoCell && prev == kNoCell) break;  // nothing after the line's last cell
        const uint64_t key = TileKey(prev, cell, next);
        const uint32_t slot = static_cast<uint32_t>(key ^ (key >> 21) ^ (key >> 42)) % kRecent;
        if (recentKey[slot] != key) {
          recentKey[slot] = key;
          recentBits[slot] = Tile(prev, cell, next).constBits();
        }
        const int left = std::max(area.left(), col * cw);
        const int end = std::min(right, (col + 1) * cw);
        const uchar* src = recentBits[slot] + static_cast<size_t>(top - line * ls) * tileStride +
                           static_cast<size_t>(left - col * cw) * sizeof(QRgb);
        uchar* dst = band + static_cast<qsizetype>(left - area.left()) * 4;
        const size_t bytes = static_cast<size_t>(end - left) * sizeof(QRgb);
        for (int y = 0; y < rows; ++y) std::memcpy(dst + y * stride, src + y * tileStride, bytes);
        covered = end;
      }
    }
    for (int y = 0; y < rows; ++y) {
      auto* row = reinterpret_cast<QRgb*>(band + y * stride);
      std::fill(row + (covered - area.left()), row + (right - area.left()), bg);
    }
  }
}

// Any text: the background, then drawText for each line that can reach the
// exposed part (one line of margin for ink above or below its own line).
void TFrameLabel::PaintLines(QPainter& painter, const QRect& area) {
  painter.fillRect(area, backgroundColor());
  painter.setClipRect(area);
  painter.setFont(font());
  painter.setPen(textColor());
  // Lines run in the widget's direction (left to right unless set otherwise),
  // whatever the painter was handed: a line starting with right-to-left text
  // still starts at the left edge.
  painter.setLayoutDirection(layoutDirection());
  const int ls = lineSpacing();
  const int lines = static_cast<int>(lineStart_.size());
  const int first = std::max(0, area.top() / ls - 1);
  const int last = std::min(lines - 1, area.bottom() / ls + 1);
  const int base = baseline();
  for (int line = first; line <= last; ++line) {
    const int start = lineStart_[static_cast<size_t>(line)];
    const int length = lineEnd_[static_cast<size_t>(line)] - start;
    if (length == 0) continue;
    painter.drawText(QPointF(0, line * ls + base), text_.mid(start, length));
  }
}
