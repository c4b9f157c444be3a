// The description language and the tree build: lexical rules, every command and its
// messages, copies, linear indexes, name suffixes and the bounds against hostile text.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "description_test_support.h"
#include "model/description_loader.h"
#include "model/description_parser.h"
#include "model/tree_builder.h"

namespace vesk::model {
namespace {

using ::testing::ElementsAre;
using testing::FindBranch;
using ::testing::HasSubstr;
using testing::LinearIndexes;
using testing::Parameters;
using testing::RecordingPresenter;
using ::testing::StartsWith;

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

// ---------------------------------------------------------------- lexical helpers

TEST(DescriptionLexer, LinesSplitAtRunsOfLineEnds) {
  EXPECT_THAT(SplitLines("a b\r\n\r\n\nc\rd\n"), ElementsAre("a b", "c", "d"));
  EXPECT_TRUE(SplitLines("\r\n\n").empty());
  EXPECT_THAT(SplitLines("last"), ElementsAre("last"));
}

TEST(DescriptionLexer, WordsSplitAtBlanksAndTabs) {
  EXPECT_THAT(SplitWords("  const\t\tA   1 \t"), ElementsAre("const", "A", "1"));
  EXPECT_TRUE(SplitWords(" \t ").empty());
}

TEST(DescriptionLexer, ReadDoubleTakesTheLeadingNumber) {
  struct Case {
    const char* word;
    double value;
  } cases[] = {
      {"3.7", 3.7}, {"-2.5x", -2.5}, {"+4", 4},   {".5", 0.5},    {"1e3", 1000},
      {"abc", 0},   {"", 0},         {"-", 0},    {"inf", 0},     {"nan", 0},
      {"1e999", 0}, {"12,5", 12},    {"0x10", 0}, {"2047", 2047}, {"0.001", 0.001},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ReadDouble(c.word), c.value) << c.word;
}

TEST(DescriptionLexer, ReadIntTakesTheLeadingIntegerAndSaturates) {
  struct Case {
    const char* word;
    int32_t value;
  } cases[] = {
      {"12", 12},
      {"12abc", 12},
      {"-3", -3},
      {"+7", 7},
      {"x", 0},
      {"", 0},
      {"3.9", 3},
      {"99999999999999999999", kInt32Max},
      {"-99999999999999999999", kInt32Min},
      {"2147483647", kInt32Max},
      {"-2147483648", kInt32Min},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadInt(c.word), c.value) << c.word;
}

TEST(DescriptionLexer, UnderscoresBecomeBlanks) {
  EXPECT_EQ(UnderscoresToBlanks("Время_фильтрации__(мс)"), "Время фильтрации  (мс)");
}

// ---------------------------------------------------------------- interpreter

struct Interpreted {
  RecordingPresenter presenter;
  DescriptionInterpreter interpreter;
  bool ok = false;
  explicit Interpreted(std::string_view text) { ok = interpreter.InterpretText(text); }
};

TEST(DescriptionInterpreter, IgnoredLinesShowNothing) {
  Interpreted r(
      "root\n"              // a single word
      "; root R 1 0 0 x\n"  // a comment sign standing alone
      "' anything at all\n"
      "\t;\tconst A 1\n");
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.presenter.messages.empty());
  EXPECT_TRUE(r.interpreter.constants().empty());
  EXPECT_EQ(r.interpreter.root(), nullptr);
}

TEST(DescriptionInterpreter, CommentSignJoinedToTextIsAnUnknownCommand) {
  Interpreted r(";comment here\nconst A 1\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_EQ(r.presenter.messages[0].text, "Непонятная команда в описателе ';comment here'");
  EXPECT_EQ(r.presenter.messages[0].caption, "Ошибка в описателе");
  EXPECT_EQ(r.presenter.messages[0].icon, link::MsgIcon::Error);
  EXPECT_TRUE(r.interpreter.constants().empty());  // reading stopped at the failing line
}

TEST(DescriptionInterpreter, CommandsAndNamesIgnoreCase) {
  Interpreted r(
      "CONST Три 3\n"
      "Type Вкл Нет Да\n"
      "PARAMETER p вкл Подпись\n"
      "RuLe P 1 2\n"
      "INIT p Да\n"
      "BRANCH Ветвь тРИ 0 0 P\n"
      "Root Корень 1 0 0 ВЕТВЬ\n");
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.presenter.messages.empty());
  ASSERT_EQ(r.interpreter.definitions().size(), 1u);
  EXPECT_EQ(r.interpreter.definitions()[0].type_text, "Нет:Да");
  EXPECT_EQ(r.interpreter.definitions()[0].maximum, 2);
  ASSERT_NE(r.interpreter.root(), nullptr);
  EXPECT_EQ(r.interpreter.root()->children.size(), 3u);
}

TEST(DescriptionInterpreter, DuplicateConstantStops) {
  Interpreted r("const A 1\nconst a 2\nconst B 3\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_EQ(r.presenter.messages[0].text, "Константа 'a' уже определена!");
  EXPECT_EQ(r.presenter.messages[0].caption, "Ошибка в описателе");
  EXPECT_EQ(r.presenter.messages[0].icon, link::MsgIcon::Error);
  ASSERT_EQ(r.interpreter.constants().size(), 1u);  // the first stays, B is never read
  EXPECT_EQ(r.interpreter.FindConstant("A"), 1.0);
  EXPECT_FALSE(r.interpreter.FindConstant("B").has_value());
}

TEST(DescriptionInterpreter, ConstantValueIsTheLeadingNumber) {
  Interpreted r("const A 3.7abc\nconst B нечисло\n");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.interpreter.FindConstant("a"), 3.7);
  EXPECT_EQ(r.interpreter.FindConstant("b"), 0.0);
  EXPECT_EQ(r.interpreter.constants()[0].value_text, "3.7abc");
}

TEST(DescriptionInterpreter, RuleAndInitForAnUnknownNameStop) {
  for (const char* line : {"rule X 1 2", "init X 5"}) {
    Interpreted r(std::string("parameter Y int y\n") + line + "\nconst C 1\n");
    EXPECT_FALSE(r.ok) << line;
    ASSERT_EQ(r.presenter.messages.size(), 1u) << line;
    EXPECT_EQ(r.presenter.messages[0].text, "Параметр 'X' не определен.");
    EXPECT_EQ(r.presenter.messages[0].caption, "Ошибка описателя");
    EXPECT_EQ(r.presenter.messages[0].icon, link::MsgIcon::Warning);
    EXPECT_TRUE(r.interpreter.constants().empty());
  }
}

TEST(DescriptionInterpreter, UnknownMemberStops) {
  Interpreted r("parameter p int c\nbranch B 1 0 0 p Нечто\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_EQ(r.presenter.messages[0].text, "Что такое 'Нечто', не ясно!");
  EXPECT_EQ(r.presenter.messages[0].caption, "Ошибка в описателе");
  EXPECT_TRUE(r.interpreter.templates().empty());  // the unfinished copy is dropped
}

TEST(DescriptionInterpreter, BranchMustBeDeclaredBeforeItsContainer) {
  Interpreted r("parameter p int c\nbranch Outer 1 0 0 Inner\nbranch Inner 1 0 0 p\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_EQ(r.presenter.messages[0].text, "Что такое 'Inner', не ясно!");
}

TEST(DescriptionInterpreter, TooFewWordsIsADescriptionError) {
  const char* lines[] = {
      "const A",      "parameter p int", "rule p 1",       "init p",
      "branch B 1 0", "root R 1 0",      "scanners S 1 0",
  };
  for (const char* line : lines) {
    Interpreted r(std::string("parameter p int c\n") + line + "\nconst Z 1\n");
    EXPECT_FALSE(r.ok) << line;
    ASSERT_EQ(r.presenter.messages.size(), 1u) << line;
    EXPECT_EQ(r.presenter.messages[0].text,
              std::string("Недостаточно слов в команде описателя '") + line + "'");
    EXPECT_EQ(r.presenter.messages[0].caption, "Ошибка в описателе");
    EXPECT_FALSE(r.interpreter.FindConstant("Z").has_value()) << line;
  }
}

TEST(DescriptionInterpreter, TypeJoinsItsItemsAndTheLastDeclarationWins) {
  Interpreted r(
      "type T a b\n"
      "parameter p1 T c\n"
      "type T x y z\n"
      "type E\n"
      "parameter p2 t c\n"
      "parameter p3 E c\n"
      "parameter p4 Незнакомый c\n");
  ASSERT_TRUE(r.ok);
  const auto& d = r.interpreter.definitions();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].type_text, "a:b");  // a type is looked up when the parameter is declared
  EXPECT_EQ(d[1].type_text, "x:y:z");
  EXPECT_EQ(d[2].type_text, "");
  EXPECT_EQ(d[3].type_text, "Незнакомый");
}

TEST(DescriptionInterpreter, ParameterAttributeWords) {
  struct Case {
    const char* line;
    uint8_t attributes;
    int32_t table;
    int32_t argument;
    int32_t mark;
  } cases[] = {
      {"parameter p int c", 1, 0, 0, 0},
      {"parameter p int c noattr", 0, 0, 0, 0},
      {"parameter p int c NOATTR table1 5", 0, 0, 0, 0},
      {"parameter p int c table1", 1, 0, 0, 0},  // five words: the attribute word is ignored
      {"parameter p int c table1 11", 1, 1, 11, 0},
      {"parameter p int c table2+ 7", 1, 2, 7, 1},
      {"parameter p int c table3* 15", 1, 3, 15, 2},
      {"parameter p int c table4 x", 1, 4, 0, 0},
      {"parameter p int c TABLE5 3", 1, 5, 3, 0},
      {"parameter p int c table6 3", 1, 0, 3, 0},
      {"parameter p int c other+ 3", 1, 0, 3, 1},
      {"parameter p int c + 3", 1, 0, 3, 1},
  };
  for (const Case& c : cases) {
    Interpreted r(c.line);
    ASSERT_TRUE(r.ok) << c.line;
    ASSERT_EQ(r.interpreter.definitions().size(), 1u);
    const ParameterDefinition& d = r.interpreter.definitions()[0];
    EXPECT_EQ(d.has_attributes, c.attributes) << c.line;
    EXPECT_EQ(d.table_number, c.table) << c.line;
    EXPECT_EQ(d.table_argument, c.argument) << c.line;
    EXPECT_EQ(d.mark, c.mark) << c.line;
  }
}

TEST(DescriptionInterpreter, NamePrefixes) {
  Interpreted r("parameter @Addr int a\nparameter !dev string d\nparameter @!ver string v\n");
  ASSERT_TRUE(r.ok);
  const auto& d = r.interpreter.definitions();
  EXPECT_EQ(d[0].name, "Addr");
  EXPECT_EQ(d[1].name, "!dev");
  EXPECT_EQ(d[2].name, "!ver");
}

TEST(DescriptionInterpreter, RuleAndInitChangeTheFirstDefinitionOfTheName) {
  Interpreted r(
      "parameter p int first\nparameter p int second\n"
      "rule p -1.5 2e2\ninit p Выключить_все\n");
  ASSERT_TRUE(r.ok);
  const auto& d = r.interpreter.definitions();
  EXPECT_EQ(d[0].minimum, -1.5);
  EXPECT_EQ(d[0].maximum, 200);
  EXPECT_EQ(d[0].initial_value, "Выключить все");
  EXPECT_EQ(d[1].maximum, 0);
  EXPECT_EQ(d[1].initial_value, "");
}

TEST(DescriptionInterpreter, CountFromWordOrConstant) {
  struct Case {
    const char* count;
    size_t copies;
  } cases[] = {
      {"4", 4}, {"Три", 3}, {"Ноль", 0}, {"Минус", 0}, {"Нет", 0}, {"0", 0}, {"-2", 0}, {"2x", 2},
  };
  for (const Case& c : cases) {
    Interpreted r(std::string("const Три 3.7\nconst Ноль 0.9\nconst Минус -3\n"
                              "parameter p int c\nbranch B ") +
                  c.count + " 0 0 p\n");
    EXPECT_TRUE(r.ok) << c.count;
    EXPECT_TRUE(r.presenter.messages.empty()) << c.count;
    EXPECT_EQ(r.interpreter.templates().size(), c.copies) << c.count;
    for (size_t k = 0; k < r.interpreter.templates().size(); ++k) {
      EXPECT_EQ(r.interpreter.templates()[k]->copy_number, static_cast<int32_t>(k + 1));
      EXPECT_EQ(r.interpreter.templates()[k]->copy_count, static_cast<int32_t>(c.copies));
    }
  }
}

TEST(DescriptionInterpreter, HugeCountIsRefused) {
  for (const char* text : {"parameter p int c\nbranch B 1000000000 0 0 p\n",
                           "const N 1e9\nparameter p int c\nbranch B N 0 0 p\n",
                           "parameter p int c\nbranch B 65536 0 0 p\n"}) {
    Interpreted r(text);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.presenter.messages.size(), 1u);
    EXPECT_THAT(r.presenter.messages[0].text, StartsWith("Слишком много копий ветви 'B'"));
    EXPECT_TRUE(r.interpreter.templates().empty());
  }
}

TEST(DescriptionInterpreter, GrowthByCopyingIsBounded) {
  // Each line multiplies the tree by a thousand; the total is refused long before memory
  // or time run out.
  auto start = std::chrono::steady_clock::now();
  Interpreted r(
      "parameter p int c\n"
      "branch A 1000 0 0 p\n"
      "branch B 1000 0 0 A\n"
      "branch C 1000 0 0 B\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_THAT(r.presenter.messages[0].text, StartsWith("Слишком много"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(DescriptionInterpreter, SelfContainingCopiesAreBounded) {
  // Every copy of the second B holds all copies made before it: doubling per copy.
  Interpreted r("parameter p int c\nbranch B 1 0 0 p\nbranch B 60000 0 0 B\n");
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_THAT(r.presenter.messages[0].text, StartsWith("Слишком много ветвей"));
}

TEST(DescriptionInterpreter, CopiedTextIsBounded) {
  const std::string long_word(200000, 'x');
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"long caption", "parameter p int " + long_word + "\nbranch B 1000 0 0 p\n"},
      {"long type", "type T " + long_word + "\n" +
                        [] {
                          std::string lines;
                          for (int i = 0; i < 200; ++i) lines += "parameter p T c\n";
                          return lines;
                        }()},
      {"long branch name", "parameter p int c\nbranch " + long_word + " 1000 0 0 p\n"},
      {"many numbers", "parameter p int c\nbranch " + std::string(20000, '#') + " 1000 0 0 p\n"},
  };
  for (const Case& c : cases) {
    Interpreted r(c.text);
    EXPECT_FALSE(r.ok) << c.what;
    ASSERT_EQ(r.presenter.messages.size(), 1u) << c.what;
    EXPECT_THAT(r.presenter.messages[0].text, StartsWith("Слишком много текста в описателе"))
        << c.what;
    EXPECT_LT(r.presenter.messages[0].text.size(), 1000u) << c.what;  // the line is cut
  }
}

TEST(DescriptionInterpreter, NestingDepthIsBounded) {
  std::string text = "parameter p int c\nbranch L0 1 0 0 p\n";
  for (int i = 1; i <= kMaxBranchDepth + 5; ++i)
    text += "branch L" + std::to_string(i) + " 1 0 0 L" + std::to_string(i - 1) + "\n";
  Interpreted r(text);
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.presenter.messages.size(), 1u);
  EXPECT_THAT(r.presenter.messages[0].text, StartsWith("Слишком глубокая вложенность"));
  EXPECT_EQ(r.interpreter.templates().size(), static_cast<size_t>(kMaxBranchDepth));
}

TEST(DescriptionInterpreter, MembersCopyEveryMatchAndRecordTheOrder) {
  Interpreted r(
      "parameter a int 1\nparameter b int 2\nparameter a int 3\n"
      "branch X 2 0 0 a\n"
      "branch Y 1 0 0 b X a\n");
  ASSERT_TRUE(r.ok);
  DescriptionBranch* y = r.interpreter.templates().back().get();
  ASSERT_EQ(y->definitions.size(), 3u);
  EXPECT_EQ(y->definitions[0].caption, "2");
  EXPECT_EQ(y->definitions[1].caption, "1");
  EXPECT_EQ(y->definitions[2].caption, "3");
  EXPECT_THAT(y->member_order, ElementsAre(0, 1, 1, 0, 0));
  ASSERT_EQ(y->children.size(), 2u);
  EXPECT_EQ(y->children[1]->copy_number, 2);
  // A deep copy, not the template itself.
  EXPECT_NE(y->children[0].get(), r.interpreter.templates()[0].get());
}

TEST(DescriptionInterpreter, RootAndPollersAreTheLastCopies) {
  Interpreted r("parameter p int c\nroot R 3 0 0 p\nscanners S 2 0 0 p\n");
  ASSERT_TRUE(r.ok);
  ASSERT_NE(r.interpreter.root(), nullptr);
  EXPECT_EQ(r.interpreter.root()->copy_number, 3);
  EXPECT_EQ(r.interpreter.pollers()->copy_number, 2);
  // Later branches may contain them.
  Interpreted r2("parameter p int c\nroot R 1 0 0 p\nbranch B 1 0 0 R\n");
  EXPECT_TRUE(r2.ok);
}

TEST(DescriptionInterpreter, NetworkBranchFollowsItsCopies) {
  Interpreted r(
      "parameter Addr int a\n"
      "branch Сетевые_параметры 1 4 4 Addr\n"
      "branch Прибор 1 0 0 Сетевые_параметры\n"
      "root R 1 0 0 Прибор\n");
  ASSERT_TRUE(r.ok);
  DescriptionBranch* root = r.interpreter.root();
  EXPECT_EQ(r.interpreter.network(), root->children[0]->children[0].get());
  DescriptionInterpreter::Trees trees = r.interpreter.TakeTrees();
  EXPECT_EQ(trees.network, trees.root->children[0]->children[0].get());
}

TEST(DescriptionInterpreter, NetworkBranchOutsideTheTreesIsForgotten) {
  Interpreted r(
      "parameter Addr int a\n"
      "branch сетевые_ПАРАМЕТРЫ 1 4 4 Addr\n"
      "root R 1 0 0 Addr\n");
  ASSERT_TRUE(r.ok);
  EXPECT_NE(r.interpreter.network(), nullptr);  // case ignored
  EXPECT_EQ(r.interpreter.TakeTrees().network, nullptr);
}

TEST(DescriptionInterpreter, NetworkBranchOfAFailedCopyIsNotKept) {
  Interpreted r("parameter Addr int a\nbranch Сетевые_параметры 1 4 4 Addr Нечто\n");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.interpreter.network(), nullptr);
}

TEST(DescriptionInterpreter, TakeTreesDiscardsTheDeclarations) {
  Interpreted r("const A 1\ntype T a\nparameter p T c\nbranch B 1 0 0 p\nroot R 1 0 0 B\n");
  ASSERT_TRUE(r.ok);
  DescriptionInterpreter::Trees trees = r.interpreter.TakeTrees();
  ASSERT_NE(trees.root, nullptr);
  EXPECT_EQ(trees.pollers, nullptr);
  EXPECT_TRUE(r.interpreter.constants().empty());
  EXPECT_TRUE(r.interpreter.types().empty());
  EXPECT_TRUE(r.interpreter.definitions().empty());
  EXPECT_TRUE(r.interpreter.templates().empty());
  EXPECT_EQ(r.interpreter.root(), nullptr);
  EXPECT_FALSE(r.interpreter.FindConstant("A").has_value());
  // The definitions go with the trees.
  ASSERT_EQ(trees.definitions.size(), 1u);
  EXPECT_EQ(trees.definitions[0].type_text, "a");
}

// ---------------------------------------------------------------- build

struct Built {
  RecordingPresenter presenter;
  DescriptionTree tree;
  DescriptionStatus status;
  explicit Built(std::string_view text) { status = BuildDescription(text, tree); }
  DescriptionBranch& Root() { return *tree.root; }
};

std::vector<std::string> ChildNames(const DescriptionBranch& b) {
  std::vector<std::string> names;
  for (const auto& c : b.children) names.push_back(c->name);
  return names;
}

TEST(DescriptionBuild, CopiesGetNumbersAndLinearIndexes) {
  Built b("parameter p int c\nparameter q int d\nbranch X 4 0 0 p q\nroot R 1 0 0 X\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  EXPECT_TRUE(b.presenter.messages.empty());
  EXPECT_THAT(ChildNames(b.Root()), ElementsAre("X №1", "X №2", "X №3", "X №4"));
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "p")), ElementsAre(0, 1, 2, 3));
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "q")), ElementsAre(0, 1, 2, 3));
  for (auto* p : Parameters(b.Root(), "p")) EXPECT_TRUE(p->indexed);
}

TEST(DescriptionBuild, CopiesInsideACopyFollowItsIndex) {
  Built b("parameter v int c\nbranch X 4 0 0 v\nbranch P 2 0 0 X\nroot R 1 0 0 P\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  EXPECT_THAT(LinearIndexes(Parameters(*b.Root().children[1], "v")), ElementsAre(4, 5, 6, 7));
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "v")), ElementsAre(0, 1, 2, 3, 4, 5, 6, 7));
}

TEST(DescriptionBuild, ThreeLevelsOfCopies) {
  // A (2 copies) > B (3) > C (2): C's parameter runs 0...11; B's own parameter sits at
  // 2 x its index (C spans 2), A's at 6 x its index (B spans 3 x 2).
  Built b(
      "parameter pc int c\nparameter pb int b\nparameter pa int a\n"
      "branch C 2 0 0 pc\nbranch B 3 0 0 pb C\nbranch A 2 0 0 pa B\nroot R 1 0 0 A\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "pc")),
              ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11));
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "pb")), ElementsAre(0, 2, 4, 6, 8, 10));
  EXPECT_THAT(LinearIndexes(Parameters(b.Root(), "pa")), ElementsAre(0, 6));
}

TEST(DescriptionBuild, ParametersOfABranchWithoutCopiesAreNotIndexed) {
  Built b("parameter p int c\nparameter q int d\nbranch X 1 0 0 p q\nroot R 1 0 0 X q\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  for (auto* p : Parameters(b.Root(), "p")) EXPECT_FALSE(p->indexed);
  for (auto* p : Parameters(b.Root(), "q")) EXPECT_FALSE(p->indexed);
  // ... but inside a repeated branch a single copy is indexed too.
  Built c("parameter p int c\nbranch X 1 0 0 p\nbranch Y 3 0 0 X\nroot R 1 0 0 Y\n");
  for (auto* p : Parameters(c.Root(), "p")) EXPECT_TRUE(p->indexed);
  EXPECT_THAT(LinearIndexes(Parameters(c.Root(), "p")), ElementsAre(0, 1, 2));
}

TEST(DescriptionBuild, NameSuffixes) {
  struct Case {
    const char* name;
    int count;
    std::vector<std::string> names;
    std::vector<int32_t> indexes;
  } cases[] = {
      {"X+2", 3, {"X №3", "X №4", "X №5"}, {2, 3, 4}},
      {"K20+2", 3, {"K20 №1", "K20 №2", "K20 №3"}, {2, 3, 4}},
      {"Y*3", 2, {"Y №1", "Y №2"}, {0, 3}},
      {"Z+1*2", 2, {"Z №2", "Z №3"}, {1, 3}},
      {"W*2+1", 2, {"W*2 №2", "W*2 №3"}, {1, 2}},  // "+" is looked for after "*" only
      {"V*a", 2, {"V*a №1", "V*a №2"}, {0, 1}},    // no digit: no suffix
      {"U+2", 1, {"U"}, {0}},                      // not indexed: no linear index at all
  };
  for (const Case& c : cases) {
    Built b(std::string("parameter p int c\nparameter q int d\nbranch ") + c.name + " " +
            std::to_string(c.count) + " 0 0 p q\nroot R 1 0 0 " + c.name + "\n");
    ASSERT_EQ(b.status, DescriptionStatus::Built) << c.name;
    EXPECT_EQ(ChildNames(b.Root()), c.names) << c.name;
    EXPECT_EQ(LinearIndexes(Parameters(b.Root(), "p")), c.indexes) << c.name;
  }
}

TEST(DescriptionBuild, NumberSignAndAdditionalOutputs) {
  struct Case {
    const char* name;
    int count;
    std::vector<std::string> names;
  } cases[] = {
      {"Канал#_вход", 2, {"Канал №1 вход", "Канал №2 вход"}},
      {"Канал_#", 2, {"Канал  №1", "Канал  №2"}},  // the number brings its own blank
      {"Канал#_вход", 1, {"Канал# вход"}},
      {"#_и_#", 2, {" №1 и  №1", " №2 и  №2"}},
      {"Состояние_дополнительного_ВЭ",
       2,
       {"Состояние дополнительного ВЭ №9", "Состояние дополнительного ВЭ №10"}},
      {"Состояние_дополнительного_ВЭ", 1, {"Состояние дополнительного ВЭ"}},
      {"Состояние_дополнительного_ВЭ#",
       2,
       {"Состояние дополнительного ВЭ №1", "Состояние дополнительного ВЭ №2"}},
  };
  for (const Case& c : cases) {
    Built b(std::string("parameter p int c\nparameter q int d\nbranch ") + c.name + " " +
            std::to_string(c.count) + " 0 0 p q\nroot R 1 0 0 " + c.name + "\n");
    ASSERT_EQ(b.status, DescriptionStatus::Built) << c.name;
    EXPECT_EQ(ChildNames(b.Root()), c.names) << c.name;
  }
}

TEST(DescriptionBuild, SingleParameterBranchLendsItsNameAsCaption) {
  Built b(
      "parameter FiLt int Время_фильтрации\n"
      "branch Фильтр 2 0 0 FiLt\n"
      "branch Два 1 0 0 FiLt FiLt\n"
      "branch Внутри 1 0 0 FiLt Фильтр\n"
      "root R 1 0 0 Фильтр Два Внутри\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  auto p = Parameters(b.Root(), "FiLt");
  ASSERT_EQ(p.size(), 7u);
  EXPECT_EQ(p[0]->caption, "Фильтр №1");
  EXPECT_EQ(p[1]->caption, "Фильтр №2");
  EXPECT_EQ(p[2]->caption, "Время фильтрации");  // two parameters
  EXPECT_EQ(p[3]->caption, "Время фильтрации");
  EXPECT_EQ(p[4]->caption, "Время фильтрации");  // the branch has a child
  EXPECT_EQ(p[5]->caption, "Фильтр №1");
}

TEST(DescriptionBuild, ParameterRecordFromDefinition) {
  Built b(
      "parameter @!dev string Имя_прибора noattr\n"
      "parameter Cn.K float:3 Вес table3* 5\n"
      "rule Cn.K 0.001 1000\n"
      "init Cn.K 1.000\n"
      "init !dev Не_пишется\n"
      "root R 1 0 0 !dev Cn.K\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  ASSERT_EQ(b.Root().parameters.size(), 2u);
  const link::Parameter& dev = *b.Root().parameters[0];
  EXPECT_EQ(dev.short_name, "dev");
  EXPECT_FALSE(dev.writable);
  EXPECT_EQ(dev.has_attributes, 0);
  EXPECT_EQ(dev.caption, "Имя прибора");
  EXPECT_EQ(dev.initial_value, "Не пишется");
  EXPECT_EQ(dev.value, "Нет данных");
  const link::Parameter& k = *b.Root().parameters[1];
  EXPECT_TRUE(k.writable);
  EXPECT_EQ(k.has_attributes, 1);
  EXPECT_EQ(k.type_text, "float");
  EXPECT_EQ(k.decimals, 3);
  EXPECT_EQ(k.minimum, 0.001);
  EXPECT_EQ(k.maximum, 1000);
  EXPECT_EQ(k.mark, 2);
  EXPECT_EQ(k.initial_value, "1.000");
}

TEST(DescriptionBuild, DecimalPlacesCutFromTheType) {
  struct Case {
    const char* type;
    const char* text;
    int decimals;
  } cases[] = {
      {"int:2", "int", 2},
      {"INT:1", "INT", 1},
      {"CLK_frm:3", "CLK_frm", 3},
      {"float:1:x", "float", 1},
      {"int:4", "int:4", 0},
      {"int:0", "int:0", 0},
      {"int:Нет:Да", "int:Нет:Да", 0},
      {"int:12", "int:12", 0},
      {"string:2", "string:2", 0},
      {"Выкл:1", "Выкл:1", 0},
      {"int", "int", 0},
      {"int:", "int:", 0},
  };
  for (const Case& c : cases) {
    ParameterDefinition def;
    def.name = "p";
    def.type_text = c.type;
    auto p = MakeParameter(def);
    EXPECT_EQ(p->type_text, c.text) << c.type;
    EXPECT_EQ(p->decimals, c.decimals) << c.type;
  }
}

TEST(DescriptionBuild, RuleAfterTheBranchDoesNotReachIt) {
  Built b(
      "parameter p int c\nrule p 1 5\nbranch Before 1 0 0 p\n"
      "rule p 2 9\nbranch After 1 0 0 p\nroot R 1 0 0 Before After\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  auto p = Parameters(b.Root(), "p");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0]->maximum, 5);
  EXPECT_EQ(p[1]->maximum, 9);
}

TEST(DescriptionBuild, OutputTableTakesTenIndexes) {
  RecordingPresenter presenter;
  DescriptionTree tree;
  ASSERT_EQ(BuildDescription("parameter POUt int c\nbranch O 12 0 0 POUt\nroot R 1 0 0 O\n", tree),
            DescriptionStatus::Built);
  auto p = Parameters(*tree.root, "POUt");
  ASSERT_EQ(p.size(), 12u);
  for (int i = 0; i < kOutputSlots; ++i) EXPECT_EQ(tree.outputs[i], p[i]) << i;
  tree.Clear();
  for (auto* slot : tree.outputs) EXPECT_EQ(slot, nullptr);
}

TEST(DescriptionBuild, OutputTableNameIgnoresCaseAndKeepsTheLastOfAnIndex) {
  RecordingPresenter presenter;
  DescriptionTree tree;
  ASSERT_EQ(
      BuildDescription("parameter pout int c\nparameter POUT int d\nroot R 1 0 0 pout\n", tree),
      DescriptionStatus::Built);
  link::Parameter* first = tree.root->parameters[0].get();
  link::Parameter* second = tree.root->parameters[1].get();
  EXPECT_NE(tree.outputs[0], first);
  EXPECT_EQ(tree.outputs[0], second);
}

TEST(DescriptionBuild, IndexArithmeticSaturates) {
  // Each level multiplies the index by 9; twelve levels overflow 32 bits.
  std::string text = "parameter p int c\nbranch L0*9 2 0 0 p\n";
  for (int i = 1; i < 12; ++i)
    text += "branch L" + std::to_string(i) + "*9 2 0 0 L" + std::to_string(i - 1) + "*9\n";
  text += "root R 1 0 0 L11*9\n";
  Built b(text);
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  auto p = Parameters(b.Root(), "p");
  ASSERT_EQ(p.size(), 4096u);
  EXPECT_EQ(p.front()->linear_index, 0);
  EXPECT_EQ(p.back()->linear_index, kInt32Max);
}

TEST(DescriptionBuild, PollersArePreparedForPolling) {
  Built b(
      "parameter !r.cn int c noattr\nparameter r.cou int c noattr\n"
      "branch Счетчик 3 0 0 r.cou\nbranch Счетчик+3 3 0 0 r.cou\n"
      "parameter x int x\nroot R 1 0 0 x\n"
      "scanners S 1 0 0 !r.cn Счетчик Счетчик+3\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  ASSERT_NE(b.tree.pollers, nullptr);
  link::Parameter& cn = *b.tree.pollers->parameters[0];
  EXPECT_EQ(cn.short_name, "r.cn");
  EXPECT_FALSE(cn.writable);
  EXPECT_FALSE(cn.indexed);
  EXPECT_EQ(cn.poll_index, 0);
  auto cou = Parameters(*b.tree.pollers, "r.cou");
  ASSERT_EQ(cou.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_FALSE(cou[i]->indexed);
    EXPECT_EQ(cou[i]->poll_index, i);
    EXPECT_EQ(cou[i]->caption, "Счетчик №" + std::to_string(i + 1));
  }
  // The root tree is not prepared.
  EXPECT_EQ(b.Root().parameters[0]->poll_index, 0);
}

TEST(DescriptionBuild, RandomDescriptionsNeverBreakTheBuild) {
  // Descriptions put together at random from the language's own pieces, every line
  // performed whatever the one before did: no crash, no hang, every tree can be built and
  // released, and the output table is left empty behind it.
  const std::vector<std::string> names = {
      "p",   "q",   "POUt",  "!r.oe", "@x", "Сетевые_параметры",           "X#",
      "Y*9", "Z+9", "K20+1", "W+1*2", "V",  "Состояние_дополнительного_ВЭ"};
  const std::vector<std::string> types = {"int", "int:2", "float:3", "a:b", "T", "CLK_frm:1"};
  const std::vector<std::string> counts = {"1", "2", "3", "12", "N", "0", "-1", "x"};
  const std::vector<std::string> attrs = {"", " noattr", " table1+ 3", " table3* 1", " t 2"};
  RecordingPresenter presenter;
  size_t roots = 0, parameters = 0;
  for (unsigned seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](const std::vector<std::string>& from) {
      return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    auto chance = [&](int percent) {
      return std::uniform_int_distribution<int>(0, 99)(random) < percent;
    };
    DescriptionInterpreter interpreter;
    interpreter.InterpretLine("const N 4.5");
    interpreter.InterpretLine("type T on off");
    for (int line = 0; line < 60; ++line) {
      std::string text;
      if (chance(30)) {
        text = "parameter " + pick(names) + " " + pick(types) + " Подпись" + pick(attrs);
      } else if (chance(10)) {
        text = (chance(50) ? "rule " : "init ") + pick(names) + " 1 9";
      } else if (chance(80)) {
        text = (chance(80)   ? "branch "
                : chance(50) ? "root "
                             : "scanners ") +
               pick(names) + " " + pick(counts) + " 1 2";
        for (int m = std::uniform_int_distribution<int>(0, 3)(random); m > 0; --m)
          text += " " + pick(names);
      } else {
        text = pick(names) + " " + pick(counts) + " " + pick(types);
      }
      interpreter.InterpretLine(text);
    }
    DescriptionInterpreter::Trees trees = interpreter.TakeTrees();
    OutputTable outputs{};
    std::set<const link::Parameter*> records;
    for (DescriptionBranch* tree : {trees.root.get(), trees.pollers.get()}) {
      if (!tree) continue;
      BuildBranch(*tree, false, 0, outputs);
      std::vector<DescriptionBranch*> stack{tree};
      while (!stack.empty()) {
        DescriptionBranch* b = stack.back();
        stack.pop_back();
        parameters += b->parameters.size();
        for (auto& p : b->parameters) records.insert(p.get());
        for (auto& c : b->children) stack.push_back(c.get());
      }
    }
    roots += trees.root != nullptr;
    // Every filled slot points at a record of the trees.
    for (const link::Parameter* slot : outputs)
      EXPECT_TRUE(slot == nullptr || records.count(slot) == 1) << seed;
  }
  // The generator must reach the build, or the test proves little.
  EXPECT_GT(roots, 5u);
  EXPECT_GT(parameters, 100u);
}

// ---------------------------------------------------------------- load outcome

TEST(DescriptionBuild, FailingLineLeavesAPartialTree) {
  Built b(
      "parameter p int c\nroot R 1 0 0 p\n"
      "bogus line here\n"
      "parameter q int d\nroot R2 1 0 0 q\n");
  EXPECT_EQ(b.status, DescriptionStatus::TextError);
  ASSERT_EQ(b.presenter.messages.size(), 2u);
  EXPECT_EQ(b.presenter.messages[0].text, "Непонятная команда в описателе 'bogus line here'");
  EXPECT_EQ(b.presenter.messages[1].text, "Не удалось создать дерево параметров");
  EXPECT_EQ(b.presenter.messages[1].caption, "Ошибка");
  EXPECT_EQ(b.presenter.messages[1].icon, link::MsgIcon::Error);
  ASSERT_NE(b.tree.root, nullptr);
  EXPECT_EQ(b.tree.root->name, "R");
  EXPECT_EQ(b.tree.root->parameters.size(), 1u);
}

TEST(DescriptionBuild, MissingRootIsReportedAndPollersStillBuilt) {
  Built b("parameter r.oe float c\nbranch O 2 0 0 r.oe\nscanners S 1 0 0 O\n");
  EXPECT_EQ(b.status, DescriptionStatus::NoRoot);
  ASSERT_EQ(b.presenter.messages.size(), 1u);
  EXPECT_EQ(b.presenter.messages[0].text, "Не опредена корневая ветвь");
  EXPECT_EQ(b.presenter.messages[0].caption, "Ошибка");
  EXPECT_EQ(b.tree.root, nullptr);
  ASSERT_NE(b.tree.pollers, nullptr);
  EXPECT_THAT(ChildNames(*b.tree.pollers), ElementsAre("O №1", "O №2"));
}

TEST(DescriptionBuild, EmptyTextShowsBothMessages) {
  for (const char* text : {"", "\r\n\r\n", "; nothing but a comment\n"}) {
    Built b(text);
    EXPECT_NE(b.status, DescriptionStatus::Built) << text;
    EXPECT_EQ(b.tree.root, nullptr);
    std::vector<std::string> texts;
    for (const auto& m : b.presenter.messages) texts.push_back(m.text);
    if (*text == '\0')
      EXPECT_THAT(
          texts, ElementsAre("Не удалось создать дерево параметров", "Не опредена корневая ветвь"));
    else
      EXPECT_THAT(texts, ElementsAre("Не опредена корневая ветвь"));
  }
}

TEST(DescriptionBuild, DefinitionsOutliveTheReading) {
  Built b(
      "parameter Addr int a\nparameter !ver string v\nparameter unused int u\n"
      "rule Addr 1 2047\nroot R 1 0 0 Addr\nbogus\n");
  ASSERT_EQ(b.tree.definitions.size(), 3u);
  EXPECT_EQ(b.tree.definitions[0].maximum, 2047);
  EXPECT_EQ(b.tree.definitions[1].name, "!ver");
  EXPECT_EQ(b.tree.definitions[2].name, "unused");
  b.tree.Clear();
  EXPECT_TRUE(b.tree.definitions.empty());
}

TEST(DescriptionBuild, ReloadReplacesTheOldTree) {
  RecordingPresenter presenter;
  DescriptionTree tree;
  BuildDescription("parameter POUt int c\nroot R 1 0 0 POUt\n", tree);
  EXPECT_NE(tree.outputs[0], nullptr);
  BuildDescription("parameter x int c\nroot R 1 0 0 x\n", tree);
  EXPECT_EQ(tree.outputs[0], nullptr);
  EXPECT_EQ(tree.root->parameters[0]->short_name, "x");
}

TEST(DescriptionBuild, NetworkPointerLandsInTheBuiltTree) {
  Built b(
      "parameter Addr int a\nbranch Сетевые_параметры 1 4 4 Addr\n"
      "root R 1 0 0 Сетевые_параметры\n");
  ASSERT_EQ(b.status, DescriptionStatus::Built);
  ASSERT_NE(b.tree.network, nullptr);
  EXPECT_EQ(b.tree.network, b.Root().children[0].get());
  EXPECT_EQ(b.tree.network->name, "Сетевые параметры");
  EXPECT_NE(b.tree.network->FindParameter("addr"), nullptr);
}

}  // namespace
}  // namespace vesk::model
