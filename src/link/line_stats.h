#pragma once
// The line's counters: requests, replies and what went wrong, with the reply time's mean,
// 95th percentile and maximum. Fed by line events; read from any thread.

#include <array>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/line_event.h"

namespace vesk::link {

struct LineCounters {
  uint64_t requests = 0;  // every frame sent, retries included
  uint64_t replies = 0;   // replies taken, error replies included
  uint64_t timeouts = 0;
  uint64_t checksum_failures = 0;
  uint64_t error_replies = 0;
  uint64_t retries = 0;
  uint64_t other_refusals = 0;  // line errors, lost starts, replies to another command
  // Skipped while the wait went on; not failures.
  uint64_t noise = 0;          // bursts of noise before a reply's start
  uint64_t stray_replies = 0;  // valid frames for another address or direction
  // The bus scan's questions, apart from the line's requests: a silent address is no
  // time-out of the line. Its spoilt answers are the line's failures all the same.
  uint64_t bus_scan_questions = 0;
  uint64_t bus_scan_found = 0;  // addresses that answered, each once
  double mean_ms = 0;
  double p95_ms = 0;
  double max_ms = 0;

  uint64_t Failures() const {
    return timeouts + checksum_failures + error_replies + other_refusals;
  }
};

class LineStats : public LineObserver {
 public:
  LineStats();
  void OnLineEvent(const LineEvent& event) override;

  LineCounters Snapshot() const;
  void Reset();

 private:
  // Counts a bus scan's event; false when it counts as the line's own (a spoilt answer).
  bool NoteBusScan(const LineEvent& e);

  // Reply times in tenths of a millisecond; the last bin holds everything longer.
  static constexpr size_t kBins = 20000;
  static constexpr size_t kAddressCount = 2048;  // an 11-bit address at most

  mutable std::mutex mutex_;
  LineCounters counters_;
  std::vector<uint32_t> bins_;
  double total_ms_ = 0;
  uint64_t timed_ = 0;
  std::bitset<kAddressCount> found_;
};

// The counters as the end of a headless run prints them, one per line.
std::string LineCountersText(const LineCounters& counters);

}  // namespace vesk::link
