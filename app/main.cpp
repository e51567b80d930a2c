// Program entry: the command line, the application, the main window, the
// message loop.
#include "app/CloseSignals.h"
#include "app/Dialogs.h"
#include "app/Fonts.h"
#include "app/Main.h"
#include "shell/Language.h"
#include "shell/Launcher.h"
#include "shell/Link.h"
#include "shell/StartOptions.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {

// --help and --version answer before the toolkit starts, so they work
// without a display.
bool AsksForTextOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    for (const char* option : {"--help", "-h", "--version", "-v"}) {
      if (std::strcmp(argv[i], option) == 0) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForTextOnly(argc, argv)) {
    const StartOptions options = ParseStartOptions(std::vector<std::string>(argv + 1, argv + argc));
    std::fputs((options.action == StartOptions::Action::Version ? StartVersionText() : StartHelpText()).c_str(), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral(GLYPHREEL_PRODUCT_NAME));
  // The desktop matches the window to its entry (icon, name) by this id.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.glyphreel"));
  std::vector<std::string> args;
  for (const QString& a : QApplication::arguments().mid(1)) args.push_back(a.toLocal8Bit().toStdString());
  const StartOptions options = ParseStartOptions(args);
  if (options.action == StartOptions::Action::BadUsage) {
    std::fprintf(stderr, "glyphreel: %s\n\n%s", options.error.c_str(), StartHelpText().c_str());
    return 2;
  }
  // English for an English-speaking user; the window's own Chinese
  // otherwise, with Qt's own texts (dialogs, buttons) in Chinese too.
  QTranslator translator;
  QTranslator qtTranslator;
  const WindowLanguage language = LanguageOfEnvironment();
  if (language == WindowLanguage::English && LoadTranslation(language, translator)) {
    QCoreApplication::installTranslator(&translator);
  }
  if (language == WindowLanguage::Chinese && LoadQtTranslation(language, qtTranslator)) {
    QCoreApplication::installTranslator(&qtTranslator);
  }
  InstallFontSubstitutions();
  QtDialogs dialogs;
  DesktopLauncher launcher;
  TForm1 form({&dialogs, &launcher, ProgramFolder()});
  // The session ending (SIGTERM, SIGHUP) closes the window as its close box
  // does, settings saved, without a question.
  const CloseSignals closeSignals([&form] { form.CloseBySignal(); });
  form.show();
  if (!options.file.empty()) form.OpenAtStart(options.file);
  return app.exec();
}
