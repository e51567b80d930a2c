#include "app/Main.h"

#include "app/AboutB.h"
#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/OptionPages.h"
#include "app/VideoExport.h"
#include "playback/FrameLabel.h"
#include "playback/TextPic.h"
#include "shell/Launcher.h"
#include "shell/Link.h"
#include "video/AudioSinkOutput.h"
#include "video/FastRecorder.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"
#include "video/VideoWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <array>

namespace {

// Design sizes of the window and its panes, in pixels.
constexpr int kDesignWidth = 737, kDesignHeight = 620;
constexpr int kDesignLeftWidth = 265, kDesignLeftTopHeight = 153;
constexpr int kStandardLeftWidth = 250, kStandardLeftTopHeight = 150;
constexpr int kSplitterWidth = 5;
constexpr int kFastRecordPollMs = 100;  // how often the window shows a fast recording's progress
constexpr int kTitleHeight = 19;
constexpr int kPaneBevel = 1;  // a framed pane's lowered edge, inside which its title and body stand
constexpr int kTrackHeight = 23;
constexpr int kTimeWidth = 90;
constexpr int kTimeTextRoom = 4;       // beside the time's text, so it is never cut
constexpr int kTrackTickSeconds = 60;  // a tick on the position bar every minute
constexpr int kToolbarIconPixels = 18;
constexpr int kMovieFontPixels = 9;  // the frame label's character height at start
constexpr int kStatusHeight = 19;
// The status bar's panels: state, progress bar, advertising, hint (the rest of the bar).
constexpr std::array<int, 4> kPanelWidths = {100, 200, 280, 50};
constexpr int kAdvertPanel = 2;
constexpr QRect kProgressInPanel(2, 3, 196, kStatusHeight - 6);  // the progress bar's place in panel 1
constexpr int kAdvertHeight = 9;
constexpr int kStatusBarMargins = 48;  // the status bar's grip, spacing and frames, with room to spare
// The preview keeps this margin inside its pane, above and below; the recorded
// picture stands this far from its pane's corner.
constexpr int kVideoMargin = 2, kImageOffset = 1;
constexpr int kTrackRoom = 2;  // the position bar's gap at the track's right end
constexpr int kStartWindowInterval = 100;  // ms before the deferred maximize
constexpr int kFontPixels = 13;
constexpr int kFrameLookInterval = 50;    // ms between looks for the desktop's frame
constexpr int kFrameLooks = 200;          // ten seconds: a busy desktop may take its time
constexpr int kUnlaidSplitterRoom = 100;  // a splitter not laid out yet gives its second pane this much

const QColor kVideoBackground(35, 35, 35);
const QColor kMediumGray(128, 128, 128);

QFont SongTi(int pixels) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixels);
  return font;
}

void Fill(QWidget* w, const QColor& color) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, color);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

}  // namespace

TForm1::TForm1(const Services& services, QWidget* parent) : QMainWindow(parent), services_(services) {
  setWindowTitle(QStringLiteral("Glyphreel"));
  setFont(SongTi(kFontPixels));
  resize(kDesignWidth, kDesignHeight);

  TimerStartWindow = new QTimer(this);
  TimerStartWindow->setInterval(kStartWindowInterval);
  // The capture and playback timers keep exact time: a coarse timer may
  // tick 5% early, and a movie captured that way runs out of step with its video.
  TimerSnap = new QTimer(this);
  TimerSnap->setTimerType(Qt::PreciseTimer);
  TimerFastRecord = new QTimer(this);
  TimerFastRecord->setInterval(kFastRecordPollMs);
  TimerPlayText = new QTimer(this);
  TimerPlayText->setTimerType(Qt::PreciseTimer);

  BuildToolbars();
  BuildPanes();
  BuildStatusBar();
  // The movie pane's context menu: the movie as a video.
  const auto source = [this] {
    return ExportSource{TextPic.get(), ShownMovieFile, FilterGraph ? FilterGraph->FilePath() : std::string(),
                        TextFontHeight(), Lb_TextShow->textColor(), Lb_TextShow->backgroundColor(),
                        Options().Picture()};
  };
  Exporter = new VideoExporter({.window = this, .pane = Pl_TextShow, .statusBar = StBar, .hintPanel = StBarPanels[3],
                                .dialogs = &dialogs(), .launcher = &launcher(), .source = source,
                                .relayout = [this] { FormResize(); }, .clock = &TForm1::TimeText},
                               this);
  ConnectHandlers();
  FormCreate();
}

// A fast recording's worker is stopped and joined with its member.
TForm1::~TForm1() { launcher().OnOpenFailed = nullptr; }

QFrame* TForm1::TitledPane(const QString& title, QWidget** body) {
  auto* pane = new QFrame;
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pane->setMinimumSize(0, 0);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(kPaneBevel, kPaneBevel, kPaneBevel, kPaneBevel);
  layout->setSpacing(0);
  auto* bar = new QLabel(title);
  bar->setFixedHeight(kTitleHeight);
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  bar->setAlignment(Qt::AlignCenter);
  bar->setMinimumWidth(0);
  layout->addWidget(bar);
  *body = new QWidget;
  (*body)->setMinimumSize(0, 0);
  layout->addWidget(*body, 1);
  return pane;
}

void TForm1::BuildToolbars() {
  auto item = [](QToolBar* bar, icons::Kind icon, const QString& caption, const QString& hint) {
    QAction* a = bar->addAction(icons::Make(icon), caption);
    // Hints are tool tips only: a status tip would blank the status bar's
    // panels while the mouse rests on the item.
    a->setToolTip(hint.isEmpty() ? caption : hint);
    return a;
  };
  auto makeBar = [this](const QString& name) {
    auto* bar = new QToolBar(name, this);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(kToolbarIconPixels, kToolbarIconPixels));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);  // no menu of their own, none of the window's
    addToolBar(Qt::TopToolBarArea, bar);
    return bar;
  };
  using icons::Kind;
  TBTVideoBar = makeBar(QStringLiteral("TBTVideoBar"));
  TBIOpen = item(TBTVideoBar, Kind::Open, tr("Open"), tr("打开电影文件"));
  TBIPlay = item(TBTVideoBar, Kind::Play, tr("Play"), tr("播放"));
  TBIPause = item(TBTVideoBar, Kind::Pause, tr("Pause"), tr("暂停播放"));
  TBISnapBegin = item(TBTVideoBar, Kind::Record, tr("Rec"), tr("开始录制"));
  TBIStop = item(TBTVideoBar, Kind::Stop, tr("Stop"), tr("停止播放/录制"));
  TBIConvert = item(TBTVideoBar, Kind::Convert, tr("Convert"), tr("开始字符转换"));
  TBISaveText = item(TBTVideoBar, Kind::Save, tr("Save"), QString());

  TBTextbar = makeBar(QStringLiteral("TBTextbar"));
  TBIOpenText = item(TBTextbar, Kind::OpenText, tr("Open"), tr("打开字符电影"));
  TBIPlayText = item(TBTextbar, Kind::Play, tr("Play"), tr("单播放字符电影"));
  TBIPlayText->setData(0);
  TBIPlayText2 = item(TBTextbar, Kind::Play2, tr("Play2"), tr("同步播放"));
  TBIPlayText2->setData(1);
  TBIPauseText = item(TBTextbar, Kind::Pause, tr("Pause"), tr("暂停播放字符电影"));
  TBIStopText = item(TBTextbar, Kind::Stop, tr("Stop"), tr("停止播放字符电影"));
  TBIRwText = item(TBTextbar, Kind::Rewind, tr("Rw"), tr("返回开头"));
  TBTextbar->addSeparator();
  TBIColor = item(TBTextbar, Kind::FontColor, tr("FontColor"), tr("改变字体颜色"));
  TBIColor->setCheckable(true);
  TBIFontSize = item(TBTextbar, Kind::FontSize, tr("FontSize"), tr("改变字体大小"));
  TBINotepad = item(TBTextbar, Kind::Notepad, tr("Notepad"), tr("打开记事本"));

  TBMainbar = makeBar(QStringLiteral("TBMainbar"));
  TBIWnd = item(TBMainbar, Kind::Window, tr("window"), tr("窗口布局"));
  TBIWnd->setCheckable(true);
  TBMainbar->addSeparator();
  TBIHelp = item(TBMainbar, Kind::Help, tr("help"), tr("帮助"));
  TBIAbout = item(TBMainbar, Kind::About, tr("About"), tr("关于"));
  TBIExit = item(TBMainbar, Kind::Exit, tr("Exit"), tr("退出"));

  // Save has no hint: its button shows no tool tip at all.
  TBTVideoBar->widgetForAction(TBISaveText)->installEventFilter(this);

  // Initial states: of the video bar only Open; of the text bar Open,
  // FontColor and FontSize.
  ApplyVideoBar(false);
  ApplyTextBar();
}

void TForm1::BuildPanes() {
  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Splitter2 = new QSplitter(Qt::Horizontal);
  Splitter2->setHandleWidth(kSplitterWidth);
  Splitter2->setChildrenCollapsible(true);
  column->addWidget(Splitter2, 1);

  PLAdv = new QFrame;
  PLAdv->setFixedHeight(kAdvertHeight);
  Fill(PLAdv, kMediumGray);
  column->addWidget(PLAdv);
  setCentralWidget(central);

  // Left column: the preview over the options.
  Pl_Left = new QFrame;
  Pl_Left->setMinimumSize(0, 0);
  auto* leftLayout = new QVBoxLayout(Pl_Left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  Splitter1 = new QSplitter(Qt::Vertical);
  Splitter1->setHandleWidth(kSplitterWidth);
  leftLayout->addWidget(Splitter1);

  QWidget* body = nullptr;
  Pl_LeftTop = TitledPane(tr("电影预览"), &body);
  auto* videoColumn = new QVBoxLayout(body);
  videoColumn->setContentsMargins(0, 0, 0, 0);
  videoColumn->setSpacing(0);
  Pl_Video = new QFrame;
  Pl_Video->setMinimumSize(0, 0);
  Fill(Pl_Video, kVideoBackground);
  videoColumn->addWidget(Pl_Video, 1);
  VideoWindow = new video::VideoWindow(Pl_Video);
  Pl_Track = new QFrame;
  Pl_Track->setFixedHeight(kTrackHeight);
  Pl_Time = new QLabel(QStringLiteral("00:00:00/00:00:00"), Pl_Track);
  // At least its design width, and never narrower than the time it shows.
  Pl_Time->setGeometry(0, 0, std::max(kTimeWidth, Pl_Time->sizeHint().width() + kTimeTextRoom), kTrackHeight);
  Pl_Time->setAlignment(Qt::AlignCenter);
  TrackBar = new video::TrackBar(Pl_Track);
  TrackBar->setTickPosition(QSlider::TicksAbove);
  TrackBar->setTickInterval(kTrackTickSeconds);
  TrackBar->setRange(0, 0);
  videoColumn->addWidget(Pl_Track);
  Splitter1->addWidget(Pl_LeftTop);

  Pl_LeftBottom = TitledPane(tr("技术选项"), &body);
  auto* optionLayout = new QVBoxLayout(body);
  optionLayout->setContentsMargins(0, 0, 0, 0);
  Pl_Option = new QFrame;
  optionLayout->addWidget(Pl_Option);
  auto* pages = new QVBoxLayout(Pl_Option);
  pages->setContentsMargins(0, 0, 0, 0);
  // Built as the window's child, so the pages measure their texts in its font.
  PgC = new OptionPages(dialogs(), this);
  pages->addWidget(PgC);
  Splitter1->addWidget(Pl_LeftBottom);
  Splitter1->setCollapsible(0, true);
  Splitter2->addWidget(Pl_Left);

  // Right column: the recorded picture over the character movie.
  Pl_right = new QFrame;
  Pl_right->setMinimumSize(0, 0);
  auto* rightLayout = new QVBoxLayout(Pl_right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  Splitter3 = new QSplitter(Qt::Vertical);
  Splitter3->setHandleWidth(kSplitterWidth);
  rightLayout->addWidget(Splitter3);

  Pl_RightTop = TitledPane(tr("录制画面"), &body);
  auto* imageColumn = new QVBoxLayout(body);
  imageColumn->setContentsMargins(0, 0, 0, 0);
  imageColumn->setSpacing(0);
  SB_Img = new QScrollArea;
  SB_Img->setMinimumSize(0, 0);
  SB_Img->setWidgetResizable(false);
  SB_Img->setFrameStyle(QFrame::NoFrame);
  SB_Img->setBackgroundRole(QPalette::Dark);
  Fill(SB_Img->viewport(), kMediumGray);
  auto* imageHolder = new QWidget;
  Fill(imageHolder, kMediumGray);
  Image = new QLabel(imageHolder);
  Image->setScaledContents(true);
  SB_Img->setWidget(imageHolder);
  imageColumn->addWidget(SB_Img, 1);
  Pl_FrameCount = new QLabel(QStringLiteral("Frame:0"));
  Pl_FrameCount->setFixedHeight(kTrackHeight);
  Pl_FrameCount->setAlignment(Qt::AlignCenter);
  imageColumn->addWidget(Pl_FrameCount);
  Splitter3->addWidget(Pl_RightTop);

  Pl_RightBottom = TitledPane(tr("字符电影"), &body);
  auto* textRow = new QHBoxLayout(body);
  textRow->setContentsMargins(0, 0, 0, 0);
  textRow->setSpacing(0);
  Pl_TextShow = new QFrame;
  Pl_TextShow->setMinimumSize(0, 0);
  textRow->addWidget(Pl_TextShow, 1);
  SBTextShow = new QScrollBar(Qt::Vertical);
  SBTextShow->setRange(0, 0);
  SBTextShow->setSingleStep(1);
  SBTextShow->setPageStep(1);
  textRow->addWidget(SBTextShow);
  Lb_TextShow = new FrameLabel(Pl_TextShow);
  Lb_TextShow->setFont(SongTi(kMovieFontPixels));
  Lb_TextShow->setCursor(Qt::OpenHandCursor);
  Lb_TextShow->setColors(Lb_TextShow->palette().color(QPalette::Text), Qt::white);
  Lb_TextShow->setFillParent(true);
  Splitter3->addWidget(Pl_RightBottom);
  Splitter2->addWidget(Pl_right);
  Splitter2->setStretchFactor(1, 1);
  Splitter1->setStretchFactor(1, 1);
  Splitter3->setStretchFactor(1, 1);

  SetLeftWidth(kDesignLeftWidth);
  SetLeftTopHeight(kDesignLeftTopHeight);
}

void TForm1::BuildStatusBar() {
  StBar = new QStatusBar;
  StBar->setFixedHeight(kStatusHeight);
  StBar->setSizeGripEnabled(true);
  setStatusBar(StBar);
  const QString texts[4] = {tr("未装入电影文件"), QString(), QString(),
                            tr("点击\"打开电影\"按钮打开一个视频文件")};
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(texts[i]);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (i < 3) {
      // The advertising panel takes its width from the window's (FormResize).
      panel->setFixedWidth(i == kAdvertPanel ? 0 : kPanelWidths[i]);
      StBar->addWidget(panel);
    } else {
      panel->setMinimumWidth(kPanelWidths[i]);
      StBar->addWidget(panel, 1);
    }
    StBarPanels[i] = panel;
  }
  PBar = new QProgressBar;
  PBar->setRange(0, 100);
  PBar->setTextVisible(false);
  PBar->hide();
}

void TForm1::ConnectHandlers() {
  connect(TBIWnd, &QAction::triggered, this, &TForm1::TBIWndClick);
  connect(TBIHelp, &QAction::triggered, this, &TForm1::TBIHelpClick);
  connect(TBIAbout, &QAction::triggered, this, &TForm1::TBIAboutClick);
  connect(TBIExit, &QAction::triggered, this, &TForm1::TBIExitClick);
  // The option pages wire their own controls; the window hears that the options changed.
  connect(PgC, &OptionPages::changed, this, &TForm1::OptionsChanged);
  // A click on a panel or on the progress bar reaches the bar itself (none of
  // them takes the mouse): one filter, so one click opens the page once.
  StBar->installEventFilter(this);
  // The layout rules also follow the panes they measure, which settle after
  // the window has been sized.
  connect(TBIOpen, &QAction::triggered, this, &TForm1::TBIOpenClick);
  connect(TBIPlay, &QAction::triggered, this, &TForm1::TBIPlayClick);
  connect(TBIPause, &QAction::triggered, this, &TForm1::TBIPauseClick);
  connect(TBISnapBegin, &QAction::triggered, this, &TForm1::TBISnapBeginClick);
  connect(TBIStop, &QAction::triggered, this, &TForm1::TBIStopClick);
  connect(TimerSnap, &QTimer::timeout, this, &TForm1::TimerSnapTimer);
  connect(TimerFastRecord, &QTimer::timeout, this, &TForm1::TimerFastRecordTimer);
  connect(TBIConvert, &QAction::triggered, this, &TForm1::TBIConvertClick);
  connect(TBIOpenText, &QAction::triggered, this, &TForm1::TBIOpenTextClick);
  connect(TBIPlayText, &QAction::triggered, this, [this] { TBIPlayTextClick(TBIPlayText->data().toInt()); });
  connect(TBIPlayText2, &QAction::triggered, this, [this] { TBIPlayTextClick(TBIPlayText2->data().toInt()); });
  connect(TBIPauseText, &QAction::triggered, this, &TForm1::TBIPauseTextClick);
  connect(TBIStopText, &QAction::triggered, this, &TForm1::TBIStopTextClick);
  connect(TBIRwText, &QAction::triggered, this, &TForm1::TBIRwTextClick);
  connect(TBIColor, &QAction::triggered, this, &TForm1::TBIColorClick);
  connect(TBIFontSize, &QAction::triggered, this, &TForm1::TBIFontSizeClick);
  connect(TBINotepad, &QAction::triggered, this, &TForm1::TBINotepadClick);
  connect(TBISaveText, &QAction::triggered, this, &TForm1::TBISaveTextClick);
  connect(TimerPlayText, &QTimer::timeout, this, &TForm1::TimerPlayTextTimer);
  connect(SBTextShow, &QScrollBar::valueChanged, this, [this] { SBTextShowChange(); });
  Lb_TextShow->installEventFilter(this);
  for (QWidget* pane : {static_cast<QWidget*>(Pl_Video), static_cast<QWidget*>(Pl_Track), static_cast<QWidget*>(PgC)}) {
    pane->installEventFilter(this);
  }
  connect(TimerStartWindow, &QTimer::timeout, this, &TForm1::TimerStartWindowTimer);
  connect(Splitter1, &QSplitter::splitterMoved, this, [this] { Splitter1Moved(1); });
  connect(Splitter2, &QSplitter::splitterMoved, this, [this] { Splitter1Moved(0); });
  connect(Splitter3, &QSplitter::splitterMoved, this, [this] { Splitter1Moved(2); });
}

void TForm1::FormCreate() {
  const ProgramLayout layout = LayoutFor(services_.appPath, CurrentEnvironment());
  UseLayout(layout);
  // Without its settings file the program runs on defaults and keeps nothing.
  PrepareSettingsFile(layout, nullptr);
  ProductName = QStringLiteral(GLYPHREEL_PRODUCT_NAME);
  // A page, folder or file the desktop could not open: the user opens it by hand.
  launcher().OnOpenFailed = [self = QPointer<TForm1>(this)](const std::string& shown) {
    if (!self) return;
    self->dialogs().Message(
        self, QCoreApplication::translate("TForm1", "无法打开 %1,请手动打开。").arg(QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size()))));
  };
  FilterGraph = std::make_unique<video::VideoService>();
  SoundOutput = std::make_unique<video::AudioSinkOutput>();
  FilterGraph->SetSoundOutput(SoundOutput.get());
  FilterGraph->SetPositionBar(TrackBar);
  FilterGraph->OnTimer = [this](uint32_t current, uint32_t duration) { TrackBarTimer(current, duration); };
  FilterGraph->OnDSEvent = [this](long event, intptr_t p1, intptr_t p2) { FilterGraphDSEvent(event, p1, p2); };
  VideoWindow->SetService(FilterGraph.get());
  TrackBar->SetService(FilterGraph.get());
  Converter = std::make_unique<TConverter>();
  Converter->FrameMarker = kFrameMarker;
  TextPic = std::make_unique<TTextPic>();
  TextPic->FrameMarker = kFrameMarker;
  RecordFolder = AppPath + "output/";
  RecordFolderShown = Options().savePath;
  WindowSettings stored;
  if (ReadSettings(IniFileName, &stored)) ShowSettings(stored);

  // The progress bar lives inside the second status panel.
  PBar->setParent(StBarPanels[1]);
  PBar->setGeometry(kProgressInPanel);
  PBar->hide();

  SetRightTopHeight(LeftTopHeight());
  created_ = true;
  FormResize();
}

void TForm1::showEvent(QShowEvent* event) {
  if (!shown_) {
    // Centred on the screen when first shown, at the size the settings gave.
    shown_ = true;
    SizeShown = size();
    FitOuterSize();
    // The desktop frames the window a moment after it is mapped, without
    // telling the window: look again for a while.
    auto* look = new QTimer(this);
    look->setInterval(kFrameLookInterval);
    connect(look, &QTimer::timeout, this, [this, look, left = kFrameLooks]() mutable {
      FitOuterSize();
      if (outerSizeFitted_ || --left <= 0) look->deleteLater();
    });
    look->start();
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.x() + (area.width() - frameGeometry().width()) / 2,
           area.y() + (area.height() - frameGeometry().height()) / 2);
    }
  }
  QMainWindow::showEvent(event);
}

// ---- Pane sizes through the splitters ---------------------------------------------

int TForm1::LeftTopHeight() const { return Splitter1->sizes().value(0); }
int TForm1::RightTopHeight() const { return Splitter3->sizes().value(0); }
int TForm1::LeftWidth() const { return Splitter2->sizes().value(0); }

namespace {

void SetFirst(QSplitter* splitter, int size) {
  QList<int> sizes = splitter->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  const int first = std::max(0, size);
  splitter->setSizes({first, std::max(0, (total > 0 ? total : first + kUnlaidSplitterRoom) - first)});
}

}  // namespace

void TForm1::SetLeftTopHeight(int height) { SetFirst(Splitter1, height); }
void TForm1::SetRightTopHeight(int height) { SetFirst(Splitter3, height); }
void TForm1::SetLeftWidth(int width) { SetFirst(Splitter2, width); }

int TForm1::VideoWidthFor(int height) {
  // height x 133 / 100, rounded half to even, with floor division so that
  // negative heights round the same way.
  const long n = static_cast<long>(height) * 133;
  long q = n / 100, r = n % 100;
  if (r < 0) {
    r += 100;
    --q;
  }
  if (r > 50 || (r == 50 && q % 2 != 0)) ++q;
  return static_cast<int>(q);
}

// ---- Layout ------------------------------------------------------------------------------

void TForm1::FitOuterSize() {
  if (outerSizeFitted_ || !shown_ || !SizeRead.isValid() || isMaximized()) return;
  const QSize frame = frameGeometry().size() - size();
  // Not framed yet (a window being mapped may even report a smaller frame geometry).
  if (frame.width() < 0 || frame.height() < 0 || (frame.width() == 0 && frame.height() == 0)) return;
  outerSizeFitted_ = true;
  if (!AtSizeRead()) return;  // resized since it was shown: the user's size stands
  resize(SizeRead - frame);
  SizeShown = size();
}

bool TForm1::AtSizeRead() const {
  return SizeShown.isValid() && (size() == SizeShown || size() == SizeShown.expandedTo(minimumSize()));
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitOuterSize();
  if (created_) FormResize();
}

void TForm1::FormResize() {
  // 1. The preview keeps a 1.33 aspect, centred (cut evenly when too wide).
  VideoWindowRect.height = Pl_Video->height() - 2 * kVideoMargin;
  VideoWindowRect.width = VideoWidthFor(VideoWindowRect.height);
  VideoWindowRect.left = (Pl_Video->width() - VideoWindowRect.width) / 2;  // truncated toward zero
  VideoWindowRect.top = kVideoMargin;
  VideoWindow->setGeometry(VideoWindowRect.left, VideoWindowRect.top, std::max(0, VideoWindowRect.width),
                           std::max(0, VideoWindowRect.height));

  // 2. The recorded picture has the preview's size.
  ImageRect = {kImageOffset, kImageOffset, VideoWindowRect.width, VideoWindowRect.height};
  Image->setGeometry(kImageOffset, kImageOffset, std::max(0, ImageRect.width), std::max(0, ImageRect.height));
  if (QWidget* holder = SB_Img->widget()) {
    holder->resize(std::max(0, ImageRect.width) + kImageOffset, std::max(0, ImageRect.height) + kImageOffset);
  }

  // 3. The position bar fills the track beside the time.
  TrackBar->setGeometry(Pl_Time->width(), 0, std::max(0, Pl_Track->width() - Pl_Time->width() - kTrackRoom),
                        kTrackHeight);

  // The advertising panel gives up its room before the hint text is cut,
  // and to an export's progress bar. It never widens the window: the hint
  // is counted at no less than its minimum, however short its text (an
  // empty hint would otherwise hand the advertising panel more room than
  // the window has, and the window would grow at every resize).
  const int hintWidth = std::max(StBarPanels[3]->sizeHint().width(), StBarPanels[3]->minimumWidth());
  const int exportWidth = Exporter ? Exporter->StatusRoom() : 0;
  // (The status bar spans the window; the window's width is right even
  // before the bar has been laid out, so a size read at start is not held
  // up by a panel sized for the design width.)
  const int fixedPanels = kPanelWidths[0] + kPanelWidths[1];
  StBarPanels[kAdvertPanel]->setFixedWidth(
      std::clamp(width() - fixedPanels - hintWidth - exportWidth - kStatusBarMargins, 0, kPanelWidths[kAdvertPanel]));

  // 4. Option page controls follow the page control's size.
  PgC->FollowSize();

  // 5. Level the two top panes after the splitter that moved.
  if (RightTopHeight() != LeftTopHeight()) {
    if (SplitterTag == 1) SetRightTopHeight(LeftTopHeight());
    if (SplitterTag == 2) SetLeftTopHeight(RightTopHeight());
    SplitterTag = 0;
  }
}

void TForm1::Splitter1Moved(int tag) {
  SplitterTag = tag;
  FormResize();
}

void TForm1::TBIWndClick() {
  if (TBIWnd->isChecked()) {
    // Text layout: the character movie takes the window.
    SetLeftTopHeight(0);
    SetLeftWidth(0);
  } else {
    SetLeftTopHeight(kStandardLeftTopHeight);
    SetLeftWidth(kStandardLeftWidth);
  }
  SplitterTag = 1;
  FormResize();
}

void TForm1::TimerStartWindowTimer() {
  TimerStartWindow->stop();
  if (StartMaximized) showMaximized();
  StartMaximized = false;
}

void TForm1::TBIExitClick() { close(); }

void TForm1::TBIHelpClick() {
  // The help text in the window's language: the translation names its own.
  launcher().URLink(SupportFolder + tr("Help.txt").toStdString());
}

void TForm1::StBarClick() { launcher().URLink("https://glyphreel.example.org/"); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Lb_TextShow) {
    // Dragging the label pans a frame larger than its pane.
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Lb_TextShow->setCursor(Qt::ClosedHandCursor);
        break;
      case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() & Qt::LeftButton) {
          const QPoint at = mouse->position().toPoint();
          Lb_TextShowDragOver(at.x(), at.y());
        }
        break;
      }
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
          Lb_TextShowEndDrag();
          Lb_TextShow->setCursor(Qt::OpenHandCursor);
        }
        break;
      default:
        break;
    }
  }
  if (event->type() == QEvent::Resize && created_ && (watched == Pl_Video || watched == Pl_Track || watched == PgC)) {
    FormResize();
  }
  if (event->type() == QEvent::MouseButtonRelease && watched == StBar &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    StBarClick();
  }
  if (event->type() == QEvent::ToolTip && watched == TBTVideoBar->widgetForAction(TBISaveText)) return true;
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::TBIAboutClick() {
  TAboutForm box(launcher());
  box.SetLanguage(true);
  box.SoftName = ProductName;
  box.SoftVersion = QStringLiteral("V") + QString::fromStdString(FileVersionString("/proc/self/exe", "."));
  box.Producer = QCoreApplication::translate("TAboutForm", about::kProducer);
  box.Introduction = about::Introduction();
  box.BuildDate = QCoreApplication::translate("TAboutForm", about::kBuildDate);
  box.GuestBookUrl = QString::fromUtf8(about::kGuestBook);
  box.exec();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!formClosed_) {
    if (!closingBySignal_ && !ConfirmClose()) {
      event->ignore();
      return;
    }
    StopWorkForClose();
    FormClose();
  }
  QMainWindow::closeEvent(event);
}

bool TForm1::ConfirmClose() {
  if (VideoBarState.Recording() && !dialogs().Confirm(this, tr("正在录制,确定要退出吗？"))) return false;
  if (Exporter->Running() && !dialogs().Confirm(this, tr("正在导出视频,确定要退出吗？"))) return false;
  return true;
}

void TForm1::StopWorkForClose() {
  if (VideoBarState.Recording()) {
    TimerSnap->stop();
    StopFastRecording();  // waits for the bitmap being written
    FilterGraph->Stop();
    VideoBarState = VideoBarState.After(VideoBar::Command::Stop);
    RecordLock.Release();
  }
  Exporter->CancelAndWait();
}

void TForm1::CloseBySignal() {
  closingBySignal_ = true;
  // Nothing waits for the user: a question or message up now is answered No.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
  // The handler that opened the dialog is still running below this call:
  // close once it has returned to the main loop.
  if (QThread::currentThread()->loopLevel() > 1) {
    QTimer::singleShot(0, this, &TForm1::CloseBySignal);
    return;
  }
  close();
}

void TForm1::FormClose() {
  if (formClosed_) return;
  formClosed_ = true;
  std::string error;
  const WindowSettings settings = SettingsOfWindow();
  const QString& refused = settings.grayUnencodable;  // the table set before it is kept instead
  const bool written = WriteSettings(IniFileName, settings, &error) || error.empty();
  // The program must stay closable: say what failed and go on. A signal's
  // close has no one to tell: it shows no box that would hold it open.
  if (closingBySignal_) {
    if (!written) qWarning("%s", error.c_str());
  } else {
    if (!written) dialogs().Message(this, QString::fromStdString(error));
    if (!refused.isEmpty()) {
      dialogs().Message(this, tr("灰度表中的字符“%1”无法用GBK编码保存,已保留原来的灰度表。").arg(refused));
    }
  }
  // No timer may tick into the objects freed below.
  TimerSnap->stop();
  TimerPlayText->stop();
  TimerStartWindow->stop();
  // Video: the graph cleared and let go, so no event or tick comes after this.
  FilterGraph->ClearGraph();
  FilterGraph->Deactivate();
  Converter.reset();
  TextPic.reset();
}

// ---- Options and settings ----------------------------------------------------------------

WindowSettings TForm1::Options() const { return PgC->Settings(); }

void TForm1::OptionsChanged() {
  const WindowSettings options = Options();
  // A folder chosen on the "高级" page is where recording and conversion work from now on.
  if (options.savePath != RecordFolderShown) {
    RecordFolderShown = options.savePath;
    RecordFolder = MakeAbsolutePath(options.savePath);
  }
  // A rate changed during a recording takes effect at once; another option
  // leaves the running capture's ticks alone.
  const int interval = options.Interval();
  if (TimerSnap->isActive() && TimerSnap->interval() != interval) TimerSnap->setInterval(interval);
}

void TForm1::ShowSettings(const WindowSettings& settings) {
  SizeRead = QSize(settings.width, settings.height);
  resize(SizeRead);  // the outer size; the frame is taken off once it is known
  FormResize();      // the panes follow before the window is first laid out
  StartMaximized = settings.maximized;
  if (StartMaximized) TimerStartWindow->start();
  PgC->Show(settings);  // RecordFolder follows the stored folder (OptionsChanged)
}

WindowSettings TForm1::SettingsOfWindow() const {
  WindowSettings s = Options();
  s.maximized = isMaximized();
  // A window the user never resized writes back the size that was read, so
  // nothing creeps; otherwise its outer size.
  // (A frame the desktop has not told yet, or told wrong, counts as none.)
  const QSize outer = isVisible() ? frameGeometry().size().expandedTo(size()) : size();
  const QSize size = SizeRead.isValid() && AtSizeRead() ? SizeRead : outer;
  s.width = size.width();
  s.height = size.height();
  return s;
}
