// The text player: a character movie opened into the reader, shown frame by
// frame in the frame label, played on a timer alone or in step with the video.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "playback/FrameLabel.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"
#include "shell/Launcher.h"

#include <QAction>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr int kLabelMargin = 20;  // pixels beyond the frame's cells
}  // namespace

int TForm1::TextFontHeight() const { return Lb_TextShow->font().pixelSize(); }

void TForm1::OpenTextMovie(const std::string& FileName) {
  // Opening stops a running or paused playback first, so the timer never
  // runs on into the new movie from the old counter.
  if (TextBarState.Started()) TBIStopTextClick();
  bool tooLarge = false;
  if (!TextPic->LoadFromFile(FileName, nullptr, &tooLarge)) {
    const QString name = QString::fromLocal8Bit(FileName.c_str());
    dialogs().Message(this, tooLarge ? tr("电影文件太大,无法读入内存: %1").arg(name)
                                     : tr("无法读取字符电影文件: ") + name);
    return;
  }
  TextFileName = FileName;
  ShownMovieFile = FileName;
  SBTextShow->setValue(0);
  SBTextShow->setMaximum(TextPic->FrameTotal() - 1);
  SBTextShowChange();
  // Save moves a freshly converted movie; another movie is not it.
  TextBarState.saveOffered = false;

  if (TextPic->FrameTotal() < TTextPic::kPlayableFrames) {
    TextBarState.state = TextBar::State::NotStandard;
    ApplyTextBar();
    dialogs().Message(this, tr(TTextPic::kNotStandardMovie));
    LabelFillsPanel = true;
    Lb_TextShow->setFillParent(true);
    return;
  }
  TextBarState.state = TextBar::State::Ready;
  ApplyTextBar();
  LabelFillsPanel = false;
  Lb_TextShow->setFillParent(false);
  FitTextLabel(TextFontHeight());
}

void TForm1::FitTextLabel(int widthFactor) {
  // Lines are s pixels apart, so the height is exactly the cells' height.
  Lb_TextShow->setGeometry(0, 0, widthFactor * TextPic->FrameWidth() + kLabelMargin,
                           TextFontHeight() * TextPic->LinesPerFrame() + kLabelMargin);
}

void TForm1::ApplyTextBar() {
  const TextBar::Items on = TextBarState.Enabled(!VideoFileName.empty(), fileio::FileExists(TextFileName));
  TBIPlayText->setEnabled(on.play);
  TBIPlayText2->setEnabled(on.play2);
  TBIPauseText->setEnabled(on.pause);
  TBIStopText->setEnabled(on.stop);
  TBIRwText->setEnabled(on.rw);
  TBINotepad->setEnabled(on.notepad);
  TBISaveText->setEnabled(TextBarState.saveOffered);
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
    if (TextFrameIndex < 0 && VideoBarState.running) TBIStopClick();
    TBIPlayClick();
  }
  TimerPlayText->setInterval(TextPic->FrameInterval());
  // An interval of 0 would tick without pause; such a movie does not advance.
  if (TextPic->FrameInterval() > 0) TimerPlayText->start();
  TextBarState.state = TextBar::State::Playing;
  ApplyTextBar();
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
  TextBarState.state = TextBar::State::Paused;
  ApplyTextBar();
}

void TForm1::TBIStopTextClick() {
  TextFrameIndex = -1;
  if (TextSyncMode) TBIStopClick();
  TimerPlayText->stop();
  TextBarState.state = TextBar::State::Stopped;
  ApplyTextBar();
  TextSyncMode = false;
}

void TForm1::TBIRwTextClick() {
  TimerPlayText->stop();
  SBTextShow->setValue(0);
  SBTextShowChange();
  TextFrameIndex = -1;
  TextBarState.state = TextBar::State::Rewound;
  ApplyTextBar();
}

void TForm1::TBIFontSizeClick() {
  int s = TextFontHeight() - 1;
  if (s < movie_export::kSmallestFontSize) s = movie_export::kLargestFontSize;  // steps down, then wraps
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
    ApplyTextBar();  // the file has gone: Notepad goes off
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
  TextBarState.saveOffered = false;
  ApplyTextBar();
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
