#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "link/error_texts.h"
#include "link/probe_codec.h"

using namespace vesk::link;

namespace {

struct CodeText {
  int code;
  std::string text;
};

void PrintTo(const CodeText& c, std::ostream* os) {
  *os << c.code;
}

std::string TextOfCode(int code) {
  for (const DeviceErrorText& e : kDeviceErrorTexts)
    if (e.code == code) return e.text;
  return "no text";
}

std::string UnknownCode(int code) {
  return kUnknownErrorText + std::to_string(code) + ")";
}

class ErrorReplyTextCases : public ::testing::TestWithParam<CodeText> {};

TEST_P(ErrorReplyTextCases, ForCode) {
  const uint8_t data[] = {static_cast<uint8_t>(GetParam().code), 0xAA};
  std::string text = "stale";
  ASSERT_TRUE(ErrorReplyText(data, 2, text));
  EXPECT_EQ(text, GetParam().text);
}

// The codes between those of the table, the group levels and the codes above 127, which
// the device means as negative.
INSTANTIATE_TEST_SUITE_P(
    Table, ErrorReplyTextCases,
    ::testing::Values(CodeText{0, TextOfCode(0)}, CodeText{1, UnknownCode(1)},
                      CodeText{9, UnknownCode(9)}, CodeText{32, UnknownCode(32)},
                      CodeText{47, UnknownCode(47)}, CodeText{54, kIndexLimitText},
                      CodeText{56, TextOfCode(56)},
                      CodeText{57, kGroupAttributeLevelText + std::string("1")},
                      CodeText{63, kGroupAttributeLevelText + std::string("7")},
                      CodeText{64, UnknownCode(64)}, CodeText{75, TextOfCode(75)},
                      CodeText{76, UnknownCode(76)}, CodeText{127, UnknownCode(127)},
                      CodeText{0xC8, UnknownCode(-56)}, CodeText{0x80, UnknownCode(-128)}));

TEST(ErrorReplyText, NoDataNoText) {
  std::string text = "stale";
  EXPECT_FALSE(ErrorReplyText(nullptr, 0, text));
  EXPECT_EQ(text, "");
  const uint8_t code = 53;
  EXPECT_FALSE(ErrorReplyText(&code, 0, text));
}

TEST(ProbeErrorText, Table) {
  struct ResultText {
    ProbeResult result;
    const char* text;
  };
  const std::vector<ResultText> known = {{ProbeResult::Timeout, kTextTimeout},
                                         {ProbeResult::LineError, kProbeLineErrorText},
                                         {ProbeResult::Checksum, kProbeChecksumText},
                                         {ProbeResult::Address, kProbeAddressText},
                                         {ProbeResult::Malformed, kProbeMalformedText}};
  std::string text;
  for (const ResultText& c : known) {
    EXPECT_TRUE(ProbeErrorText(c.result, text)) << c.text;
    EXPECT_EQ(text, c.text);
  }
  for (ProbeResult result : {ProbeResult::Answered, ProbeResult::Refused}) {
    text = "stale";
    EXPECT_FALSE(ProbeErrorText(result, text));
    EXPECT_EQ(text, "");
  }
}

TEST(ProbeChecksums, KnownVectors) {
  // The read-holding-registers request that every Modbus text shows: 01 03 00 00 00 0A C5 CD.
  const uint8_t rtu[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(ModbusCrc16(rtu, sizeof rtu), 0xCDC5);
  const uint8_t ascii[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(ModbusLrc(ascii, sizeof ascii), 0xFB);
  EXPECT_EQ(ModbusLrc(ascii, 0), 0);
}

TEST(ProbeRequest, LineForms) {
  const uint8_t modbus[] = {0x05, 0xF0, 0xF0, 0xFF, 0x00};
  ProbeFrame f;
  ASSERT_TRUE(BuildProbeRequest(kProbeModbusAscii, 0x10, modbus, 5, f));
  EXPECT_EQ(f.Text(), ":1005F0F0FF000C\r\n");
  ASSERT_TRUE(BuildProbeRequest(kProbeModbusRtu, 0x10, modbus, 5, f));
  ASSERT_EQ(f.length, 8);
  EXPECT_EQ(f.Text().substr(0, 6), std::string("\x10\x05\xF0\xF0\xFF\x00", 6));
  const uint8_t lorn[] = {'L', 'O', 'R', 'N'};
  ASSERT_TRUE(BuildProbeRequest(kProbePercent, 0x10, lorn, 4, f));
  EXPECT_EQ(f.Text(), "%10LORNC1\r");
  EXPECT_FALSE(BuildProbeRequest(0, 0x10, lorn, 4, f));
  EXPECT_FALSE(BuildProbeRequest(kProbePercent, 0x10, lorn, kProbeMaxPayload + 1, f));
  EXPECT_EQ(f.length, 0);
}

struct ProbeReplyCase {
  const char* what;
  int mode;
  std::string reply;
  ProbeResult result;
  std::string data;
};

void PrintTo(const ProbeReplyCase& c, std::ostream* os) {
  *os << c.what;
}

std::string RtuFrame(std::string body) {
  const auto* b = reinterpret_cast<const uint8_t*>(body.data());
  const uint16_t crc = ModbusCrc16(b, body.size());
  body += static_cast<char>(crc & 0xFF);
  body += static_cast<char>(crc >> 8);
  return body;
}

class ProbeReply : public ::testing::TestWithParam<ProbeReplyCase> {};

TEST_P(ProbeReply, Checks) {
  const ProbeReplyCase& c = GetParam();
  uint8_t data[31];
  int count = -1;
  EXPECT_EQ(CheckProbeReply(c.mode, 0x10, c.reply, data, sizeof data, count), c.result);
  if (c.result == ProbeResult::Answered) {
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), static_cast<size_t>(count)), c.data);
  } else {
    EXPECT_EQ(count, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ProbeReply,
    ::testing::Values(
        ProbeReplyCase{"rtu echo", 1, RtuFrame("\x10\x05\xF0"), ProbeResult::Answered, "\x05\xF0"},
        ProbeReplyCase{"rtu address only", 1, RtuFrame("\x10"), ProbeResult::Answered, ""},
        ProbeReplyCase{"rtu other address", 1, RtuFrame("\x11\x05"), ProbeResult::Address, ""},
        ProbeReplyCase{"rtu bad crc", 1, RtuFrame("\x10\x05").erase(0, 1).insert(0, "\x12"),
                       ProbeResult::Checksum, ""},
        ProbeReplyCase{"rtu too short", 1, "\x10\x05", ProbeResult::Malformed, ""},
        ProbeReplyCase{"rtu empty", 1, "", ProbeResult::Malformed, ""},
        ProbeReplyCase{"ascii echo", 2, ":1005F0F0FF000C\r\n", ProbeResult::Answered,
                       std::string("\x05\xF0\xF0\xFF\x00", 5)},
        ProbeReplyCase{"ascii without line feed", 2, ":1005EB\r", ProbeResult::Answered, "\x05"},
        ProbeReplyCase{"ascii lower-case hex", 2, ":10fff1\r", ProbeResult::Answered, "\xff"},
        ProbeReplyCase{"ascii no carriage return", 2, ":1005EB", ProbeResult::Malformed, ""},
        ProbeReplyCase{"ascii no colon", 2, "1005EB\r", ProbeResult::Malformed, ""},
        ProbeReplyCase{"ascii odd", 2, ":1005E\r", ProbeResult::Malformed, ""},
        ProbeReplyCase{"ascii not hex", 2, ":10Z5EB\r", ProbeResult::Malformed, ""},
        ProbeReplyCase{"ascii bad lrc", 2, ":1005EC\r", ProbeResult::Checksum, ""},
        ProbeReplyCase{"ascii other address", 2, ":1105EA\r", ProbeResult::Address, ""},
        ProbeReplyCase{"percent good", 3, "!10OK1C\r", ProbeResult::Answered, "OK"},
        ProbeReplyCase{"percent trailing noise", 3, "!10OK1C\rxyz", ProbeResult::Answered, "OK"},
        ProbeReplyCase{"percent wrong start", 3, "?10OK3A\r", ProbeResult::Malformed, ""},
        ProbeReplyCase{"percent bad sum", 3, "!10OK1D\r", ProbeResult::Checksum, ""},
        ProbeReplyCase{"percent other address", 3, "!11OK1D\r", ProbeResult::Address, ""},
        ProbeReplyCase{"percent short", 3, "!1\r", ProbeResult::Malformed, ""},
        ProbeReplyCase{"unknown mode", 0, "!10OK1C\r", ProbeResult::Malformed, ""}));

TEST(ProbeReply, DataLongerThanTheBufferIsRefused) {
  uint8_t data[2];
  int count = -1;
  EXPECT_EQ(CheckProbeReply(1, 0x10, RtuFrame("\x10\x01\x02\x03"), data, sizeof data, count),
            ProbeResult::Malformed);
  EXPECT_EQ(count, 0);
}

}  // namespace
