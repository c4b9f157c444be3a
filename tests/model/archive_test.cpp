#include "model/archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace vesk::model {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

ArchiveFault FaultOf(const Bytes& bytes, void (*read)(ArchiveReader&)) {
  ArchiveReader reader(bytes);
  try {
    read(reader);
  } catch (const ArchiveError& e) {
    return e.fault();
  }
  ADD_FAILURE() << "no archive error";
  return ArchiveFault::BadFormat;
}

// --- Integers ---------------------------------------------------------------------------

TEST(ArchiveIntegers, LittleEndian) {
  ArchiveWriter w;
  w.WriteByte(0xAB);
  w.WriteUInt16(0x1234);
  w.WriteInt32(-2);
  w.WriteUInt32(0x0A0B0C0D);
  w.WriteBool(true);
  EXPECT_EQ(w.bytes(),
            (Bytes{0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x0D, 0x0C, 0x0B, 0x0A, 1}));
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadByte(), 0xAB);
  EXPECT_EQ(r.ReadUInt16(), 0x1234);
  EXPECT_EQ(r.ReadInt32(), -2);
  EXPECT_EQ(r.ReadUInt32(), 0x0A0B0C0Du);
  EXPECT_TRUE(r.ReadBool());
  EXPECT_EQ(r.Remaining(), 0u);
  EXPECT_EQ(FaultOf(Bytes{1, 2, 3}, [](ArchiveReader& a) { a.ReadInt32(); }),
            ArchiveFault::EndOfData);
}

// --- Strings: the three length forms ----------------------------------------------------

struct LengthCase {
  size_t length;
  Bytes prefix;
};

class ArchiveStringLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ArchiveStringLength, WrittenAndReadBack) {
  const LengthCase& c = GetParam();
  const std::string text(c.length, 'x');
  ArchiveWriter w;
  w.WriteString(text);
  const Bytes& out = w.bytes();
  ASSERT_EQ(out.size(), c.prefix.size() + c.length);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + c.prefix.size()), c.prefix);
  ArchiveReader r(out);
  EXPECT_EQ(r.ReadString(), text);
  EXPECT_EQ(r.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ArchiveStringLength,
    testing::Values(LengthCase{0, {0x00}}, LengthCase{1, {0x01}}, LengthCase{254, {0xFE}},
                    LengthCase{255, {0xFF, 0xFF, 0x00}}, LengthCase{0xFFFD, {0xFF, 0xFD, 0xFF}},
                    LengthCase{0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
                    LengthCase{70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}}));

TEST(ArchiveString, CyrillicIsCp1251InTheArchive) {
  ArchiveWriter w;
  w.WriteString("Нет данных");
  EXPECT_EQ(w.bytes(), (Bytes{10, 0xCD, 0xE5, 0xF2, 0x20, 0xE4, 0xE0, 0xED, 0xED, 0xFB, 0xF5}));
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadString(), "Нет данных");
}

TEST(ArchiveString, TextOutsideCp1251IsWrittenAsUtf16) {
  ArchiveWriter w;
  w.WriteString("A日😀");
  EXPECT_EQ(w.bytes(), (Bytes{0xFF, 0xFE, 0xFF, 4, 'A', 0, 0xE5, 0x65, 0x3D, 0xD8, 0x00, 0xDE}));
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadString(), "A日😀");
}

TEST(ArchiveString, EveryCp1251CharacterStaysOneByte) {
  // Every byte a device text may hold, 0x98 included: read -> file -> write gives it back.
  std::string cp1251;
  for (int b = 0; b <= 0xFF; ++b) cp1251 += static_cast<char>(b);
  const std::string text = platform::Cp1251ToUtf8(cp1251);
  ArchiveWriter w;
  w.WriteString(text);
  ASSERT_EQ(w.bytes().size(), 3 + cp1251.size());  // 256 characters: 0xFF and a 16-bit length
  EXPECT_EQ(std::string(w.bytes().begin() + 3, w.bytes().end()), cp1251);
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadString(), text);
}

TEST(ArchiveString, InvalidUtf8IsWrittenWithReplacementCharacters) {
  ArchiveWriter w;
  w.WriteString("a\xC0\xAF\xFF");  // an overlong '/' and a stray byte
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadString(), "a\uFFFD\uFFFD\uFFFD");
}

struct Utf16Case {
  const char* name;
  Bytes bytes;
  std::string text;
};

class ArchiveUtf16Read : public testing::TestWithParam<Utf16Case> {};

TEST_P(ArchiveUtf16Read, Converted) {
  ArchiveReader r(GetParam().bytes);
  EXPECT_EQ(r.ReadString(), GetParam().text);
  EXPECT_EQ(r.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Marker, ArchiveUtf16Read,
    testing::Values(Utf16Case{"Short", {0xFF, 0xFE, 0xFF, 2, 0x1F, 0x04, 'a', 0}, "Пa"},
                    Utf16Case{"Empty", {0xFF, 0xFE, 0xFF, 0}, ""},
                    Utf16Case{"WordLength",
                              Concat({{0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01},
                                      [] {
                                        Bytes b;
                                        for (int i = 0; i < 256; ++i) b.insert(b.end(), {'z', 0});
                                        return b;
                                      }()}),
                              std::string(256, 'z')},
                    Utf16Case{
                        "UnpairedSurrogate", {0xFF, 0xFE, 0xFF, 2, 0x00, 0xD8, 'b', 0}, "\uFFFDb"},
                    Utf16Case{"LoneLowSurrogate", {0xFF, 0xFE, 0xFF, 1, 0x00, 0xDC}, "\uFFFD"}),
    [](const auto& info) { return info.param.name; });

struct BadStringCase {
  const char* name;
  Bytes bytes;
  ArchiveFault fault;
};

class ArchiveBadString : public testing::TestWithParam<BadStringCase> {};

TEST_P(ArchiveBadString, Refused) {
  EXPECT_EQ(FaultOf(GetParam().bytes, [](ArchiveReader& r) { r.ReadString(); }), GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveBadString,
    testing::Values(
        BadStringCase{"Empty", {}, ArchiveFault::EndOfData},
        BadStringCase{"ShortText", {5, 'a', 'b'}, ArchiveFault::EndOfData},
        BadStringCase{"CutLengthWord", {0xFF, 0x01}, ArchiveFault::EndOfData},
        // A length of nearly 4 GiB over a few bytes: refused before anything is allocated.
        BadStringCase{
            "HugeLength", {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'a'}, ArchiveFault::EndOfData},
        BadStringCase{"HugeUtf16Length",
                      {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x7F, 'a', 0},
                      ArchiveFault::EndOfData},
        BadStringCase{"OddUtf16Bytes", {0xFF, 0xFE, 0xFF, 2, 'a', 0, 'b'}, ArchiveFault::EndOfData},
        BadStringCase{"SixtyFourBitLength",
                      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0},
                      ArchiveFault::BadFormat}),
    [](const auto& info) { return info.param.name; });

// --- Class references -------------------------------------------------------------------

Bytes FullClass(uint16_t schema, const std::string& name) {
  Bytes b{0xFF,
          0xFF,
          static_cast<uint8_t>(schema),
          static_cast<uint8_t>(schema >> 8),
          static_cast<uint8_t>(name.size()),
          0};
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

TEST(ArchiveClass, FullFirstTimeThenNumbered) {
  ArchiveWriter w;
  w.WriteClass("MyConverter", 3);
  w.WriteClass("Parameter", 1);
  w.WriteClass("MyConverter", 3);
  w.WriteClass("Parameter", 1);
  w.WriteClass("DescBranch", 3);
  w.WriteClass("DescBranch", 3);
  EXPECT_EQ(w.bytes(), Concat({FullClass(3, "MyConverter"),
                               FullClass(1, "Parameter"),
                               {0x01, 0x80, 0x02, 0x80},
                               FullClass(3, "DescBranch"),
                               {0x03, 0x80}}));
  ArchiveReader r(w.bytes());
  EXPECT_EQ(r.ReadClass("MyConverter"), 3);
  EXPECT_EQ(r.ReadClass("Parameter"), 1);
  EXPECT_EQ(r.ReadClass("MyConverter"), 3);
  EXPECT_EQ(r.ReadClass("Parameter"), 1);
  EXPECT_EQ(r.ReadClass("DescBranch"), 3);
  EXPECT_EQ(r.ReadClass("InvisibleElement"), 3);  // a branch is an element too
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ArchiveClass, BigClassTagIsRead) {
  const Bytes b = Concat({FullClass(3, "DescBranch"), {0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}});
  ArchiveReader r(b);
  r.ReadClass("DescBranch");
  EXPECT_EQ(r.ReadClass("DescBranch"), 3);
}

TEST(ArchiveClass, DerivationFollowsTheModel) {
  EXPECT_TRUE(IsClassDerivedFrom("NetRS485prg", "InvisibleElement"));
  EXPECT_TRUE(IsClassDerivedFrom("NetRS485prg", "NetRS485"));
  EXPECT_TRUE(IsClassDerivedFrom("Parameter", "MyConverter"));
  EXPECT_FALSE(IsClassDerivedFrom("MyConverter", "Parameter"));
  EXPECT_FALSE(IsClassDerivedFrom("InvisibleElement", "DescBranch"));
  EXPECT_FALSE(IsClassDerivedFrom("CTRB6Doc", "DescBranch"));
  EXPECT_FALSE(IsClassDerivedFrom("CFoo", "CFoo"));
}

class ArchiveBadClass : public testing::TestWithParam<BadStringCase> {};

TEST_P(ArchiveBadClass, Refused) {
  // Reads references until one fails; a stream of good ones would end in EndOfData.
  EXPECT_EQ(FaultOf(GetParam().bytes,
                    [](ArchiveReader& r) {
                      for (;;) r.ReadClass("DescBranch");
                    }),
            GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveBadClass,
    testing::Values(
        BadStringCase{"OtherClass", FullClass(3, "MyConverter"), ArchiveFault::BadClass},
        BadStringCase{"BaseWhereDerivedExpected", FullClass(3, "InvisibleElement"),
                      ArchiveFault::BadClass},
        BadStringCase{"UnknownClass", FullClass(3, "CFoo"), ArchiveFault::BadClass},
        BadStringCase{"NameTooLong", FullClass(3, std::string(64, 'D')), ArchiveFault::BadClass},
        BadStringCase{"TagBeforeAnyClass", {0x01, 0x80}, ArchiveFault::BadIndex},
        BadStringCase{"TagZero", {0x00, 0x80}, ArchiveFault::BadIndex},
        BadStringCase{"TagBeyondLoaded", Concat({FullClass(3, "DescBranch"), {0x02, 0x80}}),
                      ArchiveFault::BadIndex},
        BadStringCase{"NullTag", {0x00, 0x00}, ArchiveFault::BadClass},
        BadStringCase{"ObjectTag", {0x05, 0x00}, ArchiveFault::BadClass},
        BadStringCase{"BigObjectTag", {0xFF, 0x7F, 0x01, 0, 0, 0}, ArchiveFault::BadClass},
        BadStringCase{"CutName", Bytes{0xFF, 0xFF, 3, 0, 10, 0, 'D', 'e'}, ArchiveFault::EndOfData},
        BadStringCase{"CutHeader", Bytes{0xFF, 0xFF, 3}, ArchiveFault::EndOfData}),
    [](const auto& info) { return info.param.name; });

// Every prefix of a small archive ends in EndOfData, never in a crash or another fault.
TEST(ArchiveTruncation, EveryPrefixEndsInEndOfData) {
  ArchiveWriter w;
  w.WriteClass("CTRB6Doc", 4);
  w.WriteInt32(3);
  w.WriteString(std::string(300, 'q'));
  w.WriteString("Привет");
  w.WriteClass("CTRB6Doc", 4);
  const Bytes full = w.bytes();
  auto read_all = [](ArchiveReader& r) {
    r.ReadClass("CTRB6Doc");
    r.ReadInt32();
    r.ReadString();
    r.ReadString();
    r.ReadClass("CTRB6Doc");
  };
  for (size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + n);
    ArchiveReader r(cut);
    try {
      read_all(r);
      ADD_FAILURE() << "prefix " << n << " read whole";
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.fault(), ArchiveFault::EndOfData) << "prefix " << n;
    }
  }
  ArchiveReader r(full);
  EXPECT_NO_THROW(read_all(r));
}

}  // namespace
}  // namespace vesk::model
