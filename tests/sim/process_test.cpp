// vesk-sim as an engineer starts it: the terminal's path on the first line, the link,
// a clean exit on SIGTERM with the dump and state written, the options refused, and a
// configurator that comes and goes.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim_test_support.h"

extern char** environ;

namespace vesk::sim::test {
namespace {

std::string SimBinary() {
  return std::string(VESK_BIN_DIR) + "/vesk-sim";
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "vesk_sim_" + std::to_string(getpid()) + "_" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The simulator as a child process with its stdout on a pipe.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string binary = SimBinary();
    std::vector<char*> argv{binary.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string tree = "VESK_TREE_DAT=" + TreePath();
    std::vector<char*> env{tree.data()};
    for (char** e = environ; *e; ++e)
      if (std::string_view(*e).substr(0, 14) != "VESK_TREE_DAT=") env.push_back(*e);
    env.push_back(nullptr);
    int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + binary);
    out_ = fdopen(out[0], "r");
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
  }

  // The first line of stdout (empty when the process ended without one).
  std::string FirstLine() {
    char buf[512];
    if (!fgets(buf, sizeof buf, out_)) return {};
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }

  // Signals and waits; returns the exit code, or -1 after a signal death.
  int Stop(int sig = SIGTERM) {
    kill(pid_, sig);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // CPU time used so far, in clock ticks.
  long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
};

TEST(Process, ServesThePrintedTerminalAndExitsZeroOnSigterm) {
  std::string link_path = TempPath("link");
  std::string dump = TempPath("dump");
  SimProcess sim({"--link", link_path, "--dump", dump, "--bps", "115200"});
  std::string path = sim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  char target[256] = {};
  ASSERT_GT(readlink(link_path.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(path, target);
  {
    Client client(link_path, 115200);
    auto p = Client::Parameter("FiLt", 4);
    ASSERT_EQ(client.Write(*p, "123"), link::kExchangeOk) << p->note;
  }
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  struct stat st;
  EXPECT_NE(lstat(link_path.c_str(), &st), 0);  // the link goes with the simulator
  std::string text = ReadFile(dump);
  EXPECT_NE(text.find("FiLt\t4\tB15D\t3\t123\n"), std::string::npos);
  EXPECT_NE(text.find("bPS\t-\tB760\t3\t115200\n"), std::string::npos);
  EXPECT_NE(text.find("r.oe\t7\tE894\t-\t0.000\n"), std::string::npos);
  std::remove(dump.c_str());
}

TEST(Process, StateSurvivesARestart) {
  std::string state = TempPath("state");
  std::remove(state.c_str());
  {
    SimProcess sim({"--state", state, "--bps", "115200"});
    Client client(sim.FirstLine(), 115200);
    auto name = Client::Parameter("CHAr*");
    ASSERT_EQ(client.Write(*name, "V.1"), link::kExchangeOk);
    auto k = Client::Parameter("Cn.K", 2);
    ASSERT_EQ(client.Write(*k, "3.25"), link::kExchangeOk);
    EXPECT_EQ(sim.Stop(SIGINT), 0);
  }
  EXPECT_NE(ReadFile(state).find("CHAr*\t-\t3628\t-\tV.1  \n"), std::string::npos);
  {
    SimProcess sim({"--state", state, "--bps", "115200"});
    Client client(sim.FirstLine(), 115200);
    EXPECT_EQ(client.ReadValue("Cn.K", 2), "3.250");
    auto name = Client::Parameter("CHAr*");
    ASSERT_EQ(client.Read(*name), link::kExchangeOk);
    EXPECT_EQ(name->value, "V.1  ");
    EXPECT_EQ(sim.Stop(), 0);
  }
  std::remove(state.c_str());
}

TEST(Process, BadStateFileIsRefusedWithItsLine) {
  std::string state = TempPath("bad_state");
  std::ofstream(state) << "# comment\nFiLt\t0\tB15D\t3\t5000\n";
  SimProcess sim({"--state", state});
  EXPECT_EQ(sim.FirstLine(), "");
  EXPECT_EQ(sim.Wait(), 1);
  std::remove(state.c_str());
}

TEST(Process, OptionsAreCheckedBeforeAnythingStarts) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--bps", "1234"},
                                        {"--drop", "2"},
                                        {"--protocol", "canbus"},
                                        {"--unknown"},
                                        {"--dev"}}) {
    SimProcess sim(args);
    EXPECT_EQ(sim.FirstLine(), "");
    EXPECT_EQ(sim.Wait(), 2) << args[0];
  }
  SimProcess help({"--help"});
  EXPECT_EQ(help.FirstLine(), "Usage: vesk-sim [options]");
  EXPECT_EQ(help.Wait(), 0);
}

TEST(Process, ConfiguratorMayCloseAndComeBackWithoutTheSimulatorSpinning) {
  SimProcess sim({"--bps", "115200"});
  std::string path = sim.FirstLine();
  for (int round = 0; round < 3; ++round) {
    Client client(path, 115200);
    ASSERT_EQ(client.ReadValue("dev"), "VESK") << round;
  }
  long before = sim.CpuTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LE(sim.CpuTicks() - before, 5);  // idle, not looping on a hang-up
  // Noise and broken frames between requests do not stop it.
  {
    Client client(path, 115200);
    FILE* raw = fopen(path.c_str(), "w");
    ASSERT_TRUE(raw);
    fputs("\x01\x02garbage#GHIJ\r#\r####ZZZZ\r\n%%::\r\n", raw);
    for (int i = 0; i < 100; ++i) fputc('#', raw);
    fclose(raw);
    EXPECT_EQ(client.ReadValue("dev"), "VESK");
  }
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(Process, TraceRecordsBothDirections) {
  std::string trace = TempPath("trace");
  SimProcess sim({"--trace", trace, "--bps", "115200"});
  {
    Client client(sim.FirstLine(), 115200);
    ASSERT_EQ(client.ReadValue("A.Len"), "8");
  }
  EXPECT_EQ(sim.Stop(), 0);
  std::string text = ReadFile(trace);
  // The attribute request, then the value request, each received and answered.
  EXPECT_NE(text.find(" RX \"#"), std::string::npos) << text;
  EXPECT_NE(text.find("\\r\" addr=16 flag=1 hash=5EA0 index=- data=1E D2"), std::string::npos)
      << text;
  EXPECT_NE(text.find(" TX \"#"), std::string::npos);
  EXPECT_NE(text.find("hash=1ED2 index=- data=00"), std::string::npos) << text;
  std::remove(trace.c_str());
}

}  // namespace
}  // namespace vesk::sim::test
