// The unattended run as another program sees it: vesk-configurator started with keys
// against vesk-sim on a pseudo-terminal; exit codes, files and what the simulator holds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/parameter.h"
#include "model/config_file.h"
#include "model/description_loader.h"
#include "model/device_line_settings.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuick = 5s;  // a run that needs no waiting for a silent device

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The value of NAME at INDEX ("-" without one) in a simulator dump.
std::string DumpValue(const std::string& dump, const std::string& name, const std::string& index) {
  const std::string key = name + "\t" + index + "\t";
  for (size_t at = 0; at < dump.size();) {
    const size_t eol = dump.find('\n', at);
    const std::string line = dump.substr(at, eol == std::string::npos ? eol : eol - at);
    if (line.rfind(key, 0) == 0) return line.substr(line.rfind('\t') + 1);
    if (eol == std::string::npos) break;
    at = eol + 1;
  }
  return "<none>";
}

class ConfigurationFile : public model::ConfigurationTarget {
 public:
  explicit ConfigurationFile(const std::string& path) {
    outcome = model::LoadConfiguration(path, *this);
  }
  model::DescriptionBranch* ReloadDescription(int32_t kind) override {
    model::LoadDescription(kind, tree);
    return tree.root.get();
  }
  // The record of `name` with linear index `index` (-1: not indexed), or nullptr.
  link::Parameter* Find(const std::string& name, int index) {
    return Find(tree.root.get(), name, index);
  }
  bool Save(const std::string& path) {
    return model::SaveConfiguration(path, {3, tree.root.get()});
  }

  model::LoadOutcome outcome;
  model::DescriptionTree tree;

 private:
  link::Parameter* Find(model::DescriptionBranch* b, const std::string& name, int index) {
    if (!b) return nullptr;
    for (auto& p : b->parameters)
      if (p->short_name == name &&
          (index < 0 ? !p->indexed : p->indexed && p->linear_index == index))
        return p.get();
    for (auto& c : b->children)
      if (link::Parameter* p = Find(c.get(), name, index)) return p;
    return nullptr;
  }
};

class UnattendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", TreePath().c_str(), 1);
  }

  // A simulator state in which input 4's filter time is 77 and its weight 2.500, so that a
  // read shows values that come from the device and not from the description.
  std::string MarkedState() {
    const std::string path = dir / "state.txt";
    WriteFile(path, "FiLt\t3\tB15D\t3\t77\nCn.K\t3\t0000\t3\t2.500\n");
    return path;
  }

  std::vector<std::string> Port(const Simulator& sim, const std::string& keys) {
    return {"--port=" + sim.pty(), "/bps:115200" + keys};
  }

  TempDir dir;
};

TEST_F(UnattendedRun, ReadIntoFile) {
  Simulator sim(dir, {"--bps", "115200", "--state", MarkedState()});
  std::vector<std::string> args = Port(sim, "/read/close");
  args.push_back("out.vesk");  // relative to the folder the program was started in
  const RunResult r = RunConfigurator(dir, args, kQuick);
  ASSERT_EQ(r.exit_code, 0) << r.err;

  ConfigurationFile file(dir / "out.vesk");
  ASSERT_EQ(file.outcome, model::LoadOutcome::Loaded);
  ASSERT_NE(file.Find("FiLt", 3), nullptr);
  EXPECT_EQ(file.Find("FiLt", 3)->value, "77");
  EXPECT_EQ(file.Find("FiLt", 2)->value, "10");
  EXPECT_EQ(file.Find("Cn.K", 3)->value, "2.500");
  EXPECT_EQ(file.Find("dev", -1)->value, "VESK");
  EXPECT_EQ(file.Find("bPS", -1)->value, "115200");

  const RunResult print = RunConfigurator(dir, {"--print=out.vesk"}, kQuick);
  ASSERT_EQ(print.exit_code, 0) << print.err;
  EXPECT_EQ(print.out.rfind("# ветвь\tимя\tиндекс\tзначение\tатрибуты\tпримечание\n", 0), 0u);
  EXPECT_NE(print.out.find("\nВходы/Вход №4\tFiLt\t3\t77\tРедактируемый,Пользователь\t\n"),
            std::string::npos);
  EXPECT_NE(print.out.find("\nИдентификация и диагностика\tdev\t-\tVESK\t-\t\n"),
            std::string::npos);
}

TEST_F(UnattendedRun, RefusedParametersGoToTheErrorLog) {
  // The simulator's description lacks "Prot" and the inputs' "inv": it refuses them.
  std::string text = ReadFile(std::string(VESK_SOURCE_DIR) + "/data/vesk.tree.txt");
  auto drop = [&text](const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    ASSERT_NE(at, std::string::npos) << what;
    text.replace(at, what.size(), with);
  };
  drop("\nparameter Prot ", "\n; ");
  drop(" Addr Prot CHAr*", " Addr CHAr*");
  drop("\nparameter @inv ", "\n; ");
  drop("\ninit      inv ", "\n; ");
  drop(" in.tP inv Cn.Md", " in.tP Cn.Md");
  WriteFile(dir / "sim.tree.txt", text);
  Process pack(BinPath("vesk-pack"), {"-o", dir / "sim.tree.dat", dir / "sim.tree.txt"}, dir.path(),
               "pack");
  ASSERT_EQ(pack.Wait(kQuick).exit_code, 0);

  Simulator sim(dir, {"--tree", dir / "sim.tree.dat", "--bps", "115200"});
  std::vector<std::string> args = Port(sim, "/read/close/elog:errors.log");
  args.push_back("out.vesk");
  const RunResult r = RunConfigurator(dir, args, kQuick);
  EXPECT_EQ(r.exit_code, 204) << r.err;
  const std::string log = ReadFile(dir / "errors.log");
  EXPECT_EQ(Count(log, "\n"), 13u) << log;
  EXPECT_EQ(log.rfind("Prot - ", 0), 0u) << log;
  EXPECT_NE(log.find("\ninv:0 - "), std::string::npos);
  EXPECT_NE(log.find("\ninv:11 - "), std::string::npos);
  // What was read is kept.
  ConfigurationFile file(dir / "out.vesk");
  ASSERT_EQ(file.outcome, model::LoadOutcome::Loaded);
  EXPECT_EQ(file.Find("FiLt", 0)->value, "10");
}

TEST_F(UnattendedRun, WriteFileIntoDevice) {
  {
    Simulator source(dir, {"--bps", "115200"});
    std::vector<std::string> args = Port(source, "/read/close");
    args.push_back("in.vesk");
    ASSERT_EQ(RunConfigurator(dir, args, kQuick).exit_code, 0);
  }
  {
    ConfigurationFile file(dir / "in.vesk");
    ASSERT_EQ(file.outcome, model::LoadOutcome::Loaded);
    file.Find("FiLt", 3)->value = "250";
    file.Find("Cn.Md", 5)->value = "По спаду";
    ASSERT_TRUE(file.Save(dir / "in.vesk"));
  }
  Simulator sim(dir, {"--bps", "115200", "--dump", dir / "dump.txt"});
  std::vector<std::string> args = Port(sim, "/write/close");
  args.push_back(dir / "in.vesk");
  args.insert(args.end() - 1, "--");  // an absolute file name after the keys
  const RunResult r = RunConfigurator(dir, args, kQuick);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  sim.Stop();
  const std::string dump = ReadFile(dir / "dump.txt");
  EXPECT_EQ(DumpValue(dump, "FiLt", "3"), "250");
  EXPECT_EQ(DumpValue(dump, "FiLt", "2"), "10");
  EXPECT_EQ(DumpValue(dump, "Cn.Md", "5"), "По спаду");
}

TEST_F(UnattendedRun, AplyAfterWritingTheNetworkSettings) {
  Simulator sim(dir, {"--bps", "115200", "--trace", dir / "trace.txt"});
  std::vector<std::string> args = Port(sim, "/read/close");
  args.push_back("f.vesk");
  ASSERT_EQ(RunConfigurator(dir, args, kQuick).exit_code, 0);
  EXPECT_EQ(Count(ReadFile(dir / "trace.txt"), "hash=8403"), 0u);
  args = Port(sim, "/aply/write/close");
  args.push_back("f.vesk");
  const RunResult r = RunConfigurator(dir, args, kQuick);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // "APLY" went out once, without a dialog, after the write.
  EXPECT_EQ(Count(ReadFile(dir / "trace.txt"), " RX \"#HGGGOKGJOMKQ\\r\" addr=16 flag=0 hash=8403"),
            1u);
}

TEST_F(UnattendedRun, WriteOfAnUnusableFileEndsAtOnce) {
  WriteFile(dir / "empty.vesk", "");
  WriteFile(dir / "foreign.vesk", "#!/bin/sh\necho not a configuration\n");
  Simulator sim(dir, {"--bps", "115200", "--trace", dir / "trace.txt"});
  for (const char* file : {"missing.vesk", "empty.vesk", "foreign.vesk"}) {
    std::vector<std::string> args = Port(sim, "/write/close");
    args.push_back(file);
    const RunResult r = RunConfigurator(dir, args, kQuick);
    EXPECT_EQ(r.exit_code, 200) << file << "\n" << r.err;
    EXPECT_LT(r.elapsed, 2s) << file;
  }
  sim.Stop();
  EXPECT_EQ(Count(ReadFile(dir / "trace.txt"), " RX "), 0u);  // no port was opened
  EXPECT_EQ(ReadFile(dir / "foreign.vesk"), "#!/bin/sh\necho not a configuration\n");
}

TEST_F(UnattendedRun, LinkCheckWithAndWithoutDevice) {
  {
    Simulator sim(dir, {"--bps", "115200"});
    const RunResult r = RunConfigurator(dir, Port(sim, "/test"), kQuick);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
  Simulator mute(dir, {"--bps", "115200", "--mute-after", "0"});
  const RunResult test = RunConfigurator(dir, Port(mute, "/test"), 30s);
  EXPECT_EQ(test.exit_code, 206) << test.err;

  // A read that gets nothing reports the silence and keeps the file that stood there.
  WriteFile(dir / "old.vesk", "old");
  std::vector<std::string> args = Port(mute, "/read/close");
  args.push_back("old.vesk");
  const RunResult read = RunConfigurator(dir, args, 30s);
  EXPECT_EQ(read.exit_code, 202) << read.err;
  EXPECT_EQ(ReadFile(dir / "old.vesk"), "old");
}

// Answers that cannot be used never end a run as a success: each failure is logged and
// chooses its exit code.
TEST_F(UnattendedRun, UnusableAnswersAndValuesChooseTheirExitCodes) {
  {
    Simulator source(dir, {"--bps", "115200"});
    std::vector<std::string> args = Port(source, "/read/close");
    args.push_back("full.vesk");
    ASSERT_EQ(RunConfigurator(dir, args, kQuick).exit_code, 0);
    ConfigurationFile file(dir / "full.vesk");
    ASSERT_EQ(file.outcome, model::LoadOutcome::Loaded);
    file.Find("FiLt", 3)->value = link::kNoData;
    file.Find("Cn.Md", 5)->value = link::kNoData;
    ASSERT_TRUE(file.Save(dir / "gaps.vesk"));
  }
  struct Case {
    std::vector<std::string> sim;
    std::string keys;
    std::string file;
    int exit_code;
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {{"--bad-data", "1"},
       "/read/close",
       "out.vesk",
       203,
       {link::kTextUndecodable, "(Непонятная длина ответа:"}},
      {{"--bare-error", "1"}, "/read/close", "out.vesk", 204, {link::kTextErrorWithoutCode}},
      {{},
       "/write/close",
       "gaps.vesk",
       207,
       {"FiLt:3 - Значение не записанно", "Cn.Md:5 - Значение не записанно"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exit_code);
    std::vector<std::string> sim_args = {"--bps", "115200"};
    sim_args.insert(sim_args.end(), c.sim.begin(), c.sim.end());
    Simulator sim(dir, sim_args);
    std::vector<std::string> args = Port(sim, c.keys + "/elog:errors.log");
    args.push_back(c.file);
    const RunResult r = RunConfigurator(dir, args, 30s);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const std::string log = ReadFile(dir / "errors.log");
    for (const std::string& text : c.logged) EXPECT_NE(log.find(text), std::string::npos) << text;
  }
  // Only the two parameters without a value were left out.
  EXPECT_EQ(Count(ReadFile(dir / "errors.log"), "\n"), 2u);
}

// A stop-bit key that is not a number is read as 0 and said so; the port refuses it.
TEST_F(UnattendedRun, StopBitsThatAreNoNumber) {
  Simulator sim(dir, {"--bps", "115200"});
  const RunResult r = RunConfigurator(dir, Port(sim, "/sbit:abc/test"), kQuick);
  EXPECT_EQ(r.exit_code, 201) << r.err;
  EXPECT_NE(r.err.find("sbit:abc"), std::string::npos) << r.err;
}

TEST_F(UnattendedRun, ExitEventAndSigtermCancelARead) {
  // Late answers make the read last some seconds.
  Simulator sim(dir, {"--bps", "115200", "--late-ms", "15", "--trace", dir / "trace.txt"});
  const std::string name = "vesk-test-exit-" + std::to_string(::getpid());
  for (const bool by_signal : {false, true}) {
    WriteFile(dir / "old.vesk", "old");
    std::vector<std::string> args = Port(sim, "/read/close/exitevent:" + name);
    args.push_back("old.vesk");
    Process p(BinPath("vesk-configurator"), args, dir.path(), "configurator");
    // Wait until the read is under way.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    const size_t frames_before = Count(ReadFile(dir / "trace.txt"), " RX ");
    while (Count(ReadFile(dir / "trace.txt"), " RX ") < frames_before + 20 &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(20ms);
    const auto asked = std::chrono::steady_clock::now();
    if (by_signal) {
      p.Signal(SIGTERM);
    } else {
      sem_t* s = sem_open(("/" + name).c_str(), 0);
      ASSERT_NE(s, SEM_FAILED);
      sem_post(s);
      sem_close(s);
    }
    const RunResult r = p.Wait(20s);
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_EQ(r.exit_code, 205) << (by_signal ? "SIGTERM" : "exit event") << "\n" << r.err;
    EXPECT_LT(took, 2s);
    EXPECT_EQ(ReadFile(dir / "old.vesk"), "old");  // a cancelled read is not saved over it
    // The semaphore the program made is gone with it.
    sem_t* left = sem_open(("/" + name).c_str(), 0);
    EXPECT_EQ(left, SEM_FAILED);
    if (left != SEM_FAILED) sem_close(left);
  }
}

TEST_F(UnattendedRun, PortKeysAreAppliedAndSilentOpensNoPort) {
  Simulator sim(dir, {"--bps", "115200", "--trace", dir / "trace.txt"});
  const RunResult r = RunConfigurator(dir, {"--port=" + sim.pty(), "/silent/test"}, kQuick);
  EXPECT_EQ(r.exit_code, 206);  // the link was not checked
  EXPECT_TRUE(r.err.empty()) << r.err;

  const RunResult keys = RunConfigurator(dir, {"/port:3/bps:9600/prty:even/silent/close"}, kQuick);
  EXPECT_EQ(keys.exit_code, 206) << keys.err;  // not 201: no port was opened
  sim.Stop();
  EXPECT_EQ(Count(ReadFile(dir / "trace.txt"), " RX "), 0u);
  platform::SettingsStore store(dir / "config/LORN/settings.ini");
  EXPECT_EQ(store.ReadDword(platform::kSettingsKey, "port_number", 0), 3u);
  EXPECT_EQ(store.ReadDword(platform::kSettingsKey, "baud_rate", 0), 9600u);
  EXPECT_EQ(store.ReadDword(platform::kSettingsKey, "parity_scheme", 0), 1u);
  EXPECT_FALSE(store.ReadText(platform::kSettingsKey, "port_path").has_value());
}

TEST_F(UnattendedRun, KeyCombinationsEndInTime) {
  Simulator sim(dir, {"--bps", "115200"});
  WriteFile(dir / "both.vesk", "keep");
  struct Case {
    std::string keys;
    const char* file;
    int code;
  } cases[] = {
      {"/read/write/close", "both.vesk", 1},  // contradictory: nothing is done
      {"/calibrate", nullptr, 1},             // nothing calibrates; the run still ends
      {"/close", nullptr, 0},                 // no task: the run ends after the link check
      {"/port:0", nullptr, 0},                // port 0 is no port: the given one stays
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = Port(sim, c.keys);
    if (c.file) args.push_back(c.file);
    const RunResult r = RunConfigurator(dir, args, kQuick);
    EXPECT_EQ(r.exit_code, c.code) << c.keys << "\n" << r.err;
    EXPECT_FALSE(r.timed_out) << c.keys;
  }
  EXPECT_EQ(ReadFile(dir / "both.vesk"), "keep");
}

TEST_F(UnattendedRun, ScriptActions) {
  Simulator sim(dir, {"--bps", "115200", "--dump", dir / "dump.txt"});
  const std::vector<std::string> port{"--port=" + sim.pty(), "--bps=115200"};
  std::vector<std::string> args = port;
  args.insert(args.end(), {"--get=FiLt:3", "--set=FiLt:3=250", "--get=bPS"});
  const RunResult r = RunConfigurator(dir, args, kQuick);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "10\n250\n115200\n");
  EXPECT_NE(r.err.find("Нет ошибок"), std::string::npos);

  args = port;
  args.push_back("--get=NoSuch");
  EXPECT_EQ(RunConfigurator(dir, args, kQuick).exit_code, 1);
  args = port;
  args.push_back("--set=FiLt:3=99999");  // refused by the device
  EXPECT_EQ(RunConfigurator(dir, args, kQuick).exit_code, 204);
  // An address beyond an 8-bit address length is refused before anything is sent, with
  // the text that in-place editing shows.
  args = port;
  args.push_back("--set=Addr=300");
  const RunResult refused = RunConfigurator(dir, args, kQuick);
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find(model::kForbiddenCombinationsText), std::string::npos) << refused.err;
  sim.Stop();
  EXPECT_EQ(DumpValue(ReadFile(dir / "dump.txt"), "FiLt", "3"), "250");

  EXPECT_EQ(RunConfigurator(dir, {"--print=missing.vesk"}, kQuick).exit_code, 1);
}

TEST_F(UnattendedRun, HtmlExportBesideTheRun) {
  const RunResult r = RunConfigurator(dir, {"--export-html"}, kQuick);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string bytes = ReadFile(dir / "parlist.html");
  const std::string page = platform::Cp1251ToUtf8(bytes);
  EXPECT_NE(page.find("<b>Входы\\Вход №...</b>"), std::string::npos);
  EXPECT_EQ(Count(page, "<td>FiLt\t</td>"), 1u);
  // The fixed fragment installed beside the program.
  EXPECT_NE(page.find("Список оперативных параметров"), std::string::npos);
  EXPECT_NE(page.find("Форматы представления данных:"), std::string::npos);
  EXPECT_NE(page.find("\t<td>r.Cou</td>"), std::string::npos);

  EXPECT_EQ(RunConfigurator(dir, {"--export-html=sub/list.html"}, kQuick).exit_code, 1);
  ASSERT_EQ(RunConfigurator(dir, {"--export-html=list.html"}, kQuick).exit_code, 0);
  EXPECT_EQ(ReadFile(dir / "list.html"), bytes);
}

TEST_F(UnattendedRun, InformationAndInteractiveStarts) {
  const RunResult help = RunConfigurator(dir, {"--help"}, kQuick);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("exitevent"), std::string::npos);
  EXPECT_NE(help.out.find("SIGTERM"), std::string::npos);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"--no-gui", "some.vesk"}}) {
    const RunResult r = RunConfigurator(dir, args, kQuick);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("нет дисплея"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace vesk::app::test
