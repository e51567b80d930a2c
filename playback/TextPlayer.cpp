// The text player: a character movie opened into the reader, shown frame by
// frame in the frame label, played on a timer alone or in step with the video.
#include "app/Dialogs.h"
#include "app/Launcher.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "playback/FrameLabel.h"
#include "playback/TextPic.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

namespace {
// A movie plays when it has at least this many frames.
constexpr int32_t kStandardFrames = 3;
// The label's character height steps down to this, then wraps to the largest.
constexpr int kSmallestFont = 4, kLargestFont = 12;
constexpr int kLabelMargin = 20;  // pixels beyond the frame's cells
}  // namespace

int TForm1::TextFontHeight() const { return Lb_TextShow->font().pixelSize(); }

void TForm1::OpenTextMovie(const std::string& FileName) {
  // Opening stops a running or paused playback first, so the timer never
  // runs on into the new movie from the old counter.
  if (TBIStopText->isEnabled()) TBIStopTextClick();
  if (!TextPic->LoadFromFile(FileName)) {
    dialogs().Message(this, tr("无法读取字符电影文件: ") + QString::fromLocal8Bit(FileName.c_str()));
    return;
  }
  TextFileName = FileName;
  SBTextShow->setValue(0);
  SBTextShow->setMaximum(TextPic->FrameTotal() - 1);
  SBTextShowChange();
  TBIStopText->setEnabled(false);
  TBIPauseText->setEnabled(false);
  TBIRwText->setEnabled(false);
  TBINotepad->setEnabled(fileio::FileExists(TextFileName));
  // Save moves a freshly converted movie; another movie is not it.
  TBISaveText->setEnabled(false);

  if (SBTextShow->maximum() < kStandardFrames - 1) {
    dialogs().Message(this, tr("注意:打开的不是标准的字符电影文件"));
    TBIPlayText->setEnabled(false);
    TBIPlayText2->setEnabled(false);
    LabelFillsPanel = true;
    Lb_TextShow->setLineSpacing(0);
    Lb_TextShow->setFillParent(true);
    return;
  }
  TBIPlayText->setEnabled(true);
  TBIPlayText2->setEnabled(!VideoFileName.empty());
  LabelFillsPanel = false;
  Lb_TextShow->setFillParent(false);
  FitTextLabel(TextFontHeight());
}

void TForm1::FitTextLabel(int widthFactor) {
  const int s = TextFontHeight();
  const int widest = QFontMetrics(Lb_TextShow->font()).lineSpacing() + 2;
  int spacing = s;
  for (; spacing < widest; ++spacing) {
    Lb_TextShow->setLineSpacing(spacing);
    if (Lb_TextShow->drawsFromCells()) break;
  }
  Lb_TextShow->setLineSpacing(spacing);
  Lb_TextShow->setGeometry(0, 0, widthFactor * TextPic->FrameWidth() + kLabelMargin,
                           spacing * TextPic->LinesPerFrame() + kLabelMargin);
}

void TForm1::TBIOpenTextClick() {
  if (const std::optional<QString> file = dialogs().OpenFile(this, tr("Txt file|*.txt"))) {
    OpenTextMovie(file->toLocal8Bit().toStdString());
  }
  StBarPanels[3]->setText(tr("请点击\"播放\"或\"同步播放\"按钮播放字符电影"));
}

void TForm1::SBTextShowChange() {
  Lb_TextShow->setFrame(TextPic->FrameView(SBTextShow->value()));
}

void TForm1::TBIPlayTextClick(int tag) {
  TextSyncMode = tag > 0;
  if (TextSyncMode) {
    if (TextFrameIndex < 0 && TBIStop->isEnabled()) TBIStopClick();
    TBIPlayClick();
  }
  TimerPlayText->setInterval(TextPic->FrameInterval());
  // An interval of 0 would tick without pause; such a movie does not advance.
  if (TextPic->FrameInterval() > 0) TimerPlayText->start();
  TBIPlayText2->setEnabled(false);
  TBIPlayText->setEnabled(false);
  TBIStopText->setEnabled(true);
  TBIPauseText->setEnabled(true);
  TBIRwText->setEnabled(false);
  TBINotepad->setEnabled(false);
  Lb_TextShow->move(0, 0);
  StBarPanels[3]->setText(QString());
}

void TForm1::TimerPlayTextTimer() {
  ++TextFrameIndex;
  if (TextFrameIndex > SBTextShow->maximum()) {
    TBIStopTextClick();
  } else {
    SBTextShow->setValue(TextFrameIndex);
    SBTextShowChange();
  }
}

void TForm1::TBIPauseTextClick() {
  if (TextSyncMode) TBIPauseClick();
  TimerPlayText->stop();
  TBIPlayText2->setEnabled(!VideoFileName.empty());
  TBIPlayText->setEnabled(true);
  TBIStopText->setEnabled(true);
  TBIPauseText->setEnabled(false);
  TBIRwText->setEnabled(false);
}

void TForm1::TBIStopTextClick() {
  TextFrameIndex = -1;
  if (TextSyncMode) TBIStopClick();
  TimerPlayText->stop();
  TBIPlayText->setEnabled(true);
  TBIPlayText2->setEnabled(!VideoFileName.empty());
  TBIStopText->setEnabled(false);
  TBIPauseText->setEnabled(false);
  TBIRwText->setEnabled(true);
  TBINotepad->setEnabled(fileio::FileExists(TextFileName));
  TextSyncMode = false;
}

void TForm1::TBIRwTextClick() {
  TimerPlayText->stop();
  SBTextShow->setValue(0);
  SBTextShowChange();
  TextFrameIndex = -1;
  TBIPlayText->setEnabled(true);
  TBIPlayText2->setEnabled(!VideoFileName.empty());
  TBIStopText->setEnabled(false);
  TBIPauseText->setEnabled(false);
  TBIRwText->setEnabled(false);
  TBINotepad->setEnabled(fileio::FileExists(TextFileName));
}

void TForm1::TBIFontSizeClick() {
  int s = TextFontHeight() - 1;
  if (s < kSmallestFont) s = kLargestFont;
  QFont font = Lb_TextShow->font();
  font.setPixelSize(s);
  Lb_TextShow->setFont(font);
  if (LabelFillsPanel) return;
  FitTextLabel(s + 1);
}

void TForm1::TBIColorClick() {
  Lb_TextShow->setColors(Lb_TextShow->backgroundColor(), Lb_TextShow->textColor());
}

void TForm1::TBINotepadClick() {
  if (fileio::FileExists(TextFileName)) {
    launcher().URLink(TextFileName);
  } else {
    TBINotepad->setEnabled(false);
  }
}

void TForm1::TBISaveTextClick() {
  const std::optional<QString> chosen =
      dialogs().SaveFile(this, tr("Txt file|*.txt"), QString::fromLocal8Bit(TextFileName.c_str()));
  if (!chosen) return;
  std::string target = StripExtension(chosen->toLocal8Bit().toStdString()) + ".txt";
  // Saving onto the movie itself, however the path is written, moves nothing.
  if (fileio::SameFile(target, TextFileName)) return;
  if (!fileio::CopyFile(TextFileName, target, nullptr)) return;
  const std::string previous = TextFileName;
  OpenTextMovie(target);
  // Only a copy that opened replaces the original.
  if (TextFileName != target) return;
  fileio::RemoveFile(previous, nullptr);
  TextFileName = target;
  TBISaveText->setEnabled(false);
  TBINotepad->setEnabled(true);
}

void TForm1::Lb_TextShowDragOver(int X, int Y) {
  if (!LabelDragging) {
    DragStartX = X;
    DragStartY = Y;
    LabelDragging = true;
    return;
  }
  const int left = std::min(0, std::max(X + Lb_TextShow->x() - DragStartX, Pl_TextShow->width() - Lb_TextShow->width()));
  const int top = std::min(0, std::max(Y + Lb_TextShow->y() - DragStartY, Pl_TextShow->height() - Lb_TextShow->height()));
  Lb_TextShow->move(left, top);
}

void TForm1::Lb_TextShowEndDrag() { LabelDragging = false; }
