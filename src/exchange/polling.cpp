#include "exchange/polling.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "exchange/exchange_engine.h"
#include "link/number_text.h"
#include "link/presenter.h"
#include "platform/text.h"
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

constexpr auto kWaitFailurePause = 50ms;

// Guards the polling flag and period of every parameter: the window switches them, the
// scan thread tests and finally clears them.
std::mutex& state_lock() {
  static std::mutex m;
  return m;
}

timespec to_timespec(int32_t ms) {
  timespec ts{};
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  return ts;
}

// The parameter's timer is a timerfd it owns; these are the only calls made on it.
int arm_timer(int fd, int32_t period_ms) {
  itimerspec when{};
  when.it_value = to_timespec(period_ms);
  when.it_interval = when.it_value;
  return ::timerfd_settime(fd, 0, &when, nullptr) < 0 ? errno : 0;
}

uint64_t drain_timer(int fd) {
  uint64_t count = 0;
  ssize_t n;
  do {
    n = ::read(fd, &count, sizeof count);
  } while (n < 0 && errno == EINTR);
  return n == sizeof count ? count : 0;
}

void cancel_timer(int fd) {
  itimerspec when{};
  ::timerfd_settime(fd, 0, &when, nullptr);
  drain_timer(fd);
}

// Stored periods come from files too; one below the floor would flood the line.
int32_t effective_period(const link::Parameter& p) {
  return p.pollPeriod < kMinPollPeriodMs ? kMinPollPeriodMs : p.pollPeriod;
}

std::string bounded(std::string_view text) {
  return platform::utf8_prefix(text, link::kMaxValueChars);
}

void collect(model::DescBranch* node, std::vector<link::Parameter*>& out) {
  if (!node) return;
  for (auto& p : node->parameters)
    if (p->IsPolled()) out.push_back(p.get());
  for (auto& child : node->children) collect(child.get(), out);
}

}  // namespace

void PollSample::Acknowledge() {
  if (inFlight_) {
    inFlight_->fetch_sub(1);
    inFlight_.reset();
  }
}

bool PreparePolling(link::Parameter& parameter, std::string* error) {
  if (parameter.pollTimer >= 0) return true;
  const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  parameter.pollTimer = fd;
  return true;
}

int PreparePolling(model::DescBranch& scanners) {
  int failed = 0;
  for (auto& p : scanners.parameters)
    if (!PreparePolling(*p)) ++failed;
  for (auto& child : scanners.children) failed += PreparePolling(*child);
  return failed;
}

std::vector<link::Parameter*> CollectPolled(model::DescBranch* scanners) {
  std::vector<link::Parameter*> out;
  collect(scanners, out);
  return out;
}

int StartPolling(link::Parameter& parameter) {
  std::lock_guard lock(state_lock());
  if (parameter.pollTimer < 0) return kPollNoTimer;
  if (parameter.pollActive) return kPollNothingToDo;
  if (arm_timer(parameter.pollTimer, effective_period(parameter)) != 0) return kPollNoTimer;
  parameter.pollActive = true;
  return kPollDone;
}

int StopPolling(link::Parameter& parameter) {
  std::lock_guard lock(state_lock());
  if (!parameter.pollActive) return kPollNothingToDo;
  parameter.pollActive = false;
  if (parameter.pollTimer >= 0) cancel_timer(parameter.pollTimer);
  return kPollDone;
}

bool PollingActive(const link::Parameter& parameter) {
  std::lock_guard lock(state_lock());
  return parameter.pollActive;
}

int32_t PollPeriod(const link::Parameter& parameter) {
  std::lock_guard lock(state_lock());
  return parameter.pollPeriod;
}

std::optional<int32_t> ParsePollPeriod(std::string_view text) {
  double number = 0;
  if (link::parse_decimal_prefix(text, number) == 0) number = 0;
  if (!(number >= kMinPollPeriodMs) || number >= double(std::numeric_limits<int32_t>::max()) + 1)
    return std::nullopt;
  return static_cast<int32_t>(std::trunc(number));
}

bool SetPollPeriod(link::Parameter& parameter, std::string_view text) {
  const std::optional<int32_t> period = ParsePollPeriod(text);
  if (!period) {
    link::presenter().MessageBox(kPollPeriodRefused, kPollPeriodCaption, link::MsgIcon::Error);
    return false;
  }
  std::lock_guard lock(state_lock());
  parameter.pollPeriod = *period;
  // A running poll goes on at the new period, counted from now.
  if (parameter.pollActive && parameter.pollTimer >= 0 &&
      arm_timer(parameter.pollTimer, effective_period(parameter)) != 0)
    parameter.pollActive = false;
  return true;
}

std::mutex& polled_values_lock() {
  static std::mutex m;
  return m;
}

Scanner::Scanner(ExchangeEngine& engine) : engine_(engine) {}

Scanner::~Scanner() {
  if (engine_.ScanThreadRunning()) engine_.StopThreads();
}

int Scanner::StartScanThread(model::DescBranch* scanners) {
  if (engine_.ScanThreadRunning()) return 0;
  if (scanners) PreparePolling(*scanners);
  {
    std::lock_guard lock(countersLock_);
    inFlight_.clear();
  }
  return engine_.StartScanThread([this, polled = CollectPolled(scanners)] { Run(polled); });
}

void Scanner::SetSink(PollSink* sink) {
  std::lock_guard lock(sinkLock_);
  sink_ = sink;
}

std::shared_ptr<std::atomic<int>> Scanner::InFlightCounter(const link::Parameter& parameter) {
  std::lock_guard lock(countersLock_);
  auto& slot = inFlight_[&parameter];
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
  sample->inFlight_ = std::move(counter);
  sample->parameter = &parameter;
  sample->pollIndex = parameter.pollIndex;
  {
    std::lock_guard values(polled_values_lock());
    sample->startTime = PollSample::Clock::now();
    const int result = engine_.exchange(link::kOpRead, &parameter);
    sample->endTime = PollSample::Clock::now();
    if (result == link::kExchangeOk)
      sample->valueText = bounded(parameter.value);
    else if (engine_.stopEvent().is_set())
      return kPollStopped;
    else
      sample->errorText = bounded(parameter.note);
  }

  std::lock_guard lock(sinkLock_);
  if (!sink_) return kPollUndelivered;
  sink_->OnPollResult(std::move(sample));
  return kPollDone;
}

void Scanner::Run(const std::vector<link::Parameter*>& polled) {
  platform::Event& stop = engine_.stopEvent();
  std::vector<platform::Waitable> items;
  items.reserve(polled.size() + 1);
  items.push_back(platform::waitable(stop));
  for (link::Parameter* p : polled) items.push_back(platform::readable(p->pollTimer));
  const std::vector<platform::Waitable> stop_only{platform::waitable(stop)};

  for (;;) {
    const int r = platform::wait_any(items, std::chrono::milliseconds(-1));
    if (r == 0) break;
    if (r < 0) {
      // A failed wait costs a pause, not the thread; the stop event still ends it.
      if (platform::wait_any(stop_only, kWaitFailurePause) == 0) break;
      continue;
    }
    // Every timer that has expired is served in turn, so a fast one cannot starve the
    // parameters behind it; expiries that came during a poll are merged by the timer.
    bool stopped = false;
    for (link::Parameter* p : polled) {
      if (stop.is_set()) {
        stopped = true;
        break;
      }
      if (drain_timer(p->pollTimer) > 0) PollOnce(*p);
    }
    if (stopped) break;
  }

  for (link::Parameter* p : polled) StopPolling(*p);
  std::lock_guard lock(sinkLock_);
  if (sink_) sink_->OnPollingEnded();
}

}  // namespace vesk::exchange
