// Whatever arrives, the device never fails and answers only with frames the configurator
// can take: random requests to every parameter, random bytes, random probe frames.

#include <gtest/gtest.h>

#include <random>

#include "frame_reader.h"
#include "link/frame_codec.h"
#include "probe_responder.h"
#include "sim_test_support.h"

namespace vesk::sim::test {
namespace {

TEST(Robustness, RandomRequestsGetWellFormedAnswersOrNone) {
  auto device = MakeDevice();
  std::vector<uint16_t> hashes;
  for (const StoredParameter& p : device->store().parameters()) hashes.push_back(p.hash);
  for (const char* name : {"dev", "ver", "exit", "INIT", "APLY", "M.s.t.r.", "n.Err"})
    hashes.push_back(link::NameHash(name));
  std::mt19937 rng(1234);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto now = std::chrono::steady_clock::now();
  int answered = 0;
  for (int i = 0; i < 20000; ++i) {
    uint16_t hash = pick(4) == 0 ? static_cast<uint16_t>(rng()) : hashes[pick(hashes.size())];
    std::vector<uint8_t> data(static_cast<size_t>(pick(16)));
    for (uint8_t& b : data) b = static_cast<uint8_t>(pick(3) == 0 ? rng() : pick(4));
    // Attribute requests name real parameters most of the time.
    if (hash == link::kAttributeHash && data.size() >= 2) {
      uint16_t target = hashes[pick(hashes.size())];
      data[data.size() - 2] = static_cast<uint8_t>(target >> 8);
      data[data.size() - 1] = static_cast<uint8_t>(target);
    }
    int offset = pick(2) == 0 ? 0 : pick(24) - 2;
    Exchange e = Ask(*device, pick(2) == 0, hash, data, offset, now + std::chrono::milliseconds(i));
    if (e.outcome.reply.empty()) continue;
    ++answered;
    ASSERT_TRUE(e.answered) << "reply that does not parse: " << e.outcome.reply;
    ASSERT_LE(e.outcome.reply.size(), 31u) << "longer than the configurator reads";
    ASSERT_TRUE(e.hash == hash || e.hash == link::kErrorReplyHash);
    if (e.hash == link::kErrorReplyHash) {
      ASSERT_EQ(e.data.size(), 1u);
    }
    if (e.outcome.action == LornAction::Restart) device->Restart(now);
    if (e.outcome.action == LornAction::Apply) device->ApplyNetwork();
  }
  EXPECT_GT(answered, 5000);  // half the requests go to the base address
}

TEST(Robustness, RandomBytesNeverMakeAFrameThatIsNotOne) {
  std::mt19937 rng(99);
  FrameReader reader('#', '\r', 44);
  ProbeResponder rtu(Protocol::ModbusRtu), ascii(Protocol::ModbusAscii), dcon(Protocol::Dcon);
  const char alphabet[] = "#\r\n:%GHIJKLMNOPQRSTUV0123456789ABCDEF!";
  int frames = 0;
  for (int i = 0; i < 200000; ++i) {
    char c = rng() % 4 == 0 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
    if (auto f = reader.Feed(c)) {
      ++frames;
      ASSERT_LE(f->size(), 44u);
      ASSERT_EQ(f->front(), '#');
      ASSERT_EQ(f->back(), '\r');
      auto r = ParseLornRequest(*f, 8);
      if (r) {
        ASSERT_LE(r->count, 15);
      }
    }
    for (ProbeResponder* p : {&rtu, &ascii, &dcon}) {
      if (auto f = p->Feed(c, 16)) {
        ASSERT_LE(f->request.size(), 2u * 256 + 5);
      }
    }
  }
  EXPECT_GT(frames, 100);
}

TEST(Robustness, NoiseOnTheLineDoesNotStopTheDevice) {
  RunningSim sim;
  Client client(sim.Path());
  std::mt19937 rng(5);
  int fd = client.link().port().fd();
  ASSERT_GE(fd, 0);
  std::string noise;
  for (int i = 0; i < 4000; ++i) noise.push_back(static_cast<char>(rng()));
  ASSERT_EQ(write(fd, noise.data(), noise.size()), static_cast<ssize_t>(noise.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(client.ReadValue("dev"), "VESK");
}

}  // namespace
}  // namespace vesk::sim::test
