// The simulator's smaller parts: frames cut from noise, the probe answers, the live
// inputs and the state file.

#include <gtest/gtest.h>

#include <fstream>

#include "frame_reader.h"
#include "link/probe_codec.h"
#include "live_inputs.h"
#include "probe_responder.h"
#include "sim_test_support.h"
#include "state_file.h"

namespace vesk::sim::test {
namespace {

std::vector<std::string> FramesOf(std::string_view stream) {
  FrameReader reader('#', '\r', 44);
  std::vector<std::string> out;
  for (char c : stream)
    if (auto f = reader.Feed(c)) out.push_back(*f);
  return out;
}

TEST(FrameReader, CutsFramesOutOfNoise) {
  using V = std::vector<std::string>;
  EXPECT_EQ(FramesOf("#AB\r"), V{"#AB\r"});
  EXPECT_EQ(FramesOf("#A\r#B\r"), (V{"#A\r", "#B\r"}));                   // two joined
  EXPECT_EQ(FramesOf("xx\x01\xff#A\rzz"), V{"#A\r"});                     // noise around
  EXPECT_EQ(FramesOf("#AB#CD\r"), V{"#CD\r"});                            // restart on "#"
  EXPECT_EQ(FramesOf("\rAB\r"), V{});                                     // no start
  EXPECT_EQ(FramesOf(std::string(100, 'G') + "\r#G\r"), V{"#G\r"});       // flood, then frame
  EXPECT_EQ(FramesOf("#" + std::string(60, 'G') + "\r#H\r"), V{"#H\r"});  // overlong dropped
  EXPECT_EQ(FramesOf("#" + std::string(42, 'G') + "\r").size(), 1u);      // 44 exactly
  FrameReader split('#', '\r', 44);
  EXPECT_FALSE(split.Feed('#'));
  EXPECT_FALSE(split.Feed('G'));
  EXPECT_EQ(split.Feed('\r'), "#G\r");  // a frame split across reads
}

std::string ProbeRequest(int mode, uint8_t address) {
  link::ProbeFrame f;
  bool percent = mode == link::kProbePercent;
  const uint8_t modbus[] = {0x05, 0xF0, 0xF0, 0xFF, 0x00};
  const uint8_t lorn[] = {'L', 'O', 'R', 'N'};
  EXPECT_TRUE(link::BuildProbeRequest(mode, address, percent ? lorn : modbus, percent ? 4 : 5, f));
  return std::string(f.Text());
}

struct ProbeCase {
  Protocol protocol;
  int mode;
};

class ProbeAnswers : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeAnswers, ConfiguratorAcceptsTheAnswerOnlyFromItsAddress) {
  ProbeResponder responder(GetParam().protocol);
  std::string request = "noise\r\n" + ProbeRequest(GetParam().mode, 16);
  std::optional<ProbeResponder::Frame> got;
  for (char c : request)
    if (auto f = responder.Feed(c, 16)) got = f;
  ASSERT_TRUE(got);
  uint8_t data[32];
  int count = 0;
  EXPECT_EQ(link::CheckProbeReply(GetParam().mode, 16, got->reply, data, sizeof data, count),
            link::ProbeResult::Answered);
  // Another device's address: a frame, but not answered.
  std::optional<ProbeResponder::Frame> other;
  for (char c : ProbeRequest(GetParam().mode, 17))
    if (auto f = responder.Feed(c, 16)) other = f;
  ASSERT_TRUE(other);
  EXPECT_TRUE(other->reply.empty());
  // A broken checksum: nothing answered.
  std::string broken = ProbeRequest(GetParam().mode, 16);
  broken[broken.size() - (GetParam().mode == link::kProbeModbusRtu ? 1 : 3)] ^= 0x01;
  for (char c : broken) {
    auto f = responder.Feed(c, 16);
    EXPECT_TRUE(!f || f->reply.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Sim, ProbeAnswers,
                         ::testing::Values(ProbeCase{Protocol::ModbusRtu, 1},
                                           ProbeCase{Protocol::ModbusAscii, 2},
                                           ProbeCase{Protocol::Dcon, 3}));

TEST(ProbeAnswers, ModbusFormsEchoTheRequest) {
  for (auto [protocol, mode] : {std::pair{Protocol::ModbusRtu, 1}, {Protocol::ModbusAscii, 2}}) {
    ProbeResponder responder(protocol);
    std::string request = ProbeRequest(mode, 16);
    std::optional<ProbeResponder::Frame> got;
    for (char c : request)
      if (auto f = responder.Feed(c, 16)) got = f;
    ASSERT_TRUE(got);
    EXPECT_EQ(got->reply, request);
  }
  ProbeResponder dcon(Protocol::Dcon);
  std::optional<ProbeResponder::Frame> got;
  for (char c : ProbeRequest(3, 0x1F))
    if (auto f = dcon.Feed(c, 0x1F)) got = f;
  ASSERT_TRUE(got);
  EXPECT_EQ(got->reply, "!1F98\r");  // 0x21 + 0x31 + 0x46 = 0x98
}

TEST(LiveInputs, SquareWavesAndTheirRisingEdges) {
  auto t0 = std::chrono::steady_clock::now();
  LiveInputs in(t0, 100);
  using std::chrono::milliseconds;
  EXPECT_EQ(in.States(t0), 0u);
  EXPECT_EQ(in.States(t0 + milliseconds(100)), 0b1u);
  EXPECT_EQ(in.States(t0 + milliseconds(200)), 0b10u);
  EXPECT_EQ(in.States(t0 + milliseconds(300)), 0b111u);
  EXPECT_EQ(in.RisingEdges(0, t0, t0 + milliseconds(1000)), 5u);  // 100, 300, ... 900
  EXPECT_EQ(in.RisingEdges(0, t0 + milliseconds(100), t0 + milliseconds(300)), 1u);
  EXPECT_EQ(in.RisingEdges(11, t0, t0 + milliseconds(2400)), 1u);  // input 12: at 1200
  EXPECT_EQ(in.RisingEdges(12, t0, t0 + milliseconds(5000)), 0u);  // no such input
  EXPECT_EQ(in.RisingEdges(0, t0 + milliseconds(500), t0), 0u);
  LiveInputs off(t0, 0);
  EXPECT_EQ(off.States(t0 + milliseconds(500)), 0u);
}

TEST(StateFile, EscapesRoundTrip) {
  for (std::string s : {"", "plain", "tab\there", "a\\b", "line\r\nend", "\\t literal"}) {
    std::string back;
    ASSERT_TRUE(UnescapeValue(EscapeValue(s), back));
    EXPECT_EQ(back, s);
  }
  std::string out;
  EXPECT_FALSE(UnescapeValue("bad\\x", out));
  EXPECT_FALSE(UnescapeValue("trailing\\", out));
}

TEST(StateFile, DumpIsSortedAndLoadsBack) {
  auto device = MakeDevice();
  auto now = std::chrono::steady_clock::now();
  std::string text = DumpText(*device, now);
  std::vector<std::pair<std::string, int>> keys;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    auto tab = line.find('\t');
    auto tab2 = line.find('\t', tab + 1);
    std::string index = line.substr(tab + 1, tab2 - tab - 1);
    keys.emplace_back(line.substr(0, tab), index == "-" ? -1 : std::stoi(index));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_GT(keys.size(), 100u);

  std::string path = ::testing::TempDir() + "vesk_sim_state_" + std::to_string(getpid());
  std::ofstream(path) << "# saved by hand\n"
                         "Cn.SP\t3\t6C43\t1\t77\n"
                         "in.tP\t2\t0\t3\tПотенциальный\n"
                         "CHAr*\t-\t3628\t-\tQ-7\n"
                         "gone\t-\t0000\t3\t1\n";
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(LoadState(path, *device, now, error, warnings)) << error;
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("gone"), std::string::npos);
  std::string after = DumpText(*device, now);
  EXPECT_NE(after.find("Cn.SP\t3\t6C43\t1\t77\n"), std::string::npos);
  EXPECT_NE(after.find("in.tP\t2\t"), std::string::npos);
  EXPECT_NE(after.find("\tПотенциальный\n"), std::string::npos);
  EXPECT_NE(after.find("CHAr*\t-\t3628\t-\tQ-7 \n"), std::string::npos);
  std::remove(path.c_str());
}

struct BadStateCase {
  const char* line;
  const char* mentions;
};

class BadState : public ::testing::TestWithParam<BadStateCase> {};

TEST_P(BadState, LoadFailsWithTheLineNumber) {
  auto device = MakeDevice();
  std::string path = ::testing::TempDir() + "vesk_sim_bad_" + std::to_string(getpid());
  std::ofstream(path) << "bPS\t-\tB760\t3\t9600\n" << GetParam().line << "\n";
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_FALSE(LoadState(path, *device, std::chrono::steady_clock::now(), error, warnings));
  EXPECT_NE(error.find(":2: "), std::string::npos) << error;
  EXPECT_NE(error.find(GetParam().mentions), std::string::npos) << error;
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Sim, BadState,
                         ::testing::Values(BadStateCase{"bPS 9600", "tabs"},
                                           BadStateCase{"bPS\tx\tB760\t3\t9600", "INDEX"},
                                           BadStateCase{"bPS\t-\tB760\t9\t9600", "ATTR"},
                                           BadStateCase{"bPS\t-\tB760\t3\t1234", "bPS"},
                                           BadStateCase{"FiLt\t0\tB15D\t3\t99999", "limits"},
                                           BadStateCase{"bPS\t-\tB760\t3\tbad\\q", "escape"},
                                           BadStateCase{"CHAr*\t-\t3628\t-\ta/b", "network name"}));

TEST(StateFile, MissingFileLoadsNothing) {
  auto device = MakeDevice();
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_TRUE(LoadState("/nonexistent/dir/state", *device, std::chrono::steady_clock::now(), error,
                        warnings));
}

}  // namespace
}  // namespace vesk::sim::test
