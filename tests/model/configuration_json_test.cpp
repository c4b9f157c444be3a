// Configurations as JSON text against the device's own description: the way back gives the
// bytes that opening and saving the ".vesk" file gives, and every kind of bad text is
// refused with its own message.

#include "model/configuration_json.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "description_test_support.h"
#include "model/configuration_open.h"
#include "model/description_container.h"
#include "model/description_loader.h"

namespace vesk::model {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::RecordingPresenter;

// The tree a configuration is read into, built from the description container.
class VeskTarget : public ConfigurationTarget {
 public:
  DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    LoadDescription(device_kind, tree);
    return tree.root.get();
  }
  Bytes Saved() const { return ConfigurationBytes({kVeskDeviceKind, tree.root.get()}); }
  DescriptionTree tree;
};

link::Parameter& Find(DescriptionBranch& root, const char* name, int32_t index = -1) {
  for (link::Parameter* p : testing::Parameters(root, name))
    if (index < 0 ? !p->indexed : p->linear_index == index) return *p;
  throw std::runtime_error(std::string("no parameter ") + name);
}

// Values, attributes, notes and flags of every kind a file may hold.
void Edit(DescriptionBranch& root) {
  ASSERT_TRUE(Find(root, "FiLt", 3).SetValueFromText("25"));
  ASSERT_TRUE(Find(root, "Cn.K", 0).SetValueFromText("2.5"));
  link::Parameter& firm = Find(root, "FiLt", 0);
  firm.value = "10";
  firm.editable = false;
  firm.owned_by_firm = true;
  firm.edit_changed = firm.owner_changed = true;
  Find(root, "dev").note = "Таймаут\tс \"кавычками\",\nсимволами € и ☃ и \\";
}

// A current file whose branches are all of another node schema: nothing of them is read.
Bytes OtherBranchSchema(const DescriptionBranch& root) {
  ArchiveWriter w;
  w.WriteClass(kDocumentClass, kDocumentSchema);
  w.WriteInt32(kVeskDeviceKind);
  const std::function<void(const DescriptionBranch&)> branch = [&](const DescriptionBranch& b) {
    w.WriteClass(kBranchClass, 2);
    for (const auto& child : b.children) branch(*child);
  };
  branch(root);
  return w.bytes();
}

struct RoundTripCase {
  const char* name;
  std::function<Bytes(DescriptionBranch& fresh_root)> file;
  bool current_schema;  // the saved file is the file itself
};

TEST(ConfigurationJson, WayBackGivesTheBytesOfOpeningAndSaving) {
  const RoundTripCase cases[] = {
      {"fresh",
       [](DescriptionBranch& r) {
         return ConfigurationBytes({kVeskDeviceKind, &r});
       },
       true},
      {"edited",
       [](DescriptionBranch& r) {
         Edit(r);
         return ConfigurationBytes({kVeskDeviceKind, &r});
       },
       true},
      {"other_branch_schema", [](DescriptionBranch& r) { return OtherBranchSchema(r); }, false},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPresenter presenter;
    VeskTarget fresh;
    ASSERT_NE(fresh.ReloadDescription(kVeskDeviceKind), nullptr);
    const Bytes file = c.file(*fresh.tree.root);

    VeskTarget opened;
    ArchiveReader reader(file);
    ASSERT_EQ(LoadConfiguration(reader, opened), LoadOutcome::Loaded);
    const Bytes saved = opened.Saved();
    if (c.current_schema) {
      EXPECT_EQ(saved, file);
    }

    std::string json, error;
    ASSERT_TRUE(ConfigurationToJson({kVeskDeviceKind, opened.tree.root.get()}, json, error));
    VeskTarget back;
    ASSERT_EQ(ConfigurationFromJson(json, back, error), kVeskDeviceKind) << error;
    EXPECT_EQ(back.Saved(), saved);
    EXPECT_TRUE(presenter.messages.empty());
  }
}

TEST(ConfigurationJson, FileWithoutDeviceKindHasNoTreeToExport) {
  VeskTarget fresh;
  fresh.ReloadDescription(kVeskDeviceKind);
  ArchiveWriter w;
  w.WriteClass(kDocumentClass, kDocumentSchemaNoKind);
  StoreBranch(w, *fresh.tree.root);
  char path[] = "/tmp/vesk-json-test-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, w.bytes().data(), w.bytes().size()),
            static_cast<ssize_t>(w.bytes().size()));
  ::close(fd);
  RecordingPresenter presenter;
  VeskTarget opened;
  EXPECT_FALSE(OpenConfigurationFile(path, opened));
  ::unlink(path);
  ASSERT_EQ(presenter.messages.size(), 1u);
  EXPECT_EQ(presenter.messages[0].text, kNoTreeText);
}

std::string Text(const std::string& line,
                 const std::string& head = R"("version":1,"device_kind":3)",
                 const std::string& format = "vesk-configuration") {
  return R"({"format":")" + format + R"(",)" + head + R"(,"parameters":[)" + line + "]}";
}

std::string Line(const std::string& value = R"("25")", const std::string& name = "FiLt",
                 const std::string& tail = R"("editable":true,"owner":"user","note":"")") {
  return R"({"path":"Входы/Вход №4","name":")" + name + R"(","index":3,"value":)" + value + "," +
         tail + "}";
}

TEST(ConfigurationJson, BadTextIsRefusedWithItsReason) {
  const struct {
    const char* name;
    std::string text;
    const char* reason;  // nullptr: taken
  } cases[] = {
      {"good", Text(Line()), nullptr},
      {"no_data_kept", Text(Line(R"("Нет данных")")), nullptr},
      {"malformed", "{\"format\": \"vesk-configuration\",\n  \"версия\": 1,\n  x}",
       "Неверный JSON: строка 3, столбец 3."},
      {"not_an_object", "[1]", "ожидается объект JSON"},
      {"too_deep", std::string(100, '[') + std::string(100, ']'), "слишком глубокая вложенность"},
      {"other_format", Text(Line(), R"("version":1,"device_kind":3)", "csv"),
       "поле \"format\" должно быть \"vesk-configuration\""},
      {"other_version", Text(Line(), R"("version":2,"device_kind":3)"),
       "Неподдерживаемая версия формата: 2"},
      {"no_device_kind", Text(Line(), R"("version":1)"), "нет поля \"device_kind\""},
      {"other_device", Text(Line(), R"("version":1,"device_kind":7)"), kNoTreeText},
      {"missing_field", Text(Line(R"("25")", "FiLt", R"("editable":true,"owner":"user")")),
       "параметр №1: нет поля \"note\""},
      {"mistyped_field", Text(Line("25")), "параметр №1: поле \"value\" должно быть строкой"},
      {"bad_owner", Text(Line(R"("25")", "FiLt", R"("editable":true,"owner":"me","note":"")")),
       "\"owner\" должно быть \"user\" или \"firm\""},
      {"bad_changed",
       Text(Line(R"("25")", "FiLt",
                 R"("editable":true,"owner":"user","note":"","changed":["all"])")),
       "в поле \"changed\" допустимы только"},
      {"unknown_parameter", Text(Line(R"("25")", "NoSuch")),
       "параметр №1: в описании прибора нет параметра Входы/Вход №4 NoSuch:3."},
      {"repeated_parameter", Text(Line() + "," + Line()),
       "параметр №2: параметр Входы/Вход №4 FiLt:3 задан повторно."},
      {"refused_value", Text(Line(R"("5000")")),
       "параметр №1:\nПараметеру 'FiLt' (Время фильтрации дребезга (мс))\nне может быть "
       "присвоено значение '5000'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPresenter presenter;
    VeskTarget target;
    std::string error;
    const auto kind = ConfigurationFromJson(c.text, target, error);
    if (c.reason == nullptr) {
      EXPECT_EQ(kind, kVeskDeviceKind) << error;
    } else {
      EXPECT_FALSE(kind);
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace vesk::model
