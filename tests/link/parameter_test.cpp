#include "link/parameter.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using vesk::link::Parameter;
using vesk::link::Rgb;

namespace {

TEST(ParameterRecord, StartsInTheResetState) {
  Parameter p("bPS");
  EXPECT_EQ(p.short_name, "bPS");
  EXPECT_EQ(p.value, "Нет данных");
  EXPECT_EQ(p.caption, "<неизвестный параметр>");
  EXPECT_TRUE(p.note.empty());
  EXPECT_TRUE(p.editable);
  EXPECT_FALSE(p.owned_by_firm);
  EXPECT_FALSE(p.AnyChanged());
  EXPECT_TRUE(p.writable);
  EXPECT_FALSE(p.indexed);
  EXPECT_EQ(p.linear_index, 0);
  EXPECT_EQ(p.poll_index, 0);
  EXPECT_EQ(p.has_attributes, 0);
  EXPECT_EQ(p.poll_period, 1000);
  EXPECT_FALSE(p.IsPolled());
}

struct SetCase {
  const char* name;
  const char* type;
  double minimum, maximum;
  std::string text;
  bool accepted;
  std::string stored;  // the value after acceptance
};

void PrintTo(const SetCase& c, std::ostream* os) {
  *os << c.name << " / " << c.type << " [" << c.minimum << ", " << c.maximum << "] '" << c.text
      << "'";
}

class SetValue : public testing::TestWithParam<SetCase> {};

TEST_P(SetValue, AcceptsOrLeavesTheRecordAlone) {
  const SetCase& c = GetParam();
  Parameter p(c.name);
  p.type_text = c.type;
  p.minimum = c.minimum;
  p.maximum = c.maximum;
  p.value = "old";
  EXPECT_EQ(p.SetValueFromText(c.text), c.accepted);
  EXPECT_EQ(p.value_changed, c.accepted);
  EXPECT_EQ(p.value, c.accepted ? c.stored : "old");
}

INSTANTIATE_TEST_SUITE_P(
    NetworkName, SetValue,
    testing::Values(SetCase{"CHAr*", "name", 0, 0, "A.B.C.D.", true, "A.B.C.D."},
                    SetCase{"CHAr*", "name", 0, 0, "ABCDE", false, ""},
                    SetCase{"CHAr*", "name", 0, 0, "AB!", false, ""},
                    SetCase{"CHAr*", "name", 0, 0, "", false, ""},
                    SetCase{"CHAr*", "name", 0, 0, ".AB", false, ""},
                    SetCase{"CHAr*", "name", 0, 0, "A..B", false, ""},
                    SetCase{"CHAr*", "name", 0, 0, "a-/_", true, "a-/_"},
                    SetCase{"CHAr*", "name", 0, 0, "7 E.", true, "7 E."},
                    SetCase{"CHAr*", "name", 0, 0, "ЖЖ", false, ""},
                    SetCase{"char*", "int", 0, 0, "AB", true, "AB"},  // whatever the type
                    SetCase{"char*", "int", 0, 0, "ABCDE", false, ""}));

INSTANTIATE_TEST_SUITE_P(Float, SetValue,
                         testing::Values(SetCase{"p", "float", 0, 10, "10.0005", true, "10.000"},
                                         SetCase{"p", "float", 0, 10, "10.01", false, ""},
                                         SetCase{"p", "float", 0, 10, "-0.0005", true, "-0.001"},
                                         SetCase{"p", "float", 0, 10, "-0.01", false, ""},
                                         SetCase{"p", "float", 0, 10, "5", true, "5.000"},
                                         SetCase{"p", "FLOAT:2", 0, 0, " 2.5 ", true, "2.500"},
                                         SetCase{"p", "float", 0, 0, "12345.6789", true,
                                                 "12345.679"},
                                         SetCase{"p", "float", 0, 0, "-1e3", true, "-1000.000"},
                                         SetCase{"p", "float", 0, 0, "abc", false, ""},
                                         SetCase{"p", "float", 0, 0, "1,5", false, ""},
                                         SetCase{"p", "float", 0, 0, "1.5abc", false, ""},
                                         SetCase{"p", "float", 0, 0, "0x10", false, ""},
                                         SetCase{"p", "float", 0, 0, "nan", false, ""},
                                         SetCase{"p", "float", 0, 0, "1e39", false, ""},
                                         SetCase{"p", "float", 0, 0, "", false, ""}));

INSTANTIATE_TEST_SUITE_P(Int, SetValue,
                         testing::Values(SetCase{"p", "int", 0, 0, "2.5", false, ""},
                                         SetCase{"p", "int", 0, 0, "12abc", false, ""},
                                         SetCase{"p", "int", 0, 0, "7", true, "7"},
                                         SetCase{"p", "int", 0, 0, "-5", true, "-5"},
                                         SetCase{"p", "int", 0, 0, "123456", true, "123456"},
                                         SetCase{"p", "int", 0, 0, "1e3", true, "1000"},
                                         SetCase{"p", "int", 0, 0, "2.000001", true, "2"},
                                         SetCase{"p", "int", 0, 0, "1.999995", true, "2"},
                                         SetCase{"p", "int", 0, 0, "1e300", false, ""},
                                         SetCase{"p", "int", 0, 0, "", false, ""},
                                         SetCase{"p", "int:2", 1, 10, "0", false, ""},
                                         SetCase{"p", "int", 1, 10, "11", false, ""},
                                         SetCase{"p", "int", 1, 10, "10", true, "10"},
                                         SetCase{"p", "int", -5, 0, "-5", true, "-5"}));

INSTANTIATE_TEST_SUITE_P(Clock, SetValue,
                         testing::Values(SetCase{"p", "CLK_frm", 0, 0, "1:30", true, "01:30"},
                                         SetCase{"p", "CLK_frm", 0, 0, "1:5", true, "01:05"},
                                         SetCase{"p", "CLK_frm", 0, 0, "90", true, "01:30"},
                                         SetCase{"p", "CLK_frm", 0, 0, "12:34", true, "12:34"},
                                         SetCase{"p", "CLK_frm", 0, 0, "1092:15", true, "1092:15"},
                                         SetCase{"p", "CLK_frm", 0, 0, "1092:16", false,
                                                 ""},  // beyond 16 bits
                                         SetCase{"p", "CLK_frm", 0, 0, "99999999999", false, ""},
                                         SetCase{"p", "CLK_frm", 0, 0, "1:3a", false, ""},
                                         SetCase{"p", "CLK_frm", 0, 0, "a", false, ""},
                                         SetCase{"p", "CLK_frm", 0, 0, "", false, ""},
                                         SetCase{"p", "CLK_frm", 0, 0, ":", false, ""},
                                         SetCase{"p", "CLK_frm", 0, 90, "1:30", true, "01:30"},
                                         SetCase{"p", "CLK_frm", 0, 60, "1:5", false, ""},  // 65
                                         SetCase{"p", "CLK_frm", 61, 100, "1:00", false, ""}));

INSTANTIATE_TEST_SUITE_P(Other, SetValue,
                         testing::Values(SetCase{"p", "name", 0, 0, "anything!", true, "anything!"},
                                         SetCase{"p", "Off:On", 0, 0, "Maybe", true, "Maybe"},
                                         SetCase{"p", "string", 0, 0, "Текст", true, "Текст"},
                                         SetCase{"p", "string", 0, 0, std::string(511, 'x'), true,
                                                 std::string(511, 'x')},
                                         SetCase{"p", "string", 0, 0, std::string(512, 'x'), false,
                                                 ""}));

TEST(ParameterRecord, ResetKeepsTheDescriptionAndIndexes) {
  Parameter p("POUt");
  p.caption = "Выход";
  p.minimum = 1;
  p.maximum = 9;
  p.initial_value = "5";
  p.indexed = true;
  p.linear_index = 3;
  p.poll_index = 2;
  p.value = "7";
  p.note = "Ошибка";
  p.editable = false;
  p.owned_by_firm = true;
  p.value_changed = p.edit_changed = p.owner_changed = true;
  p.Reset();
  EXPECT_EQ(p.value, "Нет данных");
  EXPECT_TRUE(p.note.empty());
  EXPECT_TRUE(p.editable);
  EXPECT_FALSE(p.owned_by_firm);
  EXPECT_FALSE(p.AnyChanged());
  EXPECT_EQ(p.caption, "Выход");
  EXPECT_EQ(p.minimum, 1);
  EXPECT_EQ(p.maximum, 9);
  EXPECT_EQ(p.initial_value, "5");
  EXPECT_TRUE(p.indexed);
  EXPECT_EQ(p.linear_index, 3);
  EXPECT_EQ(p.poll_index, 2);
}

struct ColourCase {
  std::string note;
  bool value, edit, owner;
  Rgb colour;
};

class Colour : public testing::TestWithParam<ColourCase> {};

TEST_P(Colour, FollowsNoteThenChangedFlags) {
  const ColourCase& c = GetParam();
  Parameter p("p");
  p.note = c.note;
  p.value_changed = c.value;
  p.edit_changed = c.edit;
  p.owner_changed = c.owner;
  EXPECT_EQ(p.DisplayColour(), c.colour);
}

INSTANTIATE_TEST_SUITE_P(
    All, Colour,
    testing::Values(ColourCase{"Знач-е в приборе: '5'", true, false, false, {64, 64, 255}},
                    ColourCase{"Нет ответа", true, true, true, {255, 0, 0}},
                    ColourCase{"", true, false, false, {0, 200, 0}},
                    ColourCase{"", false, true, false, {0, 200, 0}},
                    ColourCase{"", false, false, true, {0, 200, 0}},
                    ColourCase{"", false, false, false, {0, 0, 0}}));

TEST(ParameterRecord, CompareNoteNamesTheOtherSide) {
  Parameter device("p");
  device.value = "12";
  device.editable = false;
  device.owned_by_firm = true;
  Parameter p("p");
  p.SetCompareNote(vesk::link::kFileCompareNotePrefix, device.value, device);
  EXPECT_EQ(p.note, std::string(vesk::link::kFileCompareNotePrefix) + " '12',Не ред-ый,фирм.");
  EXPECT_TRUE(p.HasCompareNote());
  p.note = "Нет ответа; Знач-е в приборе:";
  EXPECT_FALSE(p.HasCompareNote());
}

TEST(ParameterDisplay, TextsWithAndWithoutIndexes) {
  Parameter p("DI.c");
  p.caption = "Счетчик";
  EXPECT_EQ(p.TreeText(true), "Счетчик");
  EXPECT_EQ(p.NameColumn(true), "DI.c");
  p.indexed = true;
  p.linear_index = 11;
  EXPECT_EQ(p.NameColumn(true), "DI.c:11");
  EXPECT_EQ(p.NameColumn(false), "DI.c");
  p.poll_index = 4;
  p.polled = true;
  EXPECT_EQ(p.TreeText(true), "Счетчик, DI.c:4");
  EXPECT_EQ(p.TreeText(false), "Счетчик");
}

TEST(ParameterDisplay, AttributeColumnsOnlyWithAttributes) {
  Parameter p("p");
  EXPECT_EQ(p.EditableText(), "");
  EXPECT_EQ(p.OwnerText(), "");
  p.has_attributes = 1;
  EXPECT_EQ(p.EditableText(), "Редактируемый");
  EXPECT_EQ(p.OwnerText(), "Пользователь");
  p.editable = false;
  p.owned_by_firm = true;
  EXPECT_EQ(p.EditableText(), "Не редактируемый");
  EXPECT_EQ(p.OwnerText(), "Фирма");
}

struct IconCase {
  const char* type;
  bool writable;
  int icon;
};

class Icons : public testing::TestWithParam<IconCase> {};

TEST_P(Icons, FormatWordsAndEnumerations) {
  Parameter p("p");
  p.type_text = GetParam().type;
  p.writable = GetParam().writable;
  EXPECT_EQ(p.Icon(), GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(All, Icons,
                         testing::Values(IconCase{"float", true, 28}, IconCase{"int:2", true, 28},
                                         IconCase{"CLK_frm", true, 28},
                                         IconCase{"string", true, 28}, IconCase{"ASCI", true, 28},
                                         IconCase{"name", true, 28}, IconCase{"int", false, 30},
                                         IconCase{"Off:On", true, 27},
                                         IconCase{"STORED_DOT", true, 27},
                                         IconCase{"Off:On", false, 30}));

struct AttributeCase {
  bool editable, firm;
  uint8_t byte;
};

class Attributes : public testing::TestWithParam<AttributeCase> {};

TEST_P(Attributes, OneByteBothWays) {
  const AttributeCase& c = GetParam();
  Parameter p("p");
  p.editable = c.editable;
  p.owned_by_firm = c.firm;
  EXPECT_EQ(p.AttributeByte(), c.byte);
  Parameter q("q");
  q.editable = !c.editable;
  q.owned_by_firm = !c.firm;
  q.SetAttributeByte(static_cast<uint8_t>(c.byte | 0xFC));  // other bits mean nothing
  EXPECT_EQ(q.editable, c.editable);
  EXPECT_EQ(q.owned_by_firm, c.firm);
}

INSTANTIATE_TEST_SUITE_P(All, Attributes,
                         testing::Values(AttributeCase{true, false, 3},
                                         AttributeCase{true, true, 1},
                                         AttributeCase{false, false, 2},
                                         AttributeCase{false, true, 0}));

TEST(ParameterLifetime, CloneCopiesFieldsButNotThePolledMark) {
  auto p = std::make_unique<Parameter>("POUt");
  p->type_text = "int";
  p->caption = "Выход";
  p->value = "3";
  p->maximum = 5;
  p->linear_index = 6;
  p->mark = 2;
  p->value_changed = true;
  p->initial_value = "1";
  p->polled = true;

  std::unique_ptr<Parameter> c = p->Clone();
  EXPECT_EQ(std::tie(c->short_name, c->type_text, c->caption, c->value, c->initial_value),
            std::tie(p->short_name, p->type_text, p->caption, p->value, p->initial_value));
  EXPECT_EQ(std::tie(c->maximum, c->linear_index, c->mark, c->value_changed),
            std::tie(p->maximum, p->linear_index, p->mark, p->value_changed));
  EXPECT_FALSE(c->IsPolled());
  EXPECT_TRUE(p->IsPolled());
}

}  // namespace

TEST(ChoiceOf, OnlyTheListsOwnItems) {
  Parameter p("Cn.Md");
  p.type_text = "Выключен:По_фронту";
  EXPECT_TRUE(p.IsChoiceOf("По фронту"));
  for (const char* near : {"по фронту", "По фронтy", "По_фронту", "1", ""})
    EXPECT_FALSE(p.IsChoiceOf(near)) << near;
  p.type_text = "int";
  EXPECT_TRUE(p.IsChoiceOf("12"));
}
