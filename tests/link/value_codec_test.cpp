#include "link/value_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/number_text.h"

using vesk::link::ValueCodec;

namespace {

using Bytes = std::vector<uint8_t>;

ValueCodec Make(std::string name, std::string type) {
  ValueCodec c(std::move(name));
  c.type_text = std::move(type);
  return c;
}

struct FromCase {
  const char* name;
  const char* type;
  Bytes bytes;
  int result;
  std::string text;
};

void PrintTo(const FromCase& c, std::ostream* os) {
  *os << c.name << " / " << c.type << " / " << c.bytes.size() << " bytes";
}

class FromData : public testing::TestWithParam<FromCase> {};

TEST_P(FromData, GivesTextAndResult) {
  const FromCase& c = GetParam();
  ValueCodec conv = Make(c.name, c.type);
  std::string text = "stale";
  int result = conv.ConvertFromData(c.bytes.data(), static_cast<int>(c.bytes.size()), text);
  EXPECT_EQ(result, c.result);
  if (result != 0) {
    EXPECT_EQ(text, c.text);
  }
}

const std::string kRegister = "Ошибки регистров ввода/вывода. Номеру сбившегося регистра :  ";
const std::string kNotFound = "Не найдено значение ошибки ";

INSTANTIATE_TEST_SUITE_P(
    NoData, FromData,
    testing::Values(FromCase{"APLY", "int", {}, 1, ""}, FromCase{"aply", "", {}, 1, ""},
                    FromCase{"x", "void", {}, 1, ""}, FromCase{"x", "VOID", {}, 1, ""},
                    FromCase{"x", "int", {}, 0, ""}, FromCase{"APLY", "int", {1, 2}, 1, ""}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, FromData,
    testing::Values(
        FromCase{"p", "float", {0x3F, 0xC0, 0, 0}, 1, "1.500"},
        FromCase{"p", "float:2", {0xC0, 0, 0, 0, 0, 7}, 1, "-2.000"},  // value + index
        FromCase{"p", "float", {0x3F, 0xC0, 0}, 0, ""},
        FromCase{"p", "float", {0x3F, 0xC0, 0, 0, 0}, 0, ""},
        FromCase{"r.oe", "float", {0x3F, 0xC0, 0}, 1, "1.500"},
        FromCase{"R.OE", "float", {0x3F, 0xC0, 0x01, 0, 3}, 1, "1.500"},
        FromCase{"r.oe", "float", {0x3F, 0xC0, 0, 0}, 0, ""},
        FromCase{"p", "int", {0xFF}, 1, "255"}, FromCase{"p", "int", {1, 2}, 1, "258"},
        FromCase{"p", "int", {1, 2, 3}, 1, "1"}, FromCase{"p", "int", {1, 2, 3, 4}, 1, "258"},
        FromCase{"p", "int", {1, 2, 3, 4, 5}, -1, "Ошибка; (Непонятная длина ответа:5)"},
        FromCase{"p", "Int:1", {0xFF, 0xFF}, 1, "65535"},
        FromCase{"p", "CLK_frm", {90}, 1, "01:30"},
        FromCase{"p", "CLK_frm", {0x0E, 0x10}, 1, "60:00"},
        FromCase{"p", "CLK_frm", {0xFF, 0xFF}, 1, "1092:15"},
        FromCase{"p", "CLK_frm", {1, 2, 3, 4, 5, 6}, -1, "Ошибка; (Непонятная длина ответа:6)"}));

INSTANTIATE_TEST_SUITE_P(
    ReservedNames, FromData,
    testing::Values(FromCase{"bPS", "int", {8}, 1, "115200"},
                    FromCase{"bps", "int", {0}, 1, "2400"}, FromCase{"bPS", "int", {9}, 0, ""},
                    FromCase{"PrtY", "", {2}, 1, "Нечетность"},
                    FromCase{"PrtY", "", {0}, 1, "Отсутствует"}, FromCase{"PrtY", "", {3}, 0, ""},
                    FromCase{"LEn", "", {1}, 1, "8"}, FromCase{"LEn", "", {2}, 0, ""},
                    FromCase{"Sbit", "", {1}, 1, "2"}, FromCase{"A.Len", "", {1}, 1, "11"},
                    FromCase{"a.len", "", {0}, 1, "8"}, FromCase{"A.Len", "", {2}, 0, ""},
                    FromCase{"Addr", "int", {5}, 1, "5"}, FromCase{"Addr", "int", {0, 5}, 1, "5"},
                    FromCase{"ADDR", "int", {1, 0}, 1, "256"},
                    FromCase{"Addr", "int", {0, 5, 0}, 0, ""},
                    FromCase{"dev", "", {'V', 'E', 'S', 'K'}, 1, "VESK"},
                    FromCase{"ver", "", {0xC2, '1', '.', '2'}, 1, "В1.2"},
                    FromCase{"DEV", "", {'A', 0, 'B'}, 1, "A"},
                    FromCase{"p", "string", {'a', 0xFF, 'b'}, 1, "aяb"},
                    FromCase{"p", "ASCI", {'1', '2'}, 1, "12"}));

INSTANTIATE_TEST_SUITE_P(
    DeviceDiagnostic, FromData,
    testing::Values(FromCase{"exit", "", {24, 0, 16}, 1, "Адрес прибора: 16"},
                    FromCase{"exit", "", {24, 1, 2}, 1, "Адрес прибора: 258"},
                    FromCase{"exit",
                             "",
                             {0, 0, 5},
                             1,
                             "переполнение одного из стеков (данных или адресов возврата)"},
                    FromCase{"EXIT", "", {0, 0, 1}, 1, "Нештатный вход в программу контроля"},
                    FromCase{"exit", "", {0, 0, 14}, 1, "Нештатный вход в программу контроля"},
                    FromCase{"exit", "", {0, 0, 2}, 1, "Сбой бегущей единицы на порту С"},
                    FromCase{"exit",
                             "",
                             {0, 0, 15},
                             1,
                             "Повторная проверка обнаружила неисправимый код (Check_Segment)"},
                    FromCase{"exit", "", {0, 0, 32}, 1, kRegister + "32"},
                    FromCase{"exit", "", {0, 0, 40}, 1, kRegister + "40"},
                    FromCase{"exit", "", {0, 0, 94}, 1, kRegister + "94"},
                    FromCase{"exit", "", {0, 0, 95}, 1, "Сбой регистра SREG"},
                    FromCase{"exit", "", {0, 0, 0}, 1, kNotFound},
                    FromCase{"exit", "", {0, 0, 16}, 1, kNotFound},
                    FromCase{"exit", "", {0, 0, 96}, 1, kNotFound},
                    FromCase{"exit", "", {0, 0, 0xA0}, 1, kNotFound},  // negative code
                    FromCase{"exit", "", {24, 0}, 0, ""},
                    FromCase{"exit", "", {24, 0, 1, 2}, 0, ""}));

INSTANTIATE_TEST_SUITE_P(
    NetworkName, FromData,
    testing::Values(
        FromCase{"p", "name", {28, 14, 15, 14}, 1, "77.7E"},
        FromCase{"p", "name", {0x4E, 0x4E, 0x16, 0x14}, 1, "AB  "},
        FromCase{"p", "name", {0x4E, 0x4E, 0x16, 0x14, 0, 3}, 1, "AB  "},
        FromCase{"p", "name", {76, 74, 72, 79}, 1, " .-_/"},
        FromCase{"p", "name", {78, 78, 78}, -1, "Ошибка; (Непонятная длина ответа:3)"},
        FromCase{"p", "name", {78, 78, 78, 80}, -1, "Недопустимый код символа в сетевом имени"},
        FromCase{"p", "name", {0xFF, 78, 78, 78}, -1, "Недопустимый код символа в сетевом имени"}));

INSTANTIATE_TEST_SUITE_P(ChoiceList, FromData,
                         testing::Values(FromCase{"p", "Off:On", {0}, 1, "Off"},
                                         FromCase{"p", "Off:On", {1}, 1, "On"},
                                         FromCase{"p", "Off:On", {2}, 0, ""},
                                         FromCase{"p", "Not_set:Set", {0, 9}, 1, "Not set"},
                                         FromCase{"p", "a::c", {1}, 1, ""},
                                         FromCase{"p", "STORED_DOT", {0}, 1, "STORED DOT"},
                                         FromCase{"p", "STORED_DOT", {1}, 0, ""},
                                         FromCase{"p", "void", {0}, 1, "void"},
                                         FromCase{"p", "", {0}, 0, ""}));

TEST(FromDataBounds, NegativeCountAndNullDataReadNothing) {
  ValueCodec conv = Make("p", "int");
  std::string text;
  const uint8_t byte = 7;
  EXPECT_EQ(conv.ConvertFromData(&byte, -5, text), 0);
  EXPECT_EQ(conv.ConvertFromData(nullptr, 3, text), 0);
  conv.type_text = "void";
  EXPECT_EQ(conv.ConvertFromData(nullptr, 3, text), 1);
  EXPECT_EQ(text, "");
}

TEST(FromDataBounds, TextIsCutAt511Characters) {
  ValueCodec conv = Make("p", "string");
  std::vector<uint8_t> bytes(600, 0xC0);  // cp1251 "А", two bytes in UTF-8
  std::string text;
  ASSERT_EQ(conv.ConvertFromData(bytes.data(), static_cast<int>(bytes.size()), text), 1);
  EXPECT_EQ(text.size(), 511u * 2);
}

struct ToCase {
  const char* name;
  const char* type;
  std::string text;
  int result;
  Bytes bytes;
  std::string message;
};

void PrintTo(const ToCase& c, std::ostream* os) {
  *os << c.name << " / " << c.type << " / '" << c.text << "'";
}

class ToData : public testing::TestWithParam<ToCase> {};

TEST_P(ToData, GivesBytesAndResult) {
  const ToCase& c = GetParam();
  ValueCodec conv = Make(c.name, c.type);
  uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  int count = 99;
  std::string message = "stale";
  EXPECT_EQ(conv.ConvertToData(c.text, data, count, &message), c.result);
  EXPECT_EQ(Bytes(data, data + count), c.bytes);
  EXPECT_EQ(message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ToData,
    testing::Values(
        ToCase{"p", "float", "1.5", 1, {0x3F, 0xC0, 0, 0}, ""},
        ToCase{"r.oe", "float", "1.5", 1, {0x3F, 0xC0, 0}, ""},
        ToCase{"R.OE", "float", "1.5", 1, {0x3F, 0xC0, 0, 0}, ""},  // case counts here
        ToCase{"p", "float:3", " -2 \t\r", 1, {0xC0, 0, 0, 0}, ""},
        ToCase{"p", "float", "abc", 0, {}, ""}, ToCase{"p", "float", "", 0, {}, ""},
        ToCase{"p", "float", "1,5", 0, {}, ""}, ToCase{"p", "float", "nan", 0, {}, ""},
        ToCase{"p", "float", "1e39", 0, {}, ""}, ToCase{"p", "float", "Нет данных", 0, {}, ""},
        ToCase{"p", "int", "255", 1, {0xFF}, ""}, ToCase{"p", "int", "256", 1, {1, 0}, ""},
        ToCase{"p", "int", "0", 1, {0}, ""}, ToCase{"Addr", "int", "5", 1, {0, 5}, ""},
        ToCase{"aDDR", "int", "5", 1, {0, 5}, ""}, ToCase{"SoUr", "int", "1", 1, {0, 1}, ""},
        ToCase{"Alr.t", "int", "1", 1, {0, 1}, ""}, ToCase{"tHP", "int", "1", 1, {0, 1}, ""},
        ToCase{"tP.H", "int", "1", 1, {0, 1}, ""}, ToCase{"CLB.K", "int", "1", 1, {0, 1}, ""},
        ToCase{"p", "int", "65536", 1, {0}, ""},  // upper bits lost
        ToCase{"p", "int", "70000", 1, {0x11, 0x70}, ""},
        ToCase{"p", "int", "-1", 1, {0xFF, 0xFF}, ""},
        ToCase{"p", "int", "99999999999999999999", 1, {0xFF, 0xFF}, ""},  // wraps, no overflow
        ToCase{"p", "int", "12abc", 1, {12}, ""}, ToCase{"p", "int", "2.9", 1, {2}, ""},
        ToCase{"p", "int", "  7  ", 1, {7}, ""}, ToCase{"p", "int", "abc", 0, {}, ""},
        ToCase{"p", "int", "Нет данных", 0, {}, ""}, ToCase{"p", "int", "", 0, {}, ""},
        ToCase{"p", "int:a:b", "3", 1, {3}, ""}));

INSTANTIATE_TEST_SUITE_P(
    Clock, ToData,
    testing::Values(
        ToCase{"p", "CLK_frm", "01:30", 1, {0x5A}, ""}, ToCase{"p", "CLK_frm", "90", 1, {0x5A}, ""},
        ToCase{"p", "CLK_frm", "12:34", 1, {0x02, 0xF2}, ""},
        ToCase{"p", "CLK_frm", "1:5", 1, {11}, ""}, ToCase{"p", "CLK_frm", "04:16", 1, {1, 0}, ""},
        ToCase{"tHP", "CLK_frm", "00:05", 1, {0, 5}, ""},
        ToCase{"p", "CLK_frm", "1092:16", 1, {0}, ""},  // 16-bit arithmetic
        ToCase{"p", "CLK_frm", "1:3a", -1, {}, ""}, ToCase{"p", "CLK_frm", "01:30 ", -1, {}, ""},
        ToCase{"p", "CLK_frm", "", 0, {}, ""}, ToCase{"p", "CLK_frm", ":", 0, {}, ""}));

INSTANTIATE_TEST_SUITE_P(ReservedNames, ToData,
                         testing::Values(ToCase{"dev", "string", "x", -1, {}, ""},
                                         ToCase{"VER", "", "1", -1, {}, ""},
                                         ToCase{"exit", "int", "1", -1, {}, ""},
                                         ToCase{"APLY", "int", "whatever", 1, {}, ""},
                                         ToCase{"p", "void", "x", 1, {}, ""},
                                         ToCase{"bPS", "int", "3", 1, {3}, ""}));

const char* kBadChar = "Недопустимый символ в сетевом имени";

INSTANTIATE_TEST_SUITE_P(
    NetworkName, ToData,
    testing::Values(ToCase{"p", "name", "AB", 1, {0x4E, 0x4E, 0x16, 0x14}, ""},
                    ToCase{"p", "name", "ab", 1, {0x4E, 0x4E, 0x16, 0x14}, ""},
                    ToCase{"p", "name", "AB.C", 1, {78, 24, 23, 20}, ""},
                    ToCase{"p", "name", "A.B.C.D.", 1, {27, 25, 23, 21}, ""},
                    ToCase{"p", "name", "A..B", 1, {78, 78, 22, 22}, ""},
                    ToCase{"p", "name", "- _9", 1, {18, 74, 78, 72}, ""},
                    ToCase{"p", "name", "ABCDE", 1, {26, 24, 22, 20}, ""},  // fifth dropped
                    ToCase{"p", "name", "", -1, {}, "Сетевое имя пусто"},
                    ToCase{"p", "name", "ABCDEFGHI", -1, {}, "Сетевое имя слишком длинное"},
                    ToCase{"p", "name", "ЖЖЖЖЖЖЖЖЖ", -1, {}, "Сетевое имя слишком длинное"},
                    ToCase{"p", "name", "ЖЖ", -1, {}, kBadChar},
                    ToCase{"p", "name", "A/B", -1, {}, kBadChar},
                    ToCase{"p", "name", ".AB", -1, {}, kBadChar},
                    ToCase{"p", "name", "A!", -1, {}, kBadChar}));

INSTANTIATE_TEST_SUITE_P(ChoiceList, ToData,
                         testing::Values(ToCase{"p", "Off:On", "on", 1, {1}, ""},
                                         ToCase{"p", "Off:On", "Off", 1, {0}, ""},
                                         ToCase{"p", "Off:On", "maybe", 0, {}, ""},
                                         ToCase{"p", "Not_set:Set", "NOT SET", 1, {0}, ""},
                                         ToCase{"p", "Not_set:Set", "not_set", 1, {0}, ""},
                                         ToCase{"p", "a::c", "", 1, {1}, ""},
                                         ToCase{"p", "", "", 0, {}, ""},
                                         ToCase{"p", "string", "hello", 0, {}, ""}));

std::string NumberedItems(int n) {
  std::string type;
  for (int i = 0; i < n; ++i) type += (i ? ":i" : "i") + std::to_string(i);
  return type;
}

TEST(ToDataBounds, OnlyTheFirst127ItemsAreSearched) {
  ValueCodec conv = Make("p", NumberedItems(200));
  uint8_t data[4];
  int count = 0;
  ASSERT_EQ(conv.ConvertToData("i126", data, count), 1);
  EXPECT_EQ(data[0], 126);
  EXPECT_EQ(conv.ConvertToData("i127", data, count), 0);
  EXPECT_EQ(count, 0);
}

TEST(ToDataBounds, LongTextIsCutToTheWorkingBuffer) {
  uint8_t data[4];
  int count = 0;
  // 600 characters: the name check sees 511 of them, still too long.
  EXPECT_EQ(Make("p", "name").ConvertToData(std::string(600, 'A'), data, count), -1);
  EXPECT_EQ(Make("p", "int").ConvertToData(std::string(600, '1'), data, count), 1);
  EXPECT_EQ(count, 2);
}

// Reading what was written gives the text back, for the formats where the two
// directions are inverse.
struct RoundTrip {
  const char* name;
  const char* type;
  const char* text;
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
  *os << c.name << " / " << c.type << " / '" << c.text << "'";
}

class RoundTrips : public testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTrips, WriteThenReadGivesTheText) {
  const RoundTrip& c = GetParam();
  ValueCodec conv = Make(c.name, c.type);
  uint8_t data[4];
  int count = 0;
  ASSERT_EQ(conv.ConvertToData(c.text, data, count), 1);
  std::string text;
  ASSERT_EQ(conv.ConvertFromData(data, count, text), 1);
  EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RoundTrips,
    testing::Values(RoundTrip{"p", "int", "0"}, RoundTrip{"p", "int", "255"},
                    RoundTrip{"p", "int", "256"}, RoundTrip{"p", "int", "65535"},
                    RoundTrip{"Addr", "int", "300"}, RoundTrip{"p", "float", "-12.250"},
                    RoundTrip{"r.oe", "float", "1.500"}, RoundTrip{"p", "CLK_frm", "01:30"},
                    RoundTrip{"p", "CLK_frm", "59:59"}, RoundTrip{"p", "name", "AB.CD"},
                    RoundTrip{"p", "name", "7-_9"}, RoundTrip{"p", "Off:On", "On"},
                    RoundTrip{"p", "Not_set:Set", "Not set"}));

TEST(TypeText, FormatWordAndItems) {
  ValueCodec conv = Make("p", "int:Not_set:On");
  EXPECT_EQ(conv.FormatWord(), "int");
  EXPECT_EQ(conv.ChoiceItems(), (std::vector<std::string>{"int", "Not set", "On"}));
  conv.type_text = "";
  EXPECT_TRUE(conv.ChoiceItems().empty());
  EXPECT_EQ(conv.FormatWord(), "");
}

TEST(NumberText, ReadsWithAPointWhateverTheLocale) {
  double v = 0;
  EXPECT_TRUE(vesk::link::ParseDecimal(" +1.25e1 ", v));
  EXPECT_EQ(v, 12.5);
  EXPECT_FALSE(vesk::link::ParseDecimal("--1", v));
  EXPECT_FALSE(vesk::link::ParseDecimal("inf", v));
  EXPECT_FALSE(vesk::link::ParseDecimal("1e400", v));
  EXPECT_EQ(vesk::link::FormatFixed3(-0.0625), "-0.062");  // exact tie: to even, as printf
  EXPECT_EQ(vesk::link::FormatFixed3(3.4e38).size(), 39u + 4u);
}

}  // namespace
