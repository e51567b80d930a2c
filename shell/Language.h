// The language of the window's texts: English when the user's language is
// English, the window's own Chinese otherwise. Decided in gettext's order:
// LANGUAGE (a colon-separated list of preferences, ignored under the C
// locale), then the locale named by LC_ALL, LC_MESSAGES or LANG, the first
// that is set. The C and POSIX locales give Chinese. Files the program writes
// never depend on it.
#pragma once

#include <functional>
#include <string>

class QTranslator;

enum class WindowLanguage { Chinese, English };

// `variable(name)` returns the environment variable's value, or nullptr when
// it is not set.
WindowLanguage LanguageFrom(const std::function<const char*(const char*)>& variable);
// LanguageFrom the process environment.
WindowLanguage LanguageOfEnvironment();

// Loads the window's translation for `language` into `translator` (nothing
// for Chinese, whose texts are the sources). False when the English
// translation could not be loaded.
bool LoadTranslation(WindowLanguage language, QTranslator& translator);
// Loads Qt's own texts (the file dialogs' labels, Yes and No, "already
// exists. Do you want to replace it?") for `language` into `translator`:
// Qt's Chinese translation (qtbase_zh_CN.qm, from the Debian package
// qt6-translations-l10n) for Chinese; nothing for English, Qt's own
// language. False when the Chinese translation could not be loaded.
bool LoadQtTranslation(WindowLanguage language, QTranslator& translator);
