// The recorder: the playing movie into numbered bitmaps, one per tick of the
// capture timer, and the conversion when the recording ends.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "common/FrameFolder.h"
#include "video/FastRecorder.h"
#include "video/RecordingTicks.h"
#include "video/TimeUnits.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cerrno>

int TForm1::ClearOldFrames() {
  // What cannot be deleted is counted.
  const int failed = static_cast<int>(frames::ClearBitmaps(RecordFolder).size());
  if (failed > 0) dialogs().Message(this, tr("%1个文件无法清理").arg(failed));
  return failed;
}

bool TForm1::RecordingFitsOnDisk() {
  // The ticks from where the movie stands to its end, each a bitmap at the
  // movie's own size.
  int64_t duration = 0, position = 0;
  const QSize size = FilterGraph->VideoSize();
  if (!FilterGraph->GetDuration(&duration) || size.isEmpty()) return true;
  FilterGraph->GetCurrentPosition(&position);
  const WindowSettings options = Options();
  const int64_t intervalMs = std::max(1, options.Interval());
  const int64_t frames =
      video::RecordingTicks{video::MsFromUnits(position), intervalMs, video::MsFromUnits(duration)}.Count();
  const bmp::RecordingSpace space =
      bmp::EstimateRecordingSpace(RecordFolder, frames, size.width(), size.height(), options.autoClearBmp);
  if (space.Fits()) return true;
  return dialogs().Confirm(this, tr("录制约需要%1磁盘空间,%2只剩%3。是否继续录制？")
                                     .arg(QString::fromStdString(bmp::SizeText(space.needed)),
                                          QString::fromStdString(RecordFolder),
                                          QString::fromStdString(bmp::SizeText(space.available))));
}

void TForm1::TBISnapBeginClick() {
  // Without a loaded video nothing is recorded and no frame is cleared.
  if (!VideoBarState.HasMovie() || !FilterGraph->HasMovie() || VideoBarState.Recording()) return;
  // A working folder that is not there yet is made, parents and all.
  std::string error;
  if (!fileio::MakePath(RecordFolder, &error)) {
    dialogs().Message(this, tr("无法创建录制目录: ") + QString::fromStdString(error));
    return;
  }
  bool busy = false;
  if (!RecordLock.Acquire(RecordFolder, fileio::FolderLock::Wait::No, &error, &busy)) {
    dialogs().Message(this, busy ? FolderBusyMessage(RecordFolder)
                                 : tr("无法录制: ") + QString::fromStdString(error));
    return;
  }
  if (!RecordingFitsOnDisk()) {
    RecordLock.Release();
    return;
  }
  const WindowSettings options = Options();
  if (options.autoClearBmp) ClearOldFrames();
  if (options.fastRecord) {
    if (!StartFastRecording()) {
      RecordLock.Release();
      return;
    }
  } else {
    if (VideoBarState.state != VideoBar::State::Playing) TBIPlayClick();
    TimerSnap->start(options.Interval());
  }
  VideoBarState = VideoBarState.After(VideoBar::Command::Record);
  ApplyVideoBar();
  FrameCount = 0;
  PBar->setMaximum(100);
  PBar->setValue(0);
  PBar->show();
}

void TForm1::TimerSnapTimer() {
  FilterGraph->GrabFrame(&RecordedPicture);  // a failed grab keeps the previous picture
  if (RecordedPicture.isNull()) RecordedPicture = QImage(1, 1, QImage::Format_RGB888);
  std::string error;
  int code = 0;
  if (!bmp::Write24(frames::BitmapPath(RecordFolder, FrameCount + 1), RecordedPicture, &error, &code)) {
    StopRecordingForWriteError(code, error);
    return;
  }
  ++FrameCount;
  Image->setPixmap(QPixmap::fromImage(RecordedPicture));
  Pl_FrameCount->setText(QStringLiteral("Frame:") + QString::number(FrameCount));
}

bool TForm1::StartFastRecording() {
  // From where the movie stands: 0 after Stop, the paused position otherwise.
  int64_t position = 0;
  FilterGraph->GetCurrentPosition(&position);
  if (VideoBarState.state == VideoBar::State::Playing) TBIPauseClick();  // a playing movie holds still while the worker runs
  FastRecording = std::make_unique<video::FastRecorder>();
  std::string error;
  const WindowSettings options = Options();
  if (!FastRecording->Start(VideoPath, RecordFolder, video::MsFromUnits(position), options.Interval(),
                            options.Picture(), &error)) {
    FastRecording.reset();
    dialogs().Message(this, tr("打开视频出错，请先安装相应视频解码器."));
    return false;
  }
  TimerFastRecord->start();
  return true;
}

void TForm1::TimerFastRecordTimer() {
  if (!FastRecording) return;
  const video::FastRecorder::Progress progress = FastRecording->Poll();
  if (progress.written != FrameCount) {
    FrameCount = progress.written;
    RecordedPicture = FastRecording->LatestPicture();
    if (!RecordedPicture.isNull()) Image->setPixmap(QPixmap::fromImage(RecordedPicture));
    Pl_FrameCount->setText(QStringLiteral("Frame:") + QString::number(FrameCount));
  }
  if (progress.durationMs > 0) {
    PBar->setValue(static_cast<int>(std::clamp<int64_t>(100 * progress.positionMs / progress.durationMs, 0, 100)));
  }
  if (!progress.finished) return;
  if (!progress.error.empty()) {
    StopRecordingForWriteError(progress.errorCode, progress.error);
    return;
  }
  StopVideo();  // as at the end of a timed recording
  if (progress.endedEarlyMs >= 0) SayEndedEarly(progress.endedEarlyMs, progress.expected);
}

void TForm1::StopRecordingForWriteError(int code, const std::string& systemText) {
  // Once, not at every tick; nothing plays on behind the message.
  TimerSnap->stop();
  TimerFastRecord->stop();
  FilterGraph->Stop();
  // The causes a user can act on in the window's own words, with the folder;
  // the system's text (which names the file) for any other.
  QString reason;
  switch (code) {
    case ENOSPC:
      reason = tr("磁盘空间不足");
      break;
    case EROFS:
      reason = tr("磁盘是只读的");
      break;
    case EDQUOT:
      reason = tr("超出磁盘配额");
      break;
    case EACCES:
    case EPERM:
      reason = tr("没有写入权限");
      break;
    case EIO:
      reason = tr("读写出错");
      break;
    default:
      break;
  }
  reason = reason.isEmpty() ? QString::fromLocal8Bit(systemText.c_str())
                            : QStringLiteral("%1 (%2)").arg(reason, QString::fromLocal8Bit(RecordFolder.c_str()));
  dialogs().Message(this, tr("录制帧无法保存, 录制已停止: ") + reason);
  // The end of the recording, with the conversion of what was written.
  if (VideoBarState.Recording()) StopVideo();
}

void TForm1::StopFastRecording() {
  TimerFastRecord->stop();
  if (!FastRecording) return;
  FastRecording->Stop();  // waits for the bitmap being written
  const video::FastRecorder::Progress progress = FastRecording->Poll();
  FrameCount = progress.written;
  Pl_FrameCount->setText(QStringLiteral("Frame:") + QString::number(FrameCount));
  FastRecording.reset();
}

void TForm1::FinishRecording() {
  TimerSnap->stop();
  StopFastRecording();
  VideoBarState = VideoBarState.After(VideoBar::Command::Stop);
  StBarPanels[0]->setText(VideoBarState.StateText());
  StBarPanels[3]->setText(VideoBarState.HintText());
  if (Options().autoConvert) TBIConvertClick();
  ReturnToStopped();
  RecordLock.Release();
}
