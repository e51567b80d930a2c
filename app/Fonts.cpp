#include "app/Fonts.h"

#include <QFont>
#include <QStringList>

void InstallFontSubstitutions() {
  QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                                       QStringLiteral("WenQuanYi Zen Hei Mono")});
}
