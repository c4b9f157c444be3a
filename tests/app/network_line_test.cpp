// A line reached over TCP: the configurator with --port=tcp://127.0.0.1:PORT against the
// simulator listening there (vesk-sim --tcp).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "process_support.h"

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

TEST(NetworkLine, RawTcpReadsTheDeviceAndEndsWhenTheServerGoes) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200", "--tcp", "0", "--devices=16,17"});
  ASSERT_EQ(sim.pty().rfind("tcp://127.0.0.1:", 0), 0u) << sim.pty();
  const std::string port = "--port=" + sim.pty();

  RunResult r = RunConfigurator(dir, {port, "--bps=115200", "--addr=17", "--get=Addr"}, 20s);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "17\n");
  r = RunConfigurator(dir, {port, "/bps:115200/read/close", "whole.vesk"}, 60s);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(FileExists(dir / "whole.vesk"));

  // The server goes in the middle of a read (slowed down so that it is one): the task
  // ends with a failure, soon.
  Simulator slow(dir, {"--bps", "115200", "--tcp", "0", "--late-ms", "30"});
  Process read(BinPath("vesk-configurator"),
               {"--port=" + slow.pty(), "/bps:115200/read/close", "cut.vesk"}, dir.path(), "cut");
  std::this_thread::sleep_for(500ms);
  slow.Stop();
  const RunResult cut = read.Wait(30s);
  EXPECT_FALSE(cut.timed_out);
  EXPECT_GE(cut.exit_code, 200) << cut.err;
}

TEST(NetworkLine, NobodyListeningIsAnOpenFailure) {
  TempDir dir;
  // Port 1 on the loopback: refused at once.
  const RunResult r =
      RunConfigurator(dir, {"--port=tcp://127.0.0.1:1", "--bps=115200", "--get=Addr"}, 20s);
  EXPECT_EQ(r.exit_code, 201) << r.err;
  EXPECT_NE(r.err.find("tcp://127.0.0.1:1"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vesk::app::test
