// The main window: every pane, toolbar and control of Glyphreel, and the
// handlers that drive them. One instance lives for the length of a run.
//
// Handlers keep the names the rest of the system knows them by
// (TBIConvertClick, FormResize, ...) and are connected in one place, the
// constructor. Dialogs go through the Dialogs interface, so tests answer them.
#pragma once

#include "common/FolderLock.h"
#include "conversion/BmpTxt.h"
#include "conversion/ConversionOutput.h"
#include "shell/BarStates.h"
#include "shell/WindowSettings.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QProgressBar;
class QScrollArea;
class QScrollBar;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class Dialogs;
class Launcher;
class OptionPages;
class TTextPic;
class FrameLabel;
class VideoExporter;
namespace video {
class AudioSinkOutput;
class FastRecorder;
class TrackBar;
class VideoService;
class VideoWindow;
}  // namespace video

// The message when another process converts or records in `folder`.
QString FolderBusyMessage(const std::string& folder);

// The geometry the layout rules compute, kept as computed (it may be
// negative when a pane has no room); the widgets show it clamped.
struct LayoutRect {
  int left = 0, top = 0, width = 0, height = 0;
};

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  struct Services {
    Dialogs* dialogs = nullptr;    // not owned; must outlive the window
    Launcher* launcher = nullptr;  // not owned; must outlive the window
    std::string appPath;           // the program folder, ends with "/"
  };

  explicit TForm1(const Services& services, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Shell handlers ----
  void FormCreate();
  void FormResize();
  void Splitter1Moved(int tag);
  void TimerStartWindowTimer();
  void TBIWndClick();
  void TBIExitClick();
  void TBIHelpClick();
  void StBarClick();
  void TBIAboutClick();
  // Settings written, video shut down, engine and reader freed: once, by
  // the first close that is not refused.
  void FormClose();
  // A file named on the command line: a character movie when its content
  // holds a frame-end marker line, a video otherwise.
  void OpenAtStart(const std::string& path);
  // SIGTERM or SIGHUP: closes as the close box does, without a question (a
  // dialog up at that moment is answered No).
  void CloseBySignal();

  // ---- Conversion run ----
  void TBIConvertClick();
  // Copies the options into the engine; false (after saying why) when the
  // gray table or the size cannot be used.
  bool TakeConversionOptions();
  void ConversionProgress(TConverter& engine);

  // ---- Text player ----
  void OpenTextMovie(const std::string& FileName);
  void TBIOpenTextClick();
  void TBIPlayTextClick(int tag);
  void TimerPlayTextTimer();
  void TBIPauseTextClick();
  void TBIStopTextClick();
  void TBIRwTextClick();
  void SBTextShowChange();
  void TBIFontSizeClick();
  void TBIColorClick();
  void TBINotepadClick();
  void TBISaveTextClick();
  void Lb_TextShowDragOver(int X, int Y);
  void Lb_TextShowEndDrag();

  // ---- Video preview (commands the player also gives) ----
  void TBIOpenClick();
  void TBIPlayClick();
  void TBIPauseClick();
  void TBIStopClick();
  void StopVideo();
  void FinishPreview();
  void SeekToStart();
  void TrackBarTimer(uint32_t currentMs, uint32_t durationMs);
  void FilterGraphDSEvent(long event, intptr_t param1, intptr_t param2);

  // ---- Frame recorder ----
  void TBISnapBeginClick();
  void TimerSnapTimer();
  // Deletes every "*.bmp" of RecordFolder; the number that could not be
  // deleted (also reported to the user).
  int ClearOldFrames();
  void FinishRecording();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPanes();
  void BuildToolbars();
  void BuildStatusBar();
  void ConnectHandlers();
  QFrame* TitledPane(const QString& title, QWidget** body);

  // ---- Options and settings ----
  // The options as the pages show them (OptionPages::Settings).
  WindowSettings Options() const;
  // The option pages changed: a folder chosen there becomes RecordFolder,
  // and a running capture timer takes the interval of the rate.
  void OptionsChanged();
  // The settings into the window: its size, the deferred maximize, the options.
  void ShowSettings(const WindowSettings& settings);
  // The window's size and state with the options, as the settings file keeps them.
  WindowSettings SettingsOfWindow() const;

  // ---- Conversion run ----
  // What a finished run of each form leaves in the window: the movie opened,
  // the page or workbook launched, the frames folder announced and shown.
  void ShowConversionResult(const ConversionRequest& request, const ConversionResult& result);

  // ---- Text player ----
  // The label's character height s in pixels.
  int TextFontHeight() const;
  // The label sized to the frame: width widthFactor x FrameWidth + 20,
  // height s x LinesPerFrame + 20 (lines are s pixels apart).
  void FitTextLabel(int widthFactor);

  // ---- Video preview ----
  // Opens the video `path` as the open button does after its dialog.
  void OpenVideo(const std::string& path);
  // The end of a preview or a recording: back to the start, the video bar's
  // stopped state applied to its buttons, the progress bar hidden.
  void ReturnToStopped();
  // A length in milliseconds as "hh:mm:ss", 24-hour digits in every
  // language: whole days drop out, fractions of a second are cut off.
  static QString TimeText(int64_t ms);
  // Tells that the movie's pictures ended at `atMs`, FrameCount bitmaps
  // recorded of about `expected`.
  void SayEndedEarly(int64_t atMs, int64_t expected);

  // ---- Frame recorder ----
  // Whether the bitmaps of a recording from the current position fit in
  // RecordFolder; when not, the user is asked and may go on anyway.
  bool RecordingFitsOnDisk();
  // Fast recording: started by Rec when the option is on (false, after
  // telling the user, when the movie cannot be opened); its progress is
  // taken at every TimerFastRecord tick; Stop (or its end) ends it.
  bool StartFastRecording();
  void TimerFastRecordTimer();
  void StopFastRecording();
  // A bitmap could not be written: the capture and the movie stop, the user
  // is told why (`systemText` with its errno `code`), then the recording
  // ends as Stop ends it.
  void StopRecordingForWriteError(int code, const std::string& systemText);

  // ---- Closing ----
  // A close the user asked for while a recording or an export runs asks
  // first; false when the user keeps the window.
  bool ConfirmClose();
  // Ends the running work for a close: a recording stops with its bitmaps
  // whole and the folder lock released (nothing is converted); an export is
  // cancelled and its temporary file removed.
  void StopWorkForClose();

  // ---- Pane sizes, read from and given to the splitters (they own the sizes) ----
  int LeftTopHeight() const;
  int RightTopHeight() const;
  int LeftWidth() const;
  void SetLeftTopHeight(int height);
  void SetRightTopHeight(int height);
  void SetLeftWidth(int width);
  // Rounds h x 1.33 half to even, exactly as decimal arithmetic would.
  static int VideoWidthFor(int height);

  // ---- Toolbar states (applied to the buttons by ApplyVideoBar/ApplyTextBar) ----
  // The buttons and, with `withTexts`, status panels 0 and 3 of VideoBarState.
  void ApplyVideoBar(bool withTexts = true);
  // The text player's buttons, Save included, of TextBarState.
  void ApplyTextBar();
  VideoBar VideoBarState;
  TextBar TextBarState;

  Dialogs& dialogs() { return *services_.dialogs; }
  Launcher& launcher() { return *services_.launcher; }

  // The size the settings file gave, and the size the window took when first
  // shown (the desktop may have adjusted it): a window the user never
  // resized writes back the size that was read, so nothing creeps.
  QSize SizeRead;
  QSize SizeShown;
  // The window stands at the size the settings gave it, as first shown (or
  // fitted to the desktop's frame since), or as large as its contents need
  // where that is more: the user has not resized it.
  bool AtSizeRead() const;
  // Once the desktop has framed the window: the size read is the outer
  // size, so the inner one becomes the size read less the frame.
  void FitOuterSize();

  // ---- State of the shell (AppPath and IniFileName are globals of Link) ----
  QString ProductName;
  std::string RecordFolder;
  // The stored form of the folder the option pages showed when RecordFolder
  // last followed them (a folder set otherwise stands until another is chosen).
  std::string RecordFolderShown;
  bool StartMaximized = false;
  int SplitterTag = 0;
  LayoutRect VideoWindowRect;  // as the layout rules computed it
  LayoutRect ImageRect;

  // ---- State of the conversion run, the player and the recorder ----
  std::string VideoFileName;    // the loaded video's name without folder; empty while none is loaded
  std::string VideoPath;        // the loaded video's full path; empty while none is loaded
  std::string TextFileName;     // the current character-movie file
  std::string ShownMovieFile;   // the file the movie in the pane was read from
  std::string WebPageFileName;  // the last page written
  int32_t TextFrameIndex = 0;   // the frame the playback timer showed last; -1 before the first
  bool TextSyncMode = false;    // the playback was started with Play2
  int DragStartX = 0, DragStartY = 0;
  bool LabelDragging = false;
  bool LabelFillsPanel = true;  // the frame label fills Pl_TextShow (no playable movie)
  int32_t FrameCount = 0;       // frames written by the current recording
  // Held from Rec (before the old frames are cleared) until the recording and
  // its automatic conversion end, so no other process converts or records
  // in RecordFolder meanwhile.
  fileio::FolderLock RecordLock;
  QImage RecordedPicture;  // the last grabbed frame

  // ---- Panes ----
  QToolBar* TBTVideoBar = nullptr;
  QToolBar* TBTextbar = nullptr;
  QToolBar* TBMainbar = nullptr;
  QStatusBar* StBar = nullptr;
  QLabel* StBarPanels[4] = {};
  QFrame* PLAdv = nullptr;
  QSplitter* Splitter2 = nullptr;  // between the columns (Tag 0)
  QFrame* Pl_Left = nullptr;
  QSplitter* Splitter1 = nullptr;  // under the preview (Tag 1)
  QFrame* Pl_LeftTop = nullptr;
  QFrame* Pl_Video = nullptr;
  video::VideoWindow* VideoWindow = nullptr;
  QFrame* Pl_Track = nullptr;
  QLabel* Pl_Time = nullptr;
  video::TrackBar* TrackBar = nullptr;
  QFrame* Pl_LeftBottom = nullptr;
  QFrame* Pl_Option = nullptr;
  OptionPages* PgC = nullptr;  // "基本", "高级", "灰度表"
  QFrame* Pl_right = nullptr;
  QSplitter* Splitter3 = nullptr;  // under the recorded picture (Tag 2)
  QFrame* Pl_RightTop = nullptr;
  QScrollArea* SB_Img = nullptr;
  QLabel* Image = nullptr;
  QLabel* Pl_FrameCount = nullptr;
  QFrame* Pl_RightBottom = nullptr;
  QScrollBar* SBTextShow = nullptr;
  QFrame* Pl_TextShow = nullptr;
  FrameLabel* Lb_TextShow = nullptr;
  VideoExporter* Exporter = nullptr;  // the movie pane's "导出为视频…"
  QProgressBar* PBar = nullptr;  // the progress of a recording or a conversion

  // ---- Toolbar items ----
  QAction* TBIOpen = nullptr;
  QAction* TBIPlay = nullptr;
  QAction* TBIPause = nullptr;
  QAction* TBISnapBegin = nullptr;
  QAction* TBIStop = nullptr;
  QAction* TBIConvert = nullptr;
  QAction* TBISaveText = nullptr;
  QAction* TBIOpenText = nullptr;
  QAction* TBIPlayText = nullptr;
  QAction* TBIPlayText2 = nullptr;
  QAction* TBIPauseText = nullptr;
  QAction* TBIStopText = nullptr;
  QAction* TBIRwText = nullptr;
  QAction* TBIColor = nullptr;
  QAction* TBIFontSize = nullptr;
  QAction* TBINotepad = nullptr;
  QAction* TBIWnd = nullptr;
  QAction* TBIHelp = nullptr;
  QAction* TBIAbout = nullptr;
  QAction* TBIExit = nullptr;

  // ---- Timers ----
  QTimer* TimerStartWindow = nullptr;
  QTimer* TimerSnap = nullptr;  // given the options' interval whenever it starts, and while it runs
  QTimer* TimerFastRecord = nullptr;  // follows the fast recorder's progress
  QTimer* TimerPlayText = nullptr;

  // ---- Long-lived objects ----
  std::unique_ptr<video::VideoService> FilterGraph;  // the video service
  std::unique_ptr<video::AudioSinkOutput> SoundOutput;
  std::unique_ptr<TConverter> Converter;
  std::unique_ptr<TTextPic> TextPic;
  std::unique_ptr<video::FastRecorder> FastRecording;  // while a fast recording runs

  Services services_;
  bool created_ = false;
  bool closingBySignal_ = false;
  bool formClosed_ = false;
  bool shown_ = false;
  bool outerSizeFitted_ = false;  // the frame has been taken off the size read

  // Tests, benchmarks and tools reach the window's parts through it (tests/support/WindowParts.h).
  friend struct WindowParts;
};
