// Each fault the simulator plays, and the failure the configurator must report for it;
// and that the faults repeat with the same seed.

#include <gtest/gtest.h>

#include "fault_injector.h"
#include "fault_names.h"
#include "link/device_link.h"
#include "link/exit_status.h"
#include "link/frame_codec.h"
#include "sim_test_support.h"

namespace vesk::sim::test {
namespace {

struct FaultCase {
  const char* what;
  FaultOptions faults;
  std::string note;
};

FaultOptions With(double FaultOptions::*field, double p) {
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
  Client client(sim.Path(), 115200);
  EXPECT_EQ(client.ReadValue("bPS"), std::string("error: ") + GetParam().note);
}

FaultOptions Late(uint32_t ms) {
  FaultOptions f;
  f.late_ms = ms;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, LinkFaults,
    ::testing::Values(
        FaultCase{"drop", With(&FaultOptions::drop, 1), link::kTextTimeout},
        FaultCase{"corrupt", With(&FaultOptions::corrupt, 1), link::kTextChecksum},
        // Without its "#" the whole answer is noise: its 20 characters, then silence.
        FaultCase{"garbage", With(&FaultOptions::garbage, 1),
                  std::string(link::kTextTimeout) + link::kTextNoiseBeforeTimeout + "20" +
                      link::kTextNoiseUnit},
        FaultCase{"wrong_hash", With(&FaultOptions::wrong_hash, 1), link::kTextOtherCommand},
        FaultCase{"late", Late(500), link::kTextTimeout},
        FaultCase{"bad_data", With(&FaultOptions::bad_data, 1), link::kTextUndecodable},
        FaultCase{"bare_error", With(&FaultOptions::bare_error, 1), link::kTextErrorWithoutCode}),
    [](const auto& info) { return std::string(info.param.what); });

class LineFaults : public ::testing::TestWithParam<FaultCase> {};

// A rude line costs the configurator nothing but the characters: the answers come through.
TEST_P(LineFaults, AreSkippedAndTheAnswerComesThrough) {
  SimOptions o;
  o.baud = 115200;
  o.faults = GetParam().faults;
  RunningSim sim(o);
  Client client(sim.Path(), 115200);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(client.ReadValue("bPS"), GetParam().note);
}

FaultOptions Echo() {
  FaultOptions f;
  f.echo = true;
  f.noise = 0.5;
  f.stray = 0.5;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, LineFaults,
    ::testing::Values(FaultCase{"noise", With(&FaultOptions::noise, 1), "115200"},
                      FaultCase{"stray", With(&FaultOptions::stray, 1), "115200"},
                      FaultCase{"echo_noise_stray", Echo(), "115200"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(Faults, NoiseAndStrayGoBeforeTheAnswerItself) {
  FaultOptions f;
  f.noise = 1;
  f.stray = 1;
  const std::string frame = LornFrame(16, 8, true, link::NameHash("dev"), nullptr, 0);
  FaultInjector inject(f);
  const std::string sent = *inject.Apply(frame, Protocol::Lorn);
  ASSERT_TRUE(sent.ends_with(FromOtherAddress(frame) + frame)) << sent;
  const size_t noise = sent.size() - 2 * frame.size();
  EXPECT_GE(noise, 1u);
  EXPECT_LE(noise, kMaxNoiseBytes);
  link::ReplyFrame other;
  ASSERT_TRUE(link::ParseReply(FromOtherAddress(frame), other));
  EXPECT_EQ(other.head[0], 17);
}

TEST(LinkFaults, MuteAfterAnswersThatManyThenNothing) {
  SimOptions o;
  o.baud = 115200;
  o.faults.mute_after = 2;
  RunningSim sim(o);
  Client client(sim.Path(), 115200);
  EXPECT_EQ(client.ReadValue("dev"), "VESK");
  EXPECT_EQ(client.ReadValue("ver"), "1.02");
  EXPECT_EQ(client.ReadValue("dev"), "error: Таймаут при передаче данных (нет связи)");
}

TEST(LinkFaults, LostAnswersStillGetThroughWithRetries) {
  SimOptions o;
  o.baud = 115200;
  o.faults.drop = 0.3;
  o.faults.seed = 7;
  RunningSim sim(o);
  Client client(sim.Path(), 115200);
  int ok = 0;
  for (int i = 0; i < 10; ++i) ok += client.ReadValue("dev") == "VESK";
  EXPECT_GE(ok, 8);  // three attempts each: a loss of all three is rare
}

TEST(Faults, SameSeedSameFaults) {
  FaultOptions f;
  f.drop = 0.3;
  f.corrupt = 0.3;
  f.garbage = 0.2;
  f.seed = 42;
  std::string frame = LornFrame(16, 8, true, link::NameHash("dev"), nullptr, 0);
  FaultInjector a(f), b(f);
  int changed = 0, lost = 0;
  for (int i = 0; i < 200; ++i) {
    auto x = a.Apply(frame, Protocol::Lorn);
    auto y = b.Apply(frame, Protocol::Lorn);
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
    differ += c.Apply(frame, Protocol::Lorn) != d.Apply(frame, Protocol::Lorn);
  EXPECT_GT(differ, 0);
}

TEST(Faults, CorruptedFrameKeepsItsShapeButFailsItsChecksum) {
  uint8_t data[3] = {1, 2, 3};
  std::string frame = LornFrame(16, 8, false, link::NameHash("FiLt"), data, 3);
  for (uint64_t seed = 1; seed <= 200; ++seed) {
    FaultOptions f;
    f.corrupt = 1;
    f.seed = seed;
    FaultInjector inject(f);
    std::string bad = *inject.Apply(frame, Protocol::Lorn);
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
    ASSERT_FALSE(link::ParseReply(bad, reply)) << bad;
  }
}

TEST(Faults, OtherHashOfABrokenFrameLeavesItAlone) {
  EXPECT_EQ(WithOtherHash("#GG\r"), "#GG\r");  // no read outside the frame
}

}  // namespace
}  // namespace vesk::sim::test
