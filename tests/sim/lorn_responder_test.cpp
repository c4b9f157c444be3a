// The device's answers frame by frame, without a line: what it takes as its own, what
// it answers, and every refusal with the device's code.

#include <gtest/gtest.h>

#include "link/frame_codec.h"
#include "sim_test_support.h"

namespace vesk::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;

uint16_t H(const char* name) {
  return link::NameHash(name);
}
Bytes Be(uint16_t v) {
  return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct RefusalCase {
  const char* what;
  bool read;
  const char* name;
  Bytes data;
  int offset;
  int code;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, AnswerWithTheDevicesCode) {
  const RefusalCase& c = GetParam();
  auto device = MakeDevice();
  Exchange e = Ask(*device, c.read, c.name, c.data, c.offset);
  ASSERT_TRUE(e.answered) << c.what;
  EXPECT_EQ(e.hash, link::kErrorReplyHash) << c.what;
  EXPECT_EQ(e.Error(), c.code) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Device, Refusals,
    ::testing::Values(RefusalCase{"unknown hash", true, "ZZZZ", {}, 0, 40},
                      RefusalCase{"index beyond the count", true, "FiLt", {0, 12}, 0, 53},
                      RefusalCase{"indexed read without index", true, "FiLt", {}, 0, 49},
                      RefusalCase{"plain read with data", true, "bPS", {0, 0}, 0, 49},
                      RefusalCase{"int of three bytes", false, "FiLt", {0, 1, 2, 0, 0}, 0, 49},
                      RefusalCase{"float of two bytes", false, "Cn.K", {0x3F, 0x80, 0, 0}, 0, 49},
                      RefusalCase{"choice of two bytes", false, "bPS", {0, 2}, 0, 49},
                      RefusalCase{"int above its rule", false, "FiLt", {0x03, 0xE9, 0, 0}, 0, 6},
                      RefusalCase{"address below its rule", false, "Addr", {0, 0}, 0, 6},
                      RefusalCase{"float below its rule", false, "Cn.K", {0, 0, 0, 0, 0, 0}, 0, 6},
                      RefusalCase{"output level above 1", false, "r.oe", {0x40, 0x00, 0x00}, 2, 6},
                      RefusalCase{"NaN", false, "Cn.K", {0x7F, 0xC0, 0, 0, 0, 0}, 0, 6},
                      RefusalCase{"baud code 9", false, "bPS", {9}, 0, 55},
                      RefusalCase{"choice past the list", false, "in.tP", {2, 0, 0}, 0, 55},
                      RefusalCase{"input states", false, "r.cn", {0}, 0, 51},
                      RefusalCase{"dev", false, "dev", {'X'}, 0, 3},
                      RefusalCase{"ver", false, "ver", {}, 0, 3},
                      RefusalCase{"exit", false, "exit", {0, 0, 6}, 0, 3},
                      RefusalCase{"dev with data", true, "dev", {1}, 0, 49},
                      RefusalCase{"attributes of an operative parameter", true, "M.s.t.r.",
                                  Be(0xE894), 0, 8},
                      RefusalCase{"attributes of nothing", true, "M.s.t.r.", Be(0x1234), 0, 40},
                      RefusalCase{"attributes without index", true, "M.s.t.r.", Be(0xB15D), 0, 49},
                      RefusalCase{"attributes beyond the count", true, "M.s.t.r.",
                                  Cat({0, 40}, Be(0xB15D)), 0, 53},
                      RefusalCase{"attributes of odd size", true, "M.s.t.r.", {1, 2, 3}, 0, 49},
                      RefusalCase{"8-bit address above 255", false, "Addr", {1, 0}, 0, 71},
                      RefusalCase{"operative index past the outputs", true, "r.oe", {}, 9, 53}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST(Refusals, ParityWithEightBitsAndTwoStopBitsIsACombinationError) {
  auto device = MakeDevice();
  ASSERT_EQ(Ask(*device, false, "Sbit", {1}).Error(), -1);  // 2 stop bits alone are fine
  EXPECT_EQ(Ask(*device, false, "PrtY", {1}).Error(), 71);
  EXPECT_EQ(Ask(*device, false, "LEn", {0}).Error(), -1);  // 7 data bits
  EXPECT_EQ(Ask(*device, false, "PrtY", {2}).Error(), -1);
}

TEST(Refusals, OtherProtocolsNeedAnEightBitAddress) {
  auto device = MakeDevice();
  ASSERT_EQ(Ask(*device, false, "A.Len", {1}).Error(), -1);
  ASSERT_EQ(Ask(*device, false, "Addr", Be(300)).Error(), -1);
  EXPECT_EQ(Ask(*device, false, "Prot", {1}).Error(), 71);
}

TEST(Attributes, MakersParameterRefusesAChangeButTakesTheSame) {
  auto device = MakeDevice();
  // The user hands the parameter to the maker: editable, owned by the maker.
  Exchange give = Ask(*device, false, "M.s.t.r.", Cat({0x01}, Be(H("Alr.t"))));
  ASSERT_EQ(give.Error(), -1);
  EXPECT_EQ(give.data, Cat({0x01}, Be(H("Alr.t"))));
  EXPECT_EQ(Ask(*device, false, "M.s.t.r.", Cat({0x03}, Be(H("Alr.t")))).Error(), 7);
  EXPECT_EQ(Ask(*device, false, "M.s.t.r.", Cat({0x01}, Be(H("Alr.t")))).Error(), -1);
  // Read-only by its attributes: the value write is refused.
  ASSERT_EQ(Ask(*device, false, "M.s.t.r.", Cat({0x02}, Be(H("Addr")))).Error(), -1);
  EXPECT_EQ(Ask(*device, false, "Addr", {0, 60}).Error(), 51);
}

TEST(Attributes, ReplySizesWithAndWithoutIndex) {
  auto device = MakeDevice();
  Exchange plain = Ask(*device, true, "M.s.t.r.", Be(H("bPS")));
  EXPECT_EQ(plain.data, Cat({0x03}, Be(H("bPS"))));
  Exchange indexed = Ask(*device, true, "M.s.t.r.", Cat({0, 7}, Be(H("FiLt"))));
  EXPECT_EQ(indexed.data, Cat({0x03, 0, 7}, Be(H("FiLt"))));
  Exchange write = Ask(*device, false, "M.s.t.r.", Cat({0x02, 0, 7}, Be(H("FiLt"))));
  EXPECT_EQ(write.data, Cat({0x02, 0, 7}, Be(H("FiLt"))));
  // Only that copy changed.
  EXPECT_EQ(Ask(*device, true, "M.s.t.r.", Cat({0, 6}, Be(H("FiLt")))).data[0], 0x03);
  EXPECT_EQ(Ask(*device, false, "FiLt", {5, 0, 7}).Error(), 51);
  EXPECT_EQ(Ask(*device, false, "FiLt", {5, 0, 6}).Error(), -1);
}

struct ValueCase {
  const char* name;
  Bytes write;  // value then index
  Bytes reply;  // what the device then holds, index following
};

class Values : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Values, WriteAnswersWhatTheDeviceNowHolds) {
  const ValueCase& c = GetParam();
  auto device = MakeDevice();
  Exchange w = Ask(*device, false, c.name, c.write);
  ASSERT_EQ(w.Error(), -1) << c.name;
  EXPECT_EQ(w.hash, H(c.name));
  EXPECT_EQ(w.data, c.reply) << c.name;
  // A read of the same parameter answers the same, index included.
  size_t index_bytes = c.write.size() >= 2 && c.reply.size() > 2 ? 2 : 0;
  Bytes index(c.write.end() - static_cast<long>(index_bytes), c.write.end());
  EXPECT_EQ(Ask(*device, true, c.name, index).data, c.reply) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Device, Values,
    ::testing::Values(ValueCase{"FiLt", {0xFF, 0, 3}, {0xFF, 0, 3}},
                      ValueCase{"FiLt", {0x00, 0x20, 0, 3}, {0x20, 0, 3}},  // 1 byte when small
                      ValueCase{"tHP", {0x01, 0x2C, 0, 1}, {0x01, 0x2C, 0, 1}},
                      ValueCase{"tHP", {0xC8, 0, 1}, {0x00, 0xC8, 0, 1}},  // always 2 bytes
                      ValueCase{"Addr", {0x00, 0x05}, {0x00, 0x05}},
                      ValueCase{"Cn.K", {0x3F, 0xC0, 0, 0, 0, 11}, {0x3F, 0xC0, 0, 0, 0, 11}},
                      ValueCase{"Alr.t", {0x5A}, {0x5A}}, ValueCase{"bPS", {8}, {8}},
                      ValueCase{"Prot", {3}, {3}}, ValueCase{"in.tP", {1, 0, 11}, {1, 0, 11}},
                      ValueCase{"clb.k", {0x0F, 0xFF, 0, 15}, {0x0F, 0xFF, 0, 15}},
                      ValueCase{"CHAr", {20, 0, 0}, {20, 0, 0}}));

TEST(Values, FreshDeviceHoldsInitialAndFactoryValues) {
  auto device = MakeDevice();
  EXPECT_EQ(Ask(*device, true, "bPS", {}).data, Bytes{2});         // 9600
  EXPECT_EQ(Ask(*device, true, "Addr", {}).data, (Bytes{0, 16}));  // factory address
  EXPECT_EQ(Ask(*device, true, "Alr.t", {}).data, Bytes{10});      // "00:10"
  EXPECT_EQ(Ask(*device, true, "Cn.K", {0, 4}).data, (Bytes{0x3F, 0x80, 0, 0, 0, 4}));
  EXPECT_EQ(Ask(*device, true, "CHAr", {0, 2}).data, (Bytes{78, 0, 2}));  // blank
  EXPECT_EQ(Ask(*device, true, "POUt", {0, 7}).data, (Bytes{0, 0, 7}));
}

TEST(Identity, DevVerExit) {
  SimOptions o;
  o.device_name = "ВЕСК-2";
  o.version = "2.10";
  auto device = MakeDevice(o);
  Exchange dev = Ask(*device, true, "dev", {});
  EXPECT_EQ(std::string(dev.data.begin(), dev.data.end()), "\xC2\xC5\xD1\xCA-2");  // cp1251
  Exchange ver = Ask(*device, true, "ver", {});
  EXPECT_EQ(std::string(ver.data.begin(), ver.data.end()), "2.10");
  EXPECT_EQ(Ask(*device, true, "exit", {}).data, (Bytes{0, 0, kResetPowerOn}));
}

TEST(Commands, InitAnswersEmptyThenRestartsWithStoredSettings) {
  auto device = MakeDevice();
  ASSERT_EQ(Ask(*device, false, "bPS", {4}).Error(), -1);  // 19200, stored only
  EXPECT_EQ(device->network().baud, 9600);
  Exchange init = Ask(*device, true, "INIT", {});
  EXPECT_TRUE(init.answered);
  EXPECT_EQ(init.hash, H("INIT"));
  EXPECT_TRUE(init.data.empty());
  EXPECT_EQ(init.outcome.action, LornAction::Restart);
  device->Restart(std::chrono::steady_clock::now());
  EXPECT_EQ(device->network().baud, 19200);
  EXPECT_EQ(Ask(*device, true, "exit", {}).data, (Bytes{0, 0, kResetExternal}));
}

TEST(Commands, ApplyIsNotAnsweredAndActsAtTheBaseAndBroadcastAddress) {
  auto device = MakeDevice();
  Exchange at_base = Ask(*device, false, link::kApplyHash, {}, 0);
  EXPECT_TRUE(at_base.outcome.reply.empty());
  EXPECT_EQ(at_base.outcome.action, LornAction::Apply);
  Exchange broadcast = Ask(*device, false, link::kApplyHash, {}, 255 - 16);
  EXPECT_TRUE(broadcast.outcome.reply.empty());
  EXPECT_EQ(broadcast.outcome.action, LornAction::Apply);
  // Nothing else is answered at the broadcast address.
  EXPECT_FALSE(Ask(*device, true, "dev", {}, 255 - 16).outcome.for_device);
}

TEST(Addressing, OperativeParametersAnswerAtBasePlusIndexOnly) {
  auto device = MakeDevice();
  EXPECT_EQ(Ask(*device, false, "r.oe", {0x3F, 0x00, 0x00}, 5).data, (Bytes{0x3F, 0, 0}));
  EXPECT_EQ(Ask(*device, true, "r.oe", {}, 5).data, (Bytes{0x3F, 0, 0}));
  EXPECT_EQ(Ask(*device, true, "r.oe", {}, 4).data, (Bytes{0, 0, 0}));
  EXPECT_TRUE(Ask(*device, true, "r.cou", {}, 11).answered);
  // Configuration parameters and unknown names above the base are for a neighbour.
  EXPECT_FALSE(Ask(*device, true, "bPS", {}, 1).outcome.for_device);
  EXPECT_FALSE(Ask(*device, true, "ZZZZ", {}, 3).outcome.for_device);
  // Beyond the last operative index, and below the base, nothing is ours.
  EXPECT_FALSE(Ask(*device, true, "r.cou", {}, 12).outcome.for_device);
  EXPECT_FALSE(Ask(*device, true, "dev", {}, -1).outcome.for_device);
}

TEST(Addressing, ElevenBitAddress) {
  SimOptions o;
  o.address_bits = 11;
  o.address = 1000;
  auto device = MakeDevice(o);
  Exchange e = Ask(*device, true, "Addr", {});
  ASSERT_TRUE(e.answered);
  EXPECT_EQ(e.data, (Bytes{0x03, 0xE8}));
  EXPECT_EQ(Ask(*device, true, "A.Len", {}).data, Bytes{1});
}

TEST(Live, CountersCountRisingEdgesAndResetOnWrite) {
  SimOptions o;
  o.input_half_period_ms = 10;
  auto device = MakeDevice(o);
  auto t0 = std::chrono::steady_clock::now();
  using std::chrono::milliseconds;
  // Input 1 rises at 10, 30, 50 ... ms after start; input 2 at 20, 60, 100 ...
  Ask(*device, false, H("r.cou"), {0}, 0, t0);
  Exchange c0 = Ask(*device, true, H("r.cou"), {}, 0, t0 + milliseconds(1000));
  Exchange c1 = Ask(*device, true, H("r.cou"), {}, 1, t0 + milliseconds(1000));
  ASSERT_EQ(c0.data.size(), 1u);
  EXPECT_NEAR(c0.data[0], 50, 1);
  EXPECT_NEAR(c1.data[0], 25, 1);
  // Writing a counter sets where it goes on from.
  Ask(*device, false, H("r.cou"), {100}, 1, t0 + milliseconds(1000));
  Exchange later = Ask(*device, true, H("r.cou"), {}, 1, t0 + milliseconds(1200));
  EXPECT_NEAR(later.data[0], 105, 1);
}

TEST(Live, InputStatesChangeOverTime) {
  SimOptions o;
  o.input_half_period_ms = 100;
  auto device = MakeDevice(o);
  auto t0 = std::chrono::steady_clock::now();
  using std::chrono::milliseconds;
  Exchange first = Ask(*device, true, H("r.cn"), {}, 0, t0 + milliseconds(50));
  Exchange second = Ask(*device, true, H("r.cn"), {}, 0, t0 + milliseconds(150));
  EXPECT_EQ(first.data, Bytes{0});
  EXPECT_EQ(second.data, Bytes{1});  // input 1 on
}

TEST(Frames, MalformedFramesAreNotRequests) {
  std::string good = LornFrame(16, 8, true, H("A.Len"), nullptr, 0);
  ASSERT_TRUE(ParseLornRequest(good, 8));
  std::string bad_sum = good;
  bad_sum[11] = bad_sum[11] == 'G' ? 'H' : 'G';
  std::string odd = good.substr(0, 12) + "\r";
  std::string bad_letter = good;
  bad_letter[3] = 'Z';
  std::string long_count = LornFrame(16, 8, true, H("A.Len"), nullptr, 0);
  long_count[4] = 'H';  // length nibble 1 without the byte
  for (const std::string& f : {bad_sum, odd, bad_letter, long_count, std::string("#\r"),
                               std::string("#GGGGGGGGGGGG"), std::string()})
    EXPECT_FALSE(ParseLornRequest(f, 8)) << f;
}

}  // namespace
}  // namespace vesk::sim::test
