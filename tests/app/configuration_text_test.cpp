// Configurations as text through the program: a device read by the simulator goes to JSON
// and back byte for byte, --diff reports lines and diff(1) exit codes against files and the
// device, and bad JSON leaves nothing written.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuick = 10s;

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  const size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

size_t Lines(const std::string& text, const std::string& prefix) {
  size_t n = 0;
  for (size_t at = 0; at < text.size();) {
    if (text.compare(at, prefix.size(), prefix) == 0) ++n;
    const size_t eol = text.find('\n', at);
    if (eol == std::string::npos) break;
    at = eol + 1;
  }
  return n;
}

class ConfigurationText : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", TreePath().c_str(), 1);
    WriteFile(dir / "state.txt", "FiLt\t3\tB15D\t3\t77\n");
    sim_ = std::make_unique<Simulator>(
        dir, std::vector<std::string>{"--bps", "115200", "--state", dir / "state.txt"});
    const RunResult read = RunConfigurator(dir, Port({"/read/close", "dev.vesk"}), kQuick);
    ASSERT_EQ(read.exit_code, 0) << read.err;
  }

  std::vector<std::string> Port(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--port=" + sim_->pty(), "--bps=115200"});
    return args;
  }

  TempDir dir;
  std::unique_ptr<Simulator> sim_;
};

TEST_F(ConfigurationText, DeviceReadGoesToJsonAndBackByteForByte) {
  const RunResult json = RunConfigurator(dir, {"--export-json=dev.vesk"}, kQuick);
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out.rfind("{\n  \"format\": \"vesk-configuration\",\n  \"version\": 1,\n  "
                           "\"device_kind\": 3,\n  \"parameters\": [\n",
                           0),
            0u);
  EXPECT_NE(json.out.find("\n    {\"path\":\"Входы/Вход №4\",\"name\":\"FiLt\",\"index\":3,"
                          "\"value\":\"77\",\"editable\":true,\"owner\":\"user\",\"note\":\"\","
                          "\"changed\":[]},\n"),
            std::string::npos);
  // One line for each line of the text listing.
  const RunResult listing = RunConfigurator(dir, {"--print=dev.vesk"}, kQuick);
  EXPECT_EQ(Lines(json.out, "    {\"path\":"), Lines(listing.out, "") - 1);

  ASSERT_EQ(RunConfigurator(dir, {"--export-json=dev.vesk", "--output=dev.json"}, kQuick).exit_code,
            0);
  EXPECT_EQ(ReadFile(dir / "dev.json"), json.out);
  const RunResult back =
      RunConfigurator(dir, {"--import-json=dev.json", "--output=back.vesk"}, kQuick);
  ASSERT_EQ(back.exit_code, 0) << back.err;
  EXPECT_EQ(ReadFile(dir / "back.vesk"), ReadFile(dir / "dev.vesk"));
}

TEST_F(ConfigurationText, DiffReportsLinesAndExitCodes) {
  ASSERT_EQ(RunConfigurator(dir, {"--export-json=dev.vesk", "--output=dev.json"}, kQuick).exit_code,
            0);
  std::string edited = Replaced(ReadFile(dir / "dev.json"), R"("index":3,"value":"77")",
                                R"("index":3,"value":"25")");
  edited = Replaced(edited, R"("index":5,"value":"10","editable":true)",
                    R"("index":5,"value":"10","editable":false)");
  WriteFile(dir / "edited.json", edited);
  ASSERT_EQ(
      RunConfigurator(dir, {"--import-json=edited.json", "--output=edited.vesk"}, kQuick).exit_code,
      0);
  WriteFile(dir / "broken.json", "{\"format\":");
  const RunResult set = RunConfigurator(dir, Port({"--set=FiLt:0=250"}), kQuick);
  ASSERT_EQ(set.exit_code, 0) << set.err;

  const std::string changes =
      "Входы/Вход №4\tFiLt:3\t77\t25\n"
      "Входы/Вход №6\tFiLt:5\t10 (Редактируемый, Пользователь)\t10 (Не редактируемый, "
      "Пользователь)\n";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out;
  } cases[] = {
      {{"--diff=dev.vesk", "dev.json"}, 0, ""},
      {{"--diff=dev.vesk", "edited.vesk"}, 1, changes},
      {{"--diff=dev.json", "edited.json"}, 1, changes},
      {{"--diff=broken.json", "dev.vesk"}, 2, ""},
      {{"--diff=dev.vesk", "missing.vesk"}, 2, ""},
      {{"--diff=dev.vesk"}, 2, ""},
      {Port({"--diff=device", "dev.vesk"}), 1, "Входы/Вход №1\tFiLt:0\t250\t10\n"},
      {{"--port=/dev/null/none", "--diff=device", "dev.vesk"}, 2, ""},
  };
  for (const auto& c : cases) {
    const RunResult r = RunConfigurator(dir, c.args, kQuick);
    EXPECT_EQ(r.exit_code, c.code) << c.args.front() << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.front();
  }
}

TEST_F(ConfigurationText, RefusedJsonWritesNothing) {
  ASSERT_EQ(RunConfigurator(dir, {"--export-json=dev.vesk", "--output=dev.json"}, kQuick).exit_code,
            0);
  const std::string json = ReadFile(dir / "dev.json");
  const struct {
    const char* name;
    std::string text;
    const char* reason;
  } cases[] = {
      {"malformed", Replaced(json, "\"version\": 1,", "\"version\": 1"),
       "Неверный JSON: строка 4, столбец 15."},
      {"refused_value", Replaced(json, R"("value":"77")", R"("value":"77777")"),
       "не может быть присвоено значение '77777'"},
      {"unknown_parameter",
       Replaced(json, R"("name":"FiLt","index":3)", R"("name":"FiLt","index":99)"),
       "в описании прибора нет параметра Входы/Вход №4 FiLt:99."},
  };
  WriteFile(dir / "out.vesk", "keep");
  // A list's item is one of its items as the list shows it, nothing near it ("y" Latin).
  const std::string counter = R"("name":"Cn.Md","index":0,"value":")";
  const size_t at = json.find(counter) + counter.size();
  ASSERT_GT(at, counter.size());
  const std::string item = json.substr(at, json.find('"', at) - at);
  for (const char* refused : {"Бла", "1", "по фронту", "По фронтy"}) {
    WriteFile(dir / "in.json", Replaced(json, counter + item, counter + refused));
    const RunResult r =
        RunConfigurator(dir, {"--import-json=in.json", "--output=out.vesk"}, kQuick);
    EXPECT_EQ(r.exit_code, 1) << refused;
    for (const std::string& named :
         {std::string("параметр №"), std::string("'Cn.Md'"), "'" + std::string(refused) + "'"})
      EXPECT_NE(r.err.find(named), std::string::npos) << named << "\n" << r.err;
  }
  WriteFile(dir / "in.json", Replaced(json, counter + item, counter + "По фронту"));
  EXPECT_EQ(RunConfigurator(dir, {"--import-json=in.json", "--output=ok.vesk"}, kQuick).exit_code,
            0);
  for (const auto& c : cases) {
    WriteFile(dir / "in.json", c.text);
    const RunResult r =
        RunConfigurator(dir, {"--import-json=in.json", "--output=out.vesk"}, kQuick);
    EXPECT_EQ(r.exit_code, 1) << c.name;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << "\n" << r.err;
  }
  EXPECT_EQ(RunConfigurator(dir, {"--import-json=dev.json"}, kQuick).exit_code, 1);
  EXPECT_EQ(ReadFile(dir / "out.vesk"), "keep");
}

}  // namespace
}  // namespace vesk::app::test
