#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

using namespace vesk::link;

namespace {

std::vector<uint8_t> BytesOf(const RequestFrame& f) {
  return {f.bytes, f.bytes + f.byte_count};
}

// A reply frame in line form built from its byte form, with the checksum appended.
std::string ReplyLine(std::vector<uint8_t> bytes) {
  uint16_t crc = HashBuffer(bytes.data(), bytes.size());
  bytes.push_back(static_cast<uint8_t>(crc >> 8));
  bytes.push_back(static_cast<uint8_t>(crc));
  std::string line(2 * bytes.size(), '\0');
  EXPECT_TRUE(EncodeBuffer(bytes.data(), bytes.size(), line.data(), line.size()));
  return "#" + line + "\r";
}

}  // namespace

TEST(HashBuffer, KnownVectors) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(HashBuffer(abc, 3), 0x4F8D);
  EXPECT_EQ(HashBuffer(abc, 0), 0);
  // Running over a message followed by its own checksum leaves the register at zero,
  // which is what makes the frame check work.
  const uint8_t frame[] = {0x10, 0x10, 0x1E, 0xD2, 0xCB, 0x82};
  EXPECT_EQ(HashBuffer(frame, 4), 0xCB82);
  EXPECT_EQ(HashBuffer(frame, 6), 0);
  // Chaining through the initial value equals one pass.
  EXPECT_EQ(HashBuffer(abc + 1, 2, HashBuffer(abc, 1)), 0x4F8D);
}

TEST(NibbleCoding, EncodeDecodeRoundTripAndCapacity) {
  const uint8_t in[] = {0x00, 0x0F, 0xF0, 0xFF, 0x5A};
  char out[10];
  ASSERT_TRUE(EncodeBuffer(in, 5, out, sizeof out));
  EXPECT_EQ(std::string(out, 10), "GGGVVGVVLQ");
  EXPECT_FALSE(EncodeBuffer(in, 5, out, 9));

  uint8_t back[5] = {};
  EXPECT_EQ(DecodeBuffer(out, 10, back, sizeof back), 5u);
  EXPECT_EQ(std::memcmp(in, back, 5), 0);
  // Odd counts drop the last letter; the output never grows past its capacity.
  EXPECT_EQ(DecodeBuffer(out, 9, back, sizeof back), 4u);
  uint8_t small[2] = {};
  EXPECT_EQ(DecodeBuffer(out, 10, small, sizeof small), 2u);
  // The alphabet is not checked: the byte is whatever the arithmetic gives.
  uint8_t odd = 0;
  EXPECT_EQ(DecodeBuffer("AZ", 2, &odd, 1), 1u);
  EXPECT_EQ(odd, static_cast<uint8_t>((('A' - 'G') << 4) + ('Z' - 'G')));
}

struct PackCase {
  const char* name;
  PackedName codes;
};
void PrintTo(const PackCase& c, std::ostream* os) {
  *os << c.name;
}

class PackNameCases : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackNameCases, Codes) {
  EXPECT_EQ(PackName(GetParam().name), GetParam().codes);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PackNameCases,
    ::testing::Values(PackCase{"A.Len", {21, 42, 28, 46}}, PackCase{"M.s.t.r.", {45, 57, 59, 55}},
                      PackCase{"r.oe", {55, 48, 28, 78}}, PackCase{"bPS", {22, 50, 56, 78}},
                      PackCase{"", {78, 78, 78, 78}},
                      PackCase{"ABCD.", {20, 22, 24, 27}},  // point after the 4th folds in
                      PackCase{"A..B", {22, 22, 78, 78}},   // two points add two
                      PackCase{".AB", {20, 22, 78, 78}},    // a leading point is skipped
                      PackCase{"a -_", {20, 78, 72, 74}},
                      PackCase{"A/B", {20, 22, 78, 78}},         // "/" only decodes
                      PackCase{"Ж.AB", {20, 22, 78, 78}},        // a point after a skipped letter
                      PackCase{"ЖЖЖЖЖЖЖЖAB", {78, 78, 78, 78}},  // only 8 characters count
                      PackCase{"ЖЖЖЖЖЖЖA", {20, 78, 78, 78}}));

struct HashCase {
  const char* name;
  uint16_t hash;
};
void PrintTo(const HashCase& c, std::ostream* os) {
  *os << c.name;
}

class NameHashCases : public ::testing::TestWithParam<HashCase> {};

TEST_P(NameHashCases, Value) {
  EXPECT_EQ(NameHash(GetParam().name), GetParam().hash);
}

INSTANTIATE_TEST_SUITE_P(Examples, NameHashCases,
                         ::testing::Values(HashCase{"n.Err", 0x0233}, HashCase{"APLY", 0x8403},
                                           HashCase{"A.Len", 0x1ED2}, HashCase{"r.oe", 0xE894},
                                           HashCase{"Addr", 0x9F62}, HashCase{"CHAr", 0x3628},
                                           HashCase{"M.s.t.r.", 0x5EA0}, HashCase{"", 0}));

TEST(NameHash, EquivalentNames) {
  EXPECT_EQ(kErrorReplyHash, NameHash("n.Err"));
  EXPECT_EQ(kApplyHash, NameHash("APLY"));
  EXPECT_EQ(kAttributeHash, NameHash("M.s.t.r."));
  // Only outside characters: four blanks, which is not the empty name's 0.
  EXPECT_EQ(NameHash("!?"), NameHash("    "));
  EXPECT_EQ(NameHash("ЯЮ"), NameHash("    "));
  EXPECT_NE(NameHash("!?"), 0);
  EXPECT_EQ(NameHash("abcde"), NameHash("ABCD"));
  EXPECT_NE(NameHash("ABCD."), NameHash("ABCD"));
  EXPECT_EQ(NameHash(".AB"), NameHash("AB"));
  EXPECT_EQ(NameHash("A..B"), NameHash("BB"));
  EXPECT_EQ(PackName("A.B.C.D.E"), PackName("A.B.C.D."));
  EXPECT_EQ(NameHash("A.B.C.D.E"), NameHash("A.B.C.D."));
  // A Cyrillic letter is one character: the name hashes as its cp1251 form would.
  EXPECT_EQ(NameHash("ЖA.Len"), NameHash("A.Len"));
  // A broken UTF-8 byte is one skipped character and never read past.
  EXPECT_EQ(NameHash(std::string("\xD0", 1) + "AB"), NameHash("AB"));
}

struct NetNameCase {
  const char* text;
  bool ok;
  PackedName codes;
};
void PrintTo(const NetNameCase& c, std::ostream* os) {
  *os << c.text;
}

class NetworkNameCases : public ::testing::TestWithParam<NetNameCase> {};

TEST_P(NetworkNameCases, Packs) {
  PackedName codes{};
  ASSERT_EQ(PackNetworkName(GetParam().text, codes), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(codes, GetParam().codes);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, NetworkNameCases,
                         ::testing::Values(NetNameCase{"AB.C", true, {20, 23, 24, 78}},
                                           NetNameCase{"ab", true, {20, 22, 78, 78}},
                                           NetNameCase{"ABCDE", true, {20, 22, 24, 26}},
                                           NetNameCase{"A/B", false, {}},
                                           NetNameCase{".AB", false, {}},
                                           NetNameCase{"AЖ", false, {}},
                                           NetNameCase{"A-_ ", true, {20, 72, 74, 78}}));

TEST(NetworkName, CodesBackToCharacters) {
  std::string s;
  for (unsigned code : {0u, 19u, 20u, 71u, 72u, 74u, 76u, 78u, 79u}) AppendPackedChar(s, code);
  EXPECT_EQ(s, "09.AZ.-_/  .");
}

struct RequestCase {
  const char* what;
  bool read;
  uint16_t hash;
  std::vector<uint8_t> data;
  FrameAddress address;
  std::vector<uint8_t> bytes;
  const char* line;  // nullptr: not checked
};
void PrintTo(const RequestCase& c, std::ostream* os) {
  *os << c.what;
}

class BuildRequestCases : public ::testing::TestWithParam<RequestCase> {};

TEST_P(BuildRequestCases, BytesAndLine) {
  const RequestCase& c = GetParam();
  RequestFrame f;
  ASSERT_TRUE(
      BuildRequest(c.read, c.hash, c.data.data(), static_cast<int>(c.data.size()), c.address, f))
      << c.what;
  ASSERT_EQ(f.byte_count, static_cast<int>(c.data.size()) + 6) << c.what;
  // Cases that give only the header leave the checksum to the zero-residue check.
  std::vector<uint8_t> head = BytesOf(f);
  head.resize(c.bytes.size());
  EXPECT_EQ(head, c.bytes) << c.what;
  EXPECT_EQ(HashBuffer(f.bytes, f.byte_count), 0) << c.what;
  EXPECT_EQ(f.length, 2 * static_cast<int>(c.data.size()) + 14) << c.what;
  if (c.line) {
    EXPECT_EQ(f.Text(), c.line) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, BuildRequestCases,
    ::testing::Values(
        RequestCase{"read A.Len",
                    true,
                    0x1ED2,
                    {},
                    {16, 8, 0},
                    {0x10, 0x10, 0x1E, 0xD2, 0xCB, 0x82},
                    "#HGHGHUTISROI\r"},
        RequestCase{"write 01 to A.Len",
                    false,
                    0x1ED2,
                    {0x01},
                    {16, 8, 0},
                    {0x10, 0x01, 0x1E, 0xD2, 0x01, 0x57, 0xDF},
                    "#HGGHHUTIGHLNTV\r"},
        RequestCase{"11-bit read Addr",
                    true,
                    0x9F62,
                    {},
                    {1000, 11, 0},
                    {0x7D, 0x10, 0x9F, 0x62, 0x89, 0x7F},
                    nullptr},
        RequestCase{"11-bit base+offset",
                    true,
                    0x9F62,
                    {},
                    {1000, 11, 3},
                    {0x7D, 0x70, 0x9F, 0x62},
                    nullptr},
        RequestCase{
            "offset -1 in 8-bit", true, 0x9F62, {}, {16, 8, -1}, {0xFF, 0x10, 0x9F, 0x62}, nullptr},
        RequestCase{"offset -1 in 11-bit",
                    true,
                    0x9F62,
                    {},
                    {1000, 11, -1},
                    {31, 0xF0, 0x9F, 0x62},
                    nullptr},
        RequestCase{"index in the address",
                    false,
                    0x9F62,
                    {},
                    {16, 8, 5},
                    {21, 0x00, 0x9F, 0x62},
                    nullptr}));

TEST(BuildRequest, LengthLimits) {
  uint8_t data[16] = {};
  RequestFrame f;
  ASSERT_TRUE(BuildRequest(false, 0x1234, data, 15, {}, f));
  EXPECT_EQ(f.length, 44);
  EXPECT_EQ(f.Text().front(), '#');
  EXPECT_EQ(f.Text().back(), '\r');
  EXPECT_EQ(f.bytes[1] & 0x0F, 15);
  EXPECT_FALSE(BuildRequest(false, 0x1234, data, 16, {}, f));
  EXPECT_EQ(f.length, 0);
  EXPECT_FALSE(BuildRequest(false, 0x1234, data, -1, {}, f));
  EXPECT_FALSE(BuildRequest(false, 0x1234, nullptr, 2, {}, f));
}

TEST(ParseReply, GoodFrames) {
  ReplyFrame r;
  ASSERT_TRUE(ParseReply(ReplyLine({0x10, 0x02, 0x1E, 0xD2, 0xAB, 0xCD}), r));
  EXPECT_EQ(r.hash, 0x1ED2);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.data[0], 0xAB);
  EXPECT_EQ(r.data[1], 0xCD);
  EXPECT_EQ(r.received_checksum, r.local_checksum);

  // The request echoed back parses as a reply with the same hash; the address bits
  // and the request flag are not looked at.
  RequestFrame f;
  const uint8_t one = 1;
  ASSERT_TRUE(BuildRequest(false, 0x1ED2, &one, 1, {1000, 11, -1}, f));
  ASSERT_TRUE(ParseReply(f.Text(), r));
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.data[0], 1);

  // No carriage return at the end (cut reply): still the counted characters decide.
  std::string line = ReplyLine({0, 0x01, 0x02, 0x33, 49});
  line.back() = 'G';
  ASSERT_TRUE(ParseReply(line, r));
  EXPECT_EQ(r.hash, kErrorReplyHash);
}

struct ParseReplyCase {
  const char* what;
  std::string line;
};
void PrintTo(const ParseReplyCase& c, std::ostream* os) {
  *os << c.what;
}

class ParseBadReply : public ::testing::TestWithParam<ParseReplyCase> {};

TEST_P(ParseBadReply, IsRejectedWithoutData) {
  ReplyFrame r;
  r.count = 7;
  EXPECT_FALSE(ParseReply(GetParam().line, r)) << GetParam().what;
  EXPECT_EQ(r.count, 0);
}

std::string Corrupt(std::string s, size_t at, char c) {
  s[at] = c;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ParseBadReply,
    ::testing::Values(
        ParseReplyCase{"empty", ""}, ParseReplyCase{"start only", "#"},
        ParseReplyCase{"start and end", "#\r"}, ParseReplyCase{"short", "#GGGGGGGG\r"},
        ParseReplyCase{"bit flipped", Corrupt(ReplyLine({0x10, 0x01, 0x1E, 0xD2, 7}), 9, 'H')},
        ParseReplyCase{"outside the alphabet",
                       Corrupt(ReplyLine({0x10, 0x01, 0x1E, 0xD2, 7}), 9, 'Z')},
        ParseReplyCase{"odd length, checksum shifted",
                       ReplyLine({0x10, 0x01, 0x1E, 0xD2, 7}).insert(5, "G")},
        // Announces 8 data bytes, carries 1: the checksum would lie past what arrived.
        ParseReplyCase{"truncated data", ReplyLine({0x10, 0x08, 0x1E, 0xD2, 7})},
        ParseReplyCase{"longer than any frame", "#" + std::string(60, 'G') + "\r"},
        ParseReplyCase{"trailing bytes", ReplyLine({0x10, 0x00, 0x1E, 0xD2}).insert(13, "HH")}));

TEST(ParseReply, OddLengthDecodesWholePairs) {
  // One stray letter before the carriage return is dropped by the integer division,
  // so a good frame followed by it still passes.
  std::string line = ReplyLine({0x10, 0x00, 0x1E, 0xD2});
  line.insert(line.size() - 1, "K");
  ReplyFrame r;
  EXPECT_TRUE(ParseReply(line, r));
  EXPECT_EQ(r.hash, 0x1ED2);
}
