// The videos the window opens and the desktop entry offers it for: one list.
#include "app/VideoTypes.h"
#include "support/TestSupport.h"

#include <QMimeDatabase>
#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList TypesOf(const VideoType& type) {
  return QString::fromLatin1(type.mimeTypes.data(), static_cast<qsizetype>(type.mimeTypes.size()))
      .split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

TEST(VideoTypes, TheDesktopEntryOffersExactlyTheTypesTheOpenDialogAccepts) {
  const std::string desktop =
      testing_support::ReadAll(std::string(GLYPHREEL_SOURCE_DIR) + "/packaging/org.example.glyphreel.desktop");
  const size_t at = desktop.find("\nMimeType=");
  ASSERT_NE(at, std::string::npos);
  const std::string line = desktop.substr(at + 10, desktop.find('\n', at + 1) - at - 10);
  const QStringList offeredList = QString::fromStdString(line).split(QLatin1Char(';'), Qt::SkipEmptyParts);
  const QSet<QString> offered(offeredList.begin(), offeredList.end());
  QSet<QString> listed;
  const QMimeDatabase database;
  for (const VideoType& type : kVideoTypes) {
    const QStringList types = TypesOf(type);
    for (const QString& t : types) listed << t;
    if (types.isEmpty()) continue;
    // The desktop's own database gives a file of this pattern the first type named.
    const QString pattern = QString::fromLatin1(type.pattern.data(), static_cast<qsizetype>(type.pattern.size()));
    const QMimeType found = database.mimeTypeForFile(QStringLiteral("a") + pattern.mid(1).toLower(),
                                                     QMimeDatabase::MatchExtension);
    EXPECT_EQ(found.name(), types.front()) << pattern.toStdString();
  }
  EXPECT_EQ(offered, listed) << line;
  for (const char* phone : {"video/mp4", "video/x-matroska", "video/webm", "video/3gpp"}) {
    EXPECT_TRUE(listed.contains(QString::fromLatin1(phone))) << phone;
  }
}

}  // namespace
