#include "app/OptionPages.h"

#include "app/Dialogs.h"
#include "app/Icons.h"
#include "common/Gbk.h"
#include "shell/Link.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace {

enum Page { kBasicPage, kAdvancedPage, kGrayPage };

// Design places of the controls in their page, in pixels. A control with a
// text takes the width its text needs where that is more (the English texts
// are longer); rows are packed so that every option shows at the default
// window size.
// "基本": the two boxes stand right of the wider of their labels.
constexpr int kRateRowTop = 3, kSizeRowTop = 28;
constexpr int kLabelLeft = 8, kLabelMinWidth = 100, kLabelHeight = 20;
constexpr int kLabelDrop = 2, kLabelToBox = 2;  // a label stands lower than its box, and clear of it
constexpr QSize kRateBox(60, 22), kSizeBox(100, 22);
constexpr QRect kOutputTypeGroup(6, 89, 230, 0);  // as high as its buttons need
constexpr QMargins kOutputTypeMargins(6, 2, 6, 2);
constexpr int kOutputTypeHeight = 16, kOutputTypePixels = 12;  // a type's row; its font, so the longest caption fits
constexpr QRect kDefaultButton(185, 2, 60, 24);  // at least this far right, and clear of the rate box
constexpr int kButtonGap = 8, kButtonTextRoom = 8;
// "高级"
constexpr QRect kPathLabel(8, 12, 150, 20), kPathButton(160, 8, 24, 24), kPathEdit(8, 36, 200, 22);
constexpr int kLabelToButton = 2;
// "灰度表"
constexpr QRect kGrayEdit(6, 8, 200, 22), kGrayButton(210, 7, 24, 24), kGrayLevelLabel(6, 36, 80, 18);
constexpr QRect kGrayStrip(86, 37, 192, 17), kGrayList(6, 60, 200, 100);
constexpr int kGrayStripPixelsPerLevel = 12;
// How the controls follow the page control's width W and height H.
constexpr int kPathEditRoom = 20, kOutputTypeRoom = 18, kGrayEditRoom = 40, kGrayButtonFromRight = 36;
constexpr int kGrayListRoom = 12, kGrayListBelow = 80;

// The check boxes, each showing one flag of the value (objects named as the
// window's design names them).
struct FlagBox {
  bool WindowSettings::*flag;
  Page page;
  const char* name;
  const char* caption;
  QRect place;
};
constexpr FlagBox kFlagBoxes[] = {
    {&WindowSettings::autoClearBmp, kBasicPage, "CB_AutoClearBmp",
     QT_TRANSLATE_NOOP("OptionPages", "录制前自动清空旧图"), {8, 52, 200, 18}},
    {&WindowSettings::autoConvert, kBasicPage, "CB_AutoConvert",
     QT_TRANSLATE_NOOP("OptionPages", "录制完毕即开始转换"), {8, 70, 200, 18}},
    {&WindowSettings::fastRecord, kAdvancedPage, "CB_FastRecord",
     QT_TRANSLATE_NOOP("OptionPages", "快速录制(不播放视频,按时间取帧)"), {8, 66, 240, 20}},
    {&WindowSettings::finePicture, kAdvancedPage, "CB_FinePicture",
     QT_TRANSLATE_NOOP("OptionPages", "精细画质(按显示字体的实际浓淡选字)"), {8, 88, 240, 20}},
};

constexpr int kGrayListBytesRole = Qt::UserRole;
constexpr int kDefaultsSizeIndex = 1;  // "80 X 60", the defaults button's size
constexpr int kNotepadWidth = 255;     // wider frames may show garbled in a plain text editor

// A design place, widened to what the control's text needs; its right edge.
int Place(QWidget* w, const QRect& design) {
  w->setGeometry(design.x(), design.y(), std::max(design.width(), w->sizeHint().width()), design.height());
  return w->x() + w->width();
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

// The first character of `text` that GBK cannot hold (a surrogate pair stays whole).
QString FirstUnencodable(const QString& text) {
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString character = text.mid(i, n);
    std::string bytes;
    QString ignored;
    if (!gbk::Encode(character, &bytes, &ignored)) return character;
    i += n;
  }
  return {};
}

QString FromLocal(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

OptionPages::OptionPages(Dialogs& dialogs, QWidget* parent) : QTabWidget(parent), dialogs_(dialogs) {
  setMinimumSize(0, 0);
  GrayLevelCaption = tr("灰度级:");
  BuildBasicPage();
  BuildAdvancedPage();
  BuildGrayPage();

  // Only the user's choices run the reactions, not selections set by the program.
  connect(CBFrame, &QComboBox::activated, this, &OptionPages::CBFrameChange);
  connect(CB_Size, &QComboBox::activated, this, &OptionPages::CB_SizeChange);
  FollowTypedText(CBFrame, this, [this] { CBFrameChange(); });
  FollowTypedText(CB_Size, this, [this] { CB_SizeChange(); });
  for (const auto& [flag, box] : flagBoxes_) connect(box, &QCheckBox::toggled, this, &OptionPages::changed);
  connect(RGoutputTypeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) emit changed();
  });
  connect(BtnOptionDefault, &QPushButton::clicked, this, &OptionPages::BtnOptionDefaultClick);
  connect(SBSavePath, &QToolButton::clicked, this, &OptionPages::SBSavePathClick);
  connect(EdGray, &QLineEdit::textChanged, this, &OptionPages::EdGrayChange);
  // A pick by the keyboard moves the current row; one by the mouse is a click
  // (also on the row already current).
  ListGray->installEventFilter(this);
  connect(ListGray, &QListWidget::currentRowChanged, this, [this] {
    if (ListGrayKeyPick) ListGrayClick();
  });
  connect(ListGray, &QListWidget::itemClicked, this, &OptionPages::ListGrayClick);
  connect(SBGray, &QToolButton::clicked, this, &OptionPages::SBGrayClick);
}

void OptionPages::AddFlagBoxes(int page, QWidget* parent) {
  for (const FlagBox& row : kFlagBoxes) {
    if (row.page != page) continue;
    auto* box = new QCheckBox(tr(row.caption), parent);
    box->setObjectName(QLatin1String(row.name));
    box->setChecked(WindowSettings().*row.flag);
    Place(box, row.place);
    flagBoxes_.push_back({row.flag, box});
  }
}

QCheckBox* OptionPages::Box(bool WindowSettings::*flag) const {
  for (const auto& [boxFlag, box] : flagBoxes_) {
    if (boxFlag == flag) return box;
  }
  return nullptr;
}

void OptionPages::BuildBasicPage() {
  // Frame rate, size, the two automatic steps, the output type, defaults.
  // (Each page is the page control's from the start, so it measures its texts in the window's font.)
  auto* basic = new QWidget(this);
  auto* frameLabel = new QLabel(tr("每秒录制帧数:"), basic);
  auto* sizeLabel = new QLabel(tr("转换图尺寸:"), basic);
  const int labelWidth = std::max({kLabelMinWidth, frameLabel->sizeHint().width(), sizeLabel->sizeHint().width()});
  const int boxLeft = kLabelLeft + labelWidth + kLabelToBox;
  frameLabel->setGeometry(kLabelLeft, kRateRowTop + kLabelDrop, labelWidth, kLabelHeight);
  sizeLabel->setGeometry(kLabelLeft, kSizeRowTop + kLabelDrop, labelWidth, kLabelHeight);
  CBFrame = new QComboBox(basic);
  CBFrame->setObjectName(QStringLiteral("CBFrame"));
  CBFrame->setEditable(true);
  for (int fps = kMaxFramesPerSecond; fps >= 1; --fps) CBFrame->addItem(QString::number(fps));
  CBFrame->setCurrentIndex(WindowSettings::kDesignFrameIndex);  // "10"
  CBFrame->setGeometry(QRect(QPoint(boxLeft, kRateRowTop), kRateBox));
  CB_Size = new QComboBox(basic);
  CB_Size->setObjectName(QStringLiteral("CB_Size"));
  CB_Size->setEditable(true);
  for (const Rect& r : StandardOutputSizes()) CB_Size->addItem(QStringLiteral("%1 X %2").arg(r.Right).arg(r.Bottom));
  CB_Size->setCurrentIndex(WindowSettings::kDesignSizeIndex);  // "160 X 120"
  CB_Size->setGeometry(QRect(QPoint(boxLeft, kSizeRowTop), kSizeBox));
  AddFlagBoxes(kBasicPage, basic);
  RGoutputType = new QGroupBox(tr("输出文件类型:"), basic);
  RGoutputTypeButtons = new QButtonGroup(RGoutputType);
  auto* types = new QVBoxLayout(RGoutputType);
  types->setContentsMargins(kOutputTypeMargins);
  types->setSpacing(0);
  const QString captions[] = {tr("单个文本文件(用本程序播放)"), tr("HTML网页(必须允许浏览器运行脚本)"),
                              tr("EXCEL文件(必须允许EXCEL启用宏)"), tr("多个文本文件")};
  static_assert(std::size(captions) == kOutputFormCount);
  QFont typeFont = RGoutputType->font();
  typeFont.setPixelSize(kOutputTypePixels);
  for (int i = 0; i < kOutputFormCount; ++i) {
    auto* button = new QRadioButton(captions[i]);
    button->setFont(typeFont);
    button->setFixedHeight(kOutputTypeHeight);
    RGoutputTypeButtons->addButton(button, i);
    types->addWidget(button);
  }
  RGoutputType->setGeometry(kOutputTypeGroup.x(), kOutputTypeGroup.y(), kOutputTypeGroup.width(),
                            RGoutputType->sizeHint().height());
  BtnOptionDefault = new QPushButton(tr("默认"), basic);
  const int textWidth = BtnOptionDefault->fontMetrics().horizontalAdvance(BtnOptionDefault->text());
  BtnOptionDefault->setGeometry(std::max(kDefaultButton.x(), boxLeft + CBFrame->width() + kButtonGap),
                                kDefaultButton.y(), std::max(kDefaultButton.width(), textWidth + kButtonTextRoom),
                                kDefaultButton.height());
  addTab(basic, tr("基本"));
}

void OptionPages::BuildAdvancedPage() {
  // The working folder, and how recording and conversion work.
  auto* advanced = new QWidget(this);
  auto* pathLabel = new QLabel(tr("录制图片保存路径："), advanced);
  const int pathLabelRight = Place(pathLabel, kPathLabel);
  SBSavePath = new QToolButton(advanced);
  SBSavePath->setAutoRaise(true);
  SBSavePath->setIcon(icons::Make(icons::Kind::Folder));
  SBSavePath->setToolTip(tr("选择保存目录"));
  SBSavePath->setGeometry(std::max(kPathButton.x(), pathLabelRight + kLabelToButton), kPathButton.y(),
                          kPathButton.width(), kPathButton.height());
  EdSavePath = new QLineEdit(advanced);
  EdSavePath->setReadOnly(true);
  EdSavePath->setGeometry(kPathEdit);
  AddFlagBoxes(kAdvancedPage, advanced);
  addTab(advanced, tr("高级"));
}

void OptionPages::BuildGrayPage() {
  // The gray table editor: the table in use, its level count, the stored list.
  auto* gray = new QWidget(this);
  EdGray = new QLineEdit(gbk::Decode(gbk::DefaultGrayTable()), gray);
  EdGray->setObjectName(QStringLiteral("EdGray"));
  EdGray->setGeometry(kGrayEdit);
  SBGray = new QToolButton(gray);
  SBGray->setAutoRaise(true);
  SBGray->setIcon(icons::Make(icons::Kind::Store));
  SBGray->setToolTip(tr("保存到列表中"));
  SBGray->setGeometry(kGrayButton);
  LbGray = new QLabel(GrayLevelCaption, gray);
  LbGray->setGeometry(kGrayLevelLabel);
  Image_Gray = new QLabel(gray);
  Image_Gray->setScaledContents(true);
  Image_Gray->setPixmap(QPixmap(QStringLiteral(":/GrayGradient.jpg"), "JPG"));
  Image_Gray->setGeometry(kGrayStrip);
  ListGray = new QListWidget(gray);
  ListGray->setObjectName(QStringLiteral("ListGray"));
  ListGray->setGeometry(kGrayList);
  addTab(gray, tr("灰度表"));
  EdGrayChange();  // the level display of the design text
}

// ---- The value --------------------------------------------------------------------------

WindowSettings OptionPages::Settings() const {
  WindowSettings s = shown_;
  s.savePath = SavePathBytes;
  s.outputType = OutputFormAt(RGoutputTypeButtons->checkedId());
  for (const auto& [flag, box] : flagBoxes_) s.*flag = box->isChecked();
  s.outputSize = CB_Size->currentIndex();
  s.outputFrame = CBFrame->currentIndex();
  s.grayUnencodable.clear();
  QString refusal;
  if (!GrayTableBytes(&s.grayword, &refusal)) {
    s.grayword = GrayBytes.value_or(gbk::DefaultGrayTable());
    s.grayUnencodable = FirstUnencodable(EdGray->text());
  }
  s.grayList.clear();
  for (int row = 0; row < ListGray->count(); ++row) s.grayList.push_back(GrayListBytes(row));
  return s;
}

void OptionPages::Show(const WindowSettings& s) {
  {
    const QSignalBlocker quiet(this);  // one changed() for the whole value
    shown_ = s;
    SavePathBytes = s.savePath;
    EdSavePath->setText(FromLocal(s.savePath));
    SetOutputType(s.outputType);
    for (const auto& [flag, box] : flagBoxes_) box->setChecked(s.*flag);
    CB_Size->setCurrentIndex(s.outputSize);
    CBFrame->setCurrentIndex(s.outputFrame);
    GrayBytes = s.grayword;
    EdGray->setText(gbk::Decode(s.grayword));  // runs the level display; nothing left to undo
    ListGray->clear();
    for (const std::string& table : s.grayList) AddGrayListItem(table);
  }
  emit changed();
}

void OptionPages::SetOutputType(std::optional<OutputForm> form) {
  if (form) {
    RGoutputTypeButtons->button(static_cast<int>(*form))->setChecked(true);
    return;
  }
  // No item selected.
  RGoutputTypeButtons->setExclusive(false);
  for (QAbstractButton* b : RGoutputTypeButtons->buttons()) b->setChecked(false);
  RGoutputTypeButtons->setExclusive(true);
}

// ---- "基本" and "高级" ----------------------------------------------------------------------

void OptionPages::CBFrameChange() {
  // The capture interval follows the rate (WindowSettings::Interval); the
  // window hands it to the capture timer.
  emit changed();
}

void OptionPages::CB_SizeChange() {
  const std::optional<Rect> size = Settings().OutputRect();
  if (size && size->Right > kNotepadWidth) {
    dialogs_.Message(window(), tr("请注意:转换图宽大于250用记事本程序打开时可能会显示异常."));
  }
  emit changed();
}

void OptionPages::BtnOptionDefaultClick() {
  CBFrame->setCurrentIndex(WindowSettings::kDesignFrameIndex);  // "10" frames a second
  CBFrameChange();
  CB_Size->setCurrentIndex(kDefaultsSizeIndex);
  CB_SizeChange();
  Box(&WindowSettings::autoConvert)->setChecked(true);
  Box(&WindowSettings::autoClearBmp)->setChecked(true);
  SetOutputType(OutputForm::Text);
}

void OptionPages::SBSavePathClick() {
  const std::optional<QString> chosen = dialogs_.ChooseFolder(window(), tr("选择保存目录"));
  if (!chosen) return;
  std::string folder = chosen->toLocal8Bit().toStdString();
  if (folder.empty() || folder.back() != '/') folder += '/';
  // Shown relative to the program folder when it lies inside it; the window
  // works in the folder the value names (MakeAbsolutePath) from now on.
  SavePathBytes = MakeRelativePath(folder);
  EdSavePath->setText(FromLocal(SavePathBytes));
  emit changed();
}

void OptionPages::FollowSize() {
  const int w = width(), h = height();
  auto setWidth = [](QWidget* widget, int width) { widget->resize(std::max(0, width), widget->height()); };
  setWidth(EdSavePath, w - kPathEditRoom);
  setWidth(RGoutputType, w - kOutputTypeRoom);
  setWidth(EdGray, w - kGrayEditRoom);
  SBGray->move(w - kGrayButtonFromRight, SBGray->y());
  ListGray->resize(std::max(0, w - kGrayListRoom), std::max(0, h - kGrayListBelow));
}

// ---- "灰度表" ----------------------------------------------------------------------------

bool OptionPages::GrayTableBytes(std::string* bytes, QString* error) const {
  if (GrayBytes && EdGray->text() == gbk::Decode(*GrayBytes)) {
    *bytes = *GrayBytes;
    return true;
  }
  return gbk::Encode(EdGray->text(), bytes, error);
}

std::string OptionPages::GrayListBytes(int row) const {
  const QListWidgetItem* item = ListGray->item(row);
  return item ? item->data(kGrayListBytesRole).toByteArray().toStdString() : std::string();
}

void OptionPages::AddGrayListItem(const std::string& bytes) {
  auto* item = new QListWidgetItem(gbk::Decode(bytes));
  item->setData(kGrayListBytesRole, QByteArray::fromStdString(bytes));
  ListGray->addItem(item);
}

void OptionPages::EdGrayChange() {
  std::string bytes;
  QString error;
  if (!GrayTableBytes(&bytes, &error)) {
    // Characters GBK cannot hold still take room in the box: count the text as typed.
    bytes = EdGray->text().toUtf8().toStdString();
  }
  if (bytes.size() >= 2) {
    const int levels = CountGrayUnits(bytes);
    LbGray->setText(GrayLevelCaption + QString::number(levels));
    // The strip starts where the count ends, which a longer caption pushes on.
    LbGray->resize(std::max(kGrayLevelLabel.width(), LbGray->sizeHint().width()), LbGray->height());
    Image_Gray->setGeometry(std::max(kGrayStrip.x(), LbGray->x() + LbGray->width()), Image_Gray->y(),
                            kGrayStripPixelsPerLevel * levels, Image_Gray->height());
  }
  emit changed();
}

void OptionPages::ListGrayClick() {
  const int row = ListGray->currentRow();
  if (row < 0) return;
  // A table the user typed is not replaced without asking.
  if (EdGray->isUndoAvailable() && !dialogs_.Confirm(window(), tr("是否更新当前的灰度表？"))) return;
  GrayBytes = GrayListBytes(row);
  EdGray->setText(gbk::Decode(*GrayBytes));  // set by the program: nothing left to undo
}

void OptionPages::SBGrayClick() {
  std::string bytes;
  QString refusal;
  if (!GrayTableBytes(&bytes, &refusal)) {
    dialogs_.Message(window(), tr("灰度表不能使用: ") + refusal);
    return;
  }
  if (bytes.find(' ') != std::string::npos) {
    dialogs_.Message(window(), tr("输入文本中不能含有空格"));
    return;
  }
  if (!dialogs_.Confirm(window(), tr("确认将上面的灰度表项目保存到当前列表?"))) return;
  const int row = ListGray->currentRow();
  if (row >= 0 && ListGray->item(row)->isSelected()) {
    QListWidgetItem* item = ListGray->item(row);
    item->setText(gbk::Decode(bytes));
    item->setData(kGrayListBytesRole, QByteArray::fromStdString(bytes));
  } else {
    AddGrayListItem(bytes);
  }
  emit changed();
}

bool OptionPages::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListGray && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
                              event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    // Only a key pressed in the list picks a row; the row Qt makes current
    // when the list takes the focus is no pick.
    ListGrayKeyPick = event->type() == QEvent::KeyPress;
  }
  return QTabWidget::eventFilter(watched, event);
}
