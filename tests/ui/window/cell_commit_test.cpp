// The commit of an edited cell, without widgets: the messages, the flags, the modes.

#include <gtest/gtest.h>

#include "exchange/exchange_engine.h"
#include "model/net_rs485.h"
#include "ui/cell_commit.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

class CellCommitTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    MakeDocument();
  }
  std::unique_ptr<link::Parameter> IntParameter() {
    auto p = std::make_unique<link::Parameter>("tSt");
    p->caption = "Проба";
    p->typeText = "int";
    p->minimum = 0;
    p->maximum = 7;
    return p;
  }
  CommitTarget Target(model::ObjectWithParameters* owner = nullptr) {
    return {doc->engine(), owner, &modified};
  }
  bool modified = false;
};

TEST_F(CellCommitTest, SameTextChangesNothing) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.value = "3";
  EXPECT_EQ(CommitCell(Target(), p, column::kValue, "3", "3"), CommitResult::Unchanged);
  EXPECT_FALSE(modified);
  EXPECT_FALSE(p.valueChanged);
}

TEST_F(CellCommitTest, RefusedValueMessageEndsWithTheRange) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  const std::string text = ValueRefusedText(p, "9");
  EXPECT_EQ(text,
            "Параметеру 'tSt' (Проба)\nне может быть присвоено значение '9'.\n (Значение этого "
            "параметра должно быть int и\n должно быть больше 0.000000 и меньше 7.000000)\n");
  p.minimum = p.maximum = 0;
  EXPECT_EQ(ValueRefusedText(p, "x"),
            "Параметеру 'tSt' (Проба)\nне может быть присвоено значение 'x'.\n (Значение этого "
            "параметра должно быть ");
  link::Parameter name("CHAr*");
  name.caption = "Имя";
  EXPECT_NE(ValueRefusedText(name, "?").find("требованиям к формату сетевого имени"),
            std::string::npos);
}

TEST_F(CellCommitTest, HelpBalloonTexts) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(EditHelpTitle(p), "Проба (tSt)");
  EXPECT_EQ(EditHelpText(p), "Значение параметра должно быть целого типа, от 0 до 7.");
  p.typeText = "FLOAT";
  EXPECT_EQ(EditHelpText(p),
            "Значение параметра должно быть вещественного типа, от 0.000 до 7.000.");
}

TEST_F(CellCommitTest, FirmOwnedValueAndAttributeStay) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.ownedByFirm = true;
  p.hasAttributes = 1;
  EXPECT_EQ(CommitCell(Target(), p, column::kValue, link::kNoData, "2"), CommitResult::Refused);
  EXPECT_EQ(p.value, link::kNoData);
  EXPECT_EQ(CommitCell(Target(), p, column::kEditable, kEditableText, kNotEditableText),
            CommitResult::Refused);
  EXPECT_TRUE(p.editable);
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(CellCommitTest, EditAttributeTurnsGreen) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.hasAttributes = 1;
  EXPECT_EQ(CommitCell(Target(), p, column::kEditable, kEditableText, kNotEditableText),
            CommitResult::Accepted);
  EXPECT_FALSE(p.editable);
  EXPECT_TRUE(p.editChanged);
  EXPECT_EQ(p.DisplayColour(), (link::Rgb{0, 200, 0}));
}

TEST_F(CellCommitTest, AcceptedWithoutImmediateWriteIsGreenAndUnsent) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(CommitCell(Target(), p, column::kValue, link::kNoData, "5"), CommitResult::Accepted);
  EXPECT_EQ(p.value, "5");
  EXPECT_TRUE(p.valueChanged);
  EXPECT_TRUE(modified);
  EXPECT_EQ(p.DisplayColour(), (link::Rgb{0, 200, 0}));
}

TEST_F(CellCommitTest, ImmediateWriteFailureIsReported) {
  // No port: the write fails, the value stays, the note says why.
  doc->modes().immediateWrite.store(true);
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(CommitCell(Target(), p, column::kValue, link::kNoData, "5"), CommitResult::WriteFailed);
  EXPECT_EQ(p.value, "5");
  EXPECT_FALSE(p.note.empty());
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].caption, kWriteFailedCaption);
  EXPECT_EQ(captured.shown[0].text, p.note);
  EXPECT_EQ(p.DisplayColour(), (link::Rgb{255, 0, 0}));
}

TEST_F(CellCommitTest, ForbiddenAddressForEightBitAddresses) {
  model::NetRS485 net;
  net.FillParameters();
  net.SetValue("A.Len", "8");
  link::Parameter* addr = net.FindParameter("Addr");
  ASSERT_NE(addr, nullptr);
  const std::string before = addr->value;
  EXPECT_EQ(CommitCell(Target(&net), *addr, column::kValue, before, "300"), CommitResult::Refused);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].caption, model::kForbiddenCombinationsCaption);
  EXPECT_EQ(captured.shown[0].text, model::kForbiddenCombinationsText);
  EXPECT_EQ(addr->value, before);
}

TEST_F(CellCommitTest, ChoicesLeaveOutTheCurrentAndHiddenItems) {
  link::Parameter p("PrtY");
  p.typeText = "Четность:<hide>Скрыто:Нет_четности:Нечетность";
  p.value = "Нечетность";
  EXPECT_EQ(ValueChoices(p), (std::vector<std::string>{"Нечетность", "Четность", "Нет четности"}));
  p.typeText = "int";
  EXPECT_TRUE(ValueChoices(p).empty());
}

}  // namespace
}  // namespace vesk::ui::test
