// Drives the real window through the road for screenshots: opens a video,
// records it into FRAMES_FOLDER (converted as the recording ends), plays the
// character movie in step with the video, and saves pictures of the window
// in both layouts, at two font sizes and with both colour pairs. Dialogs are
// answered by the program, nothing is launched.
//
// Usage (under a display, e.g. Xvfb): glyphreel-showcase VIDEO FRAMES_FOLDER OUT_PREFIX
//
// glyphreel-showcase --pages OUT_PREFIX instead shoots the window at its
// default size (640 x 480) in the language of the environment, as the program
// speaks it: each option page, then each of its dialogs (about box, video
// export, open, folder chooser, a message and a question), OUT_PREFIX-*.png.
#include "support/ScriptedDialogs.h"
#include "support/WindowParts.h"
#include "app/Dialogs.h"
#include "app/Fonts.h"
#include "app/Main.h"
#include "shell/Language.h"
#include "shell/Launcher.h"
#include "shell/Link.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {


// The screen, or the part of it that `area` covers.
void Shoot(QWidget& window, const std::string& path, const QRect& area = QRect()) {
  QApplication::processEvents();
  const QPixmap shot = area.isValid() ? window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                      : window.screen()->grabWindow(0);
  shot.save(QString::fromStdString(path));
  std::printf("%s\n", path.c_str());
}

// The window and the dialog up over it.
QRect WindowArea(QWidget& window) {
  QRect area = window.frameGeometry();
  if (QWidget* box = QApplication::activeModalWidget()) area |= box->frameGeometry();
  return area;
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

// Every option page and every dialog of the window at its default size.
int ShootPages(const std::string& prefix) {
  QTranslator translator, qtTranslator;
  const WindowLanguage language = LanguageOfEnvironment();
  if (language == WindowLanguage::English && LoadTranslation(language, translator)) {
    QCoreApplication::installTranslator(&translator);
  }
  if (language == WindowLanguage::Chinese && LoadQtTranslation(language, qtTranslator)) {
    QCoreApplication::installTranslator(&qtTranslator);
  }
  // A program folder of its own, whose empty settings file gives the default size.
  const QTemporaryDir folder;
  const std::string appPath = folder.path().toStdString() + "/";
  QDir().mkpath(folder.path() + QStringLiteral("/dll"));
  QFile(folder.path() + QStringLiteral("/dll/Kinograf.ini")).open(QIODevice::WriteOnly);
  QtDialogs dialogs;
  RecordingLauncher launcher;
  TForm1 form({&dialogs, &launcher, appPath});
  form.show();
  Wait(1000);
  for (int page = 0; page < Parts(form).PgC->count(); ++page) {
    Parts(form).PgC->setCurrentIndex(page);
    Wait(300);
    Shoot(form, prefix + "-page" + std::to_string(page + 1) + ".png", WindowArea(form));
  }
  // Each dialog is shot once it is up, then closed.
  auto shootDialog = [&](const std::string& name, const std::function<void()>& open) {
    QTimer::singleShot(800, [&, name] {
      Shoot(form, prefix + "-" + name + ".png", WindowArea(form));
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    open();
  };
  shootDialog("about", [&] { form.TBIAboutClick(); });
  shootDialog("export", [&] { dialogs.ExportVideo(&form, QString::fromStdString(appPath + "movie.mp4"), true, true); });
  shootDialog("open", [&] { form.TBIOpenClick(); });
  shootDialog("folder", [&] { Parts(form).SBSavePathClick(); });
  shootDialog("message", [&] {
    dialogs.Message(&form, QCoreApplication::translate("TForm1", "录制帧无法保存, 录制已停止: ") +
                               QCoreApplication::translate("TForm1", "磁盘空间不足") + QStringLiteral(" (") +
                               QString::fromStdString(appPath) + QStringLiteral("output/)"));
  });
  shootDialog("question", [&] { dialogs.Confirm(&form, QCoreApplication::translate("TForm1", "正在录制,确定要退出吗？")); });
  return 0;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--pages") {
    InstallFontSubstitutions();
    return ShootPages(argv[2]);
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s VIDEO FRAMES_FOLDER OUT_PREFIX\n", argv[0]);
    return 2;
  }
  InstallFontSubstitutions();
  ScriptedDialogs answers;
  RecordingLauncher launcher;
  TForm1 form({&answers, &launcher, ProgramFolder()});
  form.resize(1000, 700);
  form.show();
  Wait(300);

  answers.files.push_back(QString::fromLocal8Bit(argv[1]));
  form.TBIOpenClick();
  Parts(form).RecordFolder = std::string(argv[2]) + "/";
  Parts(form).CB_Size->setCurrentIndex(4);  // 160 X 120
  Parts(form).CBFrame->setCurrentIndex(5);  // 10 a second
  Parts(form).CBFrameChange();
  Parts(form).SetOutputType(OutputForm::Text);
  Parts(form).CB_AutoConvert->setChecked(true);
  const std::string prefix = argv[3];

  // Record the whole movie; the conversion follows its end.
  Parts(form).TBISnapBegin->trigger();
  Wait(3000);
  Shoot(form, prefix + "-recording.png");
  while (!Parts(form).TBISnapBegin->isEnabled()) Wait(200);

  form.TBIFontSizeClick();  // 8, then on down to 4 and round to 12 below
  Parts(form).TBIPlayText2->trigger();
  Wait(2500);
  Shoot(form, prefix + "-standard.png");

  Parts(form).TBIWnd->trigger();
  for (int i = 0; i < 3; ++i) form.TBIFontSizeClick();  // 5
  Wait(1500);
  Shoot(form, prefix + "-text-layout.png");

  Parts(form).TBIColor->trigger();
  for (int i = 0; i < 7; ++i) form.TBIFontSizeClick();  // back round to 10
  Wait(1500);
  Shoot(form, prefix + "-inverted.png");

  QTimer::singleShot(800, [&] {
    Shoot(form, prefix + "-about.png");
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QDialog*>(w)) box->accept();
  });
  form.TBIAboutClick();
  form.close();
  return 0;
}
