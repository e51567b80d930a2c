// The window's language: English under an English locale, the window's own
// Chinese otherwise (the C locale included). Each test walks every widget and
// action and records every message box and dialog on the road through the
// window, then checks what the user saw.
#include "WindowFixture.h"

#include "app/AboutB.h"
#include "playback/FrameLabel.h"
#include "shell/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QStringDecoder>
#include <QTranslator>

#include <cstdlib>

namespace {

using testing_support::WriteAll;

bool HasCjk(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

// Every text a user can see on `root` and its children, each with where it
// was found; `content` widgets (movie text, gray tables) are left out.
void CollectTexts(QWidget* root, const std::vector<const QWidget*>& content, QStringList* out) {
  auto add = [out](const QString& where, const QString& text) {
    if (!text.isEmpty()) *out << where + QStringLiteral(": ") + text;
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (std::find(content.begin(), content.end(), w) != content.end()) continue;
    const QString name = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
    if (w->isWindow()) add(name + QStringLiteral(" title"), w->windowTitle());
    add(name + QStringLiteral(" hint"), w->toolTip());
    if (auto* l = qobject_cast<QLabel*>(w)) add(name, l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) add(name, b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) add(name, g->title());
    if (auto* e = qobject_cast<QLineEdit*>(w)) add(name, e->text());
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) add(name, e->toPlainText());
    if (auto* t = qobject_cast<QTabWidget*>(w)) {
      for (int i = 0; i < t->count(); ++i) add(name + QStringLiteral(" tab"), t->tabText(i));
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      for (int i = 0; i < c->count(); ++i) add(name + QStringLiteral(" item"), c->itemText(i));
    }
    for (QAction* a : w->actions()) {
      add(QStringLiteral("action ") + a->objectName(), a->text());
      add(QStringLiteral("action hint ") + a->objectName(), a->toolTip());
    }
  }
}

// The road through the window with every kind of message on it: the texts
// of the window at each stop, of the about box, and of every dialog.
class LanguageRoad : public WindowTest {
 protected:
  void TearDown() override {
    if (installed_) QCoreApplication::removeTranslator(&translator_);
  }
  void Install(WindowLanguage language) {
    ASSERT_TRUE(LoadTranslation(language, translator_));
    if (language == WindowLanguage::English) installed_ = QCoreApplication::installTranslator(&translator_);
  }

  void Snapshot() {
    CollectTexts(form.get(), {Parts(*form).Lb_TextShow, Parts(*form).EdGray, Parts(*form).ListGray}, &texts);
  }

  void WalkTheRoad() {
    TForm1& f = Start();
    Snapshot();
    // Preview and record a clip; the automatic conversion opens the movie.
    OpenVideo(Clip("clip.avi", 25));
    Snapshot();
    Parts(f).TBIPlay->trigger();
    Snapshot();
    Parts(f).TBIPause->trigger();
    Snapshot();
    Parts(f).TBIStop->trigger();
    Snapshot();
    Parts(f).SetOutputType(OutputForm::Text);
    Parts(f).TBISnapBegin->trigger();
    Snapshot();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 10000));
    Snapshot();
    Parts(f).TBIPlayText->trigger();
    Snapshot();
    Parts(f).TBIStopText->trigger();
    // The other output forms and their messages.
    for (int form = 1; form <= 3; ++form) {
      Parts(f).SetOutputType(OutputFormAt(form));
      Parts(f).TBIConvert->trigger();
      Snapshot();
    }
    Parts(f).SetOutputType(std::nullopt);
    f.TBIConvertClick();
    WriteAll(Parts(f).RecordFolder + "2.bmp", "broken");
    Parts(f).SetOutputType(OutputForm::Text);
    f.TBIConvertClick();
    // Errors: a file that is no video, an unreadable and a short movie, a
    // gray table that cannot be encoded or holds a space, frames that cannot
    // be cleared, a recording folder that cannot be made.
    WriteAll(app / "notes.txt", "no video\r\n");
    OpenVideo(app / "notes.txt");
    dialogs.files.push_back(QString::fromStdString(app / "missing.txt"));
    f.TBIOpenTextClick();
    WriteAll(app / "short.txt", "ab\r\n\x80\x80\r\n");
    dialogs.files.push_back(QString::fromStdString(app / "short.txt"));
    f.TBIOpenTextClick();
    Snapshot();
    Parts(f).EdGray->setText(QStringLiteral("ab\u0e01\u0e01"));  // Thai: no GBK form
    f.TBIConvertClick();
    Parts(f).SBGrayClick();
    Parts(f).EdGray->setText(QStringLiteral("a b"));
    Parts(f).SBGrayClick();
    QTest::keyClicks(Parts(f).EdGray, "zz");
    Parts(f).ListGray->setCurrentRow(2);
    fileio::MakePath(Parts(f).RecordFolder + "x.bmp/inside", nullptr);
    f.ClearOldFrames();
    WriteAll(app / "blocker", "a file where the folder should be");
    Parts(f).RecordFolder = app / "blocker/frames/";
    OpenVideo(Clip("clip.avi", 25));
    Parts(f).TBISnapBegin->trigger();
    // The folder chooser, the save dialog, the width warning.
    dialogs.folders.push_back(std::nullopt);
    Parts(f).SBSavePath->click();
    Parts(f).CB_Size->setCurrentIndex(8);
    Parts(f).CB_SizeChange();
    Snapshot();
    // The about box, as the toolbar shows it.
    QTimer::singleShot(0, [this] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        CollectTexts(box, {}, &texts);
        box->close();
      }
    });
    Parts(f).TBIAbout->trigger();
    Parts(f).TBIHelp->trigger();
    helpOpened = launcher.Calls.back().argument;
    for (const QString& s : dialogs.shown) texts << QStringLiteral("dialog: ") + s;
    for (const QString& s : dialogs.filters) texts << QStringLiteral("filter: ") + s;
  }

  QTranslator translator_;
  bool installed_ = false;
  QStringList texts;
  std::string helpOpened;  // what the help button opened
};

TEST_F(LanguageRoad, EnglishWindowShowsNoChineseButContent) {
  Install(WindowLanguage::English);
  WalkTheRoad();
  EXPECT_GT(texts.size(), 100) << "the walk saw the window";
  QStringList chinese;
  for (const QString& t : texts) {
    if (HasCjk(t)) chinese << t;
  }
  chinese.removeDuplicates();
  EXPECT_TRUE(chinese.isEmpty()) << chinese.join(QLatin1Char('\n')).toStdString();
  // A few texts as the English reader sees them.
  for (const char* expected : {"action hint : Open a video", "dialog: The video could not be opened. Please install a decoder for it.",
                               "dialog: Please choose an output type first"}) {
    bool found = false;
    for (const QString& t : texts) found = found || t.endsWith(QString::fromUtf8(expected).section(QStringLiteral(": "), 1));
    EXPECT_TRUE(found) << expected;
  }
  // The English help, laid out beside the Chinese one in UTF-8.
  EXPECT_EQ(helpOpened, app / "dll/Help_en.txt");
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString help = utf8(QByteArray::fromStdString(testing_support::ReadAll(testing_support::BuiltAppPath() + "dll/Help_en.txt")));
  EXPECT_FALSE(utf8.hasError());
  EXPECT_TRUE(help.startsWith(QStringLiteral("Glyphreel character movies: help")));
}

TEST_F(LanguageRoad, CLocaleShowsTheWindowsOwnChinese) {
  // Under the C locale LANGUAGE is not looked at, as gettext does.
  const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) saved.push_back(std::getenv(n) ? std::optional<std::string>(std::getenv(n)) : std::nullopt);
  setenv("LANGUAGE", "en_US", 1);
  setenv("LC_ALL", "C", 1);
  setenv("LANG", "en_US.UTF-8", 1);
  const WindowLanguage language = LanguageOfEnvironment();
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
    else unsetenv(names[i]);
  }
  ASSERT_EQ(WindowLanguage::Chinese, language);
  Install(language);
  WalkTheRoad();
  for (const char* expected : {"打开电影文件", "打开视频出错，请先安装相应视频解码器.", "请先选择输出文件类型", "简  介:",
                               "灰度表不能使用: 字符“ก”(U+0E01) 没有 GBK 编码，不能使用"}) {
    bool found = false;
    for (const QString& t : texts) found = found || t.endsWith(QString::fromUtf8(expected));
    EXPECT_TRUE(found) << expected;
  }
  for (const QString& t : texts) EXPECT_FALSE(t.contains(QStringLiteral("Open a video"))) << t.toStdString();
  EXPECT_EQ(helpOpened, app / "dll/Help.txt");
}

}  // namespace
