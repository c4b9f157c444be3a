#include "exchange/bus_scan.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <set>

#include "exchange/exchange_engine.h"
#include "link/frame_codec.h"
#include "platform/text.h"

namespace vesk::exchange {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestChars = 14;  // a read without data
constexpr int kVersionAttempts = 3;
constexpr int kTimingAttempts = 3;

std::string IdentityText(const link::ReplyFrame& frame, const link::Parameter& subject) {
  if (frame.hash != link::NameHash(subject.short_name)) return {};
  std::string raw(reinterpret_cast<const char*>(frame.data), static_cast<size_t>(frame.count));
  while (!raw.empty() && (raw.back() == '\0' || raw.back() == ' ')) raw.pop_back();
  return platform::Cp1251ToUtf8(raw);
}

class Scan {
 public:
  Scan(ExchangeEngine& engine, const BusScanObserver& observer)
      : engine_(engine),
        observer_(observer),
        char_ms_(engine.port().CharTimeMs()),
        full_wait_ms_(engine.port().ReplyWaitMs()) {
    // The observers decode the answers as texts.
    dev_.type_text = ver_.type_text = "string";
  }

  BusScanOutcome Run(int32_t from, int32_t to) {
    const int32_t total = to - from + 1;
    engine_.progress_total.store(total);
    engine_.progress_done.store(0);
    engine_.BusScanBegins();
    std::vector<int32_t> silent;
    for (int32_t a = from; a <= to && Going(); ++a) {
      if (!Ask(a, ShortWait())) silent.push_back(a);
      engine_.progress_done.store(a - from + 1);
      if (observer_.progress) observer_.progress(a - from + 1, total);
    }
    if (Going()) Recheck(silent);
    if (Going()) ReadVersions();
    for (auto& [address, device] : found_) out_.devices.push_back(device);
    out_.cancelled = out_.error.empty() && engine_.Cancelled();
    return out_;
  }

 private:
  bool Going() { return out_.error.empty() && !engine_.Cancelled(); }

  // A port that failed ends the bus scan with the reason; a lost one is said so whatever else
  // stopped it.
  void Stopped(const link::BusScanReply& r) {
    if (r.port_lost) out_.port_lost = true;
    if (r.port_lost || (r.stopped && !engine_.Cancelled())) out_.error = r.error;
  }

  int ShortWait() {
    const double margin =
        std::max<double>(kBusScanMinMarginMs, kBusScanTurnaroundFactor * slowest_turnaround_ms_);
    const int wait = static_cast<int>(std::ceil(char_ms_ * kBusScanFirstChars + margin));
    out_.short_wait_ms = std::min<int>(wait, full_wait_ms_);
    return out_.short_wait_ms;
  }

  // `first_char_ms`: from the end of a request to the first character of its reply.
  void Measured(double first_char_ms) {
    slowest_turnaround_ms_ = std::max(slowest_turnaround_ms_, first_char_ms - char_ms_);
  }

  // Asks `address` for its name. Returns true when it answered.
  bool Ask(int32_t address, int wait_ms) {
    sent_at_[address] = Clock::now();
    link::BusScanReply r = engine_.BusScanAddress(address, dev_, wait_ms);
    Stopped(r);
    if (r.late_address >= 0 && !found_.count(r.late_address)) {
      // An earlier address answered after its short wait: the wait grows for the rest.
      // Its first character came at the latest a longest reply before the end.
      late_.insert(r.late_address);
      if (auto it = sent_at_.find(r.late_address); it != sent_at_.end())
        Measured(std::chrono::duration<double, std::milli>(Clock::now() - it->second).count() -
                 char_ms_ * (kRequestChars + kBusScanLongestReplyChars - 1));
    }
    if (!r.answered) return false;
    // A first answer may carry the cost of waking the line or the device; the device's
    // times are the best of a few.
    double best_ms = r.reply_ms;
    double best_first_ms = r.first_char_ms;
    for (int i = 1; i < kTimingAttempts && Going(); ++i) {
      link::BusScanReply again = engine_.BusScanAddress(address, dev_, full_wait_ms_);
      Stopped(again);
      if (!again.answered) continue;
      best_ms = std::min(best_ms, again.reply_ms);
      best_first_ms = std::min(best_first_ms, again.first_char_ms);
    }
    Measured(best_first_ms);
    FoundDevice device{address, IdentityText(r.frame, dev_), {}, std::round(best_ms * 10) / 10};
    found_[address] = device;
    if (observer_.found) observer_.found(device);
    return true;
  }

  void Recheck(const std::vector<int32_t>& silent) {
    std::vector<int32_t> left;
    for (int32_t a : silent)
      if (!late_.count(a)) left.push_back(a);
    for (int32_t a : late_) {
      if (!Going()) return;
      ++out_.rechecked;
      Ask(a, full_wait_ms_);
    }
    // An even sample; when it finds what the short wait missed, everything is asked again.
    std::vector<int32_t> sample;
    const size_t n = left.size();
    const size_t k = std::min<size_t>(n, kBusScanSampleSize);
    for (size_t i = 0; i < k; ++i) sample.push_back(left[(2 * i + 1) * n / (2 * k)]);
    bool missed = false;
    for (int32_t a : sample) {
      if (!Going()) return;
      ++out_.rechecked;
      missed = Ask(a, full_wait_ms_) || missed;
    }
    if (!missed) return;
    for (int32_t a : left) {
      if (!Going()) return;
      if (found_.count(a) || std::find(sample.begin(), sample.end(), a) != sample.end()) continue;
      ++out_.rechecked;
      Ask(a, full_wait_ms_);
    }
  }

  void ReadVersions() {
    for (auto& [address, device] : found_) {
      for (int i = 0; i < kVersionAttempts && Going(); ++i) {
        link::BusScanReply r = engine_.BusScanAddress(address, ver_, full_wait_ms_);
        Stopped(r);
        if (r.answered) {
          device.version = IdentityText(r.frame, ver_);
          break;
        }
      }
    }
  }

  ExchangeEngine& engine_;
  const BusScanObserver& observer_;
  const double char_ms_;
  const int full_wait_ms_;
  link::Parameter dev_{"dev"};
  link::Parameter ver_{"ver"};
  double slowest_turnaround_ms_ = 0;
  std::map<int32_t, Clock::time_point> sent_at_;
  std::set<int32_t> late_;
  std::map<int32_t, FoundDevice> found_;
  BusScanOutcome out_;
};

}  // namespace

BusScanOutcome ScanBus(ExchangeEngine& engine, int32_t from, int32_t to,
                       const BusScanObserver& observer) {
  return Scan(engine, observer).Run(from, to);
}

bool RunBusScanTask(ExchangeEngine& engine, int32_t from, int32_t to, BusScanObserver observer,
                    ProgressSink* sink) {
  return engine.RunJob(
      kTaskBusScan,
      [&engine, from, to, observer = std::move(observer)] {
        const BusScanOutcome outcome = ScanBus(engine, from, to, observer);
        if (observer.finished) observer.finished(outcome);
      },
      to - from + 1, sink);
}

}  // namespace vesk::exchange
