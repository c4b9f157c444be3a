#include "exchange/polling.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "exchange/exchange_engine.h"
#include "link/number_text.h"
#include "link/presenter.h"
#include "platform/language.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

constexpr auto kWaitFailurePause = 50ms;

// Guards the polling state and period of every parameter: the window switches them, the
// poller thread tests and finally clears them.
std::mutex& StateLock() {
  static std::mutex m;
  return m;
}

// What polling keeps of one polled parameter.
struct PollState {
  int timer = -1;  // a timerfd
  bool active = false;
};

// The state of every polled parameter, keyed by its record; under StateLock. An entry
// counts only while its record is marked polled: one left by a record that went without
// ReleasePolling is replaced when a new record at the same place is prepared.
std::unordered_map<const link::Parameter*, PollState>& States() {
  static std::unordered_map<const link::Parameter*, PollState> states;
  return states;
}

// The parameter's state, or nullptr when it is not polled. Under StateLock.
PollState* StateOf(const link::Parameter& p) {
  if (!p.IsPolled()) return nullptr;
  auto it = States().find(&p);
  return it == States().end() ? nullptr : &it->second;
}

// The parameter's timer is a timerfd it owns; it is armed with its period both ways.
int ArmTimer(int fd, int32_t period_ms) {
  const std::chrono::milliseconds period(period_ms);
  return platform::ArmTimerFd(fd, period, period);
}

// Stored periods come from files too; one below the floor would flood the line.
int32_t EffectivePeriod(const link::Parameter& p) {
  return p.poll_period < kMinPollPeriodMs ? kMinPollPeriodMs : p.poll_period;
}

std::string Bounded(std::string_view text) {
  return platform::Utf8Prefix(text, link::kMaxValueChars);
}

void Collect(model::DescriptionBranch* node, std::vector<link::Parameter*>& out) {
  if (!node) return;
  for (auto& p : node->parameters)
    if (p->IsPolled()) out.push_back(p.get());
  for (auto& child : node->children) Collect(child.get(), out);
}

}  // namespace

void PollSample::Acknowledge() {
  if (in_flight_) {
    in_flight_->fetch_sub(1);
    in_flight_.reset();
  }
}

bool PreparePolling(link::Parameter& parameter, std::string* error) {
  std::lock_guard lock(StateLock());
  if (StateOf(parameter)) return true;
  const int fd = platform::CreateTimerFd();
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  PollState& state = States()[&parameter];
  if (state.timer >= 0) ::close(state.timer);
  state = PollState{fd, false};
  parameter.polled = true;
  return true;
}

int PreparePolling(model::DescriptionBranch& pollers) {
  int failed = 0;
  for (auto& p : pollers.parameters)
    if (!PreparePolling(*p)) ++failed;
  for (auto& child : pollers.children) failed += PreparePolling(*child);
  return failed;
}

void ReleasePolling(link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  if (auto it = States().find(&parameter); it != States().end()) {
    ::close(it->second.timer);
    States().erase(it);
  }
  parameter.polled = false;
}

void ReleasePolling(model::DescriptionBranch* pollers) {
  if (!pollers) return;
  for (auto& p : pollers->parameters) ReleasePolling(*p);
  for (auto& child : pollers->children) ReleasePolling(child.get());
}

int PollTimer(const link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  const PollState* state = StateOf(parameter);
  return state ? state->timer : -1;
}

std::vector<link::Parameter*> CollectPolled(model::DescriptionBranch* pollers) {
  std::vector<link::Parameter*> out;
  Collect(pollers, out);
  return out;
}

int StartPolling(link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  PollState* state = StateOf(parameter);
  if (!state) return kPollNoTimer;
  if (state->active) return kPollNothingToDo;
  if (ArmTimer(state->timer, EffectivePeriod(parameter)) != 0) return kPollNoTimer;
  state->active = true;
  return kPollDone;
}

int StopPolling(link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  PollState* state = StateOf(parameter);
  if (!state || !state->active) return kPollNothingToDo;
  state->active = false;
  platform::CancelTimerFd(state->timer);
  return kPollDone;
}

bool PollingActive(const link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  const PollState* state = StateOf(parameter);
  return state && state->active;
}

int32_t PollPeriod(const link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  return parameter.poll_period;
}

std::optional<int32_t> ParsePollPeriod(std::string_view text) {
  double number = 0;
  if (link::ParseDecimalPrefix(text, number) == 0) number = 0;
  if (!(number >= kMinPollPeriodMs) || number >= double(std::numeric_limits<int32_t>::max()) + 1)
    return std::nullopt;
  return static_cast<int32_t>(std::trunc(number));
}

bool SetPollPeriod(link::Parameter& parameter, std::string_view text) {
  const std::optional<int32_t> period = ParsePollPeriod(text);
  if (!period) {
    link::presenter().ShowMessage(platform::Tr(kPollPeriodRefused),
                                  platform::Tr(kPollPeriodCaption), link::MsgIcon::Error);
    return false;
  }
  std::lock_guard lock(StateLock());
  parameter.poll_period = *period;
  // A running poll goes on at the new period, counted from now.
  if (PollState* state = StateOf(parameter);
      state && state->active && ArmTimer(state->timer, EffectivePeriod(parameter)) != 0)
    state->active = false;
  return true;
}

std::mutex& PolledValuesLock() {
  static std::mutex m;
  return m;
}

Poller::Poller(ExchangeEngine& engine) : engine_(engine) {}

Poller::~Poller() {
  if (engine_.PollerThreadRunning()) engine_.StopThreads();
}

int Poller::StartPollerThread(model::DescriptionBranch* pollers) {
  if (engine_.PollerThreadRunning()) return 0;
  if (pollers) PreparePolling(*pollers);
  {
    std::lock_guard lock(counters_lock_);
    in_flight_.clear();
  }
  return engine_.StartPollerThread([this, polled = CollectPolled(pollers)] { Run(polled); });
}

void Poller::SetSink(PollSink* sink) {
  std::lock_guard lock(sink_lock_);
  sink_ = sink;
}

std::shared_ptr<std::atomic<int>> Poller::InFlightCounter(const link::Parameter& parameter) {
  std::lock_guard lock(counters_lock_);
  auto& slot = in_flight_[&parameter];
  if (!slot) slot = std::make_shared<std::atomic<int>>(0);
  return slot;
}

int Poller::PollOnce(link::Parameter& parameter) {
  if (!PollingActive(parameter)) return kPollNothingToDo;

  std::shared_ptr<std::atomic<int>> counter = InFlightCounter(parameter);
  if (counter->fetch_add(1) >= kMaxResultsInFlight) {
    counter->fetch_sub(1);
    return kPollSkipped;
  }
  auto sample = std::make_unique<PollSample>();
  sample->in_flight_ = std::move(counter);
  sample->parameter = &parameter;
  sample->poll_index = parameter.poll_index;
  // The exchange works on a copy, so that the window, which takes the lock, never waits for
  // the line; the result goes into the record afterwards, unless the record was edited
  // meanwhile (the edit is not lost to an older value).
  std::unique_ptr<link::Parameter> copy;
  std::string before;
  {
    std::lock_guard values(PolledValuesLock());
    copy = parameter.Clone();
    before = parameter.value;
  }
  sample->start_time = PollSample::Clock::now();
  const int result = engine_.Exchange(link::kOpRead, copy.get());
  sample->end_time = PollSample::Clock::now();
  if (result != link::kExchangeOk && engine_.StopEvent().IsSet()) return kPollStopped;
  {
    std::lock_guard values(PolledValuesLock());
    if (parameter.value == before) {
      parameter.value = copy->value;
      parameter.note = copy->note;
      parameter.value_changed = copy->value_changed;
      parameter.edit_changed = copy->edit_changed;
      parameter.owner_changed = copy->owner_changed;
    }
  }
  if (result == link::kExchangeOk)
    sample->value_text = Bounded(copy->value);
  else
    sample->error_text = Bounded(copy->note);

  std::lock_guard lock(sink_lock_);
  if (!sink_) return kPollUndelivered;
  sink_->OnPollResult(std::move(sample));
  return kPollDone;
}

void Poller::Run(const std::vector<link::Parameter*>& polled) {
  platform::Event& stop = engine_.StopEvent();
  std::vector<int> timers;
  timers.reserve(polled.size());
  for (link::Parameter* p : polled) timers.push_back(PollTimer(*p));
  std::vector<platform::Waitable> items;
  items.reserve(polled.size() + 1);
  items.push_back(platform::Signalled(stop));
  for (int timer : timers) items.push_back(platform::Readable(timer));
  const std::vector<platform::Waitable> stop_only{platform::Signalled(stop)};

  for (;;) {
    const int r = platform::WaitAny(items, std::chrono::milliseconds(-1));
    if (r == 0) break;
    if (r < 0) {
      // A failed wait costs a pause, not the thread; the stop event still ends it.
      if (platform::WaitAny(stop_only, kWaitFailurePause) == 0) break;
      continue;
    }
    // Every timer that has expired is served in turn, so a fast one cannot starve the
    // parameters behind it; expiries that came during a poll are merged by the timer.
    bool stopped = false;
    for (size_t i = 0; i < polled.size(); ++i) {
      if (stop.IsSet()) {
        stopped = true;
        break;
      }
      if (platform::ConsumeTimerFd(timers[i]) > 0) PollOnce(*polled[i]);
    }
    if (stopped) break;
  }

  for (link::Parameter* p : polled) StopPolling(*p);
  std::lock_guard lock(sink_lock_);
  if (sink_) sink_->OnPollingEnded();
}

}  // namespace vesk::exchange
