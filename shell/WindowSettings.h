// The window's options as one plain value: the user's choices between runs,
// every key of the settings file with its default and the rule that brings a
// stored value into range, declared here once, and the choices that last one
// run. The option pages hand it out and show it (OptionPages); the window's
// handlers take what they need from it; ReadSettings and WriteSettings move
// it between the settings file and the window. The value needs no widget.
#pragma once

#include "conversion/BmpTxt.h"
#include "conversion/ConversionOutput.h"
#include "video/PictureRule.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

class IniFile;

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
  int outputSize = 0;                       // 0 .. 8; -1 for none (typed text that is no entry)
  int outputFrame = 0;                      // 0 .. 14; index i is 15 - i frames a second; -1 for none
  std::string grayword;                     // GBK bytes; the default gray table
  std::vector<std::string> grayList;        // GBK bytes, in key order

  // ---- Choices that last one run (not in the settings file) ---------------------------
  bool autoClearBmp = true;  // old bitmaps are cleared before a recording
  // The first character of the gray table the user typed that GBK cannot
  // hold; empty while the table is GBK text. While it is not, `grayword`
  // holds the table set before it, which the settings file then keeps.
  QString grayUnencodable;

  WindowSettings();

  // The capture interval of the frame rate, ms: 1000 / (15 - outputFrame)
  // rounded half to even; no entry (-1) stands for 16 a second, 62 ms.
  int Interval() const;
  // The cell size of `outputSize`; none outside the size list.
  std::optional<Rect> OutputRect() const;
  // The choices every picture taken from a video is shown by, in the
  // preview, the recordings and the colour export alike: none yet besides
  // the file's own rotation, which the reader adds (video::PictureRule).
  video::PictureRule Picture() const { return {}; }
  // The gray table to convert with: false, with *refusal naming the
  // character, while it holds one GBK cannot hold.
  bool GrayTable(std::string* bytes, QString* refusal) const;

  // The values of `ini`, each brought into range by its rule: the output
  // type's index clamped to -1 (none) .. 3, a size or frame rate outside its list (-1
  // included) the design entry, a save path that is no existing folder
  // (resolved against the program folder) "output/"; keys 1 to 20 of the list.
  static WindowSettings Read(const IniFile& ini);
  // Writes every key in the file's order (width and height only when not
  // maximized); stops at the first failure, false with *error.
  bool Write(IniFile& ini, std::string* error) const;

  bool operator==(const WindowSettings&) const = default;
};

// The check box options kept in section "Setting", in the order they are
// written (after "OutPutType"), each stored as a boolean.
struct StoredFlag {
  const char* key;
  bool WindowSettings::*value;
};
inline constexpr StoredFlag kStoredFlags[] = {
    {WindowSettings::kAutoConvertKey, &WindowSettings::autoConvert},
    {WindowSettings::kFastRecordKey, &WindowSettings::fastRecord},
    {WindowSettings::kFinePictureKey, &WindowSettings::finePicture},
};

// The settings file and the value: the file belongs to the installation, so
// neither function creates it.
// Reads `fileName` into *settings; false, changing nothing, when the file
// does not exist.
bool ReadSettings(const std::string& fileName, WindowSettings* settings);
// Stores `settings` in `fileName`; false when the file does not exist
// (nothing written) or a value cannot be written: then *error holds
// "Unable to write to <file>" and the keys after it are not written.
bool WriteSettings(const std::string& fileName, const WindowSettings& settings, std::string* error);
