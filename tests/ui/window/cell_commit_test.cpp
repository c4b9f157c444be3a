// The commit of an edited cell, without widgets: the messages, the flags, the modes.

#include <gtest/gtest.h>

#include <thread>

#include "app/cell_commit.h"
#include "exchange/exchange_engine.h"
#include "exchange/polling.h"
#include "model/device_line_settings.h"
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
    p->type_text = "int";
    p->minimum = 0;
    p->maximum = 7;
    return p;
  }
  app::CommitTarget Target(model::ParameterNode* owner = nullptr) {
    return {doc->engine(), owner, &modified};
  }
  bool modified = false;
};

TEST_F(CellCommitTest, SameTextChangesNothing) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.value = "3";
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kValue, "3", "3"),
            app::CommitResult::Unchanged);
  EXPECT_FALSE(modified);
  EXPECT_FALSE(p.value_changed);
}

TEST_F(CellCommitTest, RefusedValueMessageEndsWithTheRange) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  const std::string text = app::ValueRefusedText(p, "9");
  EXPECT_EQ(text,
            "Параметеру 'tSt' (Проба)\nне может быть присвоено значение '9'.\n (Значение этого "
            "параметра должно быть int и\n должно быть больше 0.000000 и меньше 7.000000)\n");
  p.minimum = p.maximum = 0;
  EXPECT_EQ(app::ValueRefusedText(p, "x"),
            "Параметеру 'tSt' (Проба)\nне может быть присвоено значение 'x'.\n (Значение этого "
            "параметра должно быть ");
  link::Parameter name("CHAr*");
  name.caption = "Имя";
  EXPECT_NE(app::ValueRefusedText(name, "?").find("требованиям к формату сетевого имени"),
            std::string::npos);
}

TEST_F(CellCommitTest, HelpBalloonTexts) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(app::EditHelpTitle(p), "Проба (tSt)");
  EXPECT_EQ(app::EditHelpText(p), "Значение параметра должно быть целого типа, от 0 до 7.");
  p.type_text = "FLOAT";
  EXPECT_EQ(app::EditHelpText(p),
            "Значение параметра должно быть вещественного типа, от 0.000 до 7.000.");
}

TEST_F(CellCommitTest, FirmOwnedValueAndAttributeStay) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.owned_by_firm = true;
  p.has_attributes = 1;
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kValue, link::kNoData, "2"),
            app::CommitResult::Refused);
  EXPECT_EQ(p.value, link::kNoData);
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kEditable, app::kEditableText,
                            app::kNotEditableText),
            app::CommitResult::Refused);
  EXPECT_TRUE(p.editable);
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(CellCommitTest, EditAttributeTurnsGreen) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  p.has_attributes = 1;
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kEditable, app::kEditableText,
                            app::kNotEditableText),
            app::CommitResult::Accepted);
  EXPECT_FALSE(p.editable);
  EXPECT_TRUE(p.edit_changed);
  EXPECT_EQ(p.DisplayColour(), (link::Rgb{0, 200, 0}));
}

TEST_F(CellCommitTest, AcceptedWithoutImmediateWriteIsGreenAndUnsent) {
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kValue, link::kNoData, "5"),
            app::CommitResult::Accepted);
  EXPECT_EQ(p.value, "5");
  EXPECT_TRUE(p.value_changed);
  EXPECT_TRUE(modified);
  EXPECT_EQ(p.DisplayColour(), (link::Rgb{0, 200, 0}));
}

TEST_F(CellCommitTest, ImmediateWriteIsLeftToTheExchangeThread) {
  // The commit only decides; the window hands the write on and reports how it went.
  doc->modes().immediate_write.store(true);
  auto owned = IntParameter();
  link::Parameter& p = *owned;
  EXPECT_EQ(app::CommitCell(Target(), p, app::column::kValue, link::kNoData, "5"),
            app::CommitResult::ToWrite);
  EXPECT_EQ(p.value, "5");
  EXPECT_TRUE(p.value_changed);
  EXPECT_TRUE(captured.shown.empty());
}

TEST_F(CellCommitTest, ARefusedPolledValueIsShownWithThePolledRecordsFree) {
  // The poller thread must be able to take the records while the box waits for the person.
  struct LockProbe : link::Presenter {
    link::MsgAnswer ShowMessage(std::string_view, std::string_view shown_caption, link::MsgIcon,
                                link::MsgButtons) override {
      std::thread([this] {
        std::unique_lock values(exchange::PolledValuesLock(), std::try_to_lock);
        free = values.owns_lock();
      }).join();
      caption = shown_caption;
      return link::MsgAnswer::Ok;
    }
    bool free = false;
    std::string caption;
  } probe;
  auto owned = IntParameter();
  ASSERT_TRUE(exchange::PreparePolling(*owned));
  link::SetPresenter(&probe);
  const app::CommitResult result =
      app::CommitCell(Target(), *owned, app::column::kValue, link::kNoData, "9");
  link::SetPresenter(&captured);
  EXPECT_EQ(result, app::CommitResult::Refused);
  EXPECT_EQ(probe.caption, app::kValueRefusedCaption);
  EXPECT_TRUE(probe.free);
}

TEST_F(CellCommitTest, ForbiddenAddressForEightBitAddresses) {
  model::DeviceLineSettings net;
  net.FillParameters();
  net.SetValue("A.Len", "8");
  link::Parameter* addr = net.FindParameter("Addr");
  ASSERT_NE(addr, nullptr);
  const std::string before = addr->value;
  EXPECT_EQ(app::CommitCell(Target(&net), *addr, app::column::kValue, before, "300"),
            app::CommitResult::Refused);
  ASSERT_EQ(captured.shown.size(), 1u);
  EXPECT_EQ(captured.shown[0].caption, model::kForbiddenCombinationsCaption);
  EXPECT_EQ(captured.shown[0].text, model::kForbiddenCombinationsText);
  EXPECT_EQ(addr->value, before);
}

TEST_F(CellCommitTest, ChoicesLeaveOutTheCurrentAndHiddenItems) {
  link::Parameter p("PrtY");
  p.type_text = "Четность:<hide>Скрыто:Нет_четности:Нечетность";
  p.value = "Нечетность";
  EXPECT_EQ(app::ValueChoices(p),
            (std::vector<std::string>{"Нечетность", "Четность", "Нет четности"}));
  p.type_text = "int";
  EXPECT_TRUE(app::ValueChoices(p).empty());
}

}  // namespace
}  // namespace vesk::ui::test
