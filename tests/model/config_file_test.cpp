#include "model/config_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "link/presenter.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "model/program_line_settings.h"
#include "platform/settings_store.h"

namespace vesk::model {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Message {
  std::string text, caption;
  link::MsgIcon icon;
};

class RecordingPresenter : public link::Presenter {
 public:
  RecordingPresenter() { link::SetPresenter(this); }
  ~RecordingPresenter() override { link::SetPresenter(nullptr); }
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons) override {
    messages.push_back({std::string(text), std::string(caption), icon});
    return link::MsgAnswer::Ok;
  }
  std::vector<Message> messages;
};

std::unique_ptr<link::Parameter> Param(const std::string& name, const std::string& caption,
                                       bool indexed = false, int32_t linear_index = 0) {
  auto p = std::make_unique<link::Parameter>(name);
  p->caption = caption;
  p->indexed = indexed;
  p->linear_index = linear_index;
  return p;
}

// Root "R" with "Addr"; child "K №1" with "A.Len" at linear index 2.
std::unique_ptr<DescriptionBranch> TinyTree() {
  auto root = std::make_unique<DescriptionBranch>("R");
  root->AddParameter(Param("Addr", "Адрес"));
  auto child = std::make_unique<DescriptionBranch>("K №1");
  child->AddParameter(Param("A.Len", "Длина", true, 2));
  root->children.push_back(std::move(child));
  return root;
}

void FillTiny(DescriptionBranch& root) {
  root.parameters[0]->value = "16";
  link::Parameter& len = *root.children[0]->parameters[0];
  len.value = "8";
  len.value_changed = true;
  len.editable = false;
  len.mark = 2;
}

// The tiny tree with its values, computed by hand.
Bytes TinyGolden() {
  Bytes b;
  auto add = [&](std::initializer_list<uint8_t> v) { b.insert(b.end(), v); };
  auto text = [&](const char* s) { b.insert(b.end(), s, s + std::strlen(s)); };
  add({0xFF, 0xFF, 4, 0, 8, 0}), text("CTRB6Doc");  // class 1, schema 4
  add({3, 0, 0, 0});                                // device kind
  add({0xFF, 0xFF, 3, 0, 10, 0}), text("DescBranch");
  add({1, 'R', 1, 0, 0, 0});      // name, one parameter
  add({0x62, 0x9F, 0xFF, 0xFF});  // key: not indexed, hash of "Addr"
  add({0xFF, 0xFF, 3, 0, 11, 0}), text("MyConverter");
  add({4}), text("Addr"), add({2}), text("16");
  add({0xFF, 0xFF, 1, 0, 9, 0}), text("Parameter");
  add({5, 0xC0, 0xE4, 0xF0, 0xE5, 0xF1});  // "Адрес" in cp1251
  add({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  add({1, 0, 0, 0, 1, 0, 0, 0});                          // copy count, copy number
  add({0x02, 0x80, 4, 'K', ' ', 0xB9, '1', 1, 0, 0, 0});  // "K №1"
  add({0xD2, 0x1E, 0x02, 0x00});                          // key: index 2, hash of "A.Len"
  add({0x03, 0x80, 5}), text("A.Len"), add({1, '8'});
  add({0x04, 0x80, 5, 0xC4, 0xEB, 0xE8, 0xED, 0xE0});  // "Длина"
  add({1, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0});
  add({1, 0, 0, 0, 1, 0, 0, 0});
  return b;
}

// A document that rebuilds its tree with `make` for code 3 and builds none otherwise.
class TestTarget : public ConfigurationTarget {
 public:
  explicit TestTarget(std::function<std::unique_ptr<DescriptionBranch>()> make)
      : make_(std::move(make)) {}
  DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    kinds.push_back(device_kind);
    root = device_kind == kVeskDeviceKind ? make_() : nullptr;
    return root.get();
  }
  std::vector<int32_t> kinds;
  std::unique_ptr<DescriptionBranch> root;

 private:
  std::function<std::unique_ptr<DescriptionBranch>()> make_;
};

LoadOutcome LoadBytes(const Bytes& bytes, ConfigurationTarget& target) {
  ArchiveReader reader(bytes);
  return LoadConfiguration(reader, target);
}

void ExpectSameRecord(const link::Parameter& a, const link::Parameter& b) {
  SCOPED_TRACE(a.short_name);
  EXPECT_EQ(a.short_name, b.short_name);
  EXPECT_EQ(a.value, b.value);
  EXPECT_EQ(a.caption, b.caption);
  EXPECT_EQ(a.indexed, b.indexed);
  EXPECT_EQ(a.linear_index, b.linear_index);
  EXPECT_EQ(a.poll_index, b.poll_index);
  EXPECT_EQ(a.writable, b.writable);
  EXPECT_EQ(a.note, b.note);
  EXPECT_EQ(a.value_changed, b.value_changed);
  EXPECT_EQ(a.edit_changed, b.edit_changed);
  EXPECT_EQ(a.owner_changed, b.owner_changed);
  EXPECT_EQ(a.editable, b.editable);
  EXPECT_EQ(a.owned_by_firm, b.owned_by_firm);
  EXPECT_EQ(a.mark, b.mark);
}

void ExpectSameTree(const DescriptionBranch& a, const DescriptionBranch& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.copy_count, b.copy_count);
  EXPECT_EQ(a.copy_number, b.copy_number);
  ASSERT_EQ(a.parameters.size(), b.parameters.size()) << a.name;
  for (size_t i = 0; i < a.parameters.size(); ++i)
    ExpectSameRecord(*a.parameters[i], *b.parameters[i]);
  ASSERT_EQ(a.children.size(), b.children.size()) << a.name;
  for (size_t i = 0; i < a.children.size(); ++i) ExpectSameTree(*a.children[i], *b.children[i]);
}

// Gives every record of the tree its own value, note and flags.
void FillDistinct(DescriptionBranch& branch, int& n) {
  for (auto& p : branch.parameters) {
    ++n;
    p->value = (n % 3 == 0 ? "Значение " : "v") + std::to_string(n);
    p->note = n % 5 == 0 ? "Знач-е в приборе:" + std::to_string(n) : "";
    p->value_changed = n % 2 == 0;
    p->edit_changed = n % 3 == 0;
    p->owner_changed = n % 7 == 0;
    p->editable = n % 4 != 0;
    p->owned_by_firm = n % 6 == 0;
    p->mark = n % 3;
  }
  for (auto& child : branch.children) FillDistinct(*child, n);
}

// --- Layout -----------------------------------------------------------------------------

TEST(ConfigLayout, TinyConfigurationMatchesHandComputedBytes) {
  auto root = TinyTree();
  FillTiny(*root);
  EXPECT_EQ(ConfigurationBytes({kVeskDeviceKind, root.get()}), TinyGolden());
}

TEST(ConfigLayout, HandComputedBytesLoadIntoFreshTree) {
  RecordingPresenter presenter;
  TestTarget target(TinyTree);
  ASSERT_EQ(LoadBytes(TinyGolden(), target), LoadOutcome::Loaded);
  EXPECT_EQ(target.kinds, std::vector<int32_t>{kVeskDeviceKind});
  auto expected = TinyTree();
  FillTiny(*expected);
  ExpectSameTree(*target.root, *expected);
  EXPECT_TRUE(presenter.messages.empty());
}

TEST(ConfigLayout, ParameterPartsWithOtherSchemasAreNotReadFurther) {
  ArchiveWriter w;
  w.WriteClass(kConverterClass, 2);
  w.WriteClass(kConverterClass, 2);
  w.WriteInt32(77);
  ArchiveReader r(w.bytes());
  link::Parameter p("bPS");
  LoadParameter(r, p, false);  // schema 2: only the class reference
  LoadParameter(r, p, false);  // the same class again, still schema 2
  EXPECT_EQ(p.short_name, "bPS");
  EXPECT_EQ(r.ReadInt32(), 77);

  ArchiveWriter w2;
  w2.WriteClass(kConverterClass, 3);
  w2.WriteString("Sbit");
  w2.WriteString("2");
  w2.WriteClass(kParameterClass, 5);
  ArchiveReader r2(w2.bytes());
  LoadParameter(r2, p, false);     // converter part read, parameter part not
  EXPECT_EQ(p.short_name, "bPS");  // the name is the description's
  EXPECT_EQ(p.value, "2");
  EXPECT_EQ(p.caption, link::kUnknownCaption);
  EXPECT_EQ(r2.Remaining(), 0u);
}

TEST(ConfigLayout, AFileCannotReaddressAParameterOfTheTree) {
  // A record stored under one parameter's key but naming another parameter, index,
  // address offset and writability: only the values reach the tree.
  link::Parameter stored("Addr");
  stored.value = "7";
  stored.indexed = true;
  stored.linear_index = 5;
  stored.poll_index = 3;
  stored.writable = true;
  ArchiveWriter w;
  StoreParameter(w, stored);

  link::Parameter p("!ver");
  p.writable = false;
  ArchiveReader r(w.bytes());
  LoadParameter(r, p, false);
  EXPECT_EQ(p.short_name, "!ver");
  EXPECT_FALSE(p.indexed);
  EXPECT_EQ(p.linear_index, 0);
  EXPECT_EQ(p.poll_index, 0);
  EXPECT_FALSE(p.writable);
  EXPECT_EQ(p.value, "7");
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ConfigLayout, BranchOfAnotherSchemaReadsOnlyClassReferences) {
  ArchiveWriter w;
  w.WriteClass(kDocumentClass, kDocumentSchema);
  w.WriteInt32(kVeskDeviceKind);
  w.WriteClass(kBranchClass, 2);  // root: nothing of the node itself
  w.WriteClass(kBranchClass, 2);  // its child, same class
  RecordingPresenter presenter;
  TestTarget target(TinyTree);
  EXPECT_EQ(LoadBytes(w.bytes(), target), LoadOutcome::Loaded);
  EXPECT_EQ(target.root->parameters[0]->value, link::kNoData);
  EXPECT_TRUE(presenter.messages.empty());
}

// --- Matching by key --------------------------------------------------------------------

std::unique_ptr<DescriptionBranch> BranchOf(std::initializer_list<const char*> names) {
  auto root = std::make_unique<DescriptionBranch>("Сеть");
  for (const char* n : names) root->AddParameter(Param(n, std::string("Параметр ") + n));
  auto child = std::make_unique<DescriptionBranch>("Вход №2", 4, 2);
  child->AddParameter(Param("r.oe", "Состояние", true, 1));
  root->children.push_back(std::move(child));
  return root;
}

TEST(ConfigKeys, ParametersMatchByKeyWhenAddedReorderedOrRemoved) {
  auto saved = BranchOf({"bPS", "LEn", "Addr"});
  saved->parameters[0]->value = "9600";
  saved->parameters[1]->value = "8";
  saved->parameters[2]->value = "16";
  saved->children[0]->parameters[0]->value = "1";
  const Bytes file = ConfigurationBytes({kVeskDeviceKind, saved.get()});

  RecordingPresenter presenter;
  TestTarget target([] { return BranchOf({"Addr", "Sbit", "bPS"}); });  // LEn gone, Sbit new
  ASSERT_EQ(LoadBytes(file, target), LoadOutcome::Loaded);
  const DescriptionBranch& root = *target.root;
  EXPECT_EQ(root.FindParameter("Addr")->value, "16");
  EXPECT_EQ(root.FindParameter("bPS")->value, "9600");
  EXPECT_EQ(root.FindParameter("Sbit")->value, link::kNoData);
  EXPECT_EQ(root.FindParameter("Sbit")->caption, "Параметр Sbit");
  EXPECT_EQ(root.children[0]->parameters[0]->value, "1");  // the dropped record was skipped
  EXPECT_TRUE(presenter.messages.empty());
}

TEST(ConfigKeys, OtherLinearIndexIsAnotherKey) {
  auto saved = BranchOf({});
  saved->children[0]->parameters[0]->value = "1";
  const Bytes file = ConfigurationBytes({kVeskDeviceKind, saved.get()});
  TestTarget target([] {
    auto b = BranchOf({});
    b->children[0]->parameters[0]->linear_index = 3;
    return b;
  });
  ASSERT_EQ(LoadBytes(file, target), LoadOutcome::Loaded);
  EXPECT_EQ(target.root->children[0]->parameters[0]->value, link::kNoData);
}

TEST(ConfigKeys, RecordsOfASharedKeyGoToTheirParametersInOrder) {
  auto saved = BranchOf({"Addr", "Addr"});
  saved->parameters[0]->value = "1";
  saved->parameters[1]->value = "2";
  const Bytes file = ConfigurationBytes({kVeskDeviceKind, saved.get()});
  TestTarget target([] { return BranchOf({"Addr", "bPS", "Addr"}); });
  ASSERT_EQ(LoadBytes(file, target), LoadOutcome::Loaded);
  EXPECT_EQ(target.root->parameters[0]->value, "1");
  EXPECT_EQ(target.root->parameters[2]->value, "2");
}

// --- Element nodes ----------------------------------------------------------------------

TEST(ConfigElement, PlainElementIsResetThenRead) {
  NamedNode saved("Элемент");
  saved.AddParameter(Param("a", "A")).value = "1";
  saved.AddParameter(Param("b", "B")).value = "2";
  ArchiveWriter w;
  StoreElement(w, saved);
  w.WriteInt32(77);  // whatever follows the element

  NamedNode current;
  current.AddParameter(Param("a", "A")).note = "ошибка";
  current.AddParameter(Param("b", "B"));
  ArchiveReader r(w.bytes());
  LoadElement(r, current);
  EXPECT_EQ(current.name, "Элемент");
  EXPECT_EQ(current.parameters[0]->value, "1");
  EXPECT_EQ(current.parameters[0]->note, "");
  EXPECT_EQ(current.parameters[1]->value, "2");
  EXPECT_EQ(r.ReadInt32(), 77);
}

// The stored count bounds the element, so the next node is not misread as records.
TEST(ConfigElement, StoredCountDecidesHowManyRecordsAreRead) {
  for (size_t stored_count : {1u, 3u}) {
    SCOPED_TRACE(stored_count);
    NamedNode saved("E");
    for (size_t i = 0; i < stored_count; ++i)
      saved.AddParameter(Param("p" + std::to_string(i), "P")).value = std::to_string(i + 10);
    ArchiveWriter w;
    StoreElement(w, saved);
    w.WriteInt32(77);
    NamedNode current;
    current.AddParameter(Param("p0", "P"));
    current.AddParameter(Param("p1", "P"));
    ArchiveReader r(w.bytes());
    LoadElement(r, current);
    EXPECT_EQ(current.parameters[0]->value, "10");
    EXPECT_EQ(current.parameters[1]->value, stored_count > 1 ? "11" : link::kNoData);
    EXPECT_EQ(r.ReadInt32(), 77);
  }
}

TEST(ConfigElement, ProgramPortSettingsKeepTheirValuesButTakeTheRest) {
  platform::SettingsStore store("/nonexistent-vesk-config-test/settings.ini");
  ProgramLineSettings prg(&store, [] { return std::string("COM1:COM2"); });
  prg.FillParameters();
  std::vector<std::string> own;
  for (const auto& p : prg.parameters) own.push_back(p->value);

  NamedNode saved("Сетевые параметры программы");
  for (const auto& p : prg.parameters) {
    link::Parameter& copy = saved.AddParameter(Param(p->short_name, "Подпись"));
    copy.value = "999";
    copy.note = "заметка";
    copy.value_changed = true;
  }
  ArchiveWriter w;
  StoreElement(w, saved);
  ArchiveReader r(w.bytes());
  LoadElement(r, prg);
  for (size_t i = 0; i < prg.parameters.size(); ++i) {
    EXPECT_EQ(prg.parameters[i]->value, own[i]);
    EXPECT_EQ(prg.parameters[i]->caption, "Подпись");
    EXPECT_EQ(prg.parameters[i]->note, "заметка");
    EXPECT_TRUE(prg.parameters[i]->value_changed);
  }
}

// --- Document schemas and broken files --------------------------------------------------

struct SchemaCase {
  const char* name;
  uint16_t schema;
  LoadOutcome outcome;
  std::vector<int32_t> kinds;  // what the description was reloaded for
  const char* message;         // nullptr: none
};

class ConfigSchema : public testing::TestWithParam<SchemaCase> {};

TEST_P(ConfigSchema, ActsOnTheDocumentSchema) {
  const SchemaCase& c = GetParam();
  auto tree = TinyTree();
  FillTiny(*tree);
  ArchiveWriter w;
  w.WriteClass(kDocumentClass, c.schema);
  if (c.schema == kDocumentSchema) w.WriteInt32(kVeskDeviceKind);
  StoreBranch(w, *tree);
  RecordingPresenter presenter;
  TestTarget target(TinyTree);
  EXPECT_EQ(LoadBytes(w.bytes(), target), c.outcome);
  EXPECT_EQ(target.kinds, c.kinds);
  if (c.message == nullptr) {
    EXPECT_TRUE(presenter.messages.empty());
  } else {
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text, c.message);
    EXPECT_EQ(presenter.messages[0].caption, kOpenErrorCaption);
    EXPECT_EQ(presenter.messages[0].icon, link::MsgIcon::Warning);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSchema,
    testing::Values(
        SchemaCase{"Current", 4, LoadOutcome::Loaded, {kVeskDeviceKind}, nullptr},
        // No code stored: code 19 builds no tree, so nothing is applied and nothing said.
        SchemaCase{"NoKindCode", 3, LoadOutcome::Loaded, {kOldLayoutDeviceKind}, nullptr},
        SchemaCase{"Outdated", 1, LoadOutcome::Outdated, {}, kOutdatedFileText},
        SchemaCase{"Two", 2, LoadOutcome::CorruptSchema, {}, kCorruptFileText},
        SchemaCase{"Future", 5, LoadOutcome::CorruptSchema, {}, kCorruptFileText}),
    [](const auto& info) { return info.param.name; });

void ExpectFormatMessage(const RecordingPresenter& presenter) {
  ASSERT_EQ(presenter.messages.size(), 1u);
  EXPECT_EQ(presenter.messages[0].text, kBadFormatText);
  EXPECT_EQ(presenter.messages[0].caption, kBadFormatCaption);
  EXPECT_EQ(presenter.messages[0].icon, link::MsgIcon::Warning);
}

TEST(ConfigBroken, EveryTruncationIsReportedAndKeepsWhatWasRead) {
  const Bytes golden = TinyGolden();
  for (size_t n = 0; n < golden.size(); ++n) {
    SCOPED_TRACE(n);
    RecordingPresenter presenter;
    TestTarget target(TinyTree);
    EXPECT_EQ(LoadBytes(Bytes(golden.begin(), golden.begin() + n), target), LoadOutcome::Truncated);
    ExpectFormatMessage(presenter);
    if (n == golden.size() - 1) {  // only the last copy number is missing
      EXPECT_EQ(target.root->parameters[0]->value, "16");
      EXPECT_EQ(target.root->children[0]->parameters[0]->value, "8");
    }
  }
}

TEST(ConfigBroken, CorruptedBytesNeverCrash) {
  const Bytes golden = TinyGolden();
  for (size_t i = 0; i < golden.size(); ++i) {
    for (uint8_t v :
         {uint8_t{0}, uint8_t{0xFF}, uint8_t(golden[i] ^ 1), uint8_t(golden[i] ^ 0x80)}) {
      Bytes bad = golden;
      bad[i] = v;
      RecordingPresenter presenter;
      TestTarget target(TinyTree);
      const LoadOutcome outcome = LoadBytes(bad, target);
      EXPECT_EQ(presenter.messages.empty(), outcome == LoadOutcome::Loaded) << i;
    }
  }
}

struct HostileCase {
  const char* name;
  Bytes bytes;
  LoadOutcome outcome;
};

class ConfigHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(ConfigHostile, FormatMessage) {
  RecordingPresenter presenter;
  TestTarget target(TinyTree);
  EXPECT_EQ(LoadBytes(GetParam().bytes, target), GetParam().outcome);
  ExpectFormatMessage(presenter);
}

// The golden file up to the device kind (18 bytes), or up to the root's class (34).
Bytes Header(size_t length = 18) {
  const Bytes g = TinyGolden();
  return Bytes(g.begin(), g.begin() + length);
}

Bytes Cat(Bytes a, std::initializer_list<uint8_t> b) {
  a.insert(a.end(), b);
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigHostile,
    testing::Values(
        HostileCase{"Empty", {}, LoadOutcome::Truncated},
        HostileCase{"PlainText", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, LoadOutcome::FormatError},
        HostileCase{
            "BranchFirst",
            Bytes{0xFF, 0xFF, 3, 0, 10, 0, 'D', 'e', 's', 'c', 'B', 'r', 'a', 'n', 'c', 'h'},
            LoadOutcome::FormatError},
        HostileCase{"HugeCount",
                    Cat(Header(34), {1, 'R', 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4, 0x01, 0x00}),
                    LoadOutcome::FormatError},
        HostileCase{"HugeName", Cat(Header(34), {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x7F}),
                    LoadOutcome::Truncated},
        HostileCase{"RootIsDocument", Cat(Header(), {0x01, 0x80}), LoadOutcome::FormatError}),
    [](const auto& info) { return info.param.name; });

// --- Whole trees ------------------------------------------------------------------------

// A hand-built tree shaped like the device's: repeated branches with indexed parameters.
std::unique_ptr<DescriptionBranch> HandBuiltTree() {
  auto root = std::make_unique<DescriptionBranch>("ВЕСК");
  for (const char* n : {"Addr", "A.Len", "bPS", "CHAr"}) root->AddParameter(Param(n, n));
  for (int copy = 1; copy <= 12; ++copy) {
    auto input = std::make_unique<DescriptionBranch>("Вход №" + std::to_string(copy), 12, copy);
    for (const char* n : {"r.oe", "r.cn", "r.cou", "in.t"})
      input->AddParameter(Param(n, n, true, copy - 1));
    for (int sub = 1; sub <= 2; ++sub) {
      auto counter = std::make_unique<DescriptionBranch>("Счетчик №" + std::to_string(sub), 2, sub);
      counter->AddParameter(Param("cnt", "Счет", true, (copy - 1) * 2 + sub - 1));
      input->children.push_back(std::move(counter));
    }
    root->children.push_back(std::move(input));
  }
  return root;
}

void ExpectRoundTrip(const std::function<std::unique_ptr<DescriptionBranch>()>& make) {
  auto saved = make();
  int n = 0;
  FillDistinct(*saved, n);
  ASSERT_GT(n, 0);
  const Bytes file = ConfigurationBytes({kVeskDeviceKind, saved.get()});
  RecordingPresenter presenter;
  TestTarget target(make);
  ASSERT_EQ(LoadBytes(file, target), LoadOutcome::Loaded);
  ExpectSameTree(*saved, *target.root);
  EXPECT_EQ(ConfigurationBytes({kVeskDeviceKind, target.root.get()}), file);
  EXPECT_TRUE(presenter.messages.empty());
}

TEST(ConfigRoundTrip, HandBuiltTree) {
  ExpectRoundTrip(HandBuiltTree);
}

// The device's own tree, from the description container the build makes (or its text).
std::unique_ptr<DescriptionBranch> VeskTree() {
  const char* env = std::getenv(kContainerEnvVar);
  const std::string container = env && *env ? env : VESK_BIN_DIR "/vesk.tree.dat";
  const std::string text_path = VESK_SOURCE_DIR "/data/vesk.tree.txt";
  DescriptionTree tree;
  if (fs::exists(container)) {
    if (LoadDescriptionFrom(container, kVeskDeviceKind, tree) != DescriptionStatus::Built)
      return nullptr;
  } else if (fs::exists(text_path)) {
    std::ifstream in(text_path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (BuildDescription(text, tree) != DescriptionStatus::Built) return nullptr;
  } else {
    return nullptr;
  }
  return std::move(tree.root);
}

TEST(ConfigRoundTrip, FullVeskTree) {
  if (!VeskTree()) GTEST_SKIP() << "no device description built yet";
  ExpectRoundTrip(VeskTree);
}

// --- Files ------------------------------------------------------------------------------

class ConfigFiles : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vesk-config-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static Bytes Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
  }
  static void Write(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  size_t Entries() const { return std::distance(fs::directory_iterator(dir_), {}); }

  fs::path dir_;
  RecordingPresenter presenter_;
};

TEST_F(ConfigFiles, SavedFileOpensWithItsValues) {
  auto tree = TinyTree();
  FillTiny(*tree);
  const std::string path = dir_ / "конфигурация.vesk";
  ASSERT_TRUE(SaveConfiguration(path, {kVeskDeviceKind, tree.get()}));
  EXPECT_EQ(Read(path), TinyGolden());
  TestTarget target(TinyTree);
  EXPECT_EQ(LoadConfiguration(path, target), LoadOutcome::Loaded);
  ExpectSameTree(*target.root, *tree);
  EXPECT_TRUE(presenter_.messages.empty());
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(ConfigFiles, SaveKeepsPermissionsAndSymbolicLinks) {
  const fs::path real = dir_ / "real.vesk", link = dir_ / "link.vesk";
  Write(real, {1, 2, 3});
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, link);
  auto tree = TinyTree();
  FillTiny(*tree);
  ASSERT_TRUE(SaveConfiguration(link, {kVeskDeviceKind, tree.get()}));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), TinyGolden());
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ConfigFiles, WithoutATreeNothingIsSaved) {
  EXPECT_FALSE(SaveConfiguration(dir_ / "x.vesk", {kVeskDeviceKind, nullptr}));
  ASSERT_EQ(presenter_.messages.size(), 1u);
  EXPECT_EQ(presenter_.messages[0].text, kNoTreeText);
  EXPECT_EQ(Entries(), 0u);
}

TEST_F(ConfigFiles, SaveFailingHalfWayLeavesTheOldFileWhole) {
  const fs::path path = dir_ / "old.vesk";
  const Bytes old(50, 0xAB);
  Write(path, old);
  auto tree = HandBuiltTree();  // a few kilobytes
  int n = 0;
  FillDistinct(*tree, n);

  // A file size limit makes the write stop part-way with EFBIG.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = SaveConfiguration(path, {kVeskDeviceKind, tree.get()});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(ok);
  EXPECT_EQ(Read(path), old);
  EXPECT_EQ(Entries(), 1u);  // the temporary file is gone
  ASSERT_EQ(presenter_.messages.size(), 1u);
  EXPECT_NE(presenter_.messages[0].text.find(kSaveDocumentFailedText), std::string::npos);
  EXPECT_NE(presenter_.messages[0].text.find(std::strerror(EFBIG)), std::string::npos);
}

TEST_F(ConfigFiles, SaveFailuresCarryTheSystemText) {
  auto tree = TinyTree();
  struct Case {
    fs::path path;
    int error;
  };
  fs::create_directory(dir_ / "folder.vesk");
  Write(dir_ / "folder.vesk" / "inside", {1});
  for (const Case& c :
       {Case{dir_ / "missing" / "x.vesk", ENOENT}, Case{dir_ / "folder.vesk", EISDIR}}) {
    SCOPED_TRACE(c.path);
    presenter_.messages.clear();
    EXPECT_FALSE(SaveConfiguration(c.path, {kVeskDeviceKind, tree.get()}));
    ASSERT_EQ(presenter_.messages.size(), 1u);
    EXPECT_NE(presenter_.messages[0].text.find(std::strerror(c.error)), std::string::npos);
  }
  EXPECT_EQ(Entries(), 1u);
  EXPECT_EQ(Read(dir_ / "folder.vesk" / "inside"), Bytes{1});
}

TEST_F(ConfigFiles, UnreadableFilesAreNotOpened) {
  const fs::path big = dir_ / "big.vesk";
  Write(big, {});
  fs::resize_file(big, kMaxConfigurationBytes + 1);  // sparse: nothing is really written
  struct Case {
    fs::path path;
    std::string expected;
  };
  const fs::path pipe = dir_ / "pipe.vesk";  // would block an ordinary open for reading
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const Case& c :
       {Case{dir_ / "missing.vesk", std::strerror(ENOENT)}, Case{dir_, std::strerror(EISDIR)},
        Case{pipe, std::strerror(EINVAL)}, Case{big, kReadFailedText}}) {
    SCOPED_TRACE(c.path);
    presenter_.messages.clear();
    TestTarget target(TinyTree);
    EXPECT_EQ(LoadConfiguration(c.path, target), LoadOutcome::Unreadable);
    EXPECT_TRUE(target.kinds.empty());
    ASSERT_EQ(presenter_.messages.size(), 1u);
    EXPECT_NE(presenter_.messages[0].text.find(c.expected), std::string::npos);
  }
}

}  // namespace
}  // namespace vesk::model
