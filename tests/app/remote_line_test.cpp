// The configurator through the real ser2net to the simulator's terminal, raw TCP and RFC
// 2217: the same read as a direct one, the rate set on the remote line, and a server that
// goes in the middle of a read.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "exchange/ser2net_process.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;
using vesk::test::Ser2netPath;
using vesk::test::Ser2netProcess;

std::string Name(const Ser2netProcess& server, bool rfc2217) {
  return rfc2217 ? server.Rfc2217Name() : server.RawName();
}

void DropTerminalInput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  ::tcflush(fd, TCIFLUSH);
  ::close(fd);
}

class RemoteLine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Ser2netPath().empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
  }
  TempDir dir;
};

TEST_F(RemoteLine, ReadAllThroughSer2netEqualsTheDirectRead) {
  Simulator sim(dir, {"--bps", "115200"});
  for (bool rfc2217 : {false, true}) {
    // One server for each, so that neither finds the device still held by the other.
    Ser2netProcess server(dir.path(), sim.pty(), "115200n81");
    ASSERT_TRUE(server.Ok()) << server.error();
    const std::string file = rfc2217 ? "rfc2217.vesk" : "raw.vesk";
    const RunResult r =
        RunConfigurator(dir, {"--port=" + Name(server, rfc2217), "/bps:115200/read/close", file});
    ASSERT_EQ(r.exit_code, 0) << Name(server, rfc2217) << "\n" << r.out << r.err;
  }
  const RunResult direct =
      RunConfigurator(dir, {"--port=" + sim.pty(), "/bps:115200/read/close", "direct.vesk"});
  ASSERT_EQ(direct.exit_code, 0) << direct.err;
  const std::string expected = RunConfigurator(dir, {"--print=direct.vesk"}).out;
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(RunConfigurator(dir, {"--print=raw.vesk"}).out, expected);
  EXPECT_EQ(RunConfigurator(dir, {"--print=rfc2217.vesk"}).out, expected);
}

TEST_F(RemoteLine, RateSetOverRfc2217ReachesTheSimulatorsLine) {
  // The device at 9600, the server's line at 115200 until a client sets it.
  Simulator sim(dir, {"--bps", "9600", "--trace", "sim.trace"});
  {
    Ser2netProcess server(dir.path(), sim.pty(), "115200n81");
    ASSERT_TRUE(server.Ok()) << server.error();
    const RunResult r =
        RunConfigurator(dir, {"--port=" + server.Rfc2217Name(), "--bps=9600", "--get=dev"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "VESK\n");
  }
  EXPECT_EQ(ReadFile(dir / "sim.trace").find("ignored: line"), std::string::npos);
  // Raw TCP leaves the rate to the server: the device hears 115200 and keeps silent.
  Ser2netProcess server(dir.path(), sim.pty(), "115200n81");
  ASSERT_TRUE(server.Ok()) << server.error();
  const RunResult raw =
      RunConfigurator(dir, {"--port=" + server.RawName(), "--bps=9600", "--get=dev"});
  EXPECT_NE(raw.exit_code, 0);
  EXPECT_NE(ReadFile(dir / "sim.trace").find("ignored: line 115200/1, device 9600/1"),
            std::string::npos);
}

TEST_F(RemoteLine, Ser2netKilledInTheMiddleOfAReadEndsItWithTheReason) {
  // Slowed down, so that the read is still going when the server goes.
  Simulator sim(dir, {"--bps", "115200", "--late-ms", "20"});
  for (bool rfc2217 : {false, true}) {
    auto server = std::make_unique<Ser2netProcess>(dir.path(), sim.pty(), "115200n81");
    ASSERT_TRUE(server->Ok()) << server->error();
    const std::string name = Name(*server, rfc2217);
    Process read(BinPath("vesk-configurator"),
                 {"--port=" + name, "/bps:115200/read/close/elog:cut.log", "cut.vesk"}, dir.path(),
                 "cut");
    std::this_thread::sleep_for(600ms);
    server->Kill();
    const RunResult cut = read.Wait(20s);
    EXPECT_FALSE(cut.timed_out) << name;
    EXPECT_GE(cut.exit_code, 200) << cut.err;
    const std::string log = ReadFile(dir / "cut.log");
    EXPECT_NE(log.find("Порт " + name + " потерян: "), std::string::npos) << log;

    // The answer to the request the server took with it waits in the terminal, and
    // ser2net hands a device's old input to the next client; a line that a client has
    // just set up has none.
    DropTerminalInput(sim.pty());

    // Back on the same ports: the next command connects.
    server = std::make_unique<Ser2netProcess>(dir.path(), sim.pty(), "115200n81",
                                              server->raw_port(), server->telnet_port());
    ASSERT_TRUE(server->Ok()) << server->error();
    const RunResult again = RunConfigurator(dir, {"--port=" + name, "--bps=115200", "--get=dev"});
    EXPECT_EQ(again.exit_code, 0) << again.err;
  }
}

}  // namespace
}  // namespace vesk::app::test
