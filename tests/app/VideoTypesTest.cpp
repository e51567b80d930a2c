// The videos the window opens and the desktop entry offers it for: one list.
#include "app/VideoTypes.h"
#include "support/TestSupport.h"

#include <QMimeDatabase>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList Split(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

TEST(VideoTypes, TheDesktopEntryOffersExactlyTheTypesTheOpenDialogAccepts) {
  const std::string desktop =
      testing_support::ReadAll(std::string(GLYPHREEL_SOURCE_DIR) + "/packaging/org.example.glyphreel.desktop");
  const size_t at = desktop.find("\nMimeType=") + 10;
  const QStringList offered = Split(std::string_view(desktop).substr(at, desktop.find('\n', at) - at));
  QStringList listed;
  for (const VideoType& type : kVideoTypes) {
    const QStringList types = Split(type.mimeTypes);
    listed << types;
    // The desktop's media-type database names a file of this pattern by the first type.
    const QString name = QStringLiteral("a") + Split(type.pattern).front().mid(1).toLower();
    if (!types.isEmpty()) {
      EXPECT_EQ(QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name(), types[0]);
    }
  }
  EXPECT_EQ(QSet<QString>(offered.begin(), offered.end()), QSet<QString>(listed.begin(), listed.end()));
  EXPECT_TRUE(listed.contains(QStringLiteral("video/mp4")) && listed.contains(QStringLiteral("video/3gpp")));
}

}  // namespace
