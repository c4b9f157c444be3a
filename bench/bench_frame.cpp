// Frame build plus reply parse on one core, and a check that neither allocates.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "link/frame_codec.h"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

// Counting every allocation of the process; malloc and free underneath both operators.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

using namespace vesk::link;

namespace {

// A read request for "A.Len" and the device's reply with one byte, as on the line.
void BM_BuildAndParse(benchmark::State& state) {
  const int data_bytes = static_cast<int>(state.range(0));
  uint8_t data[kMaxDataBytes] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  RequestFrame reply_frame;
  BuildRequest(false, 0x1ED2, data, data_bytes, {16, 8, 0}, reply_frame);
  const std::string reply(reply_frame.Text());

  const long before = g_allocations.load();
  uint16_t hash = 0x1ED2;
  for (auto _ : state) {
    RequestFrame request;
    BuildRequest(true, hash, data, data_bytes, {16, 8, 0}, request);
    benchmark::DoNotOptimize(request.line);
    ReplyFrame parsed;
    bool ok = ParseReply(reply, parsed);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(parsed);
  }
  state.counters["allocations"] = static_cast<double>(g_allocations.load() - before);
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildAndParse)->Arg(0)->Arg(2)->Arg(8);

void BM_NameHash(benchmark::State& state) {
  const std::string names[] = {"A.Len", "M.s.t.r.", "CHAr", "ЖA.Len"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NameHash(names[i++ & 3]));
  }
}
BENCHMARK(BM_NameHash);

}  // namespace

BENCHMARK_MAIN();
