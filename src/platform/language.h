#pragma once
// The language the program speaks to a person. Russian is the source: every text is
// written in Russian, and English comes from message catalogues looked up by the Russian
// text. The data (".vesk" files, JSON, the error log's layout, the wire) never depends
// on it.

#include <optional>
#include <string>
#include <string_view>

namespace vesk::platform {

enum class Language { Russian, English };

// The gettext domain of the program's own texts.
inline constexpr const char* kTextDomain = "vesk-configurator";
// The settings value (in the program's group) that keeps the language chosen in the
// window for the next start; "ru" or "en".
inline constexpr const char* kLanguageValue = "Language";

// "ru" / "en" (any case); nullopt for anything else.
std::optional<Language> ParseLanguage(std::string_view code);
const char* LanguageCode(Language language);

// The language of a locale environment, as every Linux program reads it: the first
// non-empty of LC_ALL, LC_MESSAGES and LANG. A locale named "en" or "en_..." gives
// English; any other (none included) gives Russian.
Language LanguageFromEnvironment();

// The language to speak: the command line's choice, else the one kept in the settings,
// else the locale's.
Language ChooseLanguage(std::optional<Language> from_command_line, std::optional<Language> kept);

// Sets the process up to speak `language`, with the compiled catalogues under
// `catalogue_folder` (<folder>/en/LC_MESSAGES/<domain>.mo). Call once at start, before
// any thread is made: it sets the C library's locale and environment (where the locale
// names no language, LC_MESSAGES=C.UTF-8, so that a later setlocale keeps English).
void UseLanguage(Language language, const std::string& catalogue_folder);

// The language set by UseLanguage (Russian before it).
Language CurrentLanguage();

// The text in the current language: `russian` itself in Russian, or when the catalogue
// has no translation of it.
const char* Tr(const char* russian);
std::string Tr(const std::string& russian);

}  // namespace vesk::platform
