// Whole-tree tasks against the simulator: read, write, write changed, compare and
// initialise, checked against what the device holds afterwards.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "engine_fixture.h"
#include "exchange/device_commands.h"
#include "exchange/node_walks.h"
#include "exchange/task_commands.h"
#include "link/exit_status.h"
#include "link/frame_codec.h"
#include "model/description_branch.h"

using namespace vesk;
using namespace vesk::test;
using exchange::kTaskReadAll;

namespace {

// The hash of "INIT" as the simulator's trace writes it.
std::string InitHash() {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", link::NameHash("INIT"));
  return buf;
}

int CountBranches(const model::DescriptionBranch& branch) {
  int n = 1;
  for (const auto& child : branch.children) n += CountBranches(*child);
  return n;
}

std::string IndexKey(const link::Parameter& p) {
  return p.indexed ? std::to_string(p.linear_index) : "-";
}

// The dump's attribute byte as the configurator holds it: bit 0 editable, bit 1 user.
std::string AttributeText(const link::Parameter& p) {
  if (!p.has_attributes) return "-";
  return std::to_string((p.editable ? 1 : 0) | (p.owned_by_firm ? 0 : 2));
}

class TreeTasks : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartSim();
    LoadTree();
  }

  // Every parameter of the tree as the device holds it.
  void ExpectTreeMatches(const Dump& dump) {
    int checked = 0;
    for (link::Parameter* p : AllParameters()) {
      // "CHAr*" is kept as four codes; the identity answers are no stored values.
      if (p->short_name == "CHAr*" || p->short_name == "dev" || p->short_name == "ver" ||
          p->short_name == "exit")
        continue;
      auto it = dump.find({p->short_name, IndexKey(*p)});
      ASSERT_NE(it, dump.end()) << p->short_name << ":" << IndexKey(*p);
      EXPECT_EQ(p->value, it->second.value) << p->short_name << ":" << IndexKey(*p);
      EXPECT_EQ(AttributeText(*p), it->second.attributes) << p->short_name;
      ++checked;
    }
    EXPECT_GT(checked, 100);
  }
};

TEST_F(TreeTasks, ReadAllFillsEveryParameterWithTheDevicesValue) {
  const int total = tree.root->CountForTask(1);
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  EXPECT_EQ(progress.last_caption, "Идет чтение параметров из прибора");
  EXPECT_EQ(progress.last_range, total);
  EXPECT_EQ(engine->progress_done.load(), total);

  for (link::Parameter* p : AllParameters()) {
    EXPECT_TRUE(p->note.empty()) << p->short_name << ": " << p->note;
    EXPECT_NE(p->value, link::kNoData) << p->short_name;
  }
  ASSERT_EQ(sim->Stop(), 0);
  ExpectTreeMatches(sim->ReadDump());

  const auto texts = progress.Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Читаем ветвь 'ВЕСК'");
  EXPECT_EQ(texts[texts.size() - 2], "");
  EXPECT_EQ(texts.back(), "Задание выполнено. Окно будет закрыто автоматически.");
  EXPECT_EQ(progress.lines().back().counter,
            std::to_string(total) + " из " + std::to_string(total));
}

}  // namespace

namespace {

using exchange::kTaskCompare;
using exchange::kTaskWriteAll;
using exchange::kTaskWriteChanged;

// Changes that the description allows, one per kind of format.
struct Edit {
  const char* name;
  int index;
  const char* text;
};
constexpr Edit kEdits[] = {
    {"FiLt", 0, "25"},      {"Cn.K", 3, "2.500"},          {"tHP", 2, "2000"},
    {"Alr.t", -1, "01:30"}, {"in.tP", 5, "Потенциальный"}, {"Cn.SP", 7, "1234"},
    {"clb.k", 9, "3000"},   {"SAF.S", 4, "Включить"},      {"POUt", 6, "Включен"},
    {"tP.H", 1, "20"},      {"FiLt", 11, "500"},           {"OUt.M", 7, "ШИМ"},
};

TEST_F(TreeTasks, WriteAllSendsEveryWritableValue) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  for (const Edit& e : kEdits) {
    link::Parameter* p = Find(e.name, e.index);
    ASSERT_NE(p, nullptr) << e.name;
    ASSERT_TRUE(p->SetValueFromText(e.text)) << e.name << " " << e.text;
  }
  progress.Clear();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskWriteAll));
  EXPECT_EQ(progress.last_caption, "Идет запись параметров в прибор");

  int writable = 0;
  for (link::Parameter* p : AllParameters()) {
    if (p->writable) ++writable;
    EXPECT_TRUE(p->note.empty()) << p->short_name << ": " << p->note;
    EXPECT_FALSE(p->value_changed) << p->short_name;
  }
  EXPECT_EQ(static_cast<int>(progress.TextsStarting("  Запись: ").size()), writable);
  // In mode "all" every branch says so, even one with nothing to write.
  EXPECT_EQ(static_cast<int>(progress.TextsStarting("Пишем ветвь '").size()),
            CountBranches(*tree.root));
  ASSERT_EQ(sim->Stop(), 0);
  const Dump dump = sim->ReadDump();
  ExpectTreeMatches(dump);
  EXPECT_EQ((dump.at({"Cn.K", "3"}).value), "2.500");
  EXPECT_EQ((dump.at({"Alr.t", "-"}).value), "01:30");
}

TEST_F(TreeTasks, WriteChangedSendsOnlyTheChangedValues) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  ASSERT_TRUE(Find("FiLt", 4)->SetValueFromText("77"));
  ASSERT_TRUE(Find("Cn.SP", 20)->SetValueFromText("4321"));
  progress.Clear();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskWriteChanged));
  EXPECT_EQ(progress.last_range, 2);
  EXPECT_EQ(progress.TextsStarting("  Запись: "),
            (std::vector<std::string>{"  Запись: FiLt:4 = 77 [новое значение]",
                                      "  Запись: Cn.SP:20 = 4321 [новое значение]"}));
  // Only the branches that hold a changed value say so.
  EXPECT_EQ(progress.TextsStarting("Пишем ветвь '").size(), 2u);
  ASSERT_EQ(sim->Stop(), 0);
  const Dump dump = sim->ReadDump();
  EXPECT_EQ((dump.at({"FiLt", "4"}).value), "77");
  EXPECT_EQ((dump.at({"Cn.SP", "20"}).value), "4321");
}

TEST_F(TreeTasks, CompareAfterReadFindsNothing) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  ASSERT_TRUE(exchange::CompareCommand(*engine, tree.root.get()));
  EXPECT_EQ(engine->diff_count.load(), 0);
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Отличий не обнаружено");
  EXPECT_EQ(shown[0].caption, "Результат сравнения");
  EXPECT_EQ(shown[0].icon, link::MsgIcon::Information);
}

TEST_F(TreeTasks, CompareReportsTwelveDifferencesAndDetailsTen) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  for (const Edit& e : kEdits) ASSERT_TRUE(Find(e.name, e.index)->SetValueFromText(e.text));
  ASSERT_TRUE(exchange::CompareCommand(*engine, tree.root.get()));
  EXPECT_EQ(progress.last_caption, "Идет сравнение параметров в конфигурации и в приборе");
  EXPECT_EQ(engine->diff_count.load(), 12);

  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  const std::string& report = shown[0].text;
  EXPECT_EQ(
      report.rfind("Обнаружено 12 отличий (показанны только первые 10):\n\n1) Параметер '", 0), 0u)
      << report;
  EXPECT_NE(report.find("\n10) Параметер '"), std::string::npos);
  EXPECT_EQ(report.find("\n11) "), std::string::npos);

  int noted = 0;
  for (link::Parameter* p : AllParameters())
    if (p->note.rfind("Знач-е в приборе:", 0) == 0) ++noted;
  EXPECT_EQ(noted, 10);
  // The tree's order decides which ten: FiLt:0 comes first.
  EXPECT_EQ(Find("FiLt", 0)->note, "Знач-е в приборе: '10',Ред-ый,польз.");
  EXPECT_NE(report.find("1) Параметер 'FiLt (Время фильтрации дребезга (мс)) в конфигурации: "
                        "значение=25,Редактируемый,принадлежит пользователю; в приборе: "
                        "значение=10,Редактируемый,принадлежит пользователю.\n"),
            std::string::npos)
      << report;
  // The configuration keeps its own values.
  EXPECT_EQ(Find("FiLt", 0)->value, "25");
}

TEST_F(TreeTasks, WritingAllWithoutDataSendsNothing) {
  // A fresh tree holds "Нет данных" everywhere: nothing of it may reach the device.
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskWriteAll));
  for (link::Parameter* p : AllParameters()) {
    if (!p->writable) continue;
    EXPECT_EQ(p->note, "Значение не записанно, так как параметер не инициализирован")
        << p->short_name;
    EXPECT_EQ(p->value, link::kNoData);
  }
  EXPECT_TRUE(progress.TextsStarting("  Запись: ").empty());
  ASSERT_EQ(sim->Stop(), 0);
  EXPECT_EQ(sim->CountReceived(""), 0) << "frames reached the device";
}

TEST_F(TreeTasks, IndexedParametersShowTheirIndexInTheLogLines) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  const auto reads = progress.TextsStarting("  Чтение: clb.k:3 = ");
  ASSERT_EQ(reads.size(), 1u);
  const std::string value = Find("clb.k", 3)->value;
  EXPECT_EQ(reads[0], "  Чтение: clb.k:3 = " + value);

  model::ParameterNode one;
  one.AddParameter(Find("clb.k", 3)->Clone());
  progress.Clear();
  ASSERT_TRUE(exchange::CompareCommand(*engine, &one));
  EXPECT_EQ(progress.TextsStarting("  Сравниваем: "),
            std::vector<std::string>{"  Сравниваем: clb.k=" + value + ":3<>" + value});
}

TEST_F(TreeTasks, CancelDuringReadStopsAtTheNextBranch) {
  // Reads that succeed do not look for a cancel; the next branch does.
  progress.on_line = [this](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Чтение: bPS", 0) == 0) engine->Cancel();
  };
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  const auto reads = progress.TextsStarting("  Чтение: ");
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.back().rfind("  Чтение: CHAr*", 0), 0u) << reads.back();
  EXPECT_TRUE(progress.TextsStarting("Читаем ветвь 'Входы'").empty());
  EXPECT_EQ(Find("FiLt", 0)->value, link::kNoData);
  EXPECT_EQ(link::exit_status.load(), exchange::kStatusCancelled);
}

TEST_F(TreeTasks, CancelDuringWriteStopsAfterTheParameterAndClosesAtOnce) {
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  progress.Clear();
  int written = 0;
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Запись: ", 0) == 0 && ++written == 5) engine->Cancel();
  };
  engine->SetLinger(std::chrono::seconds(5));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskWriteAll));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(progress.TextsStarting("  Запись: ").size(), 5u);
  EXPECT_EQ(progress.Texts().back(), "Задание выполнено. Окно будет закрыто автоматически.");
  EXPECT_EQ(link::exit_status.load(), exchange::kStatusCancelled);
  EXPECT_FALSE(engine->cancel_event.IsSet());
}

TEST_F(TreeTasks, PortThatVanishesEndsTheTaskWithReasons) {
  int reads = 0;
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Чтение: ", 0) == 0 && ++reads == 20) sim->Kill();
  };
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  // Every parameter after the vanishing either failed with a reason or was never reached;
  // none holds a value that did not come from the device.
  int failed = 0;
  for (link::Parameter* p : AllParameters()) {
    if (!p->note.empty()) {
      ++failed;
      EXPECT_EQ(p->value, link::kNoData) << p->short_name;
    }
  }
  EXPECT_GT(failed, 0);
  EXPECT_NE(link::exit_status.load(), 0u);
}

TEST_F(TreeTasks, LostPortStopsTheTaskAndIsOpenedAgainWhenBack) {
  // The port by a stable name, as a by-id link names an adapter.
  const std::string link_path = folder + "/tty-by-id";
  const std::vector<std::string> args = {"--bps", "115200", "--link", link_path};
  sim = std::make_unique<SimProcess>(folder, args);
  ASSERT_TRUE(sim->Ok()) << sim->error();
  engine->program_line().SetValue("Port", link_path);
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);

  int reads = 0;
  progress.on_line = [&](const exchange::ProgressLine& line) {
    if (line.text.rfind("  Чтение: ", 0) == 0 && ++reads == 20) sim->Kill();
  };
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  // Stopped by the failure streak, not walked to the end as if all were well.
  EXPECT_LT(reads, 30);
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find("Порт " + link_path + " потерян: "), std::string::npos)
      << shown[0].text;
  EXPECT_EQ(progress.Texts().back().rfind("Задание не выполнено для ", 0), 0u)
      << progress.Texts().back();

  // Back on the same path: the next command opens it again, no set-up needed.
  progress.on_line = nullptr;
  sim = std::make_unique<SimProcess>(folder, args);
  ASSERT_TRUE(sim->Ok()) << sim->error();
  engine->modes().auto_read.store(true);
  ASSERT_TRUE(engine->RunTask(tree.root.get(), kTaskReadAll));
  EXPECT_EQ(progress.Texts().back(), exchange::kTaskDoneText);
  EXPECT_TRUE(engine->port().IsOpen());
  EXPECT_EQ(engine->line_state().condition(), exchange::LineCondition::kConnected);
}

TEST_F(TreeTasks, InitialiseWritesTheInitialValuesAndSendsInit) {
  messages.QueueAnswers({link::MsgAnswer::Yes, link::MsgAnswer::Yes});
  ASSERT_TRUE(exchange::InitialiseDevice(*engine, tree.root.get(), [&] {
    std::string failure;
    if (exchange::AskInit()) exchange::SendInit(*engine, failure);
  }));
  EXPECT_EQ(progress.last_code, exchange::kTaskInitialise);
  EXPECT_EQ(progress.last_caption, "Идет инициализация прибора");
  EXPECT_EQ(progress.last_range, tree.root->CountForTask(-1));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Find("clb.k", i)->value, i % 2 ? "4095" : "0") << i;
  ASSERT_EQ(sim->Stop(), 0);
  const Dump dump = sim->ReadDump();
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ((dump.at({"clb.k", std::to_string(i)}).value), i % 2 ? "4095" : "0") << i;
  EXPECT_EQ((dump.at({"FiLt", "7"}).value), "10");
  EXPECT_EQ((dump.at({"Alr.t", "-"}).value), "00:10");
  EXPECT_EQ((dump.at({"Cn.Md", "2"}).value), "По фронту");
  EXPECT_EQ(sim->CountReceived(InitHash()), 1);
}

}  // namespace
