#include "shell/BarStates.h"

#include <QCoreApplication>

QString VideoBar::StateText() const {
  switch (state) {
    case State::NoMovie:
      return QCoreApplication::translate("TForm1", "未装入电影文件");
    case State::Loaded:
      return QCoreApplication::translate("TForm1", "已装入电影文件");
    case State::Playing:
      return QCoreApplication::translate("TForm1", "正在播放");
    case State::Paused:
      return QCoreApplication::translate("TForm1", "播放暂停");
    case State::Recording:
      return QCoreApplication::translate("TForm1", "正在录制画面...");
    case State::RecordingPaused:
      return QCoreApplication::translate("TForm1", "录制暂停");
    case State::StoppedAfterPreview:
      return QCoreApplication::translate("TForm1", "已停止播放");
    case State::StoppedAfterRecording:
      return QCoreApplication::translate("TForm1", "采集完毕");
  }
  return {};
}

QString VideoBar::HintText() const {
  switch (state) {
    case State::NoMovie:
      return QCoreApplication::translate("TForm1", "点击\"打开电影\"按钮打开一个视频文件");
    case State::Loaded:
      return QCoreApplication::translate("TForm1", "请点击录制按钮开始录制");
    case State::Playing:
      return QCoreApplication::translate("TForm1", "请点击录制按钮可开始录制");
    case State::Paused:
      return QCoreApplication::translate("TForm1", "可点击播放按钮继续播放");
    case State::Recording:
      return QCoreApplication::translate("TForm1", "可点击停止按钮停止录制");
    case State::RecordingPaused:
      return QCoreApplication::translate("TForm1", "可点击播放按钮继续录制");
    case State::StoppedAfterPreview:
      return QCoreApplication::translate("TForm1", "请点击录制按钮进行录制");
    case State::StoppedAfterRecording:
      return QCoreApplication::translate("TForm1", "请点击转换按钮进行转换");
  }
  return {};
}
