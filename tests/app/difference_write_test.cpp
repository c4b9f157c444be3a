// --write-differences against vesk-sim: only what differs is written, a second run writes
// nothing, a dry run leaves the device alone, and a refusal names the parameter.

#include <gtest/gtest.h>

#include <string>

#include "app/difference_write.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

// A parameter line of the configuration JSON for input `index` (0-based) of branch "Вход".
std::string InputLine(const std::string& name, int index, const std::string& value) {
  return "{\"path\":\"Входы/Вход №" + std::to_string(index + 1) + "\",\"name\":\"" + name +
         "\",\"index\":" + std::to_string(index) + ",\"value\":\"" + value +
         "\",\"editable\":true,\"owner\":\"user\",\"note\":\"\",\"changed\":[]}";
}

std::string Configuration(const std::string& lines) {
  return "{\"format\":\"vesk-configuration\",\"version\":1,\"device_kind\":3,\"parameters\":[" +
         lines + "]}\n";
}

// The FiLt of input `index` as the simulator's dump holds it.
std::string DumpedFilter(const std::string& dump, int index) {
  const std::string key = "FiLt\t" + std::to_string(index) + "\t";
  const size_t at = dump.find(key);
  if (at == std::string::npos) return "<none>";
  const size_t eol = dump.find('\n', at);
  const std::string line = dump.substr(at, eol - at);
  return line.substr(line.rfind('\t') + 1);
}

class DifferenceWrite : public ::testing::Test {
 protected:
  RunResult Run(const std::string& pty, const std::string& file, bool dry_run = false) {
    std::vector<std::string> args{"--no-gui", "--port=" + pty, "/bps:115200",
                                  "--write-differences"};
    if (dry_run) args.push_back("--dry-run");
    args.push_back(file);
    return RunConfigurator(dir, args, 30s);
  }
  TempDir dir;
};

TEST_F(DifferenceWrite, WritesOnlyWhatDiffersThenNothing) {
  // The device holds 10 in FiLt:0 and 20 in FiLt:1.
  WriteFile(dir / "state.txt", "FiLt\t0\t-\t3\t10\nFiLt\t1\t-\t3\t20\n");
  Simulator sim(dir, {"--bps", "115200", "--state", dir / "state.txt", "--dump", dir / "dump.txt"});
  // Neither the network address nor the device's own report (its version) is written.
  const std::string version =
      "{\"path\":\"Идентификация и диагностика\",\"name\":\"ver\",\"index\":null,"
      "\"value\":\"9.99\",\"editable\":true,\"owner\":\"user\",\"note\":\"\",\"changed\":[]}";
  const std::string addr =
      "{\"path\":\"Сетевые параметры\",\"name\":\"Addr\",\"index\":null,\"value\":\"7\","
      "\"editable\":true,\"owner\":\"user\",\"note\":\"\",\"changed\":[]}";
  WriteFile(dir / "site.json",
            Configuration(InputLine("FiLt", 0, "25") + "," + InputLine("FiLt", 1, "20") + "," +
                          addr + "," + version));
  const std::string expected = "Входы/Вход №1\tFiLt:0\t10\t25\n";

  const RunResult dry = Run(sim.pty(), dir / "site.json", true);
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out, expected);
  const RunResult first = Run(sim.pty(), dir / "site.json");
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.out, expected);
  const RunResult second = Run(sim.pty(), dir / "site.json");
  EXPECT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.out, "");

  sim.Stop();
  const std::string dump = ReadFile(dir / "dump.txt");
  EXPECT_EQ(DumpedFilter(dump, 0), "25");
  EXPECT_EQ(DumpedFilter(dump, 1), "20");
  EXPECT_NE(dump.find("Addr\t-\t"), std::string::npos);
  EXPECT_EQ(dump.find("Addr\t-\t7"), std::string::npos) << "the address was written";
}

TEST_F(DifferenceWrite, RefusedParameterIsNamedAndTheRestWritten) {
  // FiLt:1 is read-only and the maker's (attributes 0): the device refuses a new value.
  WriteFile(dir / "state.txt", "FiLt\t0\t-\t3\t10\nFiLt\t1\t-\t0\t20\n");
  Simulator sim(dir, {"--bps", "115200", "--state", dir / "state.txt", "--dump", dir / "dump.txt"});
  WriteFile(dir / "site.json",
            Configuration(InputLine("FiLt", 0, "25") + "," + InputLine("FiLt", 1, "40")));

  const RunResult run = Run(sim.pty(), dir / "site.json");
  EXPECT_EQ(run.exit_code, 204) << run.err;
  EXPECT_EQ(run.out, "Входы/Вход №1\tFiLt:0\t10\t25\n");
  EXPECT_NE(run.err.find(std::string(kDifferenceNotWrittenText) + " Входы/Вход №2\tFiLt:1"),
            std::string::npos)
      << run.err;

  sim.Stop();
  const std::string dump = ReadFile(dir / "dump.txt");
  EXPECT_EQ(DumpedFilter(dump, 0), "25");
  EXPECT_EQ(DumpedFilter(dump, 1), "20");
}

}  // namespace
}  // namespace vesk::app::test
