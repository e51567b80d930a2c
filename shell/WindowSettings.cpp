#include "shell/WindowSettings.h"

#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "shell/IniFile.h"
#include "shell/Link.h"

#include <algorithm>

namespace {

int ListIndexOr(int value, int count, int fallback) { return value >= 0 && value < count ? value : fallback; }

bool IsUsableSavePath(const std::string& path) {
  if (path.size() < 2 && path != "/") return false;
  return fileio::DirectoryExists(MakeAbsolutePath(path));
}

}  // namespace

WindowSettings::WindowSettings() : grayword(gbk::DefaultGrayTable()) {}

WindowSettings WindowSettings::Read(const TIniFile& ini) {
  WindowSettings s;
  s.width = ini.ReadInteger(kWindowSection, kWidthKey, s.width);
  s.height = ini.ReadInteger(kWindowSection, kHeightKey, s.height);
  s.maximized = ini.ReadBool(kWindowSection, kMaxKey, s.maximized);
  const std::string savePath = ini.ReadString(kSettingSection, kSavePathKey, "");
  s.savePath = IsUsableSavePath(savePath) ? savePath : kDefaultSavePath;
  s.outputType = OutputFormAt(
      std::clamp(ini.ReadInteger(kSettingSection, kOutputTypeKey, static_cast<int>(OutputForm::Text)), -1,
                 kOutputFormCount - 1));
  s.autoConvert = ini.ReadBool(kSettingSection, kAutoConvertKey, s.autoConvert);
  s.fastRecord = ini.ReadBool(kSettingSection, kFastRecordKey, s.fastRecord);
  s.finePicture = ini.ReadBool(kSettingSection, kFinePictureKey, s.finePicture);
  s.outputSize =
      ListIndexOr(ini.ReadInteger(kSettingSection, kOutputSizeKey, s.outputSize), kOutputSizes, kDesignSizeIndex);
  s.outputFrame =
      ListIndexOr(ini.ReadInteger(kSettingSection, kOutputFrameKey, s.outputFrame), kFrameRates, kDesignFrameIndex);
  s.grayword = ini.ReadString(kSettingSection, kGraywordKey, s.grayword);
  for (int n = 1; n <= kListKeysRead; ++n) {
    s.grayList.push_back(ini.ReadString(kSettingSection, kGraywordListKey + std::to_string(n), gbk::DefaultGrayTable()));
  }
  return s;
}

bool WindowSettings::Write(TIniFile& ini, std::string* error) const {
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
  if (!maximized) {
    // A maximized window leaves the last normal size in the file for the next start.
    writeInt(kWindowSection, kWidthKey, width);
    writeInt(kWindowSection, kHeightKey, height);
  }
  writeBool(kWindowSection, kMaxKey, maximized);
  writeInt(kSettingSection, kOutputTypeKey, outputType ? static_cast<int>(*outputType) : -1);
  writeBool(kSettingSection, kAutoConvertKey, autoConvert);
  writeBool(kSettingSection, kFastRecordKey, fastRecord);
  writeBool(kSettingSection, kFinePictureKey, finePicture);
  writeInt(kSettingSection, kOutputSizeKey, outputSize);
  writeInt(kSettingSection, kOutputFrameKey, outputFrame);
  writeString(kSettingSection, kSavePathKey, savePath);
  writeString(kSettingSection, kGraywordKey, grayword);
  for (size_t i = 0; i < grayList.size(); ++i) {
    writeString(kSettingSection, kGraywordListKey + std::to_string(i + 1), grayList[i]);
  }
  return ok;
}
