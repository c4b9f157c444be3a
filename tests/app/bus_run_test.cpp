// The work on a whole line as another program sees it: --scan against several simulated
// devices, and --addresses reading and writing each device of a list in turn.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

// The addresses of the bus scan's lines, and whether every line has its four fields.
std::vector<int> BusScanAddresses(const std::string& out, bool& well_formed) {
  std::vector<int> addresses;
  std::istringstream lines(out);
  std::string line;
  well_formed = true;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cut(line);
    for (std::string f; std::getline(cut, f, '\t');) fields.push_back(f);
    well_formed = well_formed && fields.size() == 4 && fields[1] == "VESK" && fields[2] == "1.02";
    addresses.push_back(std::stoi(fields.at(0)));
  }
  return addresses;
}

struct BusScanCase {
  const char* name;
  std::vector<std::string> sim_args;
  const char* range;
  std::vector<int> found;
  int exit_code;
};

void PrintTo(const BusScanCase& c, std::ostream* os) {
  *os << c.name;
}

class BusScan : public ::testing::TestWithParam<BusScanCase> {};

TEST_P(BusScan, FindsExactlyTheDevicesOnTheLine) {
  const BusScanCase& c = GetParam();
  TempDir dir;
  std::vector<std::string> sim_args = {"--bps", "115200", "--line-timing"};
  sim_args.insert(sim_args.end(), c.sim_args.begin(), c.sim_args.end());
  Simulator sim(dir, sim_args);
  const RunResult r = RunConfigurator(
      dir, {"--port=" + sim.pty(), "--bps=115200", std::string("--scan=") + c.range}, 60s);
  ASSERT_EQ(r.exit_code, c.exit_code) << r.err;
  bool well_formed = false;
  EXPECT_EQ(BusScanAddresses(r.out, well_formed), c.found) << r.out;
  EXPECT_TRUE(well_formed) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BusScan,
    ::testing::Values(BusScanCase{"three_devices", {"--devices=16,17,40"}, "0-63", {16, 17, 40}, 0},
                      BusScanCase{"mute_line", {"--mute-after", "0"}, "0-31", {}, 206},
                      // Answers 60 ms late: far beyond the short wait, within the full one.
                      BusScanCase{
                          "slow_device", {"--devices=30", "--late-ms", "60"}, "0-63", {30}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BusScanTrace, EveryQuestionIsTracedAndCounted) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200", "--line-timing", "--devices=16,17"});
  const RunResult r = RunConfigurator(
      dir, {"--port=" + sim.pty(), "--bps=115200", "--scan=14-18", "--trace=-", "--stats"}, 30s);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {">\t14\t#GUHGTMOHUNOL\tчтение dev", "!\t15\t\tdev: Таймаут",
                           "<\t16\t#HGHKTMOHLMKLLJKRVRPH\tdev = VESK", "<\t17\t", "ver = 1.02"})
    EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
  // The statistics count every question the trace shows (at least the five addresses,
  // the devices' two timing repeats, the full-wait sample and both versions) as the bus
  // scan's, none as the line's requests.
  size_t sent = 0;
  for (size_t at = r.err.find("\t>\t"); at != std::string::npos; at = r.err.find("\t>\t", at + 1))
    ++sent;
  EXPECT_GE(sent, 14u);
  EXPECT_NE(r.err.find("вопросов " + std::to_string(sent) + ", найдено адресов 2\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Запросов: 0\n"), std::string::npos) << r.err;
}

TEST(BusScanLostPort, EndsTheScanAtOnceWithTheReasonAndCode201) {
  TempDir dir;
  auto sim = std::make_unique<Simulator>(dir, std::vector<std::string>{"--bps", "115200"});
  const std::string pty = sim->pty();
  // Eleven-bit addresses: the whole range would take many seconds of silence.
  Process scan(BinPath("vesk-configurator"),
               {"--port=" + pty, "--bps=115200", "--alen=11", "--scan=0-2047"}, dir.path(), "scan");
  std::this_thread::sleep_for(700ms);
  const auto gone = std::chrono::steady_clock::now();
  sim.reset();
  const RunResult r = scan.Wait(30s);
  EXPECT_EQ(r.exit_code, 201) << r.err;
  EXPECT_NE(r.err.find("--scan: Порт " + pty + " потерян: "), std::string::npos) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - gone, 3s);
}

TEST(BusScanRange, BeyondTheAddressLengthIsRefused) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200"});
  const RunResult r =
      RunConfigurator(dir, {"--port=" + sim.pty(), "--bps=115200", "--scan=250-300"}, 10s);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("0 ... 255"), std::string::npos) << r.err;
}

// One line of --print for parameter `name` at `index`: "...\tNAME\tINDEX\tVALUE\t...".
std::string PrintedValue(const TempDir& dir, const std::string& file, const std::string& name,
                         const std::string& index) {
  const RunResult print = RunConfigurator(dir, {"--print=" + file}, 10s);
  const std::string key = "\t" + name + "\t" + index + "\t";
  size_t at = print.out.find(key);
  if (at == std::string::npos) return "<missing>";
  at += key.size();
  return print.out.substr(at, print.out.find('\t', at) - at);
}

TEST(SeveralAddresses, ReadThenWriteEachDeviceOnItsOwn) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200", "--devices=16,17"});
  const std::string port = "--port=" + sim.pty();

  // Address 18 has no device: it fails alone, and its code is the process's.
  RunResult read = RunConfigurator(
      dir, {port, "/bps:115200/read/close", "--addresses=16-18", "conf_%a.vesk"}, 90s);
  EXPECT_GE(read.exit_code, 200) << read.err;
  std::istringstream lines(read.out);
  std::string l16, l17, l18;
  std::getline(lines, l16);
  std::getline(lines, l17);
  std::getline(lines, l18);
  EXPECT_EQ(l16.rfind("16\t0\t", 0), 0u) << read.out;
  EXPECT_EQ(l17.rfind("17\t0\t", 0), 0u) << read.out;
  EXPECT_EQ(l18.rfind("18\t" + std::to_string(read.exit_code) + "\t", 0), 0u) << read.out;
  EXPECT_FALSE(FileExists(dir / "conf_18.vesk"));
  // Each file holds its own device's values (the simulator seeds them by address).
  const std::string v16 = PrintedValue(dir, "conf_16.vesk", "Cn.K", "0");
  const std::string v17 = PrintedValue(dir, "conf_17.vesk", "Cn.K", "0");
  EXPECT_NE(v16, "<missing>");
  EXPECT_NE(v16, v17);

  // Device 16's configuration written to both: 17 then holds 16's value.
  RunResult write = RunConfigurator(
      dir, {port, "/bps:115200/write/close", "--addresses=16,17", "conf_16.vesk"}, 90s);
  EXPECT_EQ(write.exit_code, 0) << write.err;
  EXPECT_EQ(write.out.find("16\t0\t"), 0u) << write.out;
  EXPECT_NE(write.out.find("\n17\t0\t"), std::string::npos) << write.out;
  read = RunConfigurator(dir, {port, "/bps:115200/addr:17/read/close", "again.vesk"}, 60s);
  ASSERT_EQ(read.exit_code, 0) << read.err;
  EXPECT_EQ(PrintedValue(dir, "again.vesk", "Cn.K", "0"), v16);
  // ... but keeps its own base address.
  EXPECT_EQ(PrintedValue(dir, "again.vesk", "Addr", "-"), "17");
}

}  // namespace
}  // namespace vesk::app::test
