#include "app/Fonts.h"

#include "playback/FrameRenderer.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutions() {
  QFont::insertSubstitutions(QStringLiteral("宋体"), MovieFontFamilies());
}
