// The serial port over a real pseudo-terminal pair: the test plays the device on the master
// side. A pseudo-terminal carries no parity or data bits and has no modem lines, so what
// is checked here is framing, timing and the ends of waits; RTS switching is skipped by
// the port and only its pacing remains measurable.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/exit_status.h"
#include "link/line_marks.h"
#include "link/network_settings.h"
#include "link/port_list.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "link/serial_port.h"
#include "loopback_listener.h"

namespace vesk::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The device end of a pseudo-terminal.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name) slave_ = name;
  }
  ~PtyPeer() { HangUp(); }
  bool Ok() const { return master_ >= 0 && !slave_.empty(); }
  const std::string& slave() const { return slave_; }

  void Write(std::string_view data) {
    ASSERT_EQ(::write(master_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  }
  // Reads until `count` bytes have come or `timeout` passes.
  std::string Read(size_t count, std::chrono::milliseconds timeout = 2000ms) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buf[64];
      ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

using test::LoopbackListener;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok()) << std::strerror(errno);
    port.settings().port_name = peer.slave();
  }
  void OpenAt(int32_t baud) {
    port.settings().baud_rate = baud;
    ASSERT_EQ(port.Open(), kOpenOk) << std::strerror(port.last_errno());
  }
  // Answers `answer` once the request has fully arrived, after `delay`.
  std::thread device(std::string request, std::string answer,
                     std::chrono::milliseconds delay = 0ms) {
    return std::thread([this, request, answer, delay] {
      heard = peer.Read(request.size());
      std::this_thread::sleep_for(delay);
      if (!answer.empty()) peer.Write(answer);
    });
  }

  PtyPeer peer;
  SerialPort port;
  std::string heard;
};

// ---- figures of the line ----

struct TimingCase {
  int32_t baud, byte_size, parity, stop_bits;
  float char_time;
  uint32_t interval, multiplier;
  uint16_t reply_wait;
};

TEST(LineTimingTest, FiguresFollowTheLineSpeed) {
  const TimingCase cases[] = {
      {9600, 8, 3, 1, 1.0417f, 2, 4, 170},
      {2400, 8, 3, 1, 4.1667f, 7, 12, 410},
      {115200, 8, 3, 1, 0.0868f, 1, 2, 110},
      {9600, 8, 0, 1, 1.0417f, 2, 4, 170},        // code 0 is no parity as well
      {9600, 7, 1, 1, 1.0417f, 2, 4, 170},        // 7E1: ten bit times
      {110, 8, 1, 2, 109.0909f, 164, 274, 8270},  // the slowest, longest character
      {14400, 8, 4, 1, 0.7639f, 2, 3, 140},
      {1200, 5, 3, 1, 5.8333f, 9, 15, 500},
  };
  for (const TimingCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << " baud, " << c.byte_size << " bits, parity "
                                    << c.parity << ", stop " << c.stop_bits);
    PortSettings s;
    s.baud_rate = c.baud;
    s.byte_size = c.byte_size;
    s.parity = c.parity;
    s.stop_bits = c.stop_bits;
    LineTiming t = LineTimingFor(s);
    EXPECT_NEAR(t.char_time_ms, c.char_time, 1e-3);
    EXPECT_EQ(t.timeouts.read_interval, c.interval);
    EXPECT_EQ(t.timeouts.read_total_multiplier, c.multiplier);
    EXPECT_EQ(t.timeouts.read_total_constant, 50u);
    EXPECT_EQ(t.timeouts.write_total_multiplier, 10u);
    EXPECT_EQ(t.timeouts.write_total_constant, 500u);
    EXPECT_EQ(t.reply_wait_ms, c.reply_wait);
  }
}

TEST(LineTimingTest, BaudRatesOfTheList) {
  for (int32_t b : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 56000, 57600,
                    115200, 128000})
    EXPECT_TRUE(BaudRateSupported(b)) << b;
  for (int32_t b : {0, -9600, 100, 9601, 230400, 256000}) EXPECT_FALSE(BaudRateSupported(b)) << b;
}

// ---- settings ----

TEST(PortSettingsTest, InitialValues) {
  PortSettings s;
  EXPECT_EQ(s.port_name, "COM1");
  EXPECT_EQ(s.baud_rate, 9600);
  EXPECT_EQ(s.parity, 3);
  EXPECT_EQ(s.stop_bits, 1);
  EXPECT_EQ(s.byte_size, 8);
  EXPECT_EQ(s.address_length, 8);
  EXPECT_EQ(s.device_address, 16);
}

TEST(PortSettingsTest, ParityTexts) {
  struct {
    const char* text;
    int32_t code;
  } cases[] = {
      {"Отсутствует", 3}, {"ОТСУТСТВУЕТ", 3}, {"Четность", 1}, {"четность", 1},
      {"Нечетность", 4},  {"НЕЧЕТНОСТЬ", 4},  {"Маркер", 5},   {"", 5},
      {"Нечетность ", 5},  // not the word: the code stays as it was
  };
  for (auto& c : cases) EXPECT_EQ(ParityCodeFromText(c.text, 5), c.code) << c.text;
}

TEST(PortSettingsTest, KeysOfTheSettingsNode) {
  PortSettings s;
  EXPECT_TRUE(ApplyPortSetting(s, "Port", "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00"));
  EXPECT_EQ(s.port_name, "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00");
  EXPECT_TRUE(ApplyPortSetting(s, "bPS", "19200"));
  EXPECT_TRUE(ApplyPortSetting(s, "Addr", " 31 "));
  EXPECT_TRUE(ApplyPortSetting(s, "A.Len", "11"));
  EXPECT_TRUE(ApplyPortSetting(s, "LEn", "7"));
  EXPECT_TRUE(ApplyPortSetting(s, "Sbit", "2"));
  EXPECT_TRUE(ApplyPortSetting(s, "PrtY", "Нечетность"));
  EXPECT_EQ(s.baud_rate, 19200);
  EXPECT_EQ(s.device_address, 31);
  EXPECT_EQ(s.address_length, 11);
  EXPECT_EQ(s.byte_size, 7);
  EXPECT_EQ(s.stop_bits, 2);
  EXPECT_EQ(s.parity, 4);

  // Bad numbers and unknown keys leave everything as it was.
  const PortSettings before = s;
  EXPECT_FALSE(ApplyPortSetting(s, "bPS", "96OO"));
  EXPECT_FALSE(ApplyPortSetting(s, "bPS", ""));
  EXPECT_FALSE(ApplyPortSetting(s, "bPS", "99999999999"));
  EXPECT_FALSE(ApplyPortSetting(s, "Baud", "9600"));
  EXPECT_EQ(s.baud_rate, before.baud_rate);
}

// ---- names ----

TEST(DevicePathTest, NamesMapToDevices) {
  struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM3", "/dev/ttyS2"},
      {"com12", "/dev/ttyS11"},
      {"COM03", "/dev/ttyS2"},
      {"COM0", "/dev/COM0"},  // there is no port 0: looked up as a name
      {"COM", "/dev/COM"},
      {"COM1x", "/dev/COM1x"},
      {"COM-1", "/dev/COM-1"},
      {"/dev/pts/7", "/dev/pts/7"},
      {"/dev/serial/by-id/usb-FTDI-if00-port0", "/dev/serial/by-id/usb-FTDI-if00-port0"},
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"ttyACM1", "/dev/ttyACM1"},
  };
  for (auto& c : cases) EXPECT_EQ(DevicePath(c.name), c.path) << c.name;
}

TEST(OpenMessageTest, SystemReasonOnANewLine) {
  const std::string fixed =
      "Не удается открыть порт COM4. Связь с сетью отсутствует. Проверьте сетевые параметры";
  EXPECT_EQ(OpenFailureMessage("COM4", 0), fixed);

  std::string missing = OpenFailureMessage("COM4", ENOENT);
  EXPECT_EQ(missing, fixed + "\n/dev/ttyS3: " + std::strerror(ENOENT));

  std::string denied = OpenFailureMessage("ttyUSB0", EACCES);
  EXPECT_NE(denied.find(std::string("\n/dev/ttyUSB0: ") + std::strerror(EACCES)),
            std::string::npos);
  EXPECT_NE(denied.find("dialout"), std::string::npos);
}

// ---- list of ports ----

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::filesystem::temp_directory_path() /
           ("vesk-ports-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "tty");
  }
  void TearDown() override { std::filesystem::remove_all(root); }
  void Tty(const std::string& name, bool driver, const char* type = nullptr) {
    auto dir = root / "tty" / name;
    std::filesystem::create_directories(dir / "device");
    if (driver) std::filesystem::create_directories(dir / "device" / "driver");
    if (type) std::ofstream(dir / "type") << type << "\n";
  }
  std::filesystem::path root;
};

TEST_F(PortListTest, OnlyRealPortsInNumberOrder) {
  Tty("ttyS0", true, "4");
  Tty("ttyS1", true, "0");  // no UART at that address
  Tty("ttyS10", true, "4");
  Tty("ttyS2", true, "4");
  Tty("ttyUSB0", true);
  Tty("ttyUSB1", false);  // driver gone
  Tty("ttyACM0", true);
  Tty("tty0", true);
  Tty("console", false);
  Tty("ttyUSBx", true);
  std::filesystem::create_directories(root / "by-id");
  std::ofstream(root / "by-id" / "usb-FTDI_FT232R-if00-port0");
  std::ofstream(root / "by-id" / "usb-odd:name");

  auto names = SerialPortNames(root / "tty", root / "by-id");
  std::vector<std::string> expected = {"COM1",
                                       "COM3",
                                       "COM11",
                                       "ttyACM0",
                                       "ttyUSB0",
                                       (root / "by-id" / "usb-FTDI_FT232R-if00-port0").string(),
                                       (root / "by-id" / "usb-odd:name").string()};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(SerialPortList(root / "tty", root / "by-id"),
            "COM1:COM3:COM11:ttyACM0:ttyUSB0:" +
                (root / "by-id" / "usb-FTDI_FT232R-if00-port0").string());
}

TEST_F(PortListTest, MissingFoldersGiveNothing) {
  EXPECT_TRUE(SerialPortNames(root / "none", root / "none-either").empty());
  EXPECT_EQ(SerialPortList(root / "none", root / "none-either"), "");
}

TEST(PortListSystemTest, ListsWithoutFailing) {
  // Whatever this machine has; it must come back and hold no empty names.
  for (const std::string& name : SerialPortNames()) EXPECT_FALSE(name.empty());
}

// ---- marks of line errors ----

TEST(LineMarkTest, MarksDecode) {
  using Out = LineMarkDecoder::Out;
  struct {
    const char* what;
    std::vector<uint8_t> in;
    std::vector<uint8_t> data;
    bool error;
  } cases[] = {
      {"plain", {'#', 'A', '\r'}, {'#', 'A', '\r'}, false},
      {"doubled 0xFF", {'A', 0xFF, 0xFF, 'B'}, {'A', 0xFF, 'B'}, false},
      {"NUL is data", {0x00, 'A'}, {0x00, 'A'}, false},
      {"break", {'A', 0xFF, 0x00, 0x00}, {'A'}, true},
      {"framing error", {0xFF, 0x00, 'Q'}, {}, true},
      {"malformed mark", {0xFF, 'Q'}, {}, true},
      {"mark not finished", {'A', 0xFF, 0x00}, {'A'}, false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    LineMarkDecoder d;
    std::vector<uint8_t> data;
    bool error = false;
    for (uint8_t b : c.in) {
      uint8_t out = 0;
      Out r = d.Feed(b, out);
      if (r == Out::Data) data.push_back(out);
      if (r == Out::LineError) {
        error = true;
        break;
      }
    }
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(error, c.error);
  }
}

// ---- open and close ----

TEST_F(SerialPortTest, OpenAndClose) {
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Close(), -2);
  OpenAt(9600);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(port.modem_lines());  // a pseudo-terminal has none
  EXPECT_NEAR(port.CharTimeMs(), 1.0417f, 1e-3);
  EXPECT_EQ(port.ReplyWaitMs(), 170);
  EXPECT_EQ(port.Close(), 0);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.ReplyWaitMs(), 0);
  EXPECT_EQ(port.Close(), -2);
}

TEST_F(SerialPortTest, EveryBaudRateOfTheListOpens) {
  // 14400, 28800, 56000 and 128000 have no classic termios constant.
  for (int32_t b : {110, 14400, 28800, 56000, 128000, 115200}) {
    SCOPED_TRACE(b);
    OpenAt(b);
    EXPECT_EQ(port.ReplyWaitMs(), LineTimingFor(port.settings()).reply_wait_ms);
  }
}

// One check for every port kind: the same settings give the same result over a
// pseudo-terminal and over a raw TCP line, and a device or server that cannot be reached is
// told before a bad setting.
TEST_F(SerialPortTest, BadSettingsGiveTheSameCodesOverEveryPortKind) {
  struct {
    const char* what;
    int32_t parity, byte_size, stop_bits, baud;
    int result;
  } cases[] = {
      {"parity 6", 6, 8, 1, 9600, kOpenUnsupported},
      {"parity -1", -1, 8, 1, 9600, kOpenUnsupported},
      {"byte size 4", 3, 4, 1, 9600, kOpenBadByteSize},
      {"byte size 9", 3, 9, 1, 9600, kOpenBadByteSize},
      {"stop bits 0", 3, 8, 0, 9600, kOpenUnsupported},
      {"stop bits 3", 3, 8, 3, 9600, kOpenUnsupported},
      {"256000 baud", 3, 8, 1, 256000, kOpenUnsupported},
      {"0 baud", 3, 8, 1, 0, kOpenUnsupported},
      {"parity before byte size", 7, 4, 1, 9600, kOpenUnsupported},
      {"byte size before stop bits", 3, 4, 3, 9600, kOpenBadByteSize},
      {"byte size before baud rate", 3, 9, 1, 100, kOpenBadByteSize},
      {"5 bits, mark, 2 stop", 2, 5, 2, 300, kOpenOk},
      {"space parity", 5, 8, 1, 9600, kOpenOk},
  };
  LoopbackListener server;
  ASSERT_TRUE(server.Ok()) << std::strerror(errno);
  for (const std::string& name : {peer.slave(), "tcp://" + server.Address()}) {
    for (auto& c : cases) {
      SCOPED_TRACE(name + ": " + c.what);
      port.settings().port_name = name;
      port.settings().parity = c.parity;
      port.settings().byte_size = c.byte_size;
      port.settings().stop_bits = c.stop_bits;
      port.settings().baud_rate = c.baud;
      EXPECT_EQ(port.Open(), c.result);
      EXPECT_EQ(port.IsOpen(), c.result == kOpenOk);
      if (c.result != kOpenOk) {
        EXPECT_EQ(port.ReplyWaitMs(), 0);
      }
    }
  }
  const std::string refused = "tcp://" + server.Address();
  server.Close();
  for (const std::string& name : {std::string("/nonexistent/ttyVESK"), refused}) {
    SCOPED_TRACE(name);
    port.settings().port_name = name;
    port.settings().parity = 6;
    EXPECT_EQ(port.Open(), kOpenFailed);
  }
}

TEST_F(SerialPortTest, OpenFailuresKeepTheSystemReason) {
  port.settings().port_name = "/nonexistent/ttyVESK";
  EXPECT_EQ(port.Open(), kOpenFailed);
  EXPECT_EQ(port.last_errno(), ENOENT);

  port.settings().port_name = peer.slave() + std::string(1, '\0') + "x";
  EXPECT_EQ(port.Open(), kOpenFailed);
  EXPECT_EQ(port.last_errno(), EINVAL);

  // An ordinary file is no serial port.
  auto file =
      std::filesystem::temp_directory_path() / ("vesk-not-a-tty-" + std::to_string(::getpid()));
  std::ofstream(file) << "x";
  port.settings().port_name = file.string();
  EXPECT_EQ(port.Open(), kOpenFailed);
  EXPECT_EQ(port.last_errno(), ENOTTY);
  EXPECT_FALSE(port.IsOpen());
  std::filesystem::remove(file);
}

TEST_F(SerialPortTest, ALineIsOpenedByOnePortAtATime) {
  OpenAt(9600);
  SerialPort second;
  second.settings().port_name = peer.slave();
  EXPECT_EQ(second.Open(), kOpenFailed);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_NE(second.last_errno(), 0);
  port.Close();
  EXPECT_EQ(second.Open(), kOpenOk);
}

class RecordingPresenter : public Presenter {
 public:
  MsgAnswer ShowMessage(std::string_view text, std::string_view caption, MsgIcon,
                        MsgButtons) override {
    texts.emplace_back(text);
    captions.emplace_back(caption);
    return MsgAnswer::Ok;
  }
  std::vector<std::string> texts, captions;
};

TEST_F(SerialPortTest, OpenReportSetsAndClearsTheStatusBit) {
  RecordingPresenter shown;
  SetPresenter(&shown);
  exit_status = 0x10;

  port.settings().port_name = "/nonexistent/ttyVESK";
  EXPECT_EQ(OpenAndReport(port, false), kOpenFailed);
  EXPECT_EQ(exit_status.load(), 0x12u);
  EXPECT_TRUE(shown.texts.empty());

  EXPECT_EQ(OpenAndReport(port, true), kOpenFailed);
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_EQ(shown.captions[0], kOpenFailureCaption);
  EXPECT_EQ(shown.texts[0], OpenFailureMessage("/nonexistent/ttyVESK", ENOENT));

  port.settings().port_name = peer.slave();
  EXPECT_EQ(OpenAndReport(port, true), kOpenOk);
  EXPECT_EQ(exit_status.load(), 0x10u);
  EXPECT_EQ(shown.texts.size(), 1u);

  port.settings().baud_rate = 256000;
  EXPECT_EQ(OpenAndReport(port, true), kOpenUnsupported);
  EXPECT_EQ(exit_status.load(), 0x12u);
  ASSERT_EQ(shown.texts.size(), 2u);
  EXPECT_EQ(shown.texts[1], OpenFailureMessage(peer.slave(), 0));  // no system reason

  SetPresenter(nullptr);
  exit_status = 0;
}

// ---- send and receive ----

TEST_F(SerialPortTest, ClosedPortAnswersMinusOne) {
  Reply reply;
  PortResult r = port.SendReceive("#x\r", reply, FrameEnd::CarriageReturn);
  EXPECT_EQ(r.status, PortStatus::Closed);
  EXPECT_EQ(r.Code(), -1);
}

TEST_F(SerialPortTest, ReceivesUntilCarriageReturn) {
  OpenAt(115200);
  for (int mode : {kConverterSemiAuto, kConverterAuto}) {
    SCOPED_TRACE(mode);
    port.set_converter_mode(mode);
    peer.Write("stale bytes");  // before the request: purged, never part of the reply
    std::this_thread::sleep_for(10ms);
    auto dev = device("#0102ABCD\r", "#0102");
    // The rest of the frame comes a little later, and something after its end.
    std::thread late([this] {
      std::this_thread::sleep_for(40ms);
      peer.Write("7788\rtail");
    });
    Reply reply;
    PortResult r = port.SendReceive("#0102ABCD\r", reply, FrameEnd::CarriageReturn);
    dev.join();
    late.join();
    EXPECT_EQ(heard, "#0102ABCD\r");
    EXPECT_EQ(r.status, PortStatus::Received);
    EXPECT_EQ(r.Code(), 0);
    EXPECT_EQ(reply.View(), "#01027788\r");
    EXPECT_FALSE(reply.truncated);
    std::this_thread::sleep_for(20ms);  // let the tail arrive, for the next pass to purge
  }
}

TEST_F(SerialPortTest, NoReplyIsATimeoutAfterTheReplyWait) {
  OpenAt(115200);  // reply wait 110 ms
  port.set_converter_mode(kConverterAuto);
  Reply reply;
  auto start = Clock::now();
  PortResult r = port.SendReceive("#q\r", reply, FrameEnd::CarriageReturn);
  double took = MsSince(start);
  EXPECT_EQ(r.status, PortStatus::Timeout);
  EXPECT_EQ(r.Code(), 2);
  EXPECT_GE(took, 110);
  EXPECT_LT(took, 110 + 80);
}

TEST_F(SerialPortTest, CarriageReturnAfterTheReplyWaitIsATimeout) {
  OpenAt(115200);
  port.set_converter_mode(kConverterAuto);
  auto dev = device("#q\r", "#late\r", 200ms);
  Reply reply;
  PortResult r = port.SendReceive("#q\r", reply, FrameEnd::CarriageReturn);
  dev.join();
  EXPECT_EQ(r.Code(), 2);
}

TEST_F(SerialPortTest, DataWithoutCarriageReturnIsATimeout) {
  OpenAt(115200);
  port.set_converter_mode(kConverterAuto);
  auto dev = device("#q\r", "#0102");
  Reply reply;
  PortResult r = port.SendReceive("#q\r", reply, FrameEnd::CarriageReturn);
  dev.join();
  EXPECT_EQ(r.Code(), 2);
}

TEST_F(SerialPortTest, PauseEndsAFrameWithoutEndCharacter) {
  OpenAt(115200);  // reply wait 110 ms
  port.set_converter_mode(kConverterAuto);
  const std::string request("\x05\xF0\xF0\xFF\x00\x11\x22", 7);
  auto dev = device(request, std::string("\x05\xF0", 2));
  // Gaps shorter than the reply wait do not end the frame; 0xFF arrives as itself.
  std::thread more([this] {
    std::this_thread::sleep_for(60ms);
    peer.Write(std::string("\xF0\xFF\x00", 3));
    std::this_thread::sleep_for(60ms);
    peer.Write("\r\n");
  });
  Reply reply;
  auto start = Clock::now();
  PortResult r = port.SendReceive(request, reply, FrameEnd::Pause);
  double took = MsSince(start);
  dev.join();
  more.join();
  EXPECT_EQ(heard, request);
  EXPECT_EQ(r.Code(), 0);
  EXPECT_EQ(reply.View(), std::string("\x05\xF0\xF0\xFF\x00\r\n", 7));
  EXPECT_GE(took, 120 + 110);  // the last piece, then one reply wait of quiet
  EXPECT_LT(took, 120 + 110 + 100);
}

TEST_F(SerialPortTest, PauseModeWithoutDataIsATimeout) {
  OpenAt(115200);
  port.set_converter_mode(kConverterAuto);
  Reply reply;
  PortResult r = port.SendReceive("x", reply, FrameEnd::Pause);
  EXPECT_EQ(r.Code(), 2);
  EXPECT_EQ(reply.count, 0u);
}

TEST_F(SerialPortTest, LongRepliesAreCutAtTheBuffer) {
  OpenAt(115200);
  port.set_converter_mode(kConverterAuto);
  const std::string long_frame = "#" + std::string(44, 'A') + "\r";
  for (FrameEnd end : {FrameEnd::CarriageReturn, FrameEnd::Pause}) {
    SCOPED_TRACE(end == FrameEnd::Pause ? "pause" : "carriage return");
    auto dev = device("#q\r", long_frame);
    Reply reply;
    PortResult r = port.SendReceive("#q\r", reply, end);
    dev.join();
    EXPECT_EQ(r.Code(), 0);
    EXPECT_EQ(reply.count, kReplyCapacity);
    EXPECT_EQ(reply.View(), long_frame.substr(0, kReplyCapacity));
    EXPECT_TRUE(reply.truncated);
    std::this_thread::sleep_for(20ms);
  }
}

TEST_F(SerialPortTest, StopDuringTheReplyWaitEndsItAtOnce) {
  OpenAt(110);  // a reply wait of almost seven seconds
  ASSERT_GT(port.ReplyWaitMs(), 6000);
  port.set_converter_mode(kConverterAuto);
  Clock::time_point stopped_at;
  std::thread stopper([&] {
    peer.Read(3);
    std::this_thread::sleep_for(100ms);
    stopped_at = Clock::now();
    port.stop_event.Set();
  });
  Reply reply;
  PortResult r = port.SendReceive("#q\r", reply, FrameEnd::CarriageReturn);
  auto returned_at = Clock::now();
  stopper.join();
  EXPECT_EQ(r.status, PortStatus::Stopped);
  EXPECT_EQ(r.Code(), -1);
  const double late = std::chrono::duration<double, std::milli>(returned_at - stopped_at).count();
  EXPECT_LT(late, 50);
  RecordProperty("stop_latency_us", static_cast<int>(late * 1000));

  // While it stays set, nothing more is sent.
  r = port.SendReceive("#again\r", reply, FrameEnd::CarriageReturn);
  EXPECT_EQ(r.Code(), -1);
  EXPECT_EQ(peer.Read(1, 50ms), "");
  port.stop_event.reset();
}

TEST_F(SerialPortTest, StopDuringAByteByByteSendReturnsMinusOne) {
  OpenAt(300);  // 33 ms a character
  port.set_converter_mode(kConverterSemiAuto);
  std::thread stopper([&] {
    std::this_thread::sleep_for(100ms);
    port.stop_event.Set();
  });
  Reply reply;
  auto start = Clock::now();
  PortResult r = port.SendReceive("#0123456789ABCDEF\r", reply, FrameEnd::CarriageReturn);
  double took = MsSince(start);
  stopper.join();
  EXPECT_EQ(r.Code(), -1);
  EXPECT_LT(took, 100 + 50);
  EXPECT_LT(peer.Read(18, 50ms).size(), 18u);
  port.stop_event.reset();
}

TEST_F(SerialPortTest, SemiAutomaticModePacesEachCharacter) {
  OpenAt(1200);  // 8.33 ms a character
  const double ct = port.CharTimeMs();
  const std::string request = "#0102ABCD\r";  // 10 characters
  for (int mode : {kConverterSemiAuto, kConverterAuto}) {
    SCOPED_TRACE(mode);
    port.set_converter_mode(mode);
    auto dev = device(request, "#01\r");
    Reply reply;
    auto start = Clock::now();
    PortResult r = port.SendReceive(request, reply, FrameEnd::CarriageReturn);
    double took = MsSince(start);
    dev.join();
    EXPECT_EQ(r.Code(), 0);
    EXPECT_EQ(heard, request);
    RecordProperty(mode == kConverterSemiAuto ? "paced_send_us" : "single_write_send_us",
                   static_cast<int>(took * 1000));
    if (mode == kConverterSemiAuto) {
      EXPECT_GE(took, request.size() * ct);
      EXPECT_LT(took, request.size() * ct + 200);  // generous: a shared machine
    } else {
      EXPECT_LT(took, request.size() * ct);  // one write, no pacing
    }
  }
}

TEST_F(SerialPortTest, AVanishedDeviceEndsTheWait) {
  OpenAt(110);
  port.set_converter_mode(kConverterAuto);
  std::thread gone([&] {
    peer.Read(3);
    std::this_thread::sleep_for(50ms);
    peer.HangUp();
  });
  Reply reply;
  auto start = Clock::now();
  PortResult r = port.SendReceive("#q\r", reply, FrameEnd::CarriageReturn);
  gone.join();
  EXPECT_LT(MsSince(start), 1000);  // not the whole reply wait of seven seconds
  EXPECT_EQ(r.Code(), 3);
  EXPECT_EQ(r.status, PortStatus::SystemError);
  EXPECT_FALSE(r.Reason().empty());
}

// A network line never changes how the process takes SIGPIPE (programs started later
// would inherit it); a server that has gone fails the exchange instead.
TEST(NetworkLineTest, AServerThatWentFailsTheExchangeAndSigpipeStaysAsItWas) {
  LoopbackListener server;
  ASSERT_TRUE(server.Ok()) << std::strerror(errno);
  std::thread accepted([&server] {
    ::close(::accept(server.fd(), nullptr, nullptr));
    server.Close();
  });
  SerialPort port;
  port.settings().port_name = "tcp://" + server.Address();
  port.settings().baud_rate = 115200;
  ASSERT_EQ(port.Open(), kOpenOk);
  accepted.join();
  struct sigaction now {};
  ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  Reply reply;
  EXPECT_EQ(port.SendReceive("#GG\r", reply, FrameEnd::Lorn).status, PortStatus::SystemError);
  // Sent again into the broken connection, or refused as closed: never a signal.
  EXPECT_NE(port.SendReceive("#GG\r", reply, FrameEnd::Lorn).status, PortStatus::Received);
}

}  // namespace
}  // namespace vesk::link
