#pragma once
// Polling of the operative parameters of the pollers tree: each polled parameter has a
// timer that the user switches on and off, kept here beside the record (the record itself
// knows only that it is polled); one thread, the poller thread, waits on the stop event and
// every timer, reads the parameter whose timer expired, and hands the result to
// the sink the window registered. At most kMaxResultsInFlight results of one parameter
// wait unacknowledged; a poll beyond that is skipped, so a window that falls behind cannot
// pile up results without end.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "link/device_link.h"
#include "link/parameter.h"
#include "model/description_branch.h"

namespace vesk::exchange {

inline constexpr int32_t kMinPollPeriodMs = 100;
inline constexpr int kMaxResultsInFlight = 9;

inline constexpr const char* kPollPeriodRefused =
    "Период опроса должен быть задан числом в миллисекундах.\n"
    "Период опроса не может быть меньше 100 миллисекунд";
inline constexpr const char* kPollPeriodCaption = "Неудалось изменить период опроса";

// Results of StartPolling, StopPolling and Poller::PollOnce.
inline constexpr int kPollDone = 0;         // acted (polled and delivered)
inline constexpr int kPollNothingToDo = 1;  // already in that state / polling not active
inline constexpr int kPollNoTimer = 2;      // not a polled parameter, or the timer failed
inline constexpr int kPollSkipped = 3;      // kMaxResultsInFlight results still unacknowledged
inline constexpr int kPollUndelivered = 4;  // read, but no sink registered: result dropped
inline constexpr int kPollStopped = 5;      // the stop event cut the read short: dropped

// The result of one poll. It holds one of the parameter's places in flight until it is
// acknowledged or destroyed, whichever comes first.
class PollSample {
 public:
  using Clock = std::chrono::system_clock;

  PollSample() = default;
  ~PollSample() { Acknowledge(); }
  PollSample(const PollSample&) = delete;
  PollSample& operator=(const PollSample&) = delete;

  // Gives the place back; later calls do nothing.
  void Acknowledge();

  int32_t poll_index = 0;
  Clock::time_point start_time;  // just before the exchange
  Clock::time_point end_time;    // just after it
  std::string value_text;        // the value after a successful read (at most 511 characters)
  std::string error_text;        // the note after a failed read (at most 511 characters)
  // The polled parameter; valid while its tree lives (the thread is ended before the
  // document replaces the tree, but a sample still queued in the window may outlive it).
  link::Parameter* parameter = nullptr;

 private:
  friend class Poller;
  std::shared_ptr<std::atomic<int>> in_flight_;
};

// Where the results go: the window's side. Both calls come on the poller thread and must not
// wait for the thread that stops the poller (the window marshals and returns).
class PollSink {
 public:
  virtual ~PollSink() = default;
  // One result; the sink owns it from now on.
  virtual void OnPollResult(std::unique_ptr<PollSample> sample) = 0;
  // The thread has ended and switched every polling off.
  virtual void OnPollingEnded() {}
};

// Gives the parameter its polling timer when it has none and marks it polled. Returns true
// when it has one; false with the system's reason in `error` when no timer could be made.
bool PreparePolling(link::Parameter& parameter, std::string* error = nullptr);
// The same for every parameter of the tree; returns the number that got no timer.
int PreparePolling(model::DescriptionBranch& pollers);
// Closes the parameter's timer and marks it unpolled. The owner of the records calls it
// before they go, once the poller thread has ended.
void ReleasePolling(link::Parameter& parameter);
// The same for every parameter of the tree (nullptr: none).
void ReleasePolling(model::DescriptionBranch* pollers);
// The parameter's timer (a timerfd that becomes readable at each expiry), or -1 when it is
// not polled.
int PollTimer(const link::Parameter& parameter);

// Every polled parameter: the node's own in array order, then each child branch, depth
// first.
std::vector<link::Parameter*> CollectPolled(model::DescriptionBranch* pollers);

// Switches polling on: arms the timer for a first expiry one period from now and then
// every period. Returns kPollDone, kPollNothingToDo when already active, or kPollNoTimer.
int StartPolling(link::Parameter& parameter);
// Switches polling off and cancels the timer. Returns kPollDone, or kPollNothingToDo when
// it was not active.
int StopPolling(link::Parameter& parameter);
// Whether polling of the parameter is on, and its period, read under the polling lock.
bool PollingActive(const link::Parameter& parameter);
int32_t PollPeriod(const link::Parameter& parameter);

// The period a text asks for: its leading number with the fraction dropped (text that is
// no number reads as 0). Returns nothing when that is below 100 ms or beyond int32.
std::optional<int32_t> ParsePollPeriod(std::string_view text);
// Sets the period from a text. A running poll is stopped and started again with it.
// Returns false, leaving the period and after showing kPollPeriodRefused through the
// presenter, when ParsePollPeriod refuses the text.
bool SetPollPeriod(link::Parameter& parameter, std::string_view text);

// Held while an operative parameter's value and note are copied, by the poller thread and by
// the inputs and outputs window, which read the same records; never across an exchange
// (that works on a copy) nor a message, since the window's thread takes it.
std::mutex& PolledValuesLock();

class ExchangeEngine;

// The polling of one document: the body of the engine's polling thread, the registered
// sink and the results in flight. Declared after the engine it serves, so that it goes
// first.
class Poller {
 public:
  explicit Poller(ExchangeEngine& engine);
  // Ends the engine's threads when the polling thread still runs, since its body refers to
  // this object.
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // Gives the tree's parameters their timers and starts the engine's polling thread over
  // them, unless it runs. Returns 0 when it runs afterwards; 1 when it could not be started
  // (the engine has shown why). The tree must outlive the thread: the engine's StopThreads
  // ends it, and switches every polling off, before the document replaces the tree.
  int StartPollerThread(model::DescriptionBranch* pollers);

  // Registers the sink (nullptr: none; results are then read and dropped). When this
  // returns, no call into the previous sink is in progress. Not from inside a sink call.
  void SetSink(PollSink* sink);

  // One poll of the parameter (the thread calls it when the parameter's timer expires).
  // Returns kPollDone, kPollNothingToDo when polling is not active, kPollSkipped,
  // kPollUndelivered, or kPollStopped (a read cut short by the stop event says nothing
  // about the device, so it is not shown).
  int PollOnce(link::Parameter& parameter);

  // The thread's body: waits on the stop event and the parameters' timers, polls, and at
  // the stop event switches their polling off and tells the sink. Returns then.
  void Run(const std::vector<link::Parameter*>& polled);

 private:
  std::shared_ptr<std::atomic<int>> InFlightCounter(const link::Parameter& parameter);

  ExchangeEngine& engine_;
  std::mutex sink_lock_;
  PollSink* sink_ = nullptr;
  std::mutex counters_lock_;
  std::unordered_map<const link::Parameter*, std::shared_ptr<std::atomic<int>>> in_flight_;
};

}  // namespace vesk::exchange
