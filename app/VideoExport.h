// The character movie pane's context menu: "导出为视频…" exports the loaded
// movie as a video at the frame label's font size and colours, on a worker
// thread, with progress in a bar of its own at the status bar's end (the
// window's progress bar belongs to recordings and conversions, which may run
// meanwhile); while it runs the same menu offers to cancel it.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>
#include <thread>

class QAction;
class QMenu;
class QProgressBar;
class TForm1;

class VideoExporter : public QObject {
  Q_OBJECT

 public:
  // Puts the context menu on the form's movie pane. Owned by the form.
  explicit VideoExporter(TForm1* form);
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

  TForm1* form_;
  QMenu* menu_;
  QAction* exportAction_;
  QAction* cancelAction_;
  QProgressBar* bar_;  // in the status bar, shown while an export runs

  // ---- Shared with the worker thread ----
  std::shared_ptr<std::atomic<bool>> cancel_;
  // ---- User-interface thread only ----
  std::unique_ptr<std::thread> worker_;
};
