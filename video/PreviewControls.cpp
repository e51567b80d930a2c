// The video half of the main toolbar: open, play, pause and stop the movie,
// the time display and position bar, and the end of the movie.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTime>
#include <QTimer>

#include <cmath>

namespace {
constexpr int64_t kUnitsPerMs = 10000;  // 100-ns units in a millisecond
constexpr int64_t kMsPerDay = 86400000;
}  // namespace

QString TForm1::TimeText(int64_t ms) {
  // The user's long time format, less any time-zone name: a length is no time of day anywhere.
  QString format = QLocale::system().timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
  format.remove(QRegularExpression(QStringLiteral("[.,]?z+")));
  const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(((ms % kMsPerDay) + kMsPerDay) % kMsPerDay));
  return QLocale::system().toString(time, format.trimmed());
}

void TForm1::TBIOpenClick() {
  const std::optional<QString> file = dialogs().OpenFile(
      this, QStringLiteral("电影文件|*.WMV;*.RMVB;*.mpg;*.avi;*.mov;*.rm;*.dat;*.flv;*.mp4;*.mkv;*.webm;*.m4v;*.3gp|所有文件|*.*"));
  if (!file) return;
  FilterGraph->Deactivate();
  FilterGraph->Activate();
  const std::string path = file->toLocal8Bit().toStdString();
  VideoFileName = path.substr(path.rfind('/') + 1);
  VideoPath = path;
  std::string error;
  if (!FilterGraph->RenderFile(path, &error)) {
    dialogs().Message(this, QStringLiteral("打开视频出错，请先安装相应视频解码器."));
    FilterGraph->Deactivate();
    return;
  }
  TBIPlay->setEnabled(true);
  setWindowTitle(ProductName + QStringLiteral(" - ") + QString::fromLocal8Bit(VideoFileName.c_str()));
  int64_t stop = 0;
  FilterGraph->GetStopPosition(&stop);
  Pl_Time->setText(QStringLiteral("%1/%2").arg(TimeText(0), TimeText(stop / kUnitsPerMs)));
  TrackBar->setValue(0);
  StBarPanels[0]->setText(QStringLiteral("已装入电影文件"));
  StBarPanels[3]->setText(QStringLiteral("请点击录制按钮开始录制"));
  TBIPlay->setEnabled(true);
  TBIPause->setEnabled(false);
  TBISnapBegin->setEnabled(true);
  TBIStop->setEnabled(false);
  TBIPlayText2->setEnabled(SBTextShow->maximum() > 1);
}

void TForm1::TBIPlayClick() {
  FilterGraph->Play();
  TBIOpen->setEnabled(false);
  TBIPlay->setEnabled(false);
  TBIPause->setEnabled(true);
  TBIStop->setEnabled(true);
  TBISnapBegin->setEnabled(true);
  TBIConvert->setEnabled(false);
  StBarPanels[0]->setText(QStringLiteral("正在播放"));
  StBarPanels[3]->setText(QStringLiteral("请点击录制按钮可开始录制"));
}

void TForm1::TBIPauseClick() {
  FilterGraph->Pause();
  TBIPlay->setEnabled(true);
  TBIPause->setEnabled(false);
  TBIOpen->setEnabled(true);
  StBarPanels[0]->setText(QStringLiteral("播放暂停"));
  StBarPanels[3]->setText(QStringLiteral("可点击播放按钮继续播放"));
}

void TForm1::TBIStopClick() { StopVideo(); }

void TForm1::FilterGraphDSEvent(long event, intptr_t, intptr_t) {
  if (event == video::EC_COMPLETE) StopVideo();
}

void TForm1::StopVideo() {
  FilterGraph->Stop();
  if (TBISnapBegin->isEnabled()) {
    FinishPreview();
  } else {
    FinishRecording();
  }
}

void TForm1::SeekToStart() {
  int64_t start = 0;
  FilterGraph->SetPositions(&start, video::AM_SEEKING_AbsolutePositioning, nullptr, video::AM_SEEKING_NoPositioning);
}

void TForm1::FinishPreview() {
  TimerSnap->stop();
  StBarPanels[0]->setText(QStringLiteral("已停止播放"));
  StBarPanels[3]->setText(QStringLiteral("请点击录制按钮进行录制"));
  ReturnToStopped(fileio::FileExists(RecordFolder + "1.bmp"));
}

void TForm1::ReturnToStopped(bool convertEnabled) {
  SeekToStart();
  TrackBar->setValue(0);
  TBIOpen->setEnabled(true);
  TBIPlay->setEnabled(true);
  TBIPause->setEnabled(false);
  TBISnapBegin->setEnabled(true);
  TBIStop->setEnabled(false);
  TBIConvert->setEnabled(convertEnabled);
  PBar->hide();
}

void TForm1::TrackBarTimer(uint32_t currentMs, uint32_t durationMs) {
  Pl_Time->setText(QStringLiteral("%1/%2").arg(TimeText(currentMs), TimeText(durationMs)));
  if (!TBISnapBegin->isEnabled() && durationMs > 0) {
    PBar->setValue(static_cast<int>(std::nearbyint(100.0 * currentMs / durationMs)));
  }
}
