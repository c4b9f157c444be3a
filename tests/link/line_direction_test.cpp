// The order in which a send drives the line, seen through a recording stand-in for the
// port's line calls: what only a real RS-485 line would show (the direction switched
// after the last character has left, the reply wait started after the request has left).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/port_write.h"
#include "link/serial_port.h"
#include "recording_port_io.h"
#include "scripted_peer.h"

namespace vesk::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Calls = std::vector<std::string>;

constexpr std::string_view kRequest = "#GGGGGGGGGGGG\r";  // 14 characters

class LineDirection : public ::testing::Test {
 protected:
  void SetUp() override {
    peer.set_fallback(test::SendText("#GGGGGGGGGGGG\r"));
    peer.Start();
    port.settings().port_name = peer.slave_path();
    port.settings().baud_rate = 115200;  // reply wait 110 ms
  }
  void TearDown() override { peer.Stop(); }

  PortResult Send(int mode) {
    port.set_converter_mode(mode);
    Reply reply;
    return port.SendReceive(kRequest, reply, FrameEnd::CarriageReturn);
  }

  test::ScriptedPeer peer;
  test::RecordingPortIo io;
  SerialPort port{io};
};

struct DirectionCase {
  const char* what;
  int mode;
  bool lsr = true;
  bool rs485 = false;
  Calls calls;
  PortStatus status = PortStatus::Received;
};

TEST_F(LineDirection, EachConverterModeDrivesTheLineInOrder) {
  const DirectionCase cases[] = {
      {"semi-automatic: RTS falls once the transmitter is empty",
       kConverterSemiAuto,
       true,
       false,
       {"rts+", "write*14", "drain", "lsr*2", "rts-"}},
      {"semi-automatic, no line status register: the drain alone",
       kConverterSemiAuto,
       false,
       false,
       {"rts+", "write*14", "drain", "lsr", "rts-"}},
      {"automatic: one write, then the drain", kConverterAuto, true, false, {"write", "drain"}},
      {"kernel RS-485: the driver is set up, then one write",
       kConverterKernel,
       true,
       true,
       {"rs485 on", "write", "drain"}},
      {"kernel RS-485 refused: nothing is sent",
       kConverterKernel,
       true,
       false,
       {"rs485 on"},
       PortStatus::SystemError},
  };
  for (const DirectionCase& c : cases) {
    SCOPED_TRACE(c.what);
    io.lsr_supported = c.lsr;
    io.busy_lsr_polls = 1;
    io.rs485_supported = c.rs485;
    ASSERT_EQ(port.Open(), kOpenOk);
    EXPECT_EQ(port.kernel_rs485_supported(), c.rs485);
    io.Forget();
    EXPECT_EQ(Send(c.mode).status, c.status);
    EXPECT_EQ(io.Calls(), c.calls);
    port.Close();
  }
}

TEST_F(LineDirection, KernelModeTakesTheSettingsAndIsUndoneByTheOtherModes) {
  io.rs485_supported = true;
  port.settings().kernel_rs485 = KernelRs485{false, 2, 3};
  ASSERT_EQ(port.Open(), kOpenOk);
  io.Forget();
  EXPECT_EQ(Send(kConverterKernel).status, PortStatus::Received);
  EXPECT_EQ(io.rs485.flags, unsigned{SER_RS485_ENABLED | SER_RS485_RTS_AFTER_SEND});
  EXPECT_EQ(io.rs485.delay_rts_before_send, 2u);
  EXPECT_EQ(io.rs485.delay_rts_after_send, 3u);
  EXPECT_EQ(Send(kConverterKernel).status, PortStatus::Received);  // set up once
  EXPECT_EQ(Send(kConverterAuto).status, PortStatus::Received);
  EXPECT_EQ(Send(kConverterKernel).status, PortStatus::Received);
  port.Close();  // the next user of the port finds it as it was
  EXPECT_EQ(io.Calls(), (Calls{"rs485 on", "write", "drain", "write", "drain", "rs485 off", "write",
                               "drain", "rs485 on", "write", "drain", "rs485 off"}));
}

// A request that takes long to leave (a long frame on a slow line) does not eat the
// device's time: the whole reply wait follows the drain.
TEST_F(LineDirection, TheReplyWaitStartsWhenTheRequestHasLeft) {
  peer.set_fallback(test::Silent());
  io.drain_takes = 150ms;
  ASSERT_EQ(port.Open(), kOpenOk);
  for (int mode : {kConverterAuto, kConverterSemiAuto}) {
    const auto start = Clock::now();
    EXPECT_EQ(Send(mode).status, PortStatus::Timeout);
    EXPECT_GE(Clock::now() - start, 150ms + 110ms) << mode;
  }
}

// A request that left is sent, not received: nothing came back yet.
TEST(PortResults, AWholeWriteIsSent) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  platform::Event stop;
  const PortResult r = WriteAll(SystemPortIo(), fds[1], "#q\r", 3, Clock::now() + 1s, stop);
  EXPECT_EQ(r.status, PortStatus::Sent);
  EXPECT_EQ(r.Code(), 0);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace vesk::link
