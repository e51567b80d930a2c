#include "shell/Language.h"

#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

#include <algorithm>
#include <cstdlib>

namespace {

// The language part of a locale or LANGUAGE entry: "en" of "en_GB.UTF-8@euro".
std::string LanguagePart(const std::string& name) {
  return name.substr(0, name.find_first_of("_.@"));
}

// "C", "POSIX" and "C.UTF-8" (any codeset) all name the C locale.
bool IsCLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@");
}

}  // namespace

WindowLanguage LanguageFrom(const std::function<const char*(const char*)>& variable) {
  auto value = [&](const char* name) -> std::string {
    const char* v = variable(name);
    return v != nullptr ? v : "";
  };
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = value(name);
    if (!locale.empty()) break;
  }
  if (locale.empty() || IsCLocale(locale)) return WindowLanguage::Chinese;

  const std::string preferences = value("LANGUAGE");
  if (!preferences.empty()) {
    // The first preference the window has texts for wins; one it has none
    // for is passed over, and with none left the window's own texts show.
    size_t start = 0;
    while (start <= preferences.size()) {
      const size_t end = std::min(preferences.find(':', start), preferences.size());
      const std::string language = LanguagePart(preferences.substr(start, end - start));
      if (language == "en") return WindowLanguage::English;
      if (language == "zh") return WindowLanguage::Chinese;
      start = end + 1;
    }
    return WindowLanguage::Chinese;
  }
  return LanguagePart(locale) == "en" ? WindowLanguage::English : WindowLanguage::Chinese;
}

WindowLanguage LanguageOfEnvironment() {
  return LanguageFrom([](const char* name) { return static_cast<const char*>(std::getenv(name)); });
}

bool LoadTranslation(WindowLanguage language, QTranslator& translator) {
  if (language == WindowLanguage::Chinese) return true;
  return translator.load(QStringLiteral(":/i18n/glyphreel_en.qm"));
}

bool LoadQtTranslation(WindowLanguage language, QTranslator& translator) {
  if (language == WindowLanguage::English) return true;
  return translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
