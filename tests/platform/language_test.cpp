#include "platform/language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vesk::platform {
namespace {

using L = Language;

// Sets the three locale variables for one case and puts the test's own back afterwards.
class LocaleVariables {
 public:
  LocaleVariables(const char* lc_all, const char* lc_messages, const char* lang) {
    for (int i = 0; i < 3; ++i) {
      const char* old = std::getenv(kNames[i]);
      saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Set(kNames[0], lc_all);
    Set(kNames[1], lc_messages);
    Set(kNames[2], lang);
  }
  ~LocaleVariables() {
    for (int i = 0; i < 3; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }

 private:
  static void Set(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};

TEST(Language, FromEnvironmentTakesTheFirstSetVariable) {
  const struct {
    const char *lc_all, *lc_messages, *lang;
    L expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, L::Russian},
      {nullptr, nullptr, "en_GB.UTF-8", L::English},
      {nullptr, nullptr, "en", L::English},
      {nullptr, nullptr, "C.UTF-8", L::Russian},
      {nullptr, nullptr, "ru_RU.UTF-8", L::Russian},
      {nullptr, nullptr, "de_DE.UTF-8", L::Russian},
      {nullptr, nullptr, "english", L::Russian},
      {nullptr, "en_US.UTF-8", "ru_RU.UTF-8", L::English},
      {"C.UTF-8", nullptr, "en_GB.UTF-8", L::Russian},
      {"en_US@euro", "ru_RU.UTF-8", nullptr, L::English},
      {"", "", "en_US.UTF-8", L::English},
  };
  for (const auto& c : cases) {
    LocaleVariables set(c.lc_all, c.lc_messages, c.lang);
    EXPECT_EQ(LanguageFromEnvironment(), c.expected)
        << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(Language, CommandLineThenKeptThenLocale) {
  LocaleVariables english_locale(nullptr, nullptr, "en_GB.UTF-8");
  const struct {
    std::optional<L> command_line, kept;
    L expected;
  } cases[] = {
      {std::nullopt, std::nullopt, L::English}, {std::nullopt, L::Russian, L::Russian},
      {L::English, L::Russian, L::English},     {L::Russian, std::nullopt, L::Russian},
      {L::Russian, L::English, L::Russian},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseLanguage(c.command_line, c.kept), c.expected);
}

TEST(Language, ParsesOnlyTheTwoCodes) {
  EXPECT_EQ(ParseLanguage("ru"), L::Russian);
  EXPECT_EQ(ParseLanguage("EN"), L::English);
  for (const char* bad : {"", "e", "de", "eng", "en_GB", "r u"})
    EXPECT_EQ(ParseLanguage(bad), std::nullopt) << bad;
  EXPECT_STREQ(LanguageCode(L::English), "en");
  EXPECT_STREQ(LanguageCode(L::Russian), "ru");
}

}  // namespace
}  // namespace vesk::platform
