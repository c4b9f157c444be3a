#include "exchange/single_access.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "link/device_link.h"
#include "link/frame_codec.h"
#include "live_device.h"

using namespace vesk;
using namespace vesk::exchange;
using vesk::polling_test::LiveDevice;
using vesk::polling_test::RecordingPresenter;
using vesk::polling_test::TestEngine;

namespace {

std::string HexHash(const char* name) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", link::NameHash(name));
  return buf;
}

CommandDescription Described(const char* name, const char* type, const char* caption,
                             bool indexed = false) {
  CommandDescription d;
  d.definition.name = name;
  d.definition.type_text = type;
  d.definition.caption = caption;
  d.indexed = indexed;
  return d;
}

// The description of the real device and a link to a simulated one.
class SingleAccessLive : public ::testing::Test {
 protected:
  void SetUp() override {
    trees = polling_test::LoadTrees();
    ASSERT_TRUE(trees);
    ASSERT_TRUE(device.Ok());
    descriptions = LoadCommandDescriptions(polling_test::TreeContainer(), *trees);
    ASSERT_FALSE(descriptions.empty());
    ASSERT_EQ(engine.Open(device.Path()), link::kOpenOk);
  }

  ExecuteOutcome Run(const char* command, int operation, const char* value = "",
                     std::optional<int> index = std::nullopt,
                     IndexPlacement placement = IndexPlacement::DataField) {
    SingleAccess access(*engine, descriptions);
    SingleAccessFields f;
    f.command = command;
    f.operation = operation;
    f.value = value;
    if (index) {
      f.index_used = true;
      f.index = std::to_string(*index);
      f.placement = placement;
    }
    return access.Execute(f);
  }

  LiveDevice device{{"--input-ms", "0"}};
  TestEngine engine;
  std::unique_ptr<model::DescriptionTree> trees;
  std::vector<CommandDescription> descriptions;
  RecordingPresenter presenter;

  // Frames the device received so far.
  int ReceivedFrames() {
    int n = 0;
    for (const std::string& line : device.sim().TraceLines())
      if (line.find(" RX ") != std::string::npos) ++n;
    return n;
  }
};

}  // namespace

TEST(SingleAccessRefresh, InitialCommandShowsTheHashOfVer) {
  link::DeviceLink link;
  SingleAccess access(link, {Described("!ver", "string", "Версия_программы_прибора")});
  const CommandView v = access.Refresh(kInitialCommand);
  EXPECT_EQ(v.hash_text, HexHash("VER"));
  EXPECT_EQ(v.type_text, "string");
  EXPECT_EQ(v.caption, "Версия программы прибора");
  EXPECT_EQ(v.description_line, "Версия программы прибора (string)");
  EXPECT_TRUE(v.choices.empty());
  ASSERT_TRUE(v.index_used.has_value());
  EXPECT_FALSE(*v.index_used);
}

TEST(SingleAccessRefresh, UndescribedCommandKeepsTheCaption) {
  link::DeviceLink link;
  SingleAccess access(link, {Described("FiLt", "int", "Фильтр", true)});
  EXPECT_EQ(access.Refresh("filt").index_used, std::optional<bool>(true));
  const CommandView v = access.Refresh("FiL");
  EXPECT_EQ(v.type_text, kUndefinedType);
  EXPECT_EQ(v.caption, "Фильтр");
  EXPECT_EQ(v.description_line, "Фильтр (<тип неопределен>)");
  EXPECT_FALSE(v.index_used.has_value());
  EXPECT_TRUE(v.choices.empty());
  EXPECT_EQ(v.hash_text, HexHash("FiL"));
}

TEST(SingleAccessRefresh, ChoiceEntries) {
  struct Case {
    const char* type;
    std::vector<std::string> choices;
  } cases[] = {
      {"Нет:Да", {"Нет", "Да"}},
      {"По_фронту:Скрытый<hide>:По_спаду", {"По фронту", "По спаду"}},
      {"int", {}},
      {"ASCI", {}},
      {"name", {}},
      {"float:3", {}},  // a format with decimal places, not a list
      {"int:Нет:Да", {"int", "Нет", "Да"}},
  };
  link::DeviceLink link;
  for (const Case& c : cases) {
    SingleAccess access(link, {Described("X", c.type, "Икс")});
    EXPECT_EQ(access.Refresh("X").choices, c.choices) << c.type;
  }
}

TEST(SingleAccessRefresh, BangIsNotNeededToNameAReadOnlyParameter) {
  link::DeviceLink link;
  SingleAccess access(link, {Described("!dev", "string", "Имя"), Described("Addr", "int", "А")});
  ASSERT_NE(access.Find("dev"), nullptr);
  EXPECT_EQ(access.Find("dev")->definition.name, "!dev");
  EXPECT_EQ(access.Find("!DEV"), access.Find("dev"));
  EXPECT_NE(access.Find("!addr"), nullptr);
  EXPECT_EQ(access.Find("Add"), nullptr);
  EXPECT_EQ(access.CommandNames(), (std::vector<std::string>{"!dev", "Addr"}));
}

TEST(SingleAccessDescriptions, FlagsComeFromTheTrees) {
  auto trees = polling_test::LoadTrees();
  ASSERT_TRUE(trees);
  const auto all = LoadCommandDescriptions(polling_test::TreeContainer(), *trees);
  auto find = [&](const char* name) -> const CommandDescription* {
    for (const auto& d : all)
      if (d.definition.name == name) return &d;
    return nullptr;
  };
  ASSERT_NE(find("FiLt"), nullptr);
  EXPECT_TRUE(find("FiLt")->indexed);
  EXPECT_FALSE(find("FiLt")->polled);
  ASSERT_NE(find("r.cou"), nullptr);
  EXPECT_TRUE(find("r.cou")->polled);
  ASSERT_NE(find("A.Len"), nullptr);
  EXPECT_FALSE(find("A.Len")->indexed);
  EXPECT_FALSE(find("A.Len")->polled);
  EXPECT_EQ(LoadCommandDescriptions("/nonexistent/vesk.tree.dat", *trees).size(), 0u);
}

TEST_F(SingleAccessLive, ReadsTheAddressLengthLineByLine) {
  const ExecuteOutcome out = Run("A.Len", kSingleRead);
  ASSERT_TRUE(out.Ok()) << out.note;
  ASSERT_EQ(out.lines.size(), 6u);
  EXPECT_EQ(out.lines[0], "A.Len (Длина адреса RS-485)");
  EXPECT_EQ(out.lines[1], "Размер инф-ой части посылки 0 байт.");
  EXPECT_EQ(out.lines[2].rfind("<< Ответ: # 0 : ", 0), 0u) << out.lines[2];
  EXPECT_EQ(out.lines[3], "Инф-ная часть квитанции ответа имеет размер 1 байт.");
  EXPECT_EQ(out.lines[4], "Нет ошибок; строковая нотация ответа:");
  EXPECT_EQ(out.lines[5], "8");
}

TEST_F(SingleAccessLive, ReadsTheDeviceName) {
  const ExecuteOutcome out = Run("dev", kSingleRead);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines.front(), "dev (Наименование прибора)");
  EXPECT_EQ(out.lines[out.lines.size() - 2], "Нет ошибок; строковая нотация ответа:");
  EXPECT_EQ(out.lines.back(), "VESK");
  EXPECT_EQ(out.value, "VESK");
}

TEST_F(SingleAccessLive, WritingTheDeviceNameSendsNothing) {
  const int before = ReceivedFrames();
  const ExecuteOutcome out = Run("dev", kSingleWrite, "ABC");
  EXPECT_TRUE(out.described);
  EXPECT_EQ(out.result, link::kExchangeNoEncoder);
  EXPECT_NE(std::find(out.lines.begin(), out.lines.end(),
                      "Метод формирования посылки записи для команды 'dev' не определен."),
            out.lines.end());
  EXPECT_EQ(ReceivedFrames(), before);
}

TEST_F(SingleAccessLive, AChoiceOutsideTheListIsNotEncoded) {
  const ExecuteOutcome out = Run("PrtY", kSingleWrite, "Иногда");
  EXPECT_EQ(out.result, link::kExchangeBadValue);
  EXPECT_EQ(out.lines.back(), link::kTextBadValue);
}

TEST_F(SingleAccessLive, WritesAndReadsBackWithTheIndexInTheData) {
  ExecuteOutcome out = Run("FiLt", kSingleWrite, "25", 3);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines[0], "Индекс передается в посылке запроса");
  EXPECT_EQ(out.lines.back(), "Нет ошибок; записано. Обратно вернулось='25'");
  // Index 3 travels as two bytes behind the value: 25, 0, 3.
  EXPECT_NE(std::find(out.lines.begin(), out.lines.end(), ">> Посылка: # 2 : 003 = 0x03 (.)"),
            out.lines.end());

  out = Run("FiLt", kSingleRead, "", 3);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines.back(), "25");
  out = Run("FiLt", kSingleRead, "", 4);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines.back(), "10");  // the description's initial value, untouched
}

TEST_F(SingleAccessLive, WritesAndReadsBackWithTheIndexInTheAddress) {
  ExecuteOutcome out = Run("r.cou", kSingleWrite, "7", 5, IndexPlacement::Address);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines[0], "Индекс передается в поле адреса запроса");
  EXPECT_EQ(out.lines[1], "r.cou (Значение счетчика)");

  out = Run("r.cou", kSingleRead, "", 5, IndexPlacement::Address);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines.back(), "7");
  out = Run("r.cou", kSingleRead, "", 4, IndexPlacement::Address);
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines.back(), "0");
}

TEST_F(SingleAccessLive, AnAddressBeyondSevenIsWarnedAbout) {
  const ExecuteOutcome out = Run("r.cou", kSingleRead, "", 8, IndexPlacement::Address);
  ASSERT_GE(out.lines.size(), 2u);
  EXPECT_EQ(out.lines[0], "Индекс передается в поле адреса запроса");
  EXPECT_EQ(out.lines[1], "Предупреждение: адрес увеличен более чем на 7!");
  EXPECT_TRUE(out.Ok()) << out.note;
  // The request went to base address 16 + 8.
  const std::vector<std::string> trace = device.sim().TraceLines();
  ASSERT_FALSE(trace.empty());
  const std::string& last_rx = trace[trace.size() - 2];
  EXPECT_NE(last_rx.find("addr=24"), std::string::npos) << last_rx;
}

TEST_F(SingleAccessLive, AnErrorReplyEndsTheProtocol) {
  // The attribute request already carries the index, so the device refuses that one.
  const ExecuteOutcome out = Run("FiLt", kSingleRead, "", 500);
  EXPECT_EQ(out.result, link::kExchangeAttributeFailed);
  EXPECT_EQ(out.note, "Индекс параметра превышает ограничитель индекса");
  EXPECT_EQ(out.lines.back(), out.note);
}

TEST_F(SingleAccessLive, AnUndescribedCommandIsRefused) {
  const int before = ReceivedFrames();
  const ExecuteOutcome out = Run("XyZ", kSingleRead);
  EXPECT_FALSE(out.described);
  EXPECT_FALSE(out.Ok());
  EXPECT_EQ(out.lines, std::vector<std::string>{"Параметер 'XyZ' не описан!"});
  ASSERT_EQ(presenter.messages().size(), 1u);
  EXPECT_EQ(presenter.messages()[0].text, "Параметер 'XyZ' не описан!");
  EXPECT_EQ(presenter.messages()[0].icon, link::MsgIcon::Error);
  EXPECT_EQ(ReceivedFrames(), before);
}

TEST_F(SingleAccessLive, OneCallGetAndSet) {
  ExecuteOutcome out = AccessOneParameter(*engine, descriptions, false, "dev", {}, "");
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.value, "VESK");

  out = AccessOneParameter(*engine, descriptions, true, "FiLt", 2u, "30");
  ASSERT_TRUE(out.Ok()) << out.note;
  out = AccessOneParameter(*engine, descriptions, false, "filt", 2u, "");
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.value, "30");

  // An operative parameter's index is an address offset.
  out = AccessOneParameter(*engine, descriptions, true, "r.cou", 9u, "12");
  ASSERT_TRUE(out.Ok()) << out.note;
  EXPECT_EQ(out.lines[0], "Индекс передается в поле адреса запроса");
  out = AccessOneParameter(*engine, descriptions, false, "r.cou", 9u, "");
  EXPECT_EQ(out.value, "12");

  out = AccessOneParameter(*engine, descriptions, false, "nothing", {}, "");
  EXPECT_FALSE(out.described);
  EXPECT_FALSE(out.Ok());
  EXPECT_TRUE(presenter.messages().empty());
}

TEST(SingleAccessLostPort, IsMarkedLostSoTheNextExchangeOpensItAgain) {
  RecordingPresenter presenter;
  auto trees = polling_test::LoadTrees();
  ASSERT_TRUE(trees);
  const auto descriptions = LoadCommandDescriptions(polling_test::TreeContainer(), *trees);
  const std::string folder = test::MakeTempFolder();
  // The port by a stable name, as a by-id link names an adapter.
  const std::string port = folder + "/tty-by-id";
  const std::vector<std::string> args = {"--bps", "115200", "--link", port};
  auto sim = std::make_unique<test::SimProcess>(folder, args);
  ASSERT_TRUE(sim->Ok()) << sim->error();
  TestEngine engine;
  ASSERT_EQ(engine.Open(port), link::kOpenOk);

  sim->Kill();
  SingleAccess access(*engine, descriptions);
  SingleAccessFields fields;
  fields.command = "dev";
  EXPECT_FALSE(access.Execute(fields, false).Ok());
  EXPECT_FALSE(engine->LostPortText().empty());

  // Back on the same path: an automatic read opens it again, no task needed.
  sim = std::make_unique<test::SimProcess>(folder, args);
  ASSERT_TRUE(sim->Ok()) << sim->error();
  link::Parameter dev("dev");
  EXPECT_EQ(engine->Exchange(link::kOpRead, &dev), link::kExchangeOk) << dev.note;
  EXPECT_EQ(dev.value, "VESK");
  sim.reset();
  test::RemoveFolder(folder);
}
