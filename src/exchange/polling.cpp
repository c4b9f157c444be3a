#include "exchange/polling.h"

#include <sys/timerfd.h>
#include <unistd.h>

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
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

constexpr auto kWaitFailurePause = 50ms;

// Guards the polling flag and period of every parameter: the window switches them, the
// scan thread tests and finally clears them.
std::mutex& StateLock() {
  static std::mutex m;
  return m;
}

timespec ToTimespec(int32_t ms) {
  timespec ts{};
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  return ts;
}

// The parameter's timer is a timerfd it owns; these are the only calls made on it.
int ArmTimer(int fd, int32_t period_ms) {
  itimerspec when{};
  when.it_value = ToTimespec(period_ms);
  when.it_interval = when.it_value;
  return ::timerfd_settime(fd, 0, &when, nullptr) < 0 ? errno : 0;
}

uint64_t DrainTimer(int fd) {
  uint64_t count = 0;
  ssize_t n;
  do {
    n = ::read(fd, &count, sizeof count);
  } while (n < 0 && errno == EINTR);
  return n == sizeof count ? count : 0;
}

void CancelTimer(int fd) {
  itimerspec when{};
  ::timerfd_settime(fd, 0, &when, nullptr);
  DrainTimer(fd);
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
  if (parameter.poll_timer >= 0) return true;
  const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  parameter.poll_timer = fd;
  return true;
}

int PreparePolling(model::DescriptionBranch& scanners) {
  int failed = 0;
  for (auto& p : scanners.parameters)
    if (!PreparePolling(*p)) ++failed;
  for (auto& child : scanners.children) failed += PreparePolling(*child);
  return failed;
}

std::vector<link::Parameter*> CollectPolled(model::DescriptionBranch* scanners) {
  std::vector<link::Parameter*> out;
  Collect(scanners, out);
  return out;
}

int StartPolling(link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  if (parameter.poll_timer < 0) return kPollNoTimer;
  if (parameter.poll_active) return kPollNothingToDo;
  if (ArmTimer(parameter.poll_timer, EffectivePeriod(parameter)) != 0) return kPollNoTimer;
  parameter.poll_active = true;
  return kPollDone;
}

int StopPolling(link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  if (!parameter.poll_active) return kPollNothingToDo;
  parameter.poll_active = false;
  if (parameter.poll_timer >= 0) CancelTimer(parameter.poll_timer);
  return kPollDone;
}

bool PollingActive(const link::Parameter& parameter) {
  std::lock_guard lock(StateLock());
  return parameter.poll_active;
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
  if (parameter.poll_active && parameter.poll_timer >= 0 &&
      ArmTimer(parameter.poll_timer, EffectivePeriod(parameter)) != 0)
    parameter.poll_active = false;
  return true;
}

std::mutex& PolledValuesLock() {
  static std::mutex m;
  return m;
}

Scanner::Scanner(ExchangeEngine& engine) : engine_(engine) {}

Scanner::~Scanner() {
  if (engine_.ScanThreadRunning()) engine_.StopThreads();
}

int Scanner::StartScanThread(model::DescriptionBranch* scanners) {
  if (engine_.ScanThreadRunning()) return 0;
  if (scanners) PreparePolling(*scanners);
  {
    std::lock_guard lock(counters_lock_);
    in_flight_.clear();
  }
  return engine_.StartScanThread([this, polled = CollectPolled(scanners)] { Run(polled); });
}

void Scanner::SetSink(PollSink* sink) {
  std::lock_guard lock(sink_lock_);
  sink_ = sink;
}

std::shared_ptr<std::atomic<int>> Scanner::InFlightCounter(const link::Parameter& parameter) {
  std::lock_guard lock(counters_lock_);
  auto& slot = in_flight_[&parameter];
  if (!slot) slot = std::make_shared<std::atomic<int>>(0);
  return slot;
}

int Scanner::PollOnce(link::Parameter& parameter) {
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

void Scanner::Run(const std::vector<link::Parameter*>& polled) {
  platform::Event& stop = engine_.StopEvent();
  std::vector<platform::Waitable> items;
  items.reserve(polled.size() + 1);
  items.push_back(platform::Signalled(stop));
  for (link::Parameter* p : polled) items.push_back(platform::Readable(p->poll_timer));
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
    for (link::Parameter* p : polled) {
      if (stop.IsSet()) {
        stopped = true;
        break;
      }
      if (DrainTimer(p->poll_timer) > 0) PollOnce(*p);
    }
    if (stopped) break;
  }

  for (link::Parameter* p : polled) StopPolling(*p);
  std::lock_guard lock(sink_lock_);
  if (sink_) sink_->OnPollingEnded();
}

}  // namespace vesk::exchange
