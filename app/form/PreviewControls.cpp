// The video half of the main toolbar: open, play, pause and stop the movie,
// the time display and position bar, and the end of the movie.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "app/VideoTypes.h"
#include "common/FileWrite.h"
#include "common/FrameFolder.h"
#include "playback/TextPic.h"
#include "shell/StartOptions.h"
#include "video/RecordingTicks.h"
#include "video/TimeUnits.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>

#include <cmath>

namespace {
constexpr int64_t kMsPerDay = 86400000;
}  // namespace

QString TForm1::TimeText(int64_t ms) {
  // A length, not a time of day: the same digits in every language, never
  // a 12-hour clock.
  const int64_t seconds = ((ms % kMsPerDay) + kMsPerDay) % kMsPerDay / 1000;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void TForm1::ApplyVideoBar(bool withTexts) {
  const VideoBar::Items on = VideoBarState.Enabled();
  TBIOpen->setEnabled(on.open);
  TBIPlay->setEnabled(on.play);
  TBIPause->setEnabled(on.pause);
  TBISnapBegin->setEnabled(on.rec);
  TBIStop->setEnabled(on.stop);
  TBIConvert->setEnabled(on.convert);
  if (withTexts) {
    StBarPanels[0]->setText(VideoBarState.StateText());
    StBarPanels[3]->setText(VideoBarState.HintText());
  }
}

void TForm1::TBIOpenClick() {
  QStringList patterns;
  for (const VideoType& type : kVideoTypes) patterns << QString::fromLatin1(type.pattern.data(), static_cast<qsizetype>(type.pattern.size()));
  const std::optional<QString> file = dialogs().OpenFile(
      this, tr("电影文件") + QLatin1Char('|') + patterns.join(QLatin1Char(';')) + QLatin1Char('|') + tr("所有文件") +
                QStringLiteral("|*.*"));
  if (!file) return;
  OpenVideo(file->toLocal8Bit().toStdString());
}

void TForm1::OpenVideo(const std::string& path) {
  std::string error;
  // A file that is no movie is refused before anything is let go: the video
  // loaded before (if any) stays loaded, under its own name.
  if (!video::VideoService::CanRender(path, &error)) {
    dialogs().Message(this, tr("打开视频出错，请先安装相应视频解码器."));
    return;
  }
  FilterGraph->Deactivate();
  FilterGraph->Activate();
  FilterGraph->SetPictureChoices(Options().Picture());
  if (!FilterGraph->RenderFile(path, &error)) {
    dialogs().Message(this, tr("打开视频出错，请先安装相应视频解码器."));
    // It opened a moment ago: the previous movie comes back, stopped at its start.
    if (!VideoPath.empty() && FilterGraph->RenderFile(VideoPath, &error)) {
      VideoBarState = VideoBarState.After(VideoBar::Command::Open);
    } else {
      FilterGraph->Deactivate();
      VideoFileName.clear();
      VideoPath.clear();
      VideoBarState.state = VideoBar::State::NoMovie;
      VideoBarState.running = false;
      setWindowTitle(ProductName);
    }
    ApplyVideoBar();
    ApplyTextBar();
    return;
  }
  VideoPath = path;
  VideoFileName = path.substr(path.rfind('/') + 1);
  setWindowTitle(ProductName + QStringLiteral(" - ") + QString::fromLocal8Bit(VideoFileName.c_str()));
  int64_t stop = 0;
  FilterGraph->GetStopPosition(&stop);
  Pl_Time->setText(QStringLiteral("%1/%2").arg(TimeText(0), TimeText(video::MsFromUnits(stop))));
  TrackBar->setValue(0);
  VideoBarState = VideoBarState.After(VideoBar::Command::Open);
  ApplyVideoBar();
  ApplyTextBar();  // Play2 needs a video
}

void TForm1::OpenAtStart(const std::string& path) {
  if (HoldsFrameMarkerLine(path, TextPic->FrameMarker)) {
    OpenTextMovie(path);
    StBarPanels[3]->setText(tr("请点击\"播放\"或\"同步播放\"按钮播放字符电影"));
  } else {
    OpenVideo(path);
  }
}

void TForm1::TBIPlayClick() {
  if (!VideoBarState.HasMovie()) return;
  FilterGraph->Play();
  // A timed recording that the text player paused takes pictures again.
  if (VideoBarState.state == VideoBar::State::RecordingPaused && !FastRecording) TimerSnap->start(Options().Interval());
  VideoBarState = VideoBarState.After(VideoBar::Command::Play);
  ApplyVideoBar();
}

void TForm1::TBIPauseClick() {
  if (!VideoBarState.HasMovie()) return;
  FilterGraph->Pause();
  // A paused recording takes no picture until it plays again: the held
  // picture, copied at every tick, would put the movie out of step.
  TimerSnap->stop();
  VideoBarState = VideoBarState.After(VideoBar::Command::Pause);
  ApplyVideoBar();
}

void TForm1::TBIStopClick() { StopVideo(); }

void TForm1::FilterGraphDSEvent(long event, intptr_t, intptr_t) {
  if (event != video::EC_COMPLETE) return;
  // A file cut short ends its pictures more than one interval before the
  // length its video stream declares: a recording that ran into that end is
  // not a success, and says so once it (and its conversion) is over.
  const bool recording = VideoBarState.Recording();
  int64_t position = 0, declared = 0;
  const int64_t intervalMs = Options().Interval();
  const bool endedEarly = recording && FilterGraph->GetCurrentPosition(&position) &&
                          FilterGraph->GetStreamDuration(&declared) && intervalMs > 0 &&
                          video::EndsEarly(video::MsFromUnits(position), video::MsFromUnits(declared), intervalMs);
  StopVideo();
  if (endedEarly) {
    SayEndedEarly(video::MsFromUnits(position), video::RecordingTicks{0, intervalMs, video::MsFromUnits(declared)}.Count());
  }
}

void TForm1::SayEndedEarly(int64_t atMs, int64_t expected) {
  dialogs().Message(
      this, tr("视频在%1处提前结束,只录制了%2帧(应为约%3帧)。").arg(TimeText(atMs)).arg(FrameCount).arg(expected));
}

void TForm1::StopVideo() {
  FilterGraph->Stop();
  if (!VideoBarState.HasMovie()) return;  // nothing was loaded: nothing to finish
  if (VideoBarState.Recording()) {
    FinishRecording();
  } else {
    FinishPreview();
  }
}

void TForm1::SeekToStart() {
  int64_t start = 0;
  FilterGraph->SetPositions(&start, video::AM_SEEKING_AbsolutePositioning, nullptr, video::AM_SEEKING_NoPositioning);
}

void TForm1::FinishPreview() {
  TimerSnap->stop();
  VideoBarState =
      VideoBarState.After(VideoBar::Command::Stop, fileio::FileExists(frames::BitmapPath(RecordFolder, 1)));
  StBarPanels[0]->setText(VideoBarState.StateText());
  StBarPanels[3]->setText(VideoBarState.HintText());
  ReturnToStopped();
}

void TForm1::ReturnToStopped() {
  SeekToStart();
  TrackBar->setValue(0);
  ApplyVideoBar(false);
  PBar->hide();
}

void TForm1::TrackBarTimer(uint32_t currentMs, uint32_t durationMs) {
  Pl_Time->setText(QStringLiteral("%1/%2").arg(TimeText(currentMs), TimeText(durationMs)));
  if (VideoBarState.Recording() && durationMs > 0) {
    PBar->setValue(static_cast<int>(std::nearbyint(100.0 * currentMs / durationMs)));
  }
}
