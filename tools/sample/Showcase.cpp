// Drives the real window through the road for screenshots: opens a video,
// records it into FRAMES_FOLDER (converted as the recording ends), plays the
// character movie in step with the video, and saves pictures of the window
// in both layouts, at two font sizes and with both colour pairs. Dialogs are
// answered by the program, nothing is launched.
//
// Usage (under a display, e.g. Xvfb): glyphreel-showcase VIDEO FRAMES_FOLDER OUT_PREFIX
#include "support/ScriptedDialogs.h"
#include "app/Fonts.h"
#include "app/Launcher.h"
#include "app/Link.h"
#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {


void Shoot(QWidget& window, const std::string& path) {
  QApplication::processEvents();
  const QPixmap shot = window.screen()->grabWindow(0);
  shot.save(QString::fromStdString(path));
  std::printf("%s\n", path.c_str());
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
  form.RecordFolder = std::string(argv[2]) + "/";
  form.CB_Size->setCurrentIndex(4);  // 160 X 120
  form.CBFrame->setCurrentIndex(5);  // 10 a second
  form.CBFrameChange();
  form.SetOutputType(OutputForm::Text);
  form.CB_AutoConvert->setChecked(true);
  const std::string prefix = argv[3];

  // Record the whole movie; the conversion follows its end.
  form.TBISnapBegin->trigger();
  Wait(3000);
  Shoot(form, prefix + "-recording.png");
  while (!form.TBISnapBegin->isEnabled()) Wait(200);

  form.TBIFontSizeClick();  // 8, then on down to 4 and round to 12 below
  form.TBIPlayText2->trigger();
  Wait(2500);
  Shoot(form, prefix + "-standard.png");

  form.TBIWnd->trigger();
  for (int i = 0; i < 3; ++i) form.TBIFontSizeClick();  // 5
  Wait(1500);
  Shoot(form, prefix + "-text-layout.png");

  form.TBIColor->trigger();
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
