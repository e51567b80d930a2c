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
  // A working folder that is not there yet is made, parents and all.
  std::string error;
  if (!fileio::MakePath(RecordFolder, &error)) {
    dialogs().Message(this, tr("无法创建录制目录: ") + QString::fromStdString(error));
    return;
  }
  if (CB_AutoClearBmp->isChecked()) ClearOldFrames();
  if (TBIPlay->isEnabled()) TBIPlayClick();
  TimerSnap->start();
  TBISnapBegin->setEnabled(false);
  TBIPause->setEnabled(false);
  TBIStop->setEnabled(true);
  TBIOpen->setEnabled(false);
  FrameCount = 0;
  StBarPanels[0]->setText(tr("正在录制画面..."));
  StBarPanels[3]->setText(tr("可点击停止按钮停止录制"));
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
  StBarPanels[0]->setText(tr("采集完毕"));
  StBarPanels[3]->setText(tr("请点击转换按钮进行转换"));
  if (CB_AutoConvert->isChecked()) TBIConvertClick();
  ReturnToStopped(true);
}
