#include "platform/language.h"

#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace vesk::platform {

namespace {

std::atomic<Language> current_language{Language::Russian};

bool IsEnglishLocale(std::string_view name) {
  return name == "en" || (name.size() > 2 && name.substr(0, 2) == "en" &&
                          (name[2] == '_' || name[2] == '.' || name[2] == '@'));
}

}  // namespace

std::optional<Language> ParseLanguage(std::string_view code) {
  if (code.size() != 2) return std::nullopt;
  const char a = static_cast<char>(code[0] | 0x20), b = static_cast<char>(code[1] | 0x20);
  if (a == 'r' && b == 'u') return Language::Russian;
  if (a == 'e' && b == 'n') return Language::English;
  return std::nullopt;
}

const char* LanguageCode(Language language) {
  return language == Language::English ? "en" : "ru";
}

Language LanguageFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return IsEnglishLocale(value) ? Language::English : Language::Russian;
  }
  return Language::Russian;
}

Language ChooseLanguage(std::optional<Language> from_command_line, std::optional<Language> kept) {
  if (from_command_line) return *from_command_line;
  if (kept) return *kept;
  return LanguageFromEnvironment();
}

void UseLanguage(Language language, const std::string& catalogue_folder) {
  current_language = language;
  if (language == Language::Russian) return;
  // gettext picks the catalogue by the messages locale, and ignores LANGUAGE under the
  // plain "C" one; C.UTF-8 is always there, so a forced English works on a machine
  // with no English locale installed, or with none set. The choice goes into the
  // environment too, because the window's toolkit sets the locale from it again.
  std::setlocale(LC_ALL, "");
  const char* messages = std::setlocale(LC_MESSAGES, nullptr);
  if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
      std::strcmp(messages, "POSIX") == 0) {
    if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
      setenv("LANG", all, 1);
      unsetenv("LC_ALL");
    }
    setenv("LC_MESSAGES", "C.UTF-8", 1);
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  }
  // Numbers and dates stay as the data has them, whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  setenv("LANGUAGE", "en", 1);
  bindtextdomain(kTextDomain, catalogue_folder.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
}

Language CurrentLanguage() {
  return current_language;
}

const char* Tr(const char* russian) {
  if (current_language == Language::Russian || russian == nullptr || *russian == '\0')
    return russian;
  return dgettext(kTextDomain, russian);
}

std::string Tr(const std::string& russian) {
  return Tr(russian.c_str());
}

}  // namespace vesk::platform
