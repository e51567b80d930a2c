// The recorder: the playing movie into numbered bitmaps, one per tick of the
// capture timer, and the conversion when the recording ends.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/BmpWriter.h"
#include "common/FileWrite.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>


int TForm1::ClearOldFrames() {
  // Every entry ending in ".bmp" (in any letter case) goes, whatever it is,
  // in the order the file system lists them; what cannot be deleted is counted.
  const std::vector<std::string> names = fileio::EntriesEndingWith(RecordFolder, ".bmp");
  int failed = 0;
  for (const std::string& name : names) {
    if (!fileio::RemoveFile(RecordFolder + name, nullptr)) ++failed;
  }
  if (failed > 0) dialogs().Message(this, tr("%1个文件无法清理").arg(failed));
  return failed;
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
  if (CB_AutoClearBmp->isChecked()) ClearOldFrames();
  if (VideoBarState.state != VideoBar::State::Playing) TBIPlayClick();
  TimerSnap->start();
  VideoBarState.state = VideoBar::State::Recording;
  VideoBarState.running = true;
  VideoBarState.convertPossible = false;
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
  if (!bmp::Write24(RecordFolder + std::to_string(FrameCount + 1) + ".bmp", RecordedPicture, &error)) {
    // A full disk or a vanished folder ends the recording once, as Stop
    // would, rather than failing again at every tick.
    TimerSnap->stop();
    dialogs().Message(this, tr("录制帧无法保存, 录制已停止: ") + QString::fromStdString(error));
    StopVideo();
    return;
  }
  ++FrameCount;
  Image->setPixmap(QPixmap::fromImage(RecordedPicture));
  Pl_FrameCount->setText(QStringLiteral("Frame:") + QString::number(FrameCount));
}

void TForm1::FinishRecording() {
  TimerSnap->stop();
  VideoBarState.state = VideoBar::State::StoppedAfterRecording;
  StBarPanels[0]->setText(VideoBarState.StateText());
  StBarPanels[3]->setText(VideoBarState.HintText());
  if (CB_AutoConvert->isChecked()) TBIConvertClick();
  ReturnToStopped(true);
  RecordLock.Release();
}
