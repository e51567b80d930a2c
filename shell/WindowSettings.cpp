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

int WindowSettings::Interval() const { return IntervalForFrameRate(kMaxFramesPerSecond - outputFrame); }

std::optional<Rect> WindowSettings::OutputRect() const {
  if (outputSize < 0 || outputSize >= kOutputSizeCount) return std::nullopt;
  return StandardOutputSizes()[static_cast<size_t>(outputSize)];
}

bool WindowSettings::GrayTable(std::string* bytes, QString* refusal) const {
  if (!grayUnencodable.isEmpty()) {
    std::string ignored;
    gbk::Encode(grayUnencodable, &ignored, refusal);  // the encoder's own words for it
    return false;
  }
  *bytes = grayword;
  return true;
}

WindowSettings WindowSettings::Read(const IniFile& ini) {
  WindowSettings s;
  s.width = ini.ReadInteger(kWindowSection, kWidthKey, s.width);
  s.height = ini.ReadInteger(kWindowSection, kHeightKey, s.height);
  s.maximized = ini.ReadBool(kWindowSection, kMaxKey, s.maximized);
  const std::string savePath = ini.ReadString(kSettingSection, kSavePathKey, "");
  s.savePath = IsUsableSavePath(savePath) ? savePath : kDefaultSavePath;
  s.outputType = OutputFormAt(
      std::clamp(ini.ReadInteger(kSettingSection, kOutputTypeKey, static_cast<int>(OutputForm::Text)), -1,
                 kOutputFormCount - 1));
  for (const StoredFlag& flag : kStoredFlags) s.*flag.value = ini.ReadBool(kSettingSection, flag.key, s.*flag.value);
  s.outputSize =
      ListIndexOr(ini.ReadInteger(kSettingSection, kOutputSizeKey, s.outputSize), kOutputSizeCount, kDesignSizeIndex);
  s.outputFrame =
      ListIndexOr(ini.ReadInteger(kSettingSection, kOutputFrameKey, s.outputFrame), kFrameRates, kDesignFrameIndex);
  s.grayword = ini.ReadString(kSettingSection, kGraywordKey, s.grayword);
  for (int n = 1; n <= kListKeysRead; ++n) {
    s.grayList.push_back(ini.ReadString(kSettingSection, kGraywordListKey + std::to_string(n), gbk::DefaultGrayTable()));
  }
  return s;
}

bool WindowSettings::Write(IniFile& ini, std::string* error) const {
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
  for (const StoredFlag& flag : kStoredFlags) writeBool(kSettingSection, flag.key, this->*flag.value);
  writeInt(kSettingSection, kOutputSizeKey, outputSize);
  writeInt(kSettingSection, kOutputFrameKey, outputFrame);
  writeString(kSettingSection, kSavePathKey, savePath);
  writeString(kSettingSection, kGraywordKey, grayword);
  for (size_t i = 0; i < grayList.size(); ++i) {
    writeString(kSettingSection, kGraywordListKey + std::to_string(i + 1), grayList[i]);
  }
  return ok;
}

bool ReadSettings(const std::string& fileName, WindowSettings* settings) {
  if (!fileio::FileExists(fileName)) return false;
  *settings = WindowSettings::Read(IniFile(fileName));
  return true;
}

bool WriteSettings(const std::string& fileName, const WindowSettings& settings, std::string* error) {
  if (!fileio::FileExists(fileName)) return false;
  IniFile ini(fileName);
  return settings.Write(ini, error);
}
