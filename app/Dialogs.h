// The window's modal dialogs behind one small interface: real Qt dialogs in
// the program, scripted answers in tests, so no test ever blocks on a dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// The answer of the video-export dialog.
struct VideoExportChoice {
  QString path;            // the file to write; its extension picks the format
  bool withSound = false;  // "包含视频的声音" was ticked
  bool inColour = false;   // "彩色(取自视频的颜色)" was ticked
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // An information box with an OK button.
  virtual void Message(QWidget* parent, const QString& text) = 0;
  // A confirmation box with the buttons Yes and No; true for Yes.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
  // A file to open; `filter` in the "Text|*.a;*.b|All|*.*" form of the window's filters.
  virtual std::optional<QString> OpenFile(QWidget* parent, const QString& filter) = 0;
  // A file name to save under, proposing `proposed`.
  virtual std::optional<QString> SaveFile(QWidget* parent, const QString& filter, const QString& proposed) = 0;
  // An existing folder; `caption` is the chooser's title.
  virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption) = 0;
  // A file to export a character movie to, proposing `proposed`, with the
  // formats MP4, WebM, MKV and GIF; when `soundOffered`, a box "包含视频的声音"
  // (ticked at first) offers the loaded video's sound, except for GIF, which
  // has none (the box is then unticked and disabled); when `colourOffered`,
  // a box "彩色(取自视频的颜色)" (not ticked at first) offers the loaded
  // video's colours. A box not offered is shown disabled.
  virtual std::optional<VideoExportChoice> ExportVideo(QWidget* parent, const QString& proposed,
                                                       bool soundOffered, bool colourOffered) = 0;
};

// Real Qt dialogs.
class QtDialogs : public Dialogs {
 public:
  void Message(QWidget* parent, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& text) override;
  std::optional<QString> OpenFile(QWidget* parent, const QString& filter) override;
  std::optional<QString> SaveFile(QWidget* parent, const QString& filter, const QString& proposed) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption) override;
  std::optional<VideoExportChoice> ExportVideo(QWidget* parent, const QString& proposed, bool soundOffered,
                                               bool colourOffered) override;
};

// "电影文件|*.WMV;*.avi|所有文件|*.*" as Qt's "电影文件 (*.WMV *.avi);;所有文件 (*)".
// Patterns match without regard to letter case, as the window's filters always did.
QString QtFilterFrom(const QString& filter);
