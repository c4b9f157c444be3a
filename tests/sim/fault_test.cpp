// Each fault the simulator plays, and the failure the configurator must report for it;
// and that the faults repeat with the same seed.

#include <gtest/gtest.h>

#include "fault_injector.h"
#include "fault_names.h"
#include "link/exit_status.h"
#include "link/frame_codec.h"
#include "sim_test_support.h"

namespace vesk::sim::test {
namespace {

struct FaultCase {
  const char* what;
  FaultOptions faults;
  const char* note;
};

FaultOptions with(double FaultOptions::*field, double p) {
  FaultOptions f;
  f.*field = p;
  return f;
}

class LinkFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LinkFaults, ConfiguratorReportsTheFailure) {
  SimOptions o;
  o.baud = 115200;
  o.faults = GetParam().faults;
  RunningSim sim(o);
  Client client(sim.path(), 115200);
  EXPECT_EQ(client.read_value("bPS"), std::string("error: ") + GetParam().note);
}

FaultOptions late(uint32_t ms) {
  FaultOptions f;
  f.lateMs = ms;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, LinkFaults,
    ::testing::Values(
        FaultCase{"drop", with(&FaultOptions::drop, 1), "Таймаут при передаче данных (нет связи)"},
        FaultCase{"corrupt", with(&FaultOptions::corrupt, 1), "Ошибка в контрольной сумме ответа"},
        FaultCase{"garbage", with(&FaultOptions::garbage, 1), "Потеря начала посылки."},
        FaultCase{"wrong_hash", with(&FaultOptions::wrongHash, 1),
                  "Пришла посылка с кодом команды, отличным от посланной и от n.Err.\n"},
        FaultCase{"late", late(500), "Таймаут при передаче данных (нет связи)"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(LinkFaults, MuteAfterAnswersThatManyThenNothing) {
  SimOptions o;
  o.baud = 115200;
  o.faults.muteAfter = 2;
  RunningSim sim(o);
  Client client(sim.path(), 115200);
  EXPECT_EQ(client.read_value("dev"), "VESK");
  EXPECT_EQ(client.read_value("ver"), "1.02");
  EXPECT_EQ(client.read_value("dev"), "error: Таймаут при передаче данных (нет связи)");
}

TEST(LinkFaults, LostAnswersStillGetThroughWithRetries) {
  SimOptions o;
  o.baud = 115200;
  o.faults.drop = 0.3;
  o.faults.seed = 7;
  RunningSim sim(o);
  Client client(sim.path(), 115200);
  int ok = 0;
  for (int i = 0; i < 10; ++i) ok += client.read_value("dev") == "VESK";
  EXPECT_GE(ok, 8);  // three attempts each: a loss of all three is rare
}

TEST(Faults, SameSeedSameFaults) {
  FaultOptions f;
  f.drop = 0.3;
  f.corrupt = 0.3;
  f.garbage = 0.2;
  f.seed = 42;
  std::string frame = lorn_frame(16, 8, true, link::name_hash("dev"), nullptr, 0);
  FaultInjector a(f), b(f);
  int changed = 0, lost = 0;
  for (int i = 0; i < 200; ++i) {
    auto x = a.apply(frame, Protocol::Lorn);
    auto y = b.apply(frame, Protocol::Lorn);
    ASSERT_EQ(x, y);
    lost += !x;
    changed += x && *x != frame;
  }
  EXPECT_GT(lost, 30);
  EXPECT_GT(changed, 30);
  FaultInjector d(f);
  f.seed = 43;
  FaultInjector c(f);
  int differ = 0;
  for (int i = 0; i < 50; ++i)
    differ += c.apply(frame, Protocol::Lorn) != d.apply(frame, Protocol::Lorn);
  EXPECT_GT(differ, 0);
}

TEST(Faults, CorruptedFrameKeepsItsShapeButFailsItsChecksum) {
  uint8_t data[3] = {1, 2, 3};
  std::string frame = lorn_frame(16, 8, false, link::name_hash("FiLt"), data, 3);
  for (uint64_t seed = 1; seed <= 200; ++seed) {
    FaultOptions f;
    f.corrupt = 1;
    f.seed = seed;
    FaultInjector inject(f);
    std::string bad = *inject.apply(frame, Protocol::Lorn);
    ASSERT_EQ(bad.size(), frame.size());
    ASSERT_EQ(bad.front(), '#');
    ASSERT_EQ(bad.back(), '\r');
    int diffs = 0;
    for (size_t i = 0; i < bad.size(); ++i) {
      diffs += bad[i] != frame[i];
      ASSERT_TRUE(i == 0 || i + 1 == bad.size() || (bad[i] >= 'G' && bad[i] <= 'V'));
    }
    ASSERT_EQ(diffs, 1);
    link::ReplyFrame reply;
    ASSERT_FALSE(link::parse_reply(bad, reply)) << bad;
  }
}

TEST(Faults, OtherHashOfABrokenFrameLeavesItAlone) {
  EXPECT_EQ(with_other_hash("#GG\r"), "#GG\r");  // no read outside the frame
}

}  // namespace
}  // namespace vesk::sim::test
