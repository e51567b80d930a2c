// The user's choices between runs as one plain value: every key of the
// settings file with its default and the rule that brings a stored value
// into range, declared here once. ReadSettings/WriteSettings (Myinifile)
// move it between the file and the window's controls; the value itself
// needs no widget.
#pragma once

#include "conversion/BmpTxt.h"
#include "conversion/ConversionOutput.h"

#include <optional>
#include <string>
#include <vector>

class TIniFile;

struct WindowSettings {
  // ---- Keys --------------------------------------------------------------------
  static constexpr char kWindowSection[] = "window";
  static constexpr char kSettingSection[] = "Setting";
  static constexpr char kWidthKey[] = "width";
  static constexpr char kHeightKey[] = "height";
  static constexpr char kMaxKey[] = "Max";
  static constexpr char kSavePathKey[] = "SavePath";
  static constexpr char kOutputTypeKey[] = "OutPutType";
  static constexpr char kAutoConvertKey[] = "AutoConvert";
  static constexpr char kFastRecordKey[] = "FastRecord";
  static constexpr char kFinePictureKey[] = "FinePicture";
  static constexpr char kOutputSizeKey[] = "OutPutSize";
  static constexpr char kOutputFrameKey[] = "OutPutFrame";
  static constexpr char kGraywordKey[] = "Grayword";
  static constexpr char kGraywordListKey[] = "Graywordlist";  // followed by 1, 2, ...

  // ---- Ranges --------------------------------------------------------------------
  static constexpr int kOutputSizes = 9;   // "60 X 45" .. "320 X 240"
  static constexpr int kFrameRates = kMaxFramesPerSecond;  // one a rate: "15" .. "1"
  static constexpr int kListKeysRead = 20;
  // The entries the boxes show by design, taken when no valid one is stored.
  static constexpr int kDesignSizeIndex = 4;   // "160 X 120"
  static constexpr int kDesignFrameIndex = 5;  // "10"
  static constexpr char kDefaultSavePath[] = "output/";

  // ---- Values, with the defaults of a missing key -------------------------------------
  int width = 640;   // the window's outer size, frame included
  int height = 480;
  bool maximized = false;
  std::string savePath = kDefaultSavePath;  // as stored (relative to the program folder or absolute)
  std::optional<OutputForm> outputType = OutputForm::Text;  // stored as its index, -1 for none
  bool autoConvert = true;
  bool fastRecord = false;                  // Rec decodes unpaced instead of playing
  bool finePicture = false;                 // conversions use the fine picture
  int outputSize = 0;                       // 0 .. 8
  int outputFrame = 0;                      // 0 .. 14; index i is 15 - i frames a second
  std::string grayword;                     // GBK bytes; the default gray table
  std::vector<std::string> grayList;        // GBK bytes, in key order

  WindowSettings();

  // The values of `ini`, each brought into range by its rule: the output
  // type's index clamped to -1 (none) .. 3, a size or frame rate outside its list (-1
  // included) the design entry, a save path that is no existing folder
  // (resolved against the program folder) "output/"; keys 1 to 20 of the list.
  static WindowSettings Read(const TIniFile& ini);
  // Writes every key in the file's order (width and height only when not
  // maximized); stops at the first failure, false with *error.
  bool Write(TIniFile& ini, std::string* error) const;

  bool operator==(const WindowSettings&) const = default;
};
