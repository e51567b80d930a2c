// Program entry: the application, the main window, the message loop.
#include "app/Dialogs.h"
#include "app/Fonts.h"
#include "app/Launcher.h"
#include "app/Link.h"
#include "app/Main.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral(GLYPHREEL_PRODUCT_NAME));
  InstallFontSubstitutions();
  QtDialogs dialogs;
  DesktopLauncher launcher;
  TForm1 form({&dialogs, &launcher, ProgramFolder()});
  form.show();
  return app.exec();
}
