// The VESK description that ships with the program: it builds without a message, and its
// branches, names and linear indexes are the ones the rest of the program relies on
// (values below worked out by hand from data/vesk.tree.txt).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "description_test_support.h"
#include "link/frame_codec.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "model/description_parser.h"
#include "platform/text.h"

namespace vesk::model {
namespace {

using ::testing::ElementsAre;
using testing::FindBranch;
using testing::LinearIndexes;
using testing::Parameters;
using testing::RecordingPresenter;

std::string VeskText() {
  std::ifstream in(std::string(VESK_SOURCE_DIR) + "/data/vesk.tree.txt", std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> ChildNames(const DescriptionBranch& b) {
  std::vector<std::string> names;
  for (const auto& c : b.children) names.push_back(c->name);
  return names;
}

std::vector<std::string> ShortNames(const DescriptionBranch& b) {
  std::vector<std::string> names;
  for (const auto& p : b.parameters) names.push_back(p->short_name);
  return names;
}

void ForEachParameter(DescriptionBranch& b, const std::function<void(link::Parameter&)>& f) {
  for (auto& p : b.parameters) f(*p);
  for (auto& c : b.children) ForEachParameter(*c, f);
}

class VeskDescription : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    presenter_ = new RecordingPresenter;
    tree_ = new DescriptionTree;
    status_ = BuildDescription(VeskText(), *tree_);
  }
  static void TearDownTestSuite() {
    delete tree_;
    delete presenter_;
  }
  DescriptionBranch& Root() { return *tree_->root; }
  DescriptionBranch& Pollers() { return *tree_->pollers; }
  DescriptionBranch& Branch(std::string_view name) {
    DescriptionBranch* b = FindBranch(tree_->root.get(), name);
    if (!b) b = FindBranch(tree_->pollers.get(), name);
    EXPECT_NE(b, nullptr) << name;
    static DescriptionBranch empty;
    return b ? *b : empty;
  }

  static RecordingPresenter* presenter_;
  static DescriptionTree* tree_;
  static DescriptionStatus status_;
};

RecordingPresenter* VeskDescription::presenter_ = nullptr;
DescriptionTree* VeskDescription::tree_ = nullptr;
DescriptionStatus VeskDescription::status_ = DescriptionStatus::TextError;

TEST_F(VeskDescription, BuildsWithoutAMessage) {
  EXPECT_EQ(status_, DescriptionStatus::Built);
  for (const auto& m : presenter_->messages) ADD_FAILURE() << m.caption << ": " << m.text;
  ASSERT_NE(tree_->root, nullptr);
  ASSERT_NE(tree_->pollers, nullptr);
}

TEST_F(VeskDescription, RootBranches) {
  ASSERT_NE(tree_->root, nullptr);
  EXPECT_EQ(Root().name, "ВЕСК");
  EXPECT_THAT(ChildNames(Root()),
              ElementsAre("Идентификация и диагностика", "Сетевые параметры", "Входы",
                          "Уставки счетчиков", "Выходы", "Калибровка ШИМ"));
}

TEST_F(VeskDescription, IdentificationIsReadOnly) {
  DescriptionBranch& id = Branch("Идентификация и диагностика");
  EXPECT_THAT(ShortNames(id), ElementsAre("dev", "ver", "exit"));
  for (auto& p : id.parameters) {
    EXPECT_FALSE(p->writable) << p->short_name;
    EXPECT_EQ(p->has_attributes, 0) << p->short_name;
    EXPECT_FALSE(p->indexed) << p->short_name;
  }
}

TEST_F(VeskDescription, NetworkBranch) {
  ASSERT_NE(tree_->network, nullptr);
  DescriptionBranch& net = Branch("Сетевые параметры");
  EXPECT_EQ(tree_->network, &net);
  EXPECT_THAT(ShortNames(net),
              ElementsAre("bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", "Prot", "CHAr*"));
  auto type = [&](const char* name) { return net.FindParameter(name)->type_text; };
  EXPECT_EQ(type("bPS"), "2400:4800:9600:14400:19200:28800:38400:57600:115200");
  EXPECT_EQ(type("LEn"), "7:8");
  EXPECT_EQ(type("PrtY"), "Отсутствует:Четность:Нечетность");
  EXPECT_EQ(type("Sbit"), "1:2");
  EXPECT_EQ(type("A.Len"), "8:11");
  EXPECT_EQ(type("Addr"), "int");
  EXPECT_EQ(type("Prot"), "ЛОРН:Modbus_RTU:Modbus_ASCII:Протокол_%");
  EXPECT_EQ(type("CHAr*"), "name");
  EXPECT_EQ(net.FindParameter("bPS")->caption, "Скорость обмена");
  EXPECT_EQ(net.FindParameter("Sbit")->caption, "Кол-во стоп-бит");
  EXPECT_EQ(net.FindParameter("Addr")->minimum, 1);
  EXPECT_EQ(net.FindParameter("Addr")->maximum, 2047);
  for (auto& p : net.parameters) {
    EXPECT_FALSE(p->indexed) << p->short_name;
    EXPECT_TRUE(p->writable) << p->short_name;
    // Initialising the device must not move it to another address or speed.
    EXPECT_EQ(p->initial_value, "") << p->short_name;
  }
}

TEST_F(VeskDescription, Inputs) {
  DescriptionBranch& inputs = Branch("Входы");
  ASSERT_EQ(inputs.children.size(), 12u);
  EXPECT_EQ(inputs.children[0]->name, "Вход №1");
  EXPECT_EQ(inputs.children[11]->name, "Вход №12");
  DescriptionBranch& fifth = *inputs.children[4];
  EXPECT_THAT(ShortNames(fifth), ElementsAre("FiLt", "in.tP", "inv", "Cn.Md", "Cn.K"));
  for (auto& p : fifth.parameters) {
    EXPECT_TRUE(p->indexed) << p->short_name;
    EXPECT_EQ(p->linear_index, 4) << p->short_name;
  }
  EXPECT_THAT(LinearIndexes(Parameters(inputs, "FiLt")),
              ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11));
  const link::Parameter& k = *fifth.FindParameter("Cn.K");
  EXPECT_EQ(k.type_text, "float");
  EXPECT_EQ(k.decimals, 3);
  EXPECT_EQ(k.initial_value, "1.000");
  EXPECT_EQ(fifth.FindParameter("in.tP")->initial_value, "Сухой контакт");
  EXPECT_EQ(fifth.FindParameter("in.tP")->type_text, "Сухой_контакт:Потенциальный");
  EXPECT_EQ(fifth.FindParameter("FiLt")->caption, "Время фильтрации дребезга (мс)");
}

TEST_F(VeskDescription, CounterSetpointsAreCopiesInsideCopies) {
  DescriptionBranch& counters = Branch("Уставки счетчиков");
  ASSERT_EQ(counters.children.size(), 12u);
  DescriptionBranch& third = *counters.children[2];
  EXPECT_EQ(third.name, "Счетчик входа №3");
  ASSERT_EQ(third.children.size(), 2u);
  EXPECT_THAT(ChildNames(third), ElementsAre("Уставка №1", "Уставка №2"));
  auto sp = Parameters(third, "Cn.SP");
  EXPECT_THAT(LinearIndexes(sp), ElementsAre(4, 5));
  EXPECT_EQ(sp[0]->caption, "Уставка №1");
  EXPECT_EQ(sp[1]->caption, "Уставка №2");
  auto all = LinearIndexes(Parameters(counters, "Cn.SP"));
  ASSERT_EQ(all.size(), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(all[i], i);
}

TEST_F(VeskDescription, OutputsAndTheirTable) {
  DescriptionBranch& outputs = Branch("Выходы");
  ASSERT_EQ(outputs.parameters.size(), 1u);
  const link::Parameter& alarm = *outputs.parameters[0];
  EXPECT_EQ(alarm.short_name, "Alr.t");
  EXPECT_FALSE(alarm.indexed);
  EXPECT_EQ(alarm.type_text, "CLK_frm");
  EXPECT_EQ(alarm.initial_value, "00:10");
  EXPECT_EQ(alarm.caption, "Время до перехода выходов в безопасное состояние (мм:сс)");
  ASSERT_EQ(outputs.children.size(), 8u);
  EXPECT_EQ(outputs.children[7]->name, "Выход №8");
  EXPECT_THAT(ShortNames(*outputs.children[2]),
              ElementsAre("OUt.M", "tHP", "tP.H", "SAF.S", "POUt"));
  auto pout = Parameters(outputs, "POUt");
  ASSERT_EQ(pout.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(pout[i]->linear_index, i);
    EXPECT_EQ(tree_->outputs[i], pout[i]);
  }
  EXPECT_EQ(tree_->outputs[8], nullptr);
  EXPECT_EQ(tree_->outputs[9], nullptr);
  EXPECT_EQ(outputs.children[0]->FindParameter("tHP")->minimum, 100);
  EXPECT_EQ(outputs.children[0]->FindParameter("tHP")->maximum, 60000);
}

TEST_F(VeskDescription, CalibrationPointsFollowTheSuffixes) {
  DescriptionBranch& calibration = Branch("Калибровка ШИМ");
  ASSERT_EQ(calibration.children.size(), 8u);
  DescriptionBranch& third = *calibration.children[2];
  EXPECT_EQ(third.name, "Калибровка выхода №3");
  EXPECT_THAT(ChildNames(third), ElementsAre("Нижняя точка", "Верхняя точка"));
  auto k = Parameters(third, "clb.k");
  EXPECT_THAT(LinearIndexes(k), ElementsAre(4, 5));
  EXPECT_EQ(k[0]->caption, "Нижняя точка");
  EXPECT_EQ(k[1]->caption, "Верхняя точка");
  auto all = Parameters(calibration, "clb.k");
  ASSERT_EQ(all.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(all[i]->linear_index, i);
    EXPECT_TRUE(all[i]->indexed);
    EXPECT_EQ(all[i]->initial_value, "0");  // writing initial values puts 0 / 4095 by index
  }
}

TEST_F(VeskDescription, PollersTree) {
  ASSERT_NE(tree_->pollers, nullptr);
  EXPECT_EQ(Pollers().name, "Оперативные параметры");
  ASSERT_EQ(Pollers().parameters.size(), 1u);
  const link::Parameter& cn = *Pollers().parameters[0];
  EXPECT_EQ(cn.short_name, "r.cn");
  EXPECT_FALSE(cn.writable);
  EXPECT_FALSE(cn.indexed);
  EXPECT_EQ(cn.poll_index, 0);
  EXPECT_THAT(ChildNames(Pollers()), ElementsAre("Счетчики входов", "Уровни выходов"));

  auto cou = Parameters(Pollers(), "r.cou");
  ASSERT_EQ(cou.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(cou[i]->poll_index, i);
    EXPECT_FALSE(cou[i]->indexed);
    EXPECT_TRUE(cou[i]->writable);  // the inputs window resets counters
    EXPECT_EQ(cou[i]->caption, "Счетчик №" + std::to_string(i + 1));
  }
  auto oe = Parameters(Pollers(), "r.oe");
  ASSERT_EQ(oe.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(oe[i]->poll_index, i);
    EXPECT_EQ(oe[i]->type_text, "float");
    EXPECT_EQ(oe[i]->maximum, 1);
    EXPECT_EQ(oe[i]->caption, "Уровень выхода №" + std::to_string(i + 1));
  }
  // Every polled parameter needs a timer of its own, and the wait takes at most 63.
  int polled = 0;
  ForEachParameter(Pollers(), [&](link::Parameter&) { ++polled; });
  EXPECT_EQ(polled, 21);
}

TEST_F(VeskDescription, NamesFollowTheDeviceRules) {
  const std::set<uint16_t> reserved = {link::NameHash("n.Err"), link::NameHash("APLY"),
                                       link::NameHash("M.s.t.r."), link::NameHash("INIT")};
  // Within one tree no two parameters share a name hash and a linear index: that is
  // their identity on the wire and in configuration files. Polled parameters carry their
  // index in the address instead.
  for (DescriptionBranch* tree : {tree_->root.get(), tree_->pollers.get()}) {
    std::map<std::pair<uint16_t, int32_t>, std::string> seen;
    ForEachParameter(*tree, [&](link::Parameter& p) {
      EXPECT_LE(platform::Utf8Length(p.short_name), 8u) << p.short_name;
      uint16_t hash = link::NameHash(p.short_name);
      EXPECT_EQ(reserved.count(hash), 0u) << p.short_name;
      int32_t index = p.indexed ? p.linear_index : tree == tree_->pollers.get() ? p.poll_index : -1;
      auto key = std::make_pair(hash, index);
      auto [it, fresh] = seen.emplace(key, p.short_name);
      EXPECT_TRUE(fresh) << p.short_name << " and " << it->second << " share a key";
    });
  }
  // Different mnemonics never share a hash, whatever their indexes.
  std::map<uint16_t, std::string> by_hash;
  for (DescriptionBranch* tree : {tree_->root.get(), tree_->pollers.get()})
    ForEachParameter(*tree, [&](link::Parameter& p) {
      auto [it, fresh] = by_hash.emplace(link::NameHash(p.short_name), p.short_name);
      EXPECT_TRUE(fresh || it->second == p.short_name) << p.short_name << " / " << it->second;
    });
}

TEST_F(VeskDescription, UsesEveryPartOfTheLanguage) {
  std::set<std::string> commands;
  std::set<std::string> features;
  const std::string text = VeskText();
  for (std::string_view line : SplitLines(text)) {
    auto w = SplitWords(line);
    if (w.empty()) continue;
    commands.insert(platform::FoldLower(w[0]));
    for (size_t i = 1; i < w.size(); ++i) {
      std::string word(w[i]);
      if (w[0] == "parameter" && i == 1 && (word[0] == '@' || word[0] == '!'))
        features.insert(word.substr(0, 1));
      if (w[0] == "parameter" && i == 4) features.insert(word);
      if (w[0] == "branch" && i == 1) {
        if (word.find('#') != std::string::npos) features.insert("#");
        if (word.size() > 2 && word[word.size() - 2] == '*') features.insert("*N");
        if (word.find('+') != std::string::npos) features.insert("+N");
      }
      if (w[0] == "branch" && i == 2 && ReadInt(word) == 0) features.insert("COUNT constant");
    }
  }
  for (const char* c :
       {";", "'", "const", "type", "parameter", "rule", "init", "branch", "root", "scanners"})
    EXPECT_EQ(commands.count(c), 1u) << c;
  for (const char* f : {"@", "!", "noattr", "table1", "table1+", "table2", "table2+", "table3*",
                        "table4", "table5", "#", "*N", "+N", "COUNT constant"})
    EXPECT_EQ(features.count(f), 1u) << f;
}

TEST(VeskDescriptionContainer, LoadsFromTheBuiltContainer) {
  const char* env = std::getenv(kContainerEnvVar);
  std::string path = env && *env ? env : std::string(VESK_BIN_DIR) + "/" + kContainerFileName;
  if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << path << " is not built";
  RecordingPresenter presenter;
  DescriptionTree tree;
  EXPECT_EQ(LoadDescriptionFrom(path, kVeskDeviceKind, tree), DescriptionStatus::Built);
  EXPECT_TRUE(presenter.messages.empty());
  ASSERT_NE(tree.root, nullptr);
  EXPECT_EQ(tree.root->name, "ВЕСК");
  EXPECT_NE(tree.network, nullptr);
  EXPECT_NE(tree.outputs[7], nullptr);
}

}  // namespace
}  // namespace vesk::model
