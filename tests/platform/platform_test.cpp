#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/text.h"
#include "platform/wait.h"

using namespace vesk::platform;
using namespace std::chrono_literals;

TEST(Event, ManualStaysSetAutoIsConsumed) {
  Event manual(Event::Reset::Manual), automatic(Event::Reset::Auto);
  manual.set();
  automatic.set();
  EXPECT_TRUE(manual.is_set());
  EXPECT_TRUE(manual.is_set());
  EXPECT_TRUE(automatic.is_set());
  EXPECT_FALSE(automatic.is_set());
  manual.reset();
  EXPECT_FALSE(manual.is_set());
}

TEST(WaitAny, FirstReadyInOrderWinsAndAutoEventIsConsumed) {
  Event a(Event::Reset::Auto), b(Event::Reset::Manual);
  a.set();
  b.set();
  EXPECT_EQ(wait_any({waitable(b), waitable(a)}, 0ms), 0);
  EXPECT_EQ(wait_any({waitable(a), waitable(b)}, 0ms), 0);
  EXPECT_EQ(wait_any({waitable(a), waitable(b)}, 0ms), 1);  // a was consumed
}

TEST(WaitAny, TimesOutNoEarlierThanTheDeadlineAndWakesOnSet) {
  Event e;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(wait_any({waitable(e)}, 30ms), kWaitTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);
  std::thread setter([&] {
    std::this_thread::sleep_for(10ms);
    e.set();
  });
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(wait_any({waitable(e)}, 5000ms), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
  setter.join();
}

TEST(Text, Cp1251RoundTripAndCharacterCounts) {
  std::string s = "Нет данных №1 Ёё";
  std::string cp = utf8_to_cp1251(s);
  EXPECT_EQ(cp.size(), utf8_length(s));
  EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCD);  // Н
  EXPECT_EQ(cp1251_to_utf8(cp), s);
  EXPECT_EQ(utf8_prefix("Фильтр", 3), "Фил");
  EXPECT_EQ(utf8_to_cp1251("\xF0\x9F\x98\x80"), "?");  // no cp1251 form
}

TEST(Text, CaseFoldingCoversCyrillic) {
  EXPECT_TRUE(iequals("Отсутствует", "ОТСУТСТВУЕТ"));
  EXPECT_TRUE(iequals("bPS", "BPS"));
  EXPECT_TRUE(iequals("ёлка", "ЁЛКА"));
  EXPECT_FALSE(iequals("Четность", "Нечетность"));
  EXPECT_EQ(fold_upper("ab.Вд"), "AB.ВД");
}

// The comparison folds as it goes; it must order exactly as the folded copies would,
// prefixes, broken bytes and letters of different UTF-8 lengths included.
TEST(Text, CaseInsensitiveOrderIsTheOrderOfFoldedTexts) {
  const std::vector<std::string> texts = {
      "",      "a",     "A",      "ab",        "aB",     "b",        "Z",
      "[",     "_",     "Ё",      "ё",         "е",      "Я",        "я",
      "ja",    "\xFF",  "a\xFF",  "A\xC0\xAF", "\xD0",   "\xD0\x90", "\xF0\x9F\x98\x80",
      "Cn.SP", "cn.sp", "Cn.SPx", "Фильтр",    "ФИЛЬТРЫ"};
  for (const std::string& a : texts)
    for (const std::string& b : texts) {
      const std::string fa = fold_lower(a), fb = fold_lower(b);
      const int expected = fa < fb ? -1 : fa > fb ? 1 : 0;
      EXPECT_EQ(icompare(a, b), expected) << '"' << a << "\" vs \"" << b << '"';
      EXPECT_EQ(iequals(a, b), expected == 0);
    }
}

TEST(Text, OverlongAndSurrogateFormsAreNotCharacters) {
  // An overlong '/' must not pass for a path separator, nor a surrogate for a letter.
  EXPECT_EQ(utf8_to_code_points("a\xC0\xAF"
                                "b"),
            U"a\uFFFD\uFFFD"
            "b");
  EXPECT_EQ(utf8_to_code_points("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_cp1251("\xC0\xAF"), "??");
  std::string out;
  EXPECT_TRUE(try_utf8_to_cp1251("Вход №1", out));
  EXPECT_EQ(cp1251_to_utf8(out), "Вход №1");
  out.clear();
  EXPECT_FALSE(try_utf8_to_cp1251("\xE2\x82\xAC\xF0\x9F\x98\x80", out));  // euro, then no form
  EXPECT_EQ(out, "\x88");
}
