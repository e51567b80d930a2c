// The window's language from the environment, and the English translation
// file against the window's sources.
#include "support/TestSupport.h"
#include "shell/Language.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>
#include <gtest/gtest.h>

#include <map>

namespace {

using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

TEST(LanguageTest, GettextOrderSamples) {
  struct Sample {
    std::map<std::string, std::string> environment;
    WindowLanguage expected;
  };
  const WindowLanguage en = WindowLanguage::English, zh = WindowLanguage::Chinese;
  const Sample samples[] = {
      {{}, zh},
      {{{"LANG", "en_US.UTF-8"}}, en},
      {{{"LANG", "en"}}, en},
      {{{"LANG", "zh_CN.UTF-8"}}, zh},
      {{{"LANG", "de_DE.UTF-8"}}, zh},
      // The C locale: Chinese, and LANGUAGE is not looked at.
      {{{"LANG", "C"}}, zh},
      {{{"LANG", "POSIX"}}, zh},
      {{{"LANG", "C"}, {"LANGUAGE", "en"}}, zh},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "en_GB"}}, zh},
      {{{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}, {"LANGUAGE", "en"}}, zh},
      // LC_ALL before LC_MESSAGES before LANG; empty counts as unset.
      {{{"LC_ALL", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, en},
      {{{"LC_ALL", "zh_CN.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, zh},
      {{{"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, en},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "en_AU.UTF-8"}}, en},
      // LANGUAGE: the first preference the window has texts for.
      {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "en_GB:zh_CN"}}, en},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_TW:en"}}, zh},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr:de:en"}}, en},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:de"}}, zh},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ""}}, en},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ":en@quot"}}, en},
  };
  for (const Sample& s : samples) {
    std::string shown;
    for (const auto& [name, value] : s.environment) shown += name + "=" + value + " ";
    const WindowLanguage got = LanguageFrom([&](const char* name) -> const char* {
      const auto it = s.environment.find(name);
      return it == s.environment.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(s.expected, got) << shown;
  }
}

// Qt's own buttons and dialogs speak the window's language: Chinese from
// Qt's translation, English from Qt itself.
TEST(LanguageTest, QtsOwnTextsFollowTheWindow) {
  QTranslator chinese;
  ASSERT_TRUE(LoadQtTranslation(WindowLanguage::Chinese, chinese)) << "tools/install-deps.sh installs qt6-translations-l10n";
  EXPECT_TRUE(chinese.translate("QPlatformTheme", "&Yes").contains(QStringLiteral("是")));
  EXPECT_FALSE(chinese.translate("QFileDialog", "%1 already exists.\nDo you want to replace it?").isEmpty());
  QTranslator english;
  ASSERT_TRUE(LoadQtTranslation(WindowLanguage::English, english));
  EXPECT_TRUE(english.isEmpty());
}

bool HasCjk(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

// The translation file is complete for the sources as they are: lupdate run
// over them (as the update_translations target does) finds no text without
// its English, and every English text is English.
TEST(LanguageTest, EveryWindowTextHasItsEnglish) {
  const std::string source = GLYPHREEL_SOURCE_DIR;
  const std::string committed = ReadAll(source + "/translations/glyphreel_en.ts");
  EXPECT_EQ(std::string::npos, committed.find("type=\"unfinished\"")) << "run update_translations and translate";

  TempFolder dir;
  WriteAll(dir / "check.ts", committed);
  QProcess lupdate;
  lupdate.setWorkingDirectory(QString::fromStdString(source));
  QStringList arguments = {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                           QStringLiteral("-no-obsolete"), QStringLiteral("-extensions"), QStringLiteral("cpp,h"),
                           QStringLiteral("-I"), QStringLiteral("."), QStringLiteral("-source-language"),
                           QStringLiteral("zh_CN"), QStringLiteral("-target-language"), QStringLiteral("en")};
  arguments << QStringLiteral(GLYPHREEL_TRANSLATED_DIRS).split(QLatin1Char(','));
  arguments << QStringLiteral("-ts") << QString::fromStdString(dir / "check.ts");
  lupdate.start(QStringLiteral(GLYPHREEL_LUPDATE), arguments);
  ASSERT_TRUE(lupdate.waitForFinished(120000)) << "lupdate did not finish";
  ASSERT_EQ(0, lupdate.exitCode()) << lupdate.readAllStandardError().toStdString();
  const QString updated = QString::fromStdString(ReadAll(dir / "check.ts"));

  const QRegularExpression message(QStringLiteral("<source>(.*?)</source>\\s*<translation([^>]*)>(.*?)</translation>"),
                                   QRegularExpression::DotMatchesEverythingOption);
  int count = 0;
  for (auto it = message.globalMatch(updated); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    ++count;
    EXPECT_FALSE(m.captured(2).contains(QStringLiteral("unfinished"))) << "no English yet: " << m.captured(1).toStdString();
    EXPECT_FALSE(m.captured(3).isEmpty()) << m.captured(1).toStdString();
    EXPECT_FALSE(HasCjk(m.captured(3))) << m.captured(3).toStdString();
  }
  EXPECT_GT(count, 80) << "the window's texts were found";
}

}  // namespace
