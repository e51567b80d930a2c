#include "app/Myinifile.h"

#include "app/IniFile.h"
#include "app/Link.h"
#include "app/Main.h"
#include "common/FileWrite.h"
#include "common/Gbk.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace {

constexpr int kDefaultWidth = 640, kDefaultHeight = 480;
constexpr int kListKeys = 20;  // list keys read at start
constexpr char kWindow[] = "window";
constexpr char kSetting[] = "Setting";
constexpr char kDefaultSavePath[] = "output/";

// Index `value` of a list of `count` items, or -1 (no selection) outside it.
int ListIndex(int value, int count) { return value >= 0 && value < count ? value : -1; }

bool IsUsableSavePath(const std::string& path) {
  if (path.size() < 2 && path != "/") return false;
  return fileio::DirectoryExists(MakeAbsolutePath(path));
}

}  // namespace

bool ReadSettings(TForm1& form, const std::string& fileName) {
  if (!fileio::FileExists(fileName)) return false;
  const TIniFile ini(fileName);

  form.SizeRead = QSize(ini.ReadInteger(kWindow, "width", kDefaultWidth), ini.ReadInteger(kWindow, "height", kDefaultHeight));
  form.resize(form.SizeRead);

  form.StartMaximized = ini.ReadBool(kWindow, "Max", false);
  if (form.StartMaximized) form.TimerStartWindow->start();

  const std::string savePath = ini.ReadString(kSetting, "SavePath", "");
  if (IsUsableSavePath(savePath)) {
    form.SavePathBytes = savePath;
    form.EdSavePath->setText(QString::fromLocal8Bit(savePath.data(), static_cast<qsizetype>(savePath.size())));
    form.RecordFolder = MakeAbsolutePath(savePath);
  } else {
    form.SavePathBytes = kDefaultSavePath;
    form.EdSavePath->setText(QString::fromLatin1(kDefaultSavePath));
    form.RecordFolder = AppPath + kDefaultSavePath;
  }

  form.SetOutputTypeIndex(std::clamp(ini.ReadInteger(kSetting, "OutPutType", 0), -1, 3));
  form.CB_AutoConvert->setChecked(ini.ReadBool(kSetting, "AutoConvert", true));
  form.CB_FastRecord->setChecked(ini.ReadBool(kSetting, "FastRecord", false));
  form.CB_Size->setCurrentIndex(ListIndex(ini.ReadInteger(kSetting, "OutPutSize", 0), form.CB_Size->count()));
  form.CBFrame->setCurrentIndex(ListIndex(ini.ReadInteger(kSetting, "OutPutFrame", 0), form.CBFrame->count()));

  const std::string& grayDefault = gbk::DefaultGrayTable();
  const std::string gray = ini.ReadString(kSetting, "Grayword", grayDefault);
  form.GrayBytes = gray;
  form.EdGray->setText(gbk::Decode(gray));  // runs the level display
  for (int n = 1; n <= kListKeys; ++n) {
    form.AddGrayListItem(ini.ReadString(kSetting, "Graywordlist" + std::to_string(n), grayDefault));
  }
  return true;
}

bool WriteSettings(TForm1& form, const std::string& fileName, std::string* error) {
  if (!fileio::FileExists(fileName)) return false;
  TIniFile ini(fileName);

  bool ok = true;
  auto writeInt = [&](const char* section, const std::string& key, int value) {
    ok = ok && ini.WriteInteger(section, key, value, error);
  };
  auto writeBool = [&](const char* section, const std::string& key, bool value) {
    ok = ok && ini.WriteBool(section, key, value, error);
  };
  auto writeString = [&](const char* section, const std::string& key, const std::string& value) {
    ok = ok && ini.WriteString(section, key, value, error);
  };

  if (form.isMaximized()) {
    // The file keeps the last normal size for the next start.
    writeBool(kWindow, "Max", true);
  } else {
    const QSize size = form.SizeRead.isValid() && form.size() == form.SizeShown ? form.SizeRead : form.size();
    writeInt(kWindow, "width", size.width());
    writeInt(kWindow, "height", size.height());
    writeBool(kWindow, "Max", false);
  }

  writeInt(kSetting, "OutPutType", form.OutputTypeIndex());
  writeBool(kSetting, "AutoConvert", form.CB_AutoConvert->isChecked());
  writeBool(kSetting, "FastRecord", form.CB_FastRecord->isChecked());
  writeInt(kSetting, "OutPutSize", form.CB_Size->currentIndex());
  writeInt(kSetting, "OutPutFrame", form.CBFrame->currentIndex());
  writeString(kSetting, "SavePath", form.SavePathBytes);

  std::string gray;
  QString refusal;
  // A table the user typed that GBK cannot hold keeps the one read at start.
  if (!form.GrayTableBytes(&gray, &refusal)) gray = form.GrayBytes.value_or(gbk::DefaultGrayTable());
  writeString(kSetting, "Grayword", gray);
  for (int row = 0; row < form.ListGray->count(); ++row) {
    writeString(kSetting, "Graywordlist" + std::to_string(row + 1), form.GrayListBytes(row));
  }
  return ok;
}
