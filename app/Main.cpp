#include "app/Main.h"

#include "app/AboutB.h"
#include "app/Dialogs.h"
#include "app/Icons.h"
#include "app/Myinifile.h"
#include "app/VideoExport.h"
#include "playback/FrameLabel.h"
#include "common/Gbk.h"
#include "playback/TextPic.h"
#include "shell/Launcher.h"
#include "shell/Link.h"
#include "shell/WindowSettings.h"
#include "video/AudioSinkOutput.h"
#include "video/FastRecorder.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"
#include "video/VideoWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <functional>

namespace {

// Design sizes of the window and its panes, in pixels.
constexpr int kDesignWidth = 737, kDesignHeight = 620;
constexpr int kDesignLeftWidth = 265, kDesignLeftTopHeight = 153;
constexpr int kStandardLeftWidth = 250, kStandardLeftTopHeight = 150;
constexpr int kSplitterWidth = 5;
constexpr int kFastRecordPollMs = 100;  // how often the window shows a fast recording's progress
constexpr int kTitleHeight = 19;
constexpr int kTrackHeight = 23;
constexpr int kTimeWidth = 90;
constexpr int kStatusHeight = 19;
constexpr int kAdvertHeight = 9;
constexpr int kAdvertPanelWidth = 280;
constexpr int kStatusBarMargins = 48;  // the status bar's grip, spacing and frames, with room to spare
// Tops of the rows of the "基本" page: frame rate, size, the two check boxes, the output type.
constexpr int kOptionRow1 = 3, kOptionRow2 = 28, kOptionRow3 = 52, kOptionRow4 = 70, kOptionRow5 = 89;
constexpr int kCheckHeight = 18, kTypeHeight = 16;  // a check box's row, an output type's row
constexpr int kGrayLabelWidth = 80, kGrayStripLeft = 86;  // design places of the level count and the gray strip
constexpr int kStartWindowInterval = 100;  // ms before the deferred maximize
constexpr int kFontPixels = 13;
constexpr int kFrameLookInterval = 50;  // ms between looks for the desktop's frame
constexpr int kFrameLooks = 200;       // ten seconds: a busy desktop may take its time

const QColor kVideoBackground(35, 35, 35);
const QColor kMediumGray(128, 128, 128);

QFont SongTi(int pixels) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixels);
  return font;
}

// Typed text in an editable list box: nothing is ever added to the list;
// text equal to an entry selects that entry, any other text is position -1
// (the text stays as typed); a change of position runs `reaction`.
void FollowTypedText(QComboBox* box, QObject* context, const std::function<void()>& reaction) {
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);  // a completion would select an entry the user has not typed
  QObject::connect(box->lineEdit(), &QLineEdit::textEdited, context, [box, reaction](const QString& text) {
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index == box->currentIndex()) return;
    QLineEdit* edit = box->lineEdit();
    const int cursor = edit->cursorPosition();
    {
      const QSignalBlocker quiet(box);
      box->setCurrentIndex(index);
      if (index < 0) edit->setText(text);
      edit->setCursorPosition(cursor);
    }
    reaction();
  });
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
  GrayLevelCaption = tr("灰度级:");
  resize(kDesignWidth, kDesignHeight);

  TimerStartWindow = new QTimer(this);
  TimerStartWindow->setInterval(kStartWindowInterval);
  // The capture and playback timers keep exact time: a coarse timer may
  // tick 5% early, and a movie captured that way runs out of step with its video.
  TimerSnap = new QTimer(this);
  TimerSnap->setTimerType(Qt::PreciseTimer);
  TimerSnap->setInterval(200);
  TimerFastRecord = new QTimer(this);
  TimerFastRecord->setInterval(kFastRecordPollMs);
  TimerPlayText = new QTimer(this);
  TimerPlayText->setTimerType(Qt::PreciseTimer);

  BuildToolbars();
  BuildPanes();
  BuildOptionPages();
  BuildStatusBar();
  VideoExporter = new TVideoExporter(this);  // the movie pane's context menu: the movie as a video
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
  layout->setContentsMargins(1, 1, 1, 1);
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
    bar->setIconSize(QSize(18, 18));
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
  Pl_Time->setGeometry(0, 0, std::max(kTimeWidth, Pl_Time->sizeHint().width() + 4), kTrackHeight);
  Pl_Time->setAlignment(Qt::AlignCenter);
  TrackBar = new video::TrackBar(Pl_Track);
  TrackBar->setTickPosition(QSlider::TicksAbove);
  TrackBar->setTickInterval(60);
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
  PgC = new QTabWidget;
  PgC->setMinimumSize(0, 0);
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
  Lb_TextShow = new TFrameLabel(Pl_TextShow);
  Lb_TextShow->setFont(SongTi(9));
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

void TForm1::BuildOptionPages() {
  // Controls keep their design widths, or take the width their text needs
  // where that is more (the English texts are longer); rows are packed so
  // that every option shows at the default window size.
  auto place = [](QWidget* w, int x, int y, int designWidth, int height) {
    w->setGeometry(x, y, std::max(designWidth, w->sizeHint().width()), height);
    return x + w->width();
  };
  // "基本": frame rate, size, the two automatic steps, the output type, defaults.
  // (Each page is the page control's from the start, so it measures its texts in the window's font.)
  auto* basic = new QWidget(PgC);
  auto* frameLabel = new QLabel(tr("每秒录制帧数:"), basic);
  auto* sizeLabel = new QLabel(tr("转换图尺寸:"), basic);
  const int labelWidth = std::max({100, frameLabel->sizeHint().width(), sizeLabel->sizeHint().width()});
  const int boxLeft = 10 + labelWidth;
  frameLabel->setGeometry(8, kOptionRow1 + 2, labelWidth, 20);
  sizeLabel->setGeometry(8, kOptionRow2 + 2, labelWidth, 20);
  CBFrame = new QComboBox(basic);
  CBFrame->setEditable(true);
  for (int fps = kMaxFramesPerSecond; fps >= 1; --fps) CBFrame->addItem(QString::number(fps));
  CBFrame->setCurrentIndex(WindowSettings::kDesignFrameIndex);  // "10"
  CBFrame->setGeometry(boxLeft, kOptionRow1, 60, 22);
  CB_Size = new QComboBox(basic);
  CB_Size->setEditable(true);
  for (const TRect& r : StandardOutputSizes()) CB_Size->addItem(QStringLiteral("%1 X %2").arg(r.Right).arg(r.Bottom));
  CB_Size->setCurrentIndex(WindowSettings::kDesignSizeIndex);  // "160 X 120"
  CB_Size->setGeometry(boxLeft, kOptionRow2, 100, 22);
  CB_AutoClearBmp = new QCheckBox(tr("录制前自动清空旧图"), basic);
  CB_AutoClearBmp->setChecked(true);
  place(CB_AutoClearBmp, 8, kOptionRow3, 200, kCheckHeight);
  CB_AutoConvert = new QCheckBox(tr("录制完毕即开始转换"), basic);
  CB_AutoConvert->setChecked(true);
  place(CB_AutoConvert, 8, kOptionRow4, 200, kCheckHeight);
  RGoutputType = new QGroupBox(tr("输出文件类型:"), basic);
  RGoutputTypeButtons = new QButtonGroup(RGoutputType);
  auto* types = new QVBoxLayout(RGoutputType);
  types->setContentsMargins(6, 2, 6, 2);
  types->setSpacing(0);
  const QString captions[] = {tr("单个文本文件(用本程序播放)"), tr("HTML网页(必须允许浏览器运行脚本)"),
                              tr("EXCEL文件(必须允许EXCEL启用宏)"), tr("多个文本文件")};
  static_assert(std::size(captions) == kOutputFormCount);
  QFont typeFont = RGoutputType->font();
  typeFont.setPixelSize(12);  // the longest caption fits the design width
  for (int i = 0; i < kOutputFormCount; ++i) {
    auto* button = new QRadioButton(captions[i]);
    button->setFont(typeFont);
    button->setFixedHeight(kTypeHeight);
    RGoutputTypeButtons->addButton(button, i);
    types->addWidget(button);
  }
  RGoutputType->setGeometry(6, kOptionRow5, 230, RGoutputType->sizeHint().height());
  BtnOptionDefault = new QPushButton(tr("默认"), basic);
  BtnOptionDefault->setGeometry(std::max(185, boxLeft + CBFrame->width() + 8), kOptionRow1 - 1,
                               std::max(60, BtnOptionDefault->fontMetrics().horizontalAdvance(BtnOptionDefault->text()) + 8), 24);
  PgC->addTab(basic, tr("基本"));

  // "高级": the working folder.
  auto* advanced = new QWidget(PgC);
  auto* pathLabel = new QLabel(tr("录制图片保存路径："), advanced);
  const int pathLabelRight = place(pathLabel, 8, 12, 150, 20);
  SBSavePath = new QToolButton(advanced);
  SBSavePath->setAutoRaise(true);
  SBSavePath->setIcon(icons::Make(icons::Kind::Folder));
  SBSavePath->setToolTip(tr("选择保存目录"));
  SBSavePath->setGeometry(std::max(160, pathLabelRight + 2), 8, 24, 24);
  EdSavePath = new QLineEdit(advanced);
  EdSavePath->setReadOnly(true);
  EdSavePath->setGeometry(8, 36, 200, 22);
  CB_FastRecord = new QCheckBox(tr("快速录制(不播放视频,按时间取帧)"), advanced);
  place(CB_FastRecord, 8, 66, 240, 20);
  CB_FinePicture = new QCheckBox(tr("精细画质(按显示字体的实际浓淡选字)"), advanced);
  place(CB_FinePicture, 8, 88, 240, 20);
  PgC->addTab(advanced, tr("高级"));

  // "灰度表": the gray table editor.
  auto* gray = new QWidget(PgC);
  EdGray = new QLineEdit(gbk::Decode(gbk::DefaultGrayTable()), gray);
  EdGray->setGeometry(6, 8, 200, 22);
  SBGray = new QToolButton(gray);
  SBGray->setAutoRaise(true);
  SBGray->setIcon(icons::Make(icons::Kind::Store));
  SBGray->setToolTip(tr("保存到列表中"));
  SBGray->setGeometry(210, 7, 24, 24);
  LbGray = new QLabel(tr("灰度级:"), gray);
  LbGray->setGeometry(6, 36, kGrayLabelWidth, 18);
  Image_Gray = new QLabel(gray);
  Image_Gray->setScaledContents(true);
  Image_Gray->setPixmap(QPixmap(QStringLiteral(":/GrayGradient.jpg"), "JPG"));
  Image_Gray->setGeometry(kGrayStripLeft, 37, 192, 17);
  ListGray = new QListWidget(gray);
  ListGray->setGeometry(6, 60, 200, 100);
  PgC->addTab(gray, tr("灰度表"));
  EdGrayChange();  // the level display of the design text
}

void TForm1::BuildStatusBar() {
  StBar = new QStatusBar;
  StBar->setFixedHeight(kStatusHeight);
  StBar->setSizeGripEnabled(true);
  setStatusBar(StBar);
  const int widths[4] = {100, 200, 280, 50};
  const QString texts[4] = {tr("未装入电影文件"), QString(), QString(),
                            tr("点击\"打开电影\"按钮打开一个视频文件")};
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(texts[i]);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (i < 3) {
      // The advertising panel takes its width from the window's (FormResize).
      panel->setFixedWidth(i == 2 ? 0 : widths[i]);
      StBar->addWidget(panel);
    } else {
      panel->setMinimumWidth(widths[i]);
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
  // Only the user's choices run the reactions, not selections set by the program.
  connect(CBFrame, &QComboBox::activated, this, &TForm1::CBFrameChange);
  connect(CB_Size, &QComboBox::activated, this, &TForm1::CB_SizeChange);
  FollowTypedText(CBFrame, this, [this] { CBFrameChange(); });
  FollowTypedText(CB_Size, this, [this] { CB_SizeChange(); });
  connect(EdGray, &QLineEdit::textChanged, this, &TForm1::EdGrayChange);
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
  // A pick by the keyboard moves the current row; one by the mouse is a click
  // (also on the row already current).
  ListGray->installEventFilter(this);
  connect(ListGray, &QListWidget::currentRowChanged, this, [this] {
    if (ListGrayKeyPick) ListGrayClick();
  });
  connect(ListGray, &QListWidget::itemClicked, this, &TForm1::ListGrayClick);
  connect(SBGray, &QToolButton::clicked, this, &TForm1::SBGrayClick);
  Lb_TextShow->installEventFilter(this);
  for (QWidget* pane : {static_cast<QWidget*>(Pl_Video), static_cast<QWidget*>(Pl_Track), static_cast<QWidget*>(PgC)}) {
    pane->installEventFilter(this);
  }
  connect(BtnOptionDefault, &QPushButton::clicked, this, &TForm1::BtnOptionDefaultClick);
  connect(SBSavePath, &QToolButton::clicked, this, &TForm1::SBSavePathClick);
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
  GrayLevelCaption = tr("灰度级:");
  BuildOutputSizes(OutputSizes);
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
  CBFrameChange();  // the interval of the rate the box shows, with or without a settings file
  ReadSettings(*this, IniFileName);

  // The progress bar lives inside the second status panel.
  PBar->setParent(StBarPanels[1]);
  PBar->setGeometry(2, 3, 196, kStatusHeight - 6);
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
  splitter->setSizes({first, std::max(0, (total > 0 ? total : first + 100) - first)});
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
  VideoWindowRect.height = Pl_Video->height() - 4;
  VideoWindowRect.width = VideoWidthFor(VideoWindowRect.height);
  VideoWindowRect.left = (Pl_Video->width() - VideoWindowRect.width) / 2;  // truncated toward zero
  VideoWindowRect.top = 2;
  VideoWindow->setGeometry(VideoWindowRect.left, VideoWindowRect.top, std::max(0, VideoWindowRect.width),
                           std::max(0, VideoWindowRect.height));

  // 2. The recorded picture has the preview's size.
  ImageRect = {1, 1, VideoWindowRect.width, VideoWindowRect.height};
  Image->setGeometry(1, 1, std::max(0, ImageRect.width), std::max(0, ImageRect.height));
  if (QWidget* holder = SB_Img->widget()) {
    holder->resize(std::max(0, ImageRect.width) + 1, std::max(0, ImageRect.height) + 1);
  }

  // 3. The position bar fills the track beside the time.
  TrackBar->setGeometry(Pl_Time->width(), 0, std::max(0, Pl_Track->width() - Pl_Time->width() - 2), kTrackHeight);

  // The advertising panel gives up its room before the hint text is cut,
  // and to an export's progress bar. It never widens the window: the hint
  // is counted at no less than its minimum, however short its text (an
  // empty hint would otherwise hand the advertising panel more room than
  // the window has, and the window would grow at every resize).
  const int hintWidth = std::max(StBarPanels[3]->sizeHint().width(), StBarPanels[3]->minimumWidth());
  const int exportWidth = VideoExporter ? VideoExporter->StatusRoom() : 0;
  // (The status bar spans the window; the window's width is right even
  // before the bar has been laid out, so a size read at start is not held
  // up by a panel sized for the design width.)
  StBarPanels[2]->setFixedWidth(
      std::clamp(width() - 300 - hintWidth - exportWidth - kStatusBarMargins, 0, kAdvertPanelWidth));

  // 4. Option page controls follow the page control's size.
  const int w = PgC->width(), h = PgC->height();
  auto setWidth = [](QWidget* widget, int width) { widget->resize(std::max(0, width), widget->height()); };
  setWidth(EdSavePath, w - 20);
  setWidth(RGoutputType, w - 18);
  setWidth(EdGray, w - 40);
  SBGray->move(w - 36, SBGray->y());
  ListGray->resize(std::max(0, w - 12), std::max(0, h - 80));

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

std::optional<OutputForm> TForm1::OutputType() const { return OutputFormAt(RGoutputTypeButtons->checkedId()); }

void TForm1::SetOutputType(std::optional<OutputForm> form) {
  if (form) {
    RGoutputTypeButtons->button(static_cast<int>(*form))->setChecked(true);
    return;
  }
  // No item selected.
  RGoutputTypeButtons->setExclusive(false);
  for (QAbstractButton* b : RGoutputTypeButtons->buttons()) b->setChecked(false);
  RGoutputTypeButtons->setExclusive(true);
}

void TForm1::BtnOptionDefaultClick() {
  CBFrame->setCurrentIndex(WindowSettings::kDesignFrameIndex);  // "10" frames a second
  CBFrameChange();
  CB_Size->setCurrentIndex(1);  // "80 X 60"
  CB_SizeChange();
  CB_AutoConvert->setChecked(true);
  CB_AutoClearBmp->setChecked(true);
  SetOutputType(OutputForm::Text);
}

void TForm1::SBSavePathClick() {
  const std::optional<QString> chosen = dialogs().ChooseFolder(this, tr("选择保存目录"));
  if (!chosen) return;
  std::string folder = chosen->toLocal8Bit().toStdString();
  if (folder.empty() || folder.back() != '/') folder += '/';
  RecordFolder = folder;
  SavePathBytes = MakeRelativePath(RecordFolder);
  EdSavePath->setText(QString::fromLocal8Bit(SavePathBytes.data(), static_cast<qsizetype>(SavePathBytes.size())));
}

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
  if (watched == ListGray && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
                              event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    // Only a key pressed in the list picks a row; the row Qt makes current
    // when the list takes the focus is no pick.
    ListGrayKeyPick = event->type() == QEvent::KeyPress;
  }
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
  if (VideoExporter->Running() && !dialogs().Confirm(this, tr("正在导出视频,确定要退出吗？"))) return false;
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
  VideoExporter->CancelAndWait();
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
  QString refused;
  const bool written = WriteSettings(*this, IniFileName, &error, &refused) || error.empty();
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

// ---- Options ------------------------------------------------------------------------

void TForm1::CBFrameChange() {
  // Position -1 (typed text that is no entry) stands for 16 a second.
  TimerSnap->setInterval(IntervalForFrameRate(kMaxFramesPerSecond - CBFrame->currentIndex()));
}

void TForm1::CB_SizeChange() {
  const int index = CB_Size->currentIndex();
  if (index >= 0 && index < kOutputSizeCount && OutputSizes[static_cast<size_t>(index)].Right > 255) {
    dialogs().Message(this, tr("请注意:转换图宽大于250用记事本程序打开时可能会显示异常."));
  }
}

// ---- Gray tables ------------------------------------------------------------------------

namespace {
constexpr int kGrayStripPixelsPerLevel = 12;
constexpr int kGrayListBytesRole = Qt::UserRole;
}  // namespace

bool TForm1::GrayTableBytes(std::string* bytes, QString* error) const {
  if (GrayBytes && EdGray->text() == gbk::Decode(*GrayBytes)) {
    *bytes = *GrayBytes;
    return true;
  }
  return gbk::Encode(EdGray->text(), bytes, error);
}

std::string TForm1::GrayListBytes(int row) const {
  const QListWidgetItem* item = ListGray->item(row);
  return item ? item->data(kGrayListBytesRole).toByteArray().toStdString() : std::string();
}

void TForm1::AddGrayListItem(const std::string& bytes) {
  auto* item = new QListWidgetItem(gbk::Decode(bytes));
  item->setData(kGrayListBytesRole, QByteArray::fromStdString(bytes));
  ListGray->addItem(item);
}

void TForm1::EdGrayChange() {
  std::string bytes;
  QString error;
  if (!GrayTableBytes(&bytes, &error)) {
    // Characters GBK cannot hold still take room in the box: count the text as typed.
    bytes = EdGray->text().toUtf8().toStdString();
  }
  if (bytes.size() < 2) return;
  const int levels = CountGrayUnits(bytes);
  LbGray->setText(GrayLevelCaption + QString::number(levels));
  // The strip starts where the count ends, which a longer caption pushes on.
  LbGray->resize(std::max(kGrayLabelWidth, LbGray->sizeHint().width()), LbGray->height());
  Image_Gray->setGeometry(std::max(kGrayStripLeft, LbGray->x() + LbGray->width()), Image_Gray->y(),
                          kGrayStripPixelsPerLevel * levels, Image_Gray->height());
}
