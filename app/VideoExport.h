// The character movie pane's context menu: "导出为视频…" exports the loaded
// movie as a video at the frame label's font size and colours, on a worker
// thread, with progress in a bar of its own at the status bar's end (the
// window's progress bar belongs to recordings and conversions, which may run
// meanwhile); while it runs the same menu offers to cancel it.
#pragma once

#include "video/PictureRule.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class Dialogs;
class Launcher;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QWidget;
class TTextPic;

// The movie and the choices an export takes, as the window has them when it starts.
struct ExportSource {
  const TTextPic* movie = nullptr;  // the movie the pane shows
  std::string movieFile;            // the file it was read from; empty when none
  std::string video;                // the video open in the preview, which lends sound and colours; empty when none
  int fontSize = 0;                 // the frame label's, and its colours
  QColor text;
  QColor background;
  video::PictureRule picture;  // the window's choices for the video's pictures
};

// What the exporter takes from the window it serves, given once; it reaches
// nothing else of the window. The widgets and services outlive the exporter.
struct ExportHost {
  QWidget* window = nullptr;        // its dialogs' parent
  QWidget* pane = nullptr;          // the movie pane: the menu opens on it
  QStatusBar* statusBar = nullptr;  // the progress bar's place, at its end
  QLabel* hintPanel = nullptr;      // the status panel that says how the export went
  Dialogs* dialogs = nullptr;
  Launcher* launcher = nullptr;
  std::function<ExportSource()> source;     // asked when an export starts
  std::function<void()> relayout;           // the progress bar came or went: the panels make room or take it back
  std::function<QString(int64_t ms)> clock;  // the window's time text
};

class VideoExporter : public QObject {
  Q_OBJECT

 public:
  // Puts the context menu on the host's movie pane and the progress bar in
  // its status bar. A child of `parent`.
  VideoExporter(ExportHost host, QObject* parent);
  // Cancels an export under way and waits for its thread.
  ~VideoExporter() override;

  bool Running() const { return worker_ != nullptr; }
  // Cancels an export under way and waits until its temporary file is gone.
  void CancelAndWait();
  // The room its progress bar takes in the status bar, pixels: none while
  // the bar is hidden.
  int StatusRoom() const;

  // The menu's texts.
  static const char* const kExportCaption;  // "导出为视频…"
  static const char* const kCancelCaption;  // "取消导出视频"

 private:
  void ShowMenu(const QPoint& at);
  void StartExport();
  void Cancel();
  // User-interface thread: a picture was encoded / the worker finished.
  void OnProgress(int done, int total);
  void OnFinished(bool ok, bool cancelled, const QString& error, const QString& output, const QString& notes);
  void JoinWorker();
  void ShowBar(bool shown);

  ExportHost host_;
  QMenu* menu_;
  QAction* exportAction_;
  QAction* cancelAction_;
  QProgressBar* bar_;  // in the status bar, shown while an export runs

  // ---- Shared with the worker thread ----
  std::shared_ptr<std::atomic<bool>> cancel_;
  // ---- User-interface thread only ----
  std::unique_ptr<std::thread> worker_;
};
