// The replay that judges the fault runs, on traces written by hand: retries, the exit
// status each ending leaves, the failure streaks, and the runs it must not pretend to know.

#include "exchange_replay.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "link/frame_codec.h"

namespace vesk::faults {
namespace {

constexpr double kReplyWait = 0.114;
const uint16_t kDev = link::NameHash("dev");
const uint16_t kVer = link::NameHash("ver");
const uint16_t kFilt = link::NameHash("FiLt");

std::string Frame(bool read, uint16_t hash, const std::vector<uint8_t>& data) {
  link::RequestFrame f;
  link::BuildRequest(read, hash, data.data(), static_cast<int>(data.size()), {}, f);
  std::string text(f.Text());
  text.pop_back();  // the carriage return, written as \r in the trace
  return text;
}

// Writes a trace as the simulator does, one attempt at a time, 1 ms apart.
class TraceWriter {
 public:
  // A request and what came back: an answer with `data`, or one of the faults below.
  enum class Reply { Answer, Lost, Headless, Spoilt, ErrorCode, Slow };

  TraceWriter& Ask(bool read, uint16_t hash, std::vector<uint8_t> data, Reply reply,
                   std::vector<uint8_t> answer = {1}) {
    char head[128];
    std::snprintf(head, sizeof head,
                  "%.6f RX \"%s\\r\" addr=16 flag=%d hash=%04X index=- data=", t_,
                  Frame(read, hash, data).c_str(), read ? 1 : 0, hash);
    text_ += head;
    for (size_t i = 0; i < data.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", data[i]);
      text_ += byte;
    }
    text_ += "\n";
    const double at = t_ + (reply == Reply::Slow ? 0.105 : 0.0005);
    std::string chars;
    switch (reply) {
      case Reply::Lost:
        text_ += Stamp(at) + " TX \"\" (answer lost (fault))\n";
        t_ += kReplyWait;
        return *this;
      case Reply::Headless:
        chars = "?" + Frame(true, hash, answer).substr(1);
        break;
      case Reply::Spoilt:
        chars = Frame(true, hash, answer);
        chars[5] = chars[5] == 'G' ? 'H' : 'G';
        break;
      case Reply::ErrorCode:
        chars = Frame(true, link::kErrorReplyHash, answer);
        break;
      default:
        chars = Frame(true, hash, answer);
    }
    text_ += Stamp(at) + " TX \"" + chars + "\\r\"\n";
    t_ += 0.001;
    return *this;
  }
  // The link check at start-up, found at once.
  TraceWriter& LinkCheck() {
    Ask(true, kDev, {}, Reply::Answer, {'V', 'E', 'S', 'K'});
    return Ask(true, kVer, {}, Reply::Answer, {'1'});
  }
  // One read of "FiLt" at copy `index`: attributes, then the value.
  TraceWriter& ReadFilt(int index, Reply attributes, Reply value = Reply::Answer) {
    const std::vector<uint8_t> target{0, static_cast<uint8_t>(index), 0xB1, 0x5D};
    Ask(true, link::kAttributeHash, target, attributes,
        {3, 0, static_cast<uint8_t>(index), 0xB1, 0x5D});
    if (attributes != Reply::Answer) return *this;
    return Ask(true, kFilt, {0, static_cast<uint8_t>(index)}, value,
               {10, 0, static_cast<uint8_t>(index)});
  }
  const std::string& text() const { return text_; }

 private:
  static std::string Stamp(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", t);
    return buf;
  }
  double t_ = 0.1;
  std::string text_;
};
using Reply = TraceWriter::Reply;

// A tree of `copies` copies of "FiLt" with attributes.
std::vector<TreeEntry> Filts(int copies) {
  std::vector<TreeEntry> walk;
  for (int i = 0; i < copies; ++i) {
    TreeEntry e;
    e.name = "FiLt";
    e.index = i;
    e.has_attributes = true;
    e.value = "10";
    walk.push_back(e);
  }
  return walk;
}

struct ReplayCase {
  const char* what;
  std::vector<std::pair<Reply, Reply>> filts;  // attributes, value of each copy in turn
  uint32_t status;
  std::vector<std::string> failed;
};

void PrintTo(const ReplayCase& c, std::ostream* os) {
  *os << c.what;
}

class ReplayOfReads : public ::testing::TestWithParam<ReplayCase> {};

TEST_P(ReplayOfReads, StatusAndFailures) {
  const ReplayCase& c = GetParam();
  TraceWriter w;
  w.LinkCheck();
  for (size_t i = 0; i < c.filts.size(); ++i) {
    const auto [attributes, value] = c.filts[i];
    const int index = static_cast<int>(i);
    if (attributes == Reply::Lost) {
      // Three attempts in all, then the link gives up.
      w.ReadFilt(index, Reply::Lost).ReadFilt(index, Reply::Lost).ReadFilt(index, Reply::Lost);
    } else if (attributes == Reply::Headless) {
      w.ReadFilt(index, Reply::Headless).ReadFilt(index, Reply::Answer, value);
    } else {
      w.ReadFilt(index, attributes, value);
    }
  }
  const Replay r = ReplayRun(w.text(), Filts(static_cast<int>(c.filts.size())), false, kReplyWait);
  ASSERT_TRUE(r.modelled) << r.why;
  EXPECT_FALSE(r.astray) << r.why;
  EXPECT_EQ(r.exit_status, c.status);
  EXPECT_EQ(r.failed, c.failed);
}

const Reply A = Reply::Answer;
INSTANTIATE_TEST_SUITE_P(
    Endings, ReplayOfReads,
    ::testing::Values(
        ReplayCase{"clean", {{A, A}, {A, A}}, 0, {}},
        ReplayCase{
            "time-out, then nothing answers again", {{A, A}, {Reply::Lost, A}}, 0x04, {"FiLt:1"}},
        ReplayCase{"time-out, then an answer", {{Reply::Lost, A}, {A, A}}, 0x08, {"FiLt:0"}},
        ReplayCase{"lost start, then the answer", {{Reply::Headless, A}, {A, A}}, 0, {}},
        ReplayCase{"spoilt answer", {{A, Reply::Spoilt}, {A, A}}, 0x08, {"FiLt:0"}},
        ReplayCase{"error code", {{A, A}, {A, Reply::ErrorCode}}, 0x10, {"FiLt:1"}}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      return name;
    });

TEST(Replay, FiveTimeOutsInARowEndTheRead) {
  TraceWriter w;
  w.LinkCheck();
  for (int i = 0; i < 5; ++i)
    for (int attempt = 0; attempt < 3; ++attempt) w.ReadFilt(i, Reply::Lost);
  Replay r = ReplayRun(w.text(), Filts(8), false, kReplyWait);
  ASSERT_TRUE(r.modelled) << r.why;
  EXPECT_FALSE(r.astray) << r.why;
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.exit_status, 0x04u);
  EXPECT_EQ(r.failed.size(), 5u);

  // A request after the fifth is one too many.
  w.ReadFilt(5, Reply::Answer);
  r = ReplayRun(w.text(), Filts(8), false, kReplyWait);
  EXPECT_TRUE(r.astray);
}

TEST(Replay, FiveWriteTimeOutsRecordTheTimeOutWhole) {
  TraceWriter w;
  w.LinkCheck();
  w.Ask(false, link::kAttributeHash, {3, 0, 0, 0xB1, 0x5D}, Reply::Spoilt);  // 0x08 first
  for (int i = 1; i < 6; ++i)
    for (int attempt = 0; attempt < 3; ++attempt)
      w.Ask(false, link::kAttributeHash, {3, 0, static_cast<uint8_t>(i), 0xB1, 0x5D}, Reply::Lost);
  const Replay r = ReplayRun(w.text(), Filts(8), true, kReplyWait);
  ASSERT_TRUE(r.modelled) << r.why;
  EXPECT_FALSE(r.astray) << r.why;
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.exit_status, 0x04u);
}

TEST(Replay, ARequestGivenUpEarlyBreaksTheRules) {
  TraceWriter w;
  w.LinkCheck();
  w.ReadFilt(0, Reply::Lost).ReadFilt(1, Reply::Answer);
  const Replay r = ReplayRun(w.text(), Filts(2), false, kReplyWait);
  EXPECT_TRUE(r.astray);
}

TEST(Replay, SlowAnswersAndProbesAreNotReplayed) {
  TraceWriter slow;
  slow.LinkCheck().ReadFilt(0, Reply::Answer, Reply::Slow);
  EXPECT_FALSE(ReplayRun(slow.text(), Filts(1), false, kReplyWait).modelled);

  TraceWriter probes;
  probes.Ask(true, kDev, {}, Reply::Lost)
      .Ask(true, kDev, {}, Reply::Lost)
      .Ask(true, kDev, {}, Reply::Lost);
  probes.Ask(true, kDev, {}, Reply::Lost)
      .Ask(true, kDev, {}, Reply::Lost)
      .Ask(true, kDev, {}, Reply::Lost);
  const std::string text = probes.text() + "0.900000 RX \"\\x10\\x05\\xF0\" (other protocol)\n";
  const Replay r = ReplayRun(text, Filts(1), false, kReplyWait);
  EXPECT_FALSE(r.modelled);
  EXPECT_FALSE(r.astray);
}

TEST(Replay, ExitCodesAndErrorLogKeys) {
  EXPECT_EQ(ExitCodeFor(0), 0);
  EXPECT_EQ(ExitCodeFor(0x04), 202);
  EXPECT_EQ(ExitCodeFor(0x0C), 202);
  EXPECT_EQ(ExitCodeFor(0x40), 206);
  EXPECT_EQ(ErrorLogKeys("FiLt:3 - Таймаут при передаче данных (нет связи)\n"
                         "dev - Пришла посылка с кодом команды, отличным от посланной и от n.Err.\n"
                         "\n"
                         "CHAr* - Ошибка в контрольной сумме ответа\n"),
            (std::vector<std::string>{"FiLt:3", "dev", "CHAr*"}));
}

}  // namespace
}  // namespace vesk::faults
