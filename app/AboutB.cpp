#include "app/AboutB.h"

#include "app/Icons.h"
#include "shell/Launcher.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace about {
const char* const kProducer = QT_TRANSLATE_NOOP("TAboutForm", "Glyphreel 开发组");
const char* const kHomePage = "https://glyphreel.example.org/";
const char* const kGuestBook = "https://glyphreel.example.org/guestbook";
const char* const kEmail = "glyphreel@example.org";
const char* const kBuildDate = QT_TRANSLATE_NOOP("TAboutForm", "2009年12月");

QString Introduction() {
  return QCoreApplication::translate("TAboutForm",
                                     "    本程序用于将电影视频文件转换为用字符画制成的字符电影,字符"
                                     "制成的字符电影可以是文本格式、网页格式或EXCEL格式.使用本程序"
                                     "制作字符电影非常简单.首先打开视频文件,然后点录制按钮即录制"
                                     ",录制完成后点击字符转换按钮开始转换,转换完成后便可以直接看"
                                     "到转换效果.如果输出为单个文本,本程序还可以实现字符电影与原电影"
                                     "的同步播放."
                                     "\r\n\r\n"
                                     "    本程序属即兴之作,存在问题敬请见谅.");
}
}  // namespace about

namespace {
constexpr int kClientWidth = 392, kClientHeight = 253;
}

TAboutForm::TAboutForm(Launcher& launcher, QWidget* parent) : QDialog(parent), launcher_(launcher) {
  setFixedSize(kClientWidth, kClientHeight);
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(12);
  setFont(font);

  auto label = [this](const QString& text, int top) {
    auto* l = new QLabel(text, this);
    l->setGeometry(16, top, 290, 16);
    return l;
  };
  L_Name = label(tr("名称:"), 8);
  L_Ver = label(tr("版本:"), 26);
  L_Pro = label(tr("作者: "), 44);
  L_Date = label(tr("日期:"), 62);
  L_Int = label(tr("简介:"), 80);
  nameCaption_ = L_Name->text();
  versionCaption_ = L_Ver->text();
  producerCaption_ = L_Pro->text();
  dateCaption_ = L_Date->text();

  auto linkButton = [this](icons::Kind icon, int top) {
    auto* b = new QToolButton(this);
    b->setAutoRaise(true);
    b->setIcon(icons::Make(icon));
    b->setIconSize(QSize(20, 20));
    b->setGeometry(312, top, 65, 26);
    return b;
  };
  SB_HomePage = linkButton(icons::Kind::HomePage, 8);
  SB_GuestBook = linkButton(icons::Kind::GuestBook, 34);
  SB_Email = linkButton(icons::Kind::Email, 60);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(14, 96, 364, 118);
  L_Introcuce = new QPlainTextEdit(panel);
  L_Introcuce->setReadOnly(true);
  L_Introcuce->setFrameStyle(QFrame::NoFrame);
  L_Introcuce->setGeometry(3, 3, 358, 112);
  QPalette pal = L_Introcuce->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));  // the scroll-bar colour
  L_Introcuce->setPalette(pal);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(160, 222, 80, 25);
  Button1->setDefault(true);

  connect(Button1, &QPushButton::clicked, this, &TAboutForm::Button1Click);
  connect(SB_HomePage, &QToolButton::clicked, this, &TAboutForm::SB_HomePageClick);
  connect(SB_GuestBook, &QToolButton::clicked, this, &TAboutForm::SB_GuestBookClick);
  connect(SB_Email, &QToolButton::clicked, this, &TAboutForm::SB_EmailClick);
}

void TAboutForm::SetLanguage(bool chinese) {
  HomePageUrl = QString::fromUtf8(about::kHomePage);
  GuestBookUrl = QString::fromUtf8(about::kGuestBook);
  EmailAddress = QString::fromUtf8(about::kEmail);
  if (chinese) {
    nameCaption_ = tr("软件名: ");
    L_Name->setText(nameCaption_);
    versionCaption_ = tr("版  本: ");
    L_Ver->setText(versionCaption_);
    producerCaption_ = tr("制作者: ");
    L_Pro->setText(producerCaption_);
    L_Int->setText(tr("简  介:"));
    dateCaption_ = tr("日  期: ");
    L_Date->setText(dateCaption_);
    SB_HomePage->setToolTip(tr("访问软件主页"));
    SB_GuestBook->setToolTip(tr("留言及建议"));
    SB_Email->setToolTip(tr("给作者发信"));
  } else {
    nameCaption_ = QStringLiteral("SoftName: ");
    L_Name->setText(nameCaption_);
    versionCaption_ = QStringLiteral("Version: ");
    L_Ver->setText(versionCaption_);
    producerCaption_ = QStringLiteral("Producer: ");
    L_Pro->setText(producerCaption_);
    L_Int->setText(QStringLiteral("Introduction:"));
    dateCaption_ = QStringLiteral("Build at: ");
    L_Date->setText(dateCaption_);
    SB_HomePage->setToolTip(QStringLiteral("Homepage"));
    SB_GuestBook->setToolTip(QStringLiteral("GuestBook"));
    SB_Email->setToolTip(QStringLiteral("Email to me"));
  }
}

void TAboutForm::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TAboutForm::FormShow() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize s = screen->size();
    move((s.width() - width()) / 2, (s.height() - height()) / 2);
  }
  setWindowTitle(QStringLiteral("About ") + SoftName);
  // The captions of the language, extended afresh at every showing (a box
  // restored from the task bar is shown again).
  L_Name->setText(nameCaption_ + SoftName);
  L_Ver->setText(versionCaption_ + SoftVersion);
  L_Pro->setText(producerCaption_ + Producer);
  L_Date->setText(dateCaption_ + BuildDate);
  L_Introcuce->setPlainText(QString(Introduction).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TAboutForm::Button1Click() { accept(); }
void TAboutForm::SB_HomePageClick() { launcher_.URLink(HomePageUrl.toStdString()); }
void TAboutForm::SB_GuestBookClick() { launcher_.URLink(GuestBookUrl.toStdString()); }
void TAboutForm::SB_EmailClick() { launcher_.URLink("mailto:" + EmailAddress.toStdString()); }
