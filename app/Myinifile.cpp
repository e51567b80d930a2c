#include "app/Myinifile.h"

#include "app/Main.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "shell/IniFile.h"
#include "shell/Link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace {

// The first character of `text` that GBK cannot hold (a surrogate pair stays whole).
QString FirstUnencodable(const QString& text) {
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString character = text.mid(i, n);
    std::string bytes;
    QString ignored;
    if (!gbk::Encode(character, &bytes, &ignored)) return character;
    i += n;
  }
  return {};
}

}  // namespace

// ---- The settings and the window's controls: the one place they meet ---------------

void ShowSettings(TForm1& form, const WindowSettings& s) {
  form.SizeRead = QSize(s.width, s.height);
  form.resize(form.SizeRead);  // the outer size; the frame is taken off once it is known
  form.FormResize();           // the panes follow before the window is first laid out
  form.StartMaximized = s.maximized;
  if (form.StartMaximized) form.TimerStartWindow->start();

  form.SavePathBytes = s.savePath;
  form.EdSavePath->setText(QString::fromLocal8Bit(s.savePath.data(), static_cast<qsizetype>(s.savePath.size())));
  form.RecordFolder = MakeAbsolutePath(s.savePath);

  form.SetOutputType(s.outputType);
  form.CB_AutoConvert->setChecked(s.autoConvert);
  form.CB_FastRecord->setChecked(s.fastRecord);
  form.CB_FinePicture->setChecked(s.finePicture);
  form.CB_Size->setCurrentIndex(s.outputSize);
  form.CBFrame->setCurrentIndex(s.outputFrame);
  // The capture interval always matches the rate the box shows.
  form.CBFrameChange();

  form.GrayBytes = s.grayword;
  form.EdGray->setText(gbk::Decode(s.grayword));  // runs the level display
  for (const std::string& table : s.grayList) form.AddGrayListItem(table);
}

WindowSettings SettingsOfWindow(const TForm1& form, QString* refusedCharacter) {
  WindowSettings s;
  s.maximized = form.isMaximized();
  // A window the user never resized writes back the size that was read, so
  // nothing creeps; otherwise its outer size.
  // (A frame the desktop has not told yet, or told wrong, counts as none.)
  const QSize outer = form.isVisible() ? form.frameGeometry().size().expandedTo(form.size()) : form.size();
  const QSize size = form.SizeRead.isValid() && form.AtSizeRead() ? form.SizeRead : outer;
  s.width = size.width();
  s.height = size.height();
  s.outputType = form.OutputType();
  s.autoConvert = form.CB_AutoConvert->isChecked();
  s.fastRecord = form.CB_FastRecord->isChecked();
  s.finePicture = form.CB_FinePicture->isChecked();
  s.outputSize = form.CB_Size->currentIndex();
  s.outputFrame = form.CBFrame->currentIndex();
  s.savePath = form.SavePathBytes;
  QString refusal;
  if (!form.GrayTableBytes(&s.grayword, &refusal)) {
    // A table the user typed that GBK cannot hold keeps the one read at start.
    s.grayword = form.GrayBytes.value_or(gbk::DefaultGrayTable());
    if (refusedCharacter) *refusedCharacter = FirstUnencodable(form.EdGray->text());
  }
  s.grayList.clear();
  for (int row = 0; row < form.ListGray->count(); ++row) s.grayList.push_back(form.GrayListBytes(row));
  return s;
}

bool ReadSettings(TForm1& form, const std::string& fileName) {
  if (!fileio::FileExists(fileName)) return false;
  ShowSettings(form, WindowSettings::Read(TIniFile(fileName)));
  return true;
}

bool WriteSettings(TForm1& form, const std::string& fileName, std::string* error, QString* refusedCharacter) {
  if (!fileio::FileExists(fileName)) return false;
  TIniFile ini(fileName);
  return SettingsOfWindow(form, refusedCharacter).Write(ini, error);
}
