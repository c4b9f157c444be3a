#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
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
  manual.Set();
  automatic.Set();
  EXPECT_TRUE(manual.IsSet());
  EXPECT_TRUE(manual.IsSet());
  EXPECT_TRUE(automatic.IsSet());
  EXPECT_FALSE(automatic.IsSet());
  manual.reset();
  EXPECT_FALSE(manual.IsSet());
}

TEST(WaitAny, FirstReadyInOrderWinsAndAutoEventIsConsumed) {
  Event a(Event::Reset::Auto), b(Event::Reset::Manual);
  a.Set();
  b.Set();
  EXPECT_EQ(WaitAny({Signalled(b), Signalled(a)}, 0ms), 0);
  EXPECT_EQ(WaitAny({Signalled(a), Signalled(b)}, 0ms), 0);
  EXPECT_EQ(WaitAny({Signalled(a), Signalled(b)}, 0ms), 1);  // a was consumed
}

TEST(WaitAny, TimesOutNoEarlierThanTheDeadlineAndWakesOnSet) {
  Event e;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitAny({Signalled(e)}, 30ms), kWaitTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);
  std::thread setter([&] {
    std::this_thread::sleep_for(10ms);
    e.Set();
  });
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitAny({Signalled(e)}, 5000ms), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
  setter.join();
}

// Each cp1251 byte, its code point, and back: no byte is lost or turned into another.
TEST(Text, EveryCp1251ByteRoundTrips) {
  const std::map<int, char32_t> kSpotChecks = {
      {0x00, U'\0'},     {0x41, U'A'},      {0x7F, U'\x7F'},   {0x80, U'\x0402'},
      {0x88, U'\x20AC'}, {0x98, U'\x0098'}, {0xA8, U'\x0401'}, {0xB9, U'\x2116'},
      {0xC0, U'\x0410'}, {0xFF, U'\x044F'}};
  std::set<char32_t> seen;
  for (int b = 0; b <= 0xFF; ++b) {
    SCOPED_TRACE(b);
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(byte);
    const std::u32string cps = Utf8ToCodePoints(utf8);
    ASSERT_EQ(cps.size(), 1u);
    EXPECT_NE(cps[0], U'\xFFFD');
    EXPECT_TRUE(seen.insert(cps[0]).second);
    if (auto it = kSpotChecks.find(b); it != kSpotChecks.end()) EXPECT_EQ(cps[0], it->second);
    std::string back;
    EXPECT_TRUE(TryUtf8ToCp1251(utf8, back));
    EXPECT_EQ(back, byte);
    EXPECT_EQ(Utf8ToCp1251(utf8), byte);
  }
}

TEST(Text, Cp1251RoundTripAndCharacterCounts) {
  std::string s = "Нет данных №1 Ёё";
  std::string cp = Utf8ToCp1251(s);
  EXPECT_EQ(cp.size(), Utf8Length(s));
  EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCD);  // Н
  EXPECT_EQ(Cp1251ToUtf8(cp), s);
  EXPECT_EQ(Utf8Prefix("Фильтр", 3), "Фил");
  EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // no cp1251 form
}

TEST(Text, CaseFoldingCoversCyrillic) {
  EXPECT_TRUE(Iequals("Отсутствует", "ОТСУТСТВУЕТ"));
  EXPECT_TRUE(Iequals("bPS", "BPS"));
  EXPECT_TRUE(Iequals("ёлка", "ЁЛКА"));
  EXPECT_FALSE(Iequals("Четность", "Нечетность"));
  EXPECT_EQ(FoldUpper("ab.Вд"), "AB.ВД");
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
      const std::string fa = FoldLower(a), fb = FoldLower(b);
      const int expected = fa < fb ? -1 : fa > fb ? 1 : 0;
      EXPECT_EQ(Icompare(a, b), expected) << '"' << a << "\" vs \"" << b << '"';
      EXPECT_EQ(Iequals(a, b), expected == 0);
    }
}

TEST(Text, OverlongAndSurrogateFormsAreNotCharacters) {
  // An overlong '/' must not pass for a path separator, nor a surrogate for a letter.
  EXPECT_EQ(Utf8ToCodePoints("a\xC0\xAF"
                             "b"),
            U"a\uFFFD\uFFFD"
            "b");
  EXPECT_EQ(Utf8ToCodePoints("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");
  std::string out;
  EXPECT_TRUE(TryUtf8ToCp1251("Вход №1", out));
  EXPECT_EQ(Cp1251ToUtf8(out), "Вход №1");
  out.clear();
  EXPECT_FALSE(TryUtf8ToCp1251("\xE2\x82\xAC\xF0\x9F\x98\x80", out));  // euro, then no form
  EXPECT_EQ(out, "\x88");
}
