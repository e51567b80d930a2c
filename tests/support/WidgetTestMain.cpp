// main() of the test programs that drive widgets: a QApplication on Qt's
// offscreen platform unless something else was chosen, with the window's
// font substitutions.
#include "app/Fonts.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
