// The option pages of the main window ("基本", "高级" and the gray table page
// "灰度表") as one page control that hands out the options as a value.
//
// Show() puts a value into the controls, Settings() reads it back, and
// changed() says that the value has changed: after Show(), and whenever the
// user (or a handler of these pages) changes an option. The window never
// reads a control of these pages: its handlers take the capture interval,
// the size, the output form and the flags from Settings().
#pragma once

#include "shell/WindowSettings.h"

#include <QTabWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class Dialogs;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

class OptionPages : public QTabWidget {
  Q_OBJECT

 public:
  // Messages, questions and the folder chooser go through `dialogs` (not
  // owned; must outlive the pages), owned by the pages' window.
  explicit OptionPages(Dialogs& dialogs, QWidget* parent = nullptr);

  // The options the controls show. The window's size and maximized state are
  // those of the last value shown; a gray table the user typed that GBK
  // cannot hold is handed out as the table set before it, with the
  // character named (WindowSettings::grayUnencodable).
  WindowSettings Settings() const;
  // Shows `settings` in the controls (the stored gray table list replaces the
  // list), runs the gray table's level display, and emits changed() once.
  // The other change reactions do not run: restoring a wide size does not warn.
  void Show(const WindowSettings& settings);

  // ---- Handlers of the pages' controls ----
  void CBFrameChange();
  void CB_SizeChange();
  void BtnOptionDefaultClick();
  void SBSavePathClick();
  void EdGrayChange();
  void ListGrayClick();
  void SBGrayClick();

  // The controls that follow the page control's size (the window's layout
  // rules run this).
  void FollowSize();

 signals:
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildBasicPage();
  void BuildAdvancedPage();
  void BuildGrayPage();
  // The check boxes of page `page`, each showing one flag of the value.
  void AddFlagBoxes(int page, QWidget* parent);
  // The check box that shows `flag`.
  QCheckBox* Box(bool WindowSettings::*flag) const;
  void SetOutputType(std::optional<OutputForm> form);
  // The GBK bytes of the gray table in EdGray; false with *error when the
  // text holds a character GBK cannot hold.
  bool GrayTableBytes(std::string* bytes, QString* error) const;
  // The GBK bytes of list item `row` (see GrayBytes).
  std::string GrayListBytes(int row) const;
  void AddGrayListItem(const std::string& bytes);

  Dialogs& dialogs_;
  WindowSettings shown_;  // the value shown last: the window's size comes back from it
  // Each flag's check box ("录制前自动清空旧图" CB_AutoClearBmp and "录制完毕即开始转换"
  // CB_AutoConvert on "基本", fast recording and the fine picture on "高级").
  std::vector<std::pair<bool WindowSettings::*, QCheckBox*>> flagBoxes_;

  // ---- "基本" ----
  QComboBox* CBFrame = nullptr;
  QComboBox* CB_Size = nullptr;
  QGroupBox* RGoutputType = nullptr;
  QButtonGroup* RGoutputTypeButtons = nullptr;
  QPushButton* BtnOptionDefault = nullptr;

  // ---- "高级" ----
  QLineEdit* EdSavePath = nullptr;
  QToolButton* SBSavePath = nullptr;
  // The folder EdSavePath shows, as the file system's own bytes: what the
  // settings file stores.
  std::string SavePathBytes;

  // ---- "灰度表" ----
  QLineEdit* EdGray = nullptr;
  QLabel* LbGray = nullptr;
  QLabel* Image_Gray = nullptr;
  QListWidget* ListGray = nullptr;
  QToolButton* SBGray = nullptr;
  QString GrayLevelCaption;  // "灰度级:", the prefix of the level count
  // The bytes behind EdGray's text as the settings file or the list held
  // them, used as long as the box shows their text (a stored table need not
  // decode cleanly, so it is written back byte for byte).
  std::optional<std::string> GrayBytes;
  bool ListGrayKeyPick = false;  // a key is down in the stored-table list

  friend struct WindowParts;  // tests reach the controls through it
};
