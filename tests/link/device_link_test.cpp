#include "link/device_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <thread>

#include "link/error_texts.h"
#include "link/exit_status.h"
#include "link/line_stats.h"
#include "link/presenter.h"
#include "link/probe_codec.h"
#include "scripted_peer.h"

using namespace vesk::link;
using namespace vesk::test;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kAddrHash = 0x9F62;
constexpr uint16_t kALenHash = 0x1ED2;
constexpr uint16_t kCharHash = 0x3628;
constexpr uint16_t kSourHash = 0x69E1;  // "SoUr": an "int" always sent in 2 bytes
constexpr uint16_t kCntHash = 0x8C01;   // "Cnt": a plain "int"
const char* const kTimeoutText = kTextTimeout;

// Dispatches by the hash of the request; requests of other hashes get no answer.
Handler ByHash(std::map<uint16_t, Handler> handlers) {
  return [handlers](const std::string& line) -> std::optional<std::string> {
    auto it = handlers.find(DecodeRequest(line).hash);
    if (it == handlers.end()) return std::nullopt;
    return it->second(line);
  };
}

std::unique_ptr<Parameter> MakeParameter(const char* name, const char* type) {
  auto p = std::make_unique<Parameter>(name);
  p->type_text = type;
  return p;
}

// A link on a pseudo-terminal at the fastest line the port accepts (110 ms reply wait).
class LinkOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    exit_status = 0;
    link.port().settings().port_name = peer.slave_path();
    link.port().settings().baud_rate = 115200;
    // The polite line: the echo tests below set it themselves.
    link.port().settings().echo = EchoMode::Off;
    link.port().set_converter_mode(kConverterAuto);
    ASSERT_EQ(link.OpenPort(false), kOpenOk);
  }
  void TearDown() override { peer.Stop(); }

  std::vector<Request> Sent() {
    std::vector<Request> out;
    for (const std::string& line : peer.requests()) out.push_back(DecodeRequest(line));
    return out;
  }

  ScriptedPeer peer;
  DeviceLink link;
};

}  // namespace

TEST_F(LinkOverPty, ReadsAValue) {
  peer.set_fallback(Answer({0x00, 0x10}));
  peer.Start();
  auto p = MakeParameter("Addr", "int");
  p->value_changed = p->edit_changed = p->owner_changed = true;
  p->note = "old";
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  EXPECT_EQ(p->value, "16");
  EXPECT_EQ(p->note, "");
  EXPECT_FALSE(p->AnyChanged());
  auto req = Sent();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_TRUE(req[0].valid);
  EXPECT_TRUE(req[0].read);
  EXPECT_EQ(req[0].address, 16);
  EXPECT_EQ(req[0].hash, kAddrHash);
  EXPECT_TRUE(req[0].data.empty());
  EXPECT_EQ(exit_status.load(), 0u);
}

TEST_F(LinkOverPty, WritesValueAndIndexAndKeepsTheDevicesAnswer) {
  peer.set_fallback(Answer({0x00, 0x07, 0x00, 0x03}));
  peer.Start();
  auto p = MakeParameter("SoUr", "int");
  p->indexed = true;
  p->linear_index = 0x0103;
  p->poll_index = 2;  // the address offset
  p->value = "5";
  ASSERT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);
  EXPECT_EQ(p->value, "7");
  auto req = Sent();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_FALSE(req[0].read);
  EXPECT_EQ(req[0].address, 18);
  EXPECT_EQ(req[0].data, (std::vector<uint8_t>{0x00, 0x05, 0x01, 0x03}));
}

TEST_F(LinkOverPty, TwoTimeoutsThenSuccessTurnsTimeoutStatusIntoBadLine) {
  peer.Script({Silent(), Silent(), Answer({1})});
  peer.Start();
  exit_status = 0x04;  // left by an earlier failed exchange
  auto p = MakeParameter("Cnt", "int");
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  EXPECT_EQ(p->value, "1");
  EXPECT_EQ(peer.requests().size(), 3u);
  EXPECT_EQ(exit_status.load(), 0x08u);
}

TEST_F(LinkOverPty, ThreeTimeoutsFail) {
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  p->value = "8";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTimeoutText);
  EXPECT_EQ(p->value, "8");
  EXPECT_EQ(peer.requests().size(), 3u);
  EXPECT_EQ(exit_status.load(), 0x04u);

  exit_status = 0x08;  // a bad line stays recorded over a later time-out
  ReplyData reply;
  int count = -1;
  std::string error;
  EXPECT_FALSE(link.Transact(true, kCntHash, nullptr, 0, reply, count, error, 0));
  EXPECT_EQ(error, kTimeoutText);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(exit_status.load(), 0x08u);
}

// A floating line at the turnaround: what comes before "#" is skipped as noise, and noise
// with no frame after it is a time-out that names it.
TEST_F(LinkOverPty, NoiseBeforeTheStartIsSkipped) {
  LineStats stats;
  link.AddObserver(&stats);
  const std::vector<std::string> noises = {std::string(1, '\0'), "\xFF\xFFG", "\r", "X#"};
  // The peer's thread answers from a copy of the noises, and the number of the exchange is
  // shared with it through an atomic: the pseudo-terminal orders the two threads, but the
  // thread sanitizer cannot see that.
  auto at = std::make_shared<std::atomic<size_t>>(0);
  peer.set_fallback([noises, at](const std::string& line) -> std::optional<std::string> {
    const Request r = DecodeRequest(line);
    return noises.at(*at) + LornReply(r.hash, {7}, r.address, r.read);
  });
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  for (; *at < noises.size() - 1; ++*at) {
    SCOPED_TRACE(at->load());
    ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk) << p->note;
    EXPECT_EQ(p->value, "7");
  }
  EXPECT_EQ(peer.requests().size(), noises.size() - 1);  // not one retry
  EXPECT_EQ(stats.Snapshot().noise, noises.size() - 1);
  EXPECT_EQ(exit_status.load(), 0u);

  // A "#" within the noise starts a frame that is none.
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTextChecksum);

  peer.set_fallback(SendText("GGGG\r"));
  exit_status = 0;
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, std::string(kTextTimeout) + kTextNoiseBeforeTimeout + "5" + kTextNoiseUnit);
  EXPECT_EQ(p->value, "7");
  EXPECT_EQ(peer.requests().size(), noises.size() + 3);
  EXPECT_EQ(exit_status.load(), 0x04u);
  link.RemoveObserver(&stats);
}

struct StrayCase {
  const char* what;
  int address;
  bool read;
  uint16_t hash;
};

void PrintTo(const StrayCase& c, std::ostream* os) {
  *os << c.what;
}

class LinkStrayReply : public LinkOverPty, public ::testing::WithParamInterface<StrayCase> {};

// A multi-drop line: the late answer of the device asked last, or any frame that is not
// for this request, is skipped, and the wait goes on for the real answer.
TEST_P(LinkStrayReply, IsSkippedAndTheWaitGoesOn) {
  const StrayCase& c = GetParam();
  LineStats stats;
  link.AddObserver(&stats);
  const std::string stray = LornReply(c.hash, {0x38, 0x40}, c.address, c.read);
  peer.set_fallback([stray](const std::string& line) -> std::optional<std::string> {
    const Request r = DecodeRequest(line);
    return stray + LornReply(r.hash, {0x25, 0x80}, r.address, r.read);
  });
  peer.Start();
  auto p = MakeParameter("Addr", "int");
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, "9600");
  EXPECT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(stats.Snapshot().stray_replies, 1u);
  EXPECT_EQ(stats.Snapshot().Failures(), 0u);

  // Only a stray answer: nothing is stored, and it ends as silence would.
  peer.set_fallback(SendText(stray));
  p->value = "5";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTextTimeout);
  EXPECT_EQ(p->value, "5");
  link.RemoveObserver(&stats);
}

INSTANTIATE_TEST_SUITE_P(Frames, LinkStrayReply,
                         ::testing::Values(StrayCase{"other_address", 17, true, kAddrHash},
                                           StrayCase{"other_address_other_parameter", 40, true,
                                                     kCntHash},
                                           StrayCase{"write_direction", 16, false, kAddrHash}),
                         [](const auto& info) { return std::string(info.param.what); });

// A two-wire converter that hears itself: every request comes back before the device's
// answer (or alone, when no device is there).
Handler EchoingLine(Handler device) {
  return [device](const std::string& line) -> std::optional<std::string> {
    return line + device(line).value_or("");
  };
}

TEST_F(LinkOverPty, EchoIsFoundAtTheFirstReadAndTakenOffEveryExchange) {
  link.port().settings().echo = EchoMode::Auto;
  ASSERT_EQ(link.OpenPort(false), kOpenOk);
  LineStats stats;
  link.AddObserver(&stats);
  peer.set_fallback(EchoingLine(Answer({0x07})));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, "7");
  EXPECT_EQ(link.port().echo(), LineEcho::Present);
  p->value = "5";
  ASSERT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, "7");  // the device's answer, not the echo of "5"
  EXPECT_EQ(peer.requests().size(), 2u);
  EXPECT_EQ(stats.Snapshot().Failures(), 0u);
  link.RemoveObserver(&stats);
}

TEST_F(LinkOverPty, AWriteOnAnEchoingLineWithoutADeviceFails) {
  link.port().settings().echo = EchoMode::Auto;
  ASSERT_EQ(link.OpenPort(false), kOpenOk);
  peer.set_fallback(EchoingLine(Silent()));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  p->value = "5";
  p->value_changed = true;
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTextTimeout);
  EXPECT_TRUE(p->value_changed);
  EXPECT_EQ(exit_status.load(), 0x04u);
  // One read of the device's name found the echo before the write's three attempts.
  auto req = Sent();
  ASSERT_EQ(req.size(), 4u);
  EXPECT_TRUE(req[0].read);
  EXPECT_EQ(req[0].hash, NameHash("dev"));
  EXPECT_EQ(link.port().echo(), LineEcho::Present);
}

TEST_F(LinkOverPty, EchoOnTakesExactlyTheRequest) {
  link.port().settings().echo = EchoMode::On;
  ASSERT_EQ(link.OpenPort(false), kOpenOk);
  peer.set_fallback(EchoingLine(Answer({0x03})));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk) << p->note;
  EXPECT_EQ(p->value, "3");

  // A copy that is not what was sent: the line is at fault, not the device.
  peer.set_fallback([](const std::string& line) -> std::optional<std::string> {
    std::string spoilt = line;
    spoilt[3] = spoilt[3] == 'G' ? 'H' : 'G';
    const Request r = DecodeRequest(line);
    return spoilt + LornReply(r.hash, {0x03}, r.address, r.read);
  });
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, std::string(kTextBadSettings) + " (" + kTextEchoMismatch + ")");
  EXPECT_EQ(exit_status.load(), 0x08u);
}

TEST_F(LinkOverPty, TheLongestValidReplyIsTaken) {
  std::vector<uint8_t> data(kMaxDataBytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  peer.set_fallback(Answer(data));
  peer.Start();
  ReplyData reply{};
  int count = 0;
  std::string error;
  ASSERT_TRUE(link.Transact(true, kCntHash, nullptr, 0, reply, count, error, 0)) << error;
  ASSERT_EQ(count, kMaxDataBytes);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), reply.begin()));
}

struct LinkReplyCase {
  const char* what;
  std::string reply;
  const char* note;
};

void PrintTo(const LinkReplyCase& c, std::ostream* os) {
  *os << c.what;
}

class LinkBadReply : public LinkOverPty, public ::testing::WithParamInterface<LinkReplyCase> {};

TEST_P(LinkBadReply, FailsWithItsText) {
  peer.set_fallback(SendText(GetParam().reply));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  p->value = "8";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, GetParam().note);
  EXPECT_EQ(p->value, "8");
  // A well-started reply is never asked for again, whatever it holds.
  EXPECT_EQ(peer.requests().size(), 1u);
}

std::string Flip(std::string s, size_t at, char c) {
  s[at] = c;
  return s;
}

const char* const kChecksumText = kTextChecksum;
const char* const kOtherCommandText = kTextOtherCommand;

INSTANTIATE_TEST_SUITE_P(
    Replies, LinkBadReply,
    ::testing::Values(
        LinkReplyCase{"another hash, good checksum", LornReply(kAddrHash, {1}, 16, true),
                      kOtherCommandText},
        LinkReplyCase{"bit flipped", Flip(LornReply(kCntHash, {1}), 10, 'I'), kChecksumText},
        LinkReplyCase{"outside the alphabet", Flip(LornReply(kCntHash, {1}), 10, 'z'),
                      kChecksumText},
        LinkReplyCase{"odd length", LornReply(kCntHash, {1}).insert(3, "G"), kChecksumText},
        LinkReplyCase{"start and end only", "#\r", kChecksumText},
        LinkReplyCase{"announces more than it carries", LornReply(kCntHash, {1, 2, 3}).erase(9, 4),
                      kChecksumText},
        LinkReplyCase{"longer than any frame", "#" + std::string(kMaxFrameChars, 'G') + "\r",
                      kTextReplyTooLong},
        LinkReplyCase{"binary noise", "#\x01\x80\x7f\x10GGGGGGGG\r", kChecksumText}));

struct ErrorReplyCase {
  std::vector<uint8_t> data;
  const char* note;
};

void PrintTo(const ErrorReplyCase& c, std::ostream* os) {
  *os << (c.data.empty() ? -1 : c.data[0]);
}

class LinkErrorReply : public LinkOverPty, public ::testing::WithParamInterface<ErrorReplyCase> {};

TEST_P(LinkErrorReply, GivesTheDevicesMessage) {
  peer.set_fallback(ErrorReply(GetParam().data));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, GetParam().note);
  EXPECT_EQ(exit_status.load(), 0x10u);
  EXPECT_EQ(peer.requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LinkErrorReply,
    ::testing::Values(ErrorReplyCase{{53}, "Индекс параметра превышает ограничитель индекса"},
                      ErrorReplyCase{{54, 0, 1}, "Индекс параметра превышает ограничитель индекса"},
                      ErrorReplyCase{{64}, "Не найдено значение ошибки. (Код 64)"},
                      ErrorReplyCase{{0xC8}, "Не найдено значение ошибки. (Код -56)"},
                      ErrorReplyCase{{}, kTextErrorWithoutCode}));

TEST_F(LinkOverPty, ErrorReplyDataReachesTheCaller) {
  peer.set_fallback(ErrorReply({51, 9}));
  peer.Start();
  ReplyData reply{};
  int count = 0;
  std::string error;
  EXPECT_FALSE(link.Transact(false, kALenHash, nullptr, 0, reply, count, error, 0));
  EXPECT_EQ(error, "Редактирование параметра запрещено атрибутами доступа");
  ASSERT_EQ(count, 2);
  EXPECT_EQ(reply[0], 51);
  EXPECT_EQ(reply[1], 9);
}

TEST_F(LinkOverPty, ApplyIsSentOnceWithoutLookingAtTheAnswer) {
  peer.set_fallback(SendText("nonsense\r"));
  peer.Start();
  exit_status = 0x04;
  auto p = MakeParameter("APLY", "void");
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);
  EXPECT_EQ(p->note, "");
  EXPECT_EQ(exit_status.load(), 0x08u);
  peer.set_fallback(Silent());
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);  // a time-out too
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 110ms);
  std::this_thread::sleep_for(20ms);
  auto req = Sent();
  ASSERT_EQ(req.size(), 2u);
  EXPECT_EQ(req[0].hash, kApplyHash);
  EXPECT_FALSE(req[0].read);
  EXPECT_TRUE(req[0].data.empty());
}

TEST_F(LinkOverPty, ApplyThatNeverLeftThePortFails) {
  peer.Start();
  exit_status = 0;
  link.port().stop_event.Set();
  auto p = MakeParameter("APLY", "void");
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTextStopped);
  EXPECT_EQ(exit_status.load(), 0x08u);
  link.port().stop_event.reset();
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(peer.requests().empty());
}

// A request the port would not start says whether it was stopped or closed.
TEST_F(LinkOverPty, ARequestThatNeverStartedSaysWhy) {
  peer.Start();
  struct Case {
    const char* what;
    std::function<void()> refuse;
    const char* error;
  };
  const Case cases[] = {
      {"stopped", [&] { link.port().stop_event.Set(); }, kTextStopped},
      {"closed", [&] { link.port().Close(); }, kTextPortClosed},
  };
  for (const Case& c : cases) {
    c.refuse();
    ReplyData reply{};
    int count = 0;
    std::string error;
    EXPECT_FALSE(link.Transact(true, 0x1234, nullptr, 0, reply, count, error, 0)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    link.port().stop_event.reset();
  }
  EXPECT_TRUE(peer.requests().empty());
}

TEST_F(LinkOverPty, AttributesOfAnotherCopyAreRefused) {
  // A late answer for copy 4 must not be taken as the attributes of copy 5.
  peer.set_fallback(ByHash({{kAttributeHash, Answer({0x01, 0x00, 0x04, 0x69, 0xE1})},
                            {kSourHash, Answer({0x00, 0x05, 0x00, 0x05})}}));
  peer.Start();
  auto p = MakeParameter("SoUr", "int");
  p->has_attributes = 1;
  p->indexed = true;
  p->linear_index = 5;
  p->editable = false;
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeAttributeFailed);
  EXPECT_EQ(p->note, kTextOtherIndex);
  EXPECT_FALSE(p->editable);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(LinkOverPty, AttributesTravelBeforeTheValue) {
  peer.set_fallback(ByHash({{kAttributeHash, Answer({0x01, 0x00, 0x02, 0x69, 0xE1})},
                            {kSourHash, Answer({0x00, 0x05, 0x00, 0x02})}}));
  peer.Start();
  auto p = MakeParameter("SoUr", "int");
  p->has_attributes = 1;
  p->indexed = true;
  p->linear_index = 2;
  p->editable = false;
  p->owned_by_firm = false;
  p->edit_changed = p->owner_changed = true;
  p->value = "5";
  ASSERT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);
  auto req = Sent();
  ASSERT_EQ(req.size(), 2u);
  EXPECT_EQ(req[0].hash, kAttributeHash);
  EXPECT_FALSE(req[0].read);
  // Attribute byte (not editable, the user's), 0 and the index's low byte, own hash.
  EXPECT_EQ(req[0].data, (std::vector<uint8_t>{0x02, 0x00, 0x02, 0x69, 0xE1}));
  EXPECT_EQ(req[1].hash, kSourHash);
  // The device answered: editable, owned by the firm.
  EXPECT_TRUE(p->editable);
  EXPECT_TRUE(p->owned_by_firm);
  EXPECT_FALSE(p->AnyChanged());

  // A read asks without the attribute byte.
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  req = Sent();
  ASSERT_EQ(req.size(), 4u);
  EXPECT_TRUE(req[2].read);
  EXPECT_EQ(req[2].data, (std::vector<uint8_t>{0x00, 0x02, 0x69, 0xE1}));
  EXPECT_EQ(req[3].data, (std::vector<uint8_t>{0x00, 0x02}));
}

TEST_F(LinkOverPty, AttributeReplyOfWrongSize) {
  peer.set_fallback(ByHash({{kAttributeHash, Answer({0x01, 0x9F, 0x62})}}));
  peer.Start();
  auto p = MakeParameter("Addr", "int");
  p->has_attributes = 1;
  p->indexed = true;
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeAttributeSize);
  EXPECT_EQ(p->note, kTextAttributeSize);
  EXPECT_EQ(exit_status.load(), 0x08u);
  EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(LinkOverPty, AttributeFailureAndNoAttributeCases) {
  peer.set_fallback(ByHash({{kAttributeHash, ErrorReply({8})}, {kAddrHash, Answer({9})}}));
  peer.Start();
  auto p = MakeParameter("Addr", "int");
  p->has_attributes = 1;
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeAttributeFailed);
  EXPECT_EQ(p->note, "У запрошенного параметра отсутствуют признаки");

  link.set_attribute_transfer(false);
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  link.set_attribute_transfer(true);
  p->polled = true;  // a polled parameter asks for its value only
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  p->polled = false;
  EXPECT_EQ(peer.requests().size(), 3u);
}

TEST_F(LinkOverPty, NetworkNameIsWrittenAsFourIndexedCodes) {
  link.set_attribute_transfer(false);
  peer.set_fallback(Echo());
  peer.Start();
  auto p = MakeParameter("CHAr*", "name");
  p->linear_index = 4;
  p->value = "AB.C";
  p->value_changed = true;
  ASSERT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);
  auto req = Sent();
  ASSERT_EQ(req.size(), 4u);
  const uint8_t codes[] = {20, 23, 24, 78};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(req[i].hash, kCharHash);
    EXPECT_FALSE(req[i].read);
    EXPECT_EQ(req[i].data, (std::vector<uint8_t>{codes[i], 0, static_cast<uint8_t>(4 + i)}));
  }
  // The name as the device sent it back: the blank code reads as a blank.
  EXPECT_EQ(p->value, "AB.C ");
  EXPECT_FALSE(p->value_changed);
  EXPECT_EQ(p->note, "");
}

TEST_F(LinkOverPty, NetworkNameWithAttributesAndFiveLetters) {
  // The device repeats the attribute request, copy number included.
  peer.set_fallback(ByHash({{kAttributeHash, Echo()}, {kCharHash, Echo()}}));
  peer.Start();
  auto p = MakeParameter("CHAr*", "name");
  p->value = "abcde";
  ASSERT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeOk);
  auto req = Sent();
  ASSERT_EQ(req.size(), 8u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(req[2 * i].hash, kAttributeHash);
    EXPECT_EQ(req[2 * i].data,
              (std::vector<uint8_t>{0x03, 0, static_cast<uint8_t>(i), 0x36, 0x28}));
    EXPECT_EQ(req[2 * i + 1].data[0], 20 + 2 * i);
  }
  EXPECT_EQ(p->value, "ABCD");
}

TEST_F(LinkOverPty, NetworkNameRead) {
  link.set_attribute_transfer(false);
  std::array<std::atomic<uint8_t>, 4> stored{15, 14, 28, 79};
  peer.set_fallback([&](const std::string& line) -> std::optional<std::string> {
    Request r = DecodeRequest(line);
    const uint8_t index = r.data.at(1);
    return LornReply(r.hash, {stored.at(index & 3).load(), 0, index}, r.address, r.read);
  });
  peer.Start();
  auto p = MakeParameter("CHAr*", "name");
  ASSERT_EQ(link.Exchange(kOpRead, p.get()), kExchangeOk);
  EXPECT_EQ(p->value, "7.7E .");
  for (const Request& r : Sent()) EXPECT_TRUE(r.read);

  stored[2] = 80;
  p->value = "KEEP";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeUndecodable);
  EXPECT_EQ(p->note, kTextNameBadCode);
  // A failed exchange leaves the name that was there.
  EXPECT_EQ(p->value, "KEEP");
}

TEST_F(LinkOverPty, NetworkNameFailureIsCopiedAndStopsTheRest) {
  link.set_attribute_transfer(false);
  peer.Script({Echo(), ErrorReply({52})});
  peer.Start();
  auto p = MakeParameter("CHAr*", "name");
  p->value = "AB";
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, "Недопустимо большой линейный индекс");
  EXPECT_EQ(p->value, "AB");
  EXPECT_EQ(peer.requests().size(), 2u);
}

struct NameRefusalCase {
  const char* value;
  const char* note;
  bool traced;
};

void PrintTo(const NameRefusalCase& c, std::ostream* os) {
  *os << c.value;
}

class LinkNameRefusal : public LinkOverPty,
                        public ::testing::WithParamInterface<NameRefusalCase> {};

TEST_P(LinkNameRefusal, SendsNothing) {
  peer.Start();
  auto p = MakeParameter("CHAr*", "name");
  p->value = GetParam().value;
  TraceLines trace;
  EXPECT_EQ(link.Exchange(kOpWrite, p.get(), &trace), kExchangeBadValue);
  EXPECT_EQ(p->note, GetParam().note);
  EXPECT_EQ(p->value, GetParam().value);
  EXPECT_EQ(trace.lines.size(), GetParam().traced ? 1u : 0u);
  EXPECT_TRUE(peer.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, LinkNameRefusal,
                         ::testing::Values(NameRefusalCase{"", kTextNameEmpty, true},
                                           NameRefusalCase{"ABCDEFGHI", kTextNameTooLong, true},
                                           NameRefusalCase{"ЖЖЖЖЖЖЖЖЖ", kTextNameTooLong, true},
                                           NameRefusalCase{"A/B", kTextNameBadChar, false},
                                           NameRefusalCase{".AB", kTextNameBadChar, false},
                                           NameRefusalCase{"AЖ", kTextNameBadChar, false}));

TEST_F(LinkOverPty, StopEventEndsTheReplyWaitAtOnce) {
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  std::chrono::steady_clock::time_point set_at;
  std::thread stopper([&] {
    std::this_thread::sleep_for(40ms);
    set_at = std::chrono::steady_clock::now();
    link.port().stop_event.Set();
  });
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  const auto ended = std::chrono::steady_clock::now();
  stopper.join();
  EXPECT_LT(ended - set_at, 50ms);
  EXPECT_EQ(p->note, kTextStopped);
  // Nothing more went out once the stop was given.
  EXPECT_EQ(peer.requests().size(), 1u);
  link.port().stop_event.reset();
}

TEST_F(LinkOverPty, TraceOfAReadAndOfAWrite) {
  peer.set_fallback(Answer({0x01}));
  peer.Start();
  auto p = MakeParameter("A.Len", "int");
  TraceLines trace;
  ASSERT_EQ(link.Exchange(kOpRead, p.get(), &trace), kExchangeOk);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{
                             "Размер инф-ой части посылки 0 байт.",
                             "<< Ответ: # 0 : 001 = 0x01 (.)",
                             "Инф-ная часть квитанции ответа имеет размер 1 байт.",
                         }));

  peer.set_fallback(Echo());
  auto s = MakeParameter("dev", "string");
  s->value = "x";
  trace.lines.clear();
  EXPECT_EQ(link.Exchange(kOpWrite, s.get(), &trace), kExchangeNoEncoder);
  ASSERT_FALSE(trace.lines.empty());
  EXPECT_EQ(trace.lines[0], "Метод формирования посылки записи для команды 'dev' не определен.");

  auto w = MakeParameter("SoUr", "int");
  w->indexed = true;
  w->linear_index = 0xC4;
  w->value = "65";
  trace.lines.clear();
  ASSERT_EQ(link.Exchange(kOpWrite, w.get(), &trace), kExchangeOk);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{
                             "Размер инф-ой части посылки 4 байт.",
                             ">> Посылка: # 0 : 000 = 0x00 (.)",
                             ">> Посылка: # 1 : 065 = 0x41 (A)",
                             ">> Посылка: # 2 : 000 = 0x00 (.)",
                             ">> Посылка: # 3 : 196 = 0xC4 (Д)",
                             "<< Ответ: # 0 : 000 = 0x00 (.)",
                             "<< Ответ: # 1 : 065 = 0x41 (A)",
                             "<< Ответ: # 2 : 000 = 0x00 (.)",
                             "<< Ответ: # 3 : 196 = 0xC4 (Д)",
                             "Инф-ная часть квитанции ответа имеет размер 4 байт.",
                         }));
}

TEST_F(LinkOverPty, UnencodableValueIsNotSent) {
  peer.set_fallback(Echo());
  peer.Start();
  auto p = MakeParameter("Mode", "Off:On");
  p->value = "Maybe";
  TraceLines trace;
  EXPECT_EQ(link.Exchange(kOpWrite, p.get(), &trace), kExchangeBadValue);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{kTextBadValue}));
  EXPECT_EQ(link.Exchange(kOpWrite, p.get()), kExchangeBadValue);
  EXPECT_EQ(p->note, kTextBadValue);
  EXPECT_EQ(p->value, "Maybe");
  EXPECT_TRUE(peer.requests().empty());
}

struct UndecodableCase {
  const char* what;
  const char* name;
  const char* type;
  std::vector<uint8_t> data;
  const char* note;
};

void PrintTo(const UndecodableCase& c, std::ostream* os) {
  *os << c.what;
}

class LinkUndecodable : public LinkOverPty,
                        public ::testing::WithParamInterface<UndecodableCase> {};

// A reply the codec cannot read is a malformed answer: the value stays, the reason is in
// the note, and the run records a bad answer.
TEST_P(LinkUndecodable, KeepsTheValueAndRecordsABadAnswer) {
  peer.set_fallback(Answer(GetParam().data));
  peer.Start();
  auto p = MakeParameter(GetParam().name, GetParam().type);
  p->value = "old";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeUndecodable);
  EXPECT_EQ(p->note, GetParam().note);
  EXPECT_EQ(p->value, "old");
  EXPECT_EQ(exit_status.load(), 0x08u);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LinkUndecodable,
    ::testing::Values(
        UndecodableCase{"int of five bytes",
                        "Cnt",
                        "int",
                        {1, 2, 3, 4, 5},
                        "Ошибка; (Непонятная длина ответа:5)"},
        UndecodableCase{"list item out of range", "Mode", "Off:On", {0x05}, kTextUndecodable},
        UndecodableCase{"float of three bytes", "Flo", "float", {1, 2, 3}, kTextUndecodable},
        UndecodableCase{"name code above 79",
                        "Nm",
                        "name",
                        {80, 2, 2, 2},
                        "Недопустимый код символа в сетевом имени"}));

TEST_F(LinkOverPty, ValueOfAnotherIndexHasItsOwnText) {
  peer.set_fallback(Answer({0x07, 0x00, 0x04}));
  peer.Start();
  auto p = MakeParameter("Cnt", "int");
  p->indexed = true;
  p->linear_index = 5;
  p->value = "1";
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangeFailed);
  EXPECT_EQ(p->note, kTextOtherIndex);
  EXPECT_EQ(p->value, "1");
  EXPECT_EQ(exit_status.load(), 0x08u);
}

TEST_F(LinkOverPty, ConcurrentExchangesNeverInterleave) {
  peer.set_fallback(Echo());
  peer.Start();
  auto worker = [&](const char* value, int* failures) {
    auto p = MakeParameter("Addr", "int");
    for (int i = 0; i < 15; ++i) {
      p->value = value;
      if (link.Exchange(kOpWrite, p.get()) != kExchangeOk || p->value != value) ++*failures;
    }
  };
  int f1 = 0, f2 = 0;
  std::thread a(worker, "300", &f1), b(worker, "4", &f2);
  a.join();
  b.join();
  EXPECT_EQ(f1 + f2, 0);
  auto req = Sent();
  EXPECT_EQ(req.size(), 30u);
  for (const Request& r : req) EXPECT_TRUE(r.valid);
}

TEST(DeviceLink, ClosedPortAndMissingParameter) {
  DeviceLink link;
  auto p = MakeParameter("Cnt", "int");
  EXPECT_EQ(link.Exchange(kOpRead, p.get()), kExchangePortClosed);
  EXPECT_EQ(p->note, kTextPortNotOpen);
  EXPECT_EQ(link.Exchange(kOpRead, nullptr), kExchangePortClosed);
  ReplyData reply;
  int count = 0;
  std::string error;
  EXPECT_FALSE(link.Transact(true, kCntHash, nullptr, 0, reply, count, error, 0));
  EXPECT_EQ(error, kTextPortClosed);
}

TEST(DeviceLink, RequestTooLongIsNotSent) {
  DeviceLink link;
  uint8_t data[16] = {};
  ReplyData reply;
  int count = 0;
  std::string error;
  EXPECT_FALSE(link.Transact(false, kALenHash, data, 16, reply, count, error, 0));
  EXPECT_EQ(error, kTextCannotEncode);
}

namespace {

class RecordingPresenter : public Presenter {
 public:
  MsgAnswer ShowMessage(std::string_view text, std::string_view caption, MsgIcon,
                        MsgButtons) override {
    shown.emplace_back(std::string(caption), std::string(text));
    return MsgAnswer::Ok;
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

class ReloadingLink : public DeviceLink {
 public:
  std::string path;
  int reloads = 0;

 protected:
  void ReloadSettings() override {
    ++reloads;
    port().settings().port_name = path;
  }
};

}  // namespace

TEST(DeviceLink, OpenPortReportsAndRecords) {
  RecordingPresenter shown;
  SetPresenter(&shown);
  ReloadingLink link;
  link.path = "/nonexistent/tty";
  exit_status = 0x40;
  EXPECT_EQ(link.OpenPort(true), kOpenFailed);
  EXPECT_EQ(link.reloads, 1);
  EXPECT_EQ(exit_status.load(), 0x42u);
  ASSERT_EQ(shown.shown.size(), 1u);
  EXPECT_EQ(shown.shown[0].first, kOpenFailureCaption);
  EXPECT_NE(shown.shown[0].second.find("Не удается открыть порт /nonexistent/tty"),
            std::string::npos);

  link.set_command_line_run(true);
  EXPECT_EQ(link.OpenPort(true), kOpenFailed);
  EXPECT_EQ(shown.shown.size(), 1u);

  ScriptedPeer peer;
  link.path = peer.slave_path();
  EXPECT_EQ(link.OpenPort(true), kOpenOk);
  EXPECT_TRUE(link.port().IsOpen());
  EXPECT_EQ(exit_status.load(), 0x40u);

  link.set_silent(true);
  EXPECT_EQ(link.OpenPort(true), -1);
  EXPECT_FALSE(link.port().IsOpen());
  SetPresenter(nullptr);
}

// Probe exchanges over the line: the peer plays a device of the foreign protocol.
class ProbeOverPty : public LinkOverPty {
 protected:
  void UseMode(int mode) {
    if (mode == kProbeModbusRtu) peer.set_framing(ScriptedPeer::Framing::Pause);
  }
};

Handler ModbusRtu(uint8_t address, std::vector<uint8_t> data, bool break_crc = false) {
  return [=](const std::string&) {
    std::vector<uint8_t> b{address};
    b.insert(b.end(), data.begin(), data.end());
    uint16_t crc = ModbusCrc16(b.data(), b.size());
    if (break_crc) crc ^= 1;
    b.push_back(static_cast<uint8_t>(crc));
    b.push_back(static_cast<uint8_t>(crc >> 8));
    return std::optional<std::string>(std::string(b.begin(), b.end()));
  };
}

// A "%"-style frame: the text, its character sum in hexadecimal, a carriage return.
std::string PercentReply(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum += static_cast<unsigned char>(c);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum & 0xFF);
  return body + hex + "\r";
}

Handler EchoRaw() {
  return [](const std::string& s) { return std::optional<std::string>(s); };
}

TEST_F(ProbeOverPty, ModbusRtuEcho) {
  UseMode(kProbeModbusRtu);
  peer.set_fallback(EchoRaw());
  peer.Start();
  EXPECT_EQ(link.Probe(kProbeModbusRtu), ProbeResult::Answered);
  auto req = peer.requests();
  ASSERT_EQ(req.size(), 1u);
  ASSERT_EQ(req[0].size(), 8u);
  EXPECT_EQ(req[0].substr(0, 6), std::string("\x10\x05\xF0\xF0\xFF\x00", 6));
  const auto* bytes = reinterpret_cast<const uint8_t*>(req[0].data());
  EXPECT_EQ(bytes[6] | bytes[7] << 8, ModbusCrc16(bytes, 6));
}

TEST_F(ProbeOverPty, ModbusRtuFailures) {
  UseMode(kProbeModbusRtu);
  peer.Script({ModbusRtu(0x11, {5, 0xF0, 0xF0, 0xFF, 0}), ModbusRtu(0x10, {5}, true),
               ModbusRtu(0x10, {5, 0xF0})});
  peer.Start();
  EXPECT_EQ(link.Probe(kProbeModbusRtu), ProbeResult::Address);
  EXPECT_EQ(link.Probe(kProbeModbusRtu), ProbeResult::Checksum);
  EXPECT_EQ(link.Probe(kProbeModbusRtu), ProbeResult::Malformed);
  EXPECT_EQ(link.Probe(kProbeModbusRtu), ProbeResult::Timeout);  // silent: asked twice
  EXPECT_EQ(peer.requests().size(), 5u);
}

TEST_F(ProbeOverPty, ModbusAsciiEcho) {
  UseMode(kProbeModbusAscii);
  peer.set_fallback(EchoRaw());
  peer.Start();
  EXPECT_EQ(link.Probe(kProbeModbusAscii), ProbeResult::Answered);
  auto req = peer.requests();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_EQ(req[0], ":1005F0F0FF000C\r");  // the peer frames at the carriage return
}

TEST_F(ProbeOverPty, PercentFrame) {
  UseMode(kProbePercent);
  peer.Script({SendText(PercentReply("!10OK")), SendText(PercentReply("?10OK")),
               SendText(PercentReply("!11OK"))});
  peer.Start();
  EXPECT_EQ(link.Probe(kProbePercent), ProbeResult::Answered);
  // A wrong start with a good sum, then a good frame from another address.
  EXPECT_EQ(link.Probe(kProbePercent), ProbeResult::Malformed);
  EXPECT_EQ(link.Probe(kProbePercent), ProbeResult::Address);
  auto req = peer.requests();
  ASSERT_EQ(req.size(), 3u);
  EXPECT_EQ(req[0], "%10LORNC1\r");
}

TEST_F(ProbeOverPty, ElevenBitAddressesAreRefused) {
  UseMode(kProbeModbusAscii);
  link.port().settings().address_length = 11;
  peer.Start();
  EXPECT_EQ(link.Probe(kProbeModbusAscii), ProbeResult::Refused);
  EXPECT_TRUE(peer.requests().empty());
}
