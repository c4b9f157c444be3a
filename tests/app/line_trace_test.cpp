// --trace, --stats and --watch as a script sees them: the configurator against vesk-sim on
// a pseudo-terminal, compared with the simulator's own trace and dump.

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

// The value of NAME at INDEX ("-" without one) in a simulator dump.
std::string DumpValue(const std::string& dump, const std::string& name, const std::string& index) {
  for (const std::string& line : Lines(dump))
    if (line.rfind(name + "\t" + index + "\t", 0) == 0) return line.substr(line.rfind('\t') + 1);
  return "<none>";
}

class LineTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", TreePath().c_str(), 1);
    WriteFile(dir / "state.txt", "FiLt\t3\tB15D\t3\t77\n");
  }
  TempDir dir;
};

}  // namespace

TEST_F(LineTrace, ReadAllListsTheSimulatorsFramesDecoded) {
  Simulator sim(dir, {"--bps", "115200", "--state", dir / "state.txt", "--trace", dir / "sim.txt",
                      "--dump", dir / "dump.txt"});
  const RunResult r = RunConfigurator(
      dir,
      {"--port=" + sim.pty(), "/bps:115200/read/close", "--trace=trace.txt", "--stats", "out.vesk"},
      10s);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  sim.Stop();

  // The simulator receives what we send and sends what we receive, in the same order.
  std::vector<std::string> ours, theirs;
  size_t sent = 0, checked = 0;
  const std::string dump = ReadFile(dir / "dump.txt");
  for (const std::string& line : Lines(ReadFile(dir / "trace.txt"))) {
    const std::vector<std::string> f = Fields(line);
    ASSERT_EQ(f.size(), 5u) << line;
    ASSERT_TRUE(std::regex_match(f[0], std::regex(R"(\d+\.\d{6})"))) << line;
    ASSERT_TRUE(f[1] == ">" || f[1] == "<") << line;
    EXPECT_EQ(f[2], "16");
    ours.push_back(std::string(f[1] == ">" ? "RX" : "TX") + " \"" + f[3] + "\\r\"");
    sent += f[1] == ">";
    // "NAME:INDEX = VALUE" of a value reply agrees with the device's own record.
    std::smatch m;
    if (f[1] == "<" && std::regex_match(f[4], m, std::regex(R"(([^ :]+)(?::(\d+))? = (.*))")) &&
        m[1] != "M.s.t.r." && m[1] != "CHAr" &&
        DumpValue(dump, m[1], "-") + DumpValue(dump, m[1], "0") != "<none><none>") {
      EXPECT_EQ(m[3].str(), DumpValue(dump, m[1], m[2].matched ? m[2].str() : "-")) << line;
      ++checked;
    }
  }
  for (const std::string& line : Lines(ReadFile(dir / "sim.txt")))
    theirs.push_back(line.substr(line.find(' ') + 1, line.find("\" ") - line.find(' ')));
  EXPECT_EQ(ours, theirs);
  EXPECT_GT(checked, 100u);
  EXPECT_NE(ReadFile(dir / "trace.txt").find("\tFiLt:3 = 77\n"), std::string::npos);
  EXPECT_NE(r.err.find("Запросов: " + std::to_string(sent) + "\n"), std::string::npos) << r.err;
}

TEST_F(LineTrace, FaultsShowAsFailuresWithTheirReason) {
  const struct {
    const char* fault;
    const char* reason;
    const char* counter;
    bool retried;  // a time-out is tried again, a spoilt reply is not
  } cases[] = {
      {"--drop", "\t!\t16\t\tFiLt:3: Таймаут при передаче данных", "Таймаутов: ", true},
      {"--corrupt", "\t!\t16\t#", "Ошибок контрольной суммы: ", false},
  };
  for (const auto& c : cases) {
    Simulator sim(dir, {"--bps", "115200", c.fault, "0.5", "--state", dir / "state.txt"});
    const RunResult r =
        RunConfigurator(dir,
                        {"--port=" + sim.pty(), "--bps=115200", "--get=FiLt:3", "--get=FiLt:3",
                         "--get=FiLt:3", "--get=FiLt:3", "--trace=-", "--stats"},
                        20s);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.fault << "\n" << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(std::string(c.counter) + "[1-9]")))
        << c.fault << "\n"
        << r.err;
    EXPECT_EQ(r.err.find(", попытка 2") != std::string::npos, c.retried) << c.fault;
    if (!c.retried) {
      EXPECT_TRUE(std::regex_search(
          r.err, std::regex("\t!\t16\t#[^\t]*\tFiLt:3: Ошибка в контрольной сумме ответа\n")))
          << r.err;
    }
  }
}

TEST_F(LineTrace, WatchWritesOneRowPerRoundUntilTheSignal) {
  Simulator sim(dir, {"--bps", "115200", "--state", dir / "state.txt"});
  const std::vector<std::string> keys = {"--port=" + sim.pty(), "--bps=115200",
                                         "--watch=FiLt:3,bPS,nOnE", "--period=100"};
  std::vector<std::string> counted = keys;
  counted[2] = "--watch=FiLt:3,bPS";
  counted.push_back("--count=3");
  const RunResult r = RunConfigurator(dir, counted, 10s);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> rows = Lines(r.out);
  ASSERT_EQ(rows.size(), 4u) << r.out;
  EXPECT_EQ(rows[0], "time,FiLt:3,bPS");
  for (size_t i = 1; i < rows.size(); ++i)
    EXPECT_TRUE(std::regex_match(
        rows[i], std::regex(R"(\d{4}-\d\d-\d\dT[0-9:.]{12}[+-]\d\d:\d\d,77,115200)")))
        << rows[i];

  // An undescribed name is refused before anything is sent.
  EXPECT_EQ(RunConfigurator(dir, keys, 10s).exit_code, 1);

  // Without --count the rounds go on until SIGTERM, which ends the run as a cancel.
  counted.pop_back();
  Process watch(BinPath("vesk-configurator"), counted, dir.path(), "watch");
  for (int i = 0; i < 100 && Lines(ReadFile(watch.out_path())).size() < 3; ++i)
    std::this_thread::sleep_for(50ms);
  watch.Signal(SIGTERM);
  const RunResult ended = watch.Wait(10s);
  EXPECT_EQ(ended.exit_code, 205) << ended.err;
  EXPECT_GE(Lines(ended.out).size(), 3u);
}

TEST_F(LineTrace, WatchGoesOnWhenTheLostPortIsBack) {
  const std::string by_id = dir / "tty-by-id";
  const std::vector<std::string> sim_args = {"--bps",           "115200", "--state",
                                             dir / "state.txt", "--link", by_id};
  auto sim = std::make_unique<Simulator>(dir, sim_args);
  Process watch(BinPath("vesk-configurator"),
                {"--port=" + by_id, "--bps=115200", "--watch=FiLt:3", "--period=50"}, dir.path(),
                "watch");
  const auto rows = [&] { return Lines(ReadFile(watch.out_path())); };
  const auto wait_for = [&](auto done) {
    for (int i = 0; i < 200 && !done(); ++i) std::this_thread::sleep_for(50ms);
  };
  wait_for([&] { return rows().size() >= 3; });
  sim->Stop();
  sim.reset();
  // Rows of the gap have an empty field; once the device is back on the same name, the
  // value comes again without a restart of the watch.
  wait_for([&] {
    const auto r = rows();
    return !r.empty() && r.back().ends_with(",");
  });
  sim = std::make_unique<Simulator>(dir, sim_args);
  const size_t back_from = rows().size();
  wait_for([&] {
    const auto r = rows();
    return r.size() > back_from && r.back().ends_with(",77");
  });
  watch.Signal(SIGTERM);
  watch.Wait(10s);
  const std::vector<std::string> all = rows();
  ASSERT_GT(all.size(), back_from);
  EXPECT_TRUE(all.back().ends_with(",77")) << ReadFile(watch.out_path());
}

}  // namespace vesk::app::test
