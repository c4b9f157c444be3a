#pragma once
// The search of a line for devices: every address of a range is asked for the device's
// name. A silent address costs only as long as a real device could take to answer, a
// time measured on the devices that do answer; a second pass at the full reply wait over
// a sample of the silent addresses checks that nothing slower was missed.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk::exchange {

class ExchangeEngine;
class ProgressSink;

// The short wait for a silent address covers the reply's first character only: a device
// that has begun to answer gets the line's full reply wait for the rest. It is the line
// time of kBusScanFirstChars characters plus kBusScanTurnaroundFactor times the slowest
// turnaround measured so far (from the end of a request to the first character of its
// reply, less that character's line time: the best of three of each device found, or how
// late a device answered after its short wait ran out), never less than kBusScanMinMarginMs,
// never more than the line's full reply wait. The turnaround measured includes whatever
// the adapter and the system add before a character is seen (a USB adapter's latency
// timer, a UART's receive trigger), so the wait grows with them.
inline constexpr int kBusScanMinMarginMs = 5;
inline constexpr int kBusScanTurnaroundFactor = 3;
inline constexpr int kBusScanFirstChars = 2;
// Silent addresses asked again at the full reply wait. When one of them answers, every
// silent address is asked again at the full wait.
inline constexpr int kBusScanSampleSize = 4;
// A name reply carries at most 8 data bytes: 30 characters with "#" and the return.
inline constexpr int kBusScanLongestReplyChars = 30;
struct FoundDevice {
  int32_t address = 0;
  std::string name;     // "dev", UTF-8
  std::string version;  // "ver", UTF-8; empty when it could not be read
  double reply_ms = 0;  // the name's best reply time of three
};

struct BusScanOutcome {
  std::vector<FoundDevice> devices;  // sorted by address, each once
  bool cancelled = false;            // ended by cancel_event or the stop event
  std::string error;                 // the port failed (closed, gone): the reason
  bool port_lost = false;            // the port is gone; `error` is the lost-port text
  int short_wait_ms = 0;             // the last short wait used
  int rechecked = 0;                 // addresses asked again at the full wait
};

struct BusScanObserver {
  std::function<void(int32_t done, int32_t total)> progress;
  std::function<void(const FoundDevice&)> found;        // as soon as a device answers its name
  std::function<void(const BusScanOutcome&)> finished;  // RunBusScanTask: it has ended
};

// Scans `from` ... `to` (inclusive) with the engine's open port and settings, the
// address length included, on the calling thread. The engine's progress counters follow
// the first pass; cancel_event or the stop event end it between questions.
BusScanOutcome ScanBus(ExchangeEngine& engine, int32_t from, int32_t to,
                       const BusScanObserver& observer = {});

// The bus scan as a task of the engine's exchange thread, like a read of the tree: its frames
// reach the link's observers, the progress sink shows it, Cancel stops it. The observer is
// called on the exchange thread, `finished` once with the outcome before the task ends.
// `sink` (optional) shows this task in place of the engine's progress window. Returns
// what ExchangeEngine::RunJob returns: false when the task could not start.
bool RunBusScanTask(ExchangeEngine& engine, int32_t from, int32_t to, BusScanObserver observer,
                    ProgressSink* sink = nullptr);

}  // namespace vesk::exchange
