#include "link/line_stats.h"
#include "platform/language.h"

#include <algorithm>
#include <cstdio>

namespace vesk::link {

LineStats::LineStats() : bins_(kBins, 0) {}

void LineStats::OnLineEvent(const LineEvent& e) {
  std::lock_guard lock(mutex_);
  if (e.bus_scan && NoteBusScan(e)) return;
  switch (e.kind) {
    case LineEventKind::kRetry:
      ++counters_.retries;
      [[fallthrough]];
    case LineEventKind::kSent:
      ++counters_.requests;
      return;
    case LineEventKind::kReceived:
      ++counters_.replies;
      if (e.fault == LineFault::kErrorReply) ++counters_.error_replies;
      break;
    case LineEventKind::kTimeout:
      ++counters_.timeouts;
      return;
    case LineEventKind::kRefused:
      if (e.fault == LineFault::kNoise) {
        ++counters_.noise;
        return;
      }
      if (e.fault == LineFault::kStray) ++counters_.stray_replies;
      if (e.fault == LineFault::kStray || e.fault == LineFault::kEcho) return;
      if (e.fault == LineFault::kChecksum)
        ++counters_.checksum_failures;
      else
        ++counters_.other_refusals;
      break;
  }
  if (e.reply_us < 0) return;
  const double ms = e.reply_us / 1000.0;
  total_ms_ += ms;
  ++timed_;
  counters_.max_ms = std::max(counters_.max_ms, ms);
  ++bins_[std::min(static_cast<size_t>(e.reply_us / 100), kBins - 1)];
}

bool LineStats::NoteBusScan(const LineEvent& e) {
  switch (e.kind) {
    case LineEventKind::kSent:
    case LineEventKind::kRetry:
      ++counters_.bus_scan_questions;
      return true;
    case LineEventKind::kReceived:
      if (e.address >= 0 && static_cast<size_t>(e.address) < kAddressCount &&
          !found_.test(static_cast<size_t>(e.address))) {
        found_.set(static_cast<size_t>(e.address));
        ++counters_.bus_scan_found;
      }
      return true;
    case LineEventKind::kTimeout:
      return true;
    case LineEventKind::kRefused:
      return false;
  }
  return false;
}

LineCounters LineStats::Snapshot() const {
  std::lock_guard lock(mutex_);
  LineCounters c = counters_;
  if (timed_ == 0) return c;
  c.mean_ms = total_ms_ / static_cast<double>(timed_);
  // The upper edge of the bin where 95 % of the replies have come.
  const uint64_t wanted = (timed_ * 95 + 99) / 100;
  uint64_t seen = 0;
  for (size_t i = 0; i < kBins; ++i) {
    seen += bins_[i];
    if (seen >= wanted) {
      c.p95_ms = std::min(static_cast<double>(i + 1) / 10.0, c.max_ms);
      break;
    }
  }
  return c;
}

void LineStats::Reset() {
  std::lock_guard lock(mutex_);
  counters_ = LineCounters{};
  std::fill(bins_.begin(), bins_.end(), 0);
  total_ms_ = 0;
  timed_ = 0;
  found_.reset();
}

std::string LineCountersText(const LineCounters& c) {
  char buf[768];
  std::snprintf(
      buf, sizeof buf,
      platform::Tr(
          "Запросов: %llu\nОтветов: %llu\nТаймаутов: %llu\nОшибок контрольной суммы: %llu\n"
          "Ответов с кодом ошибки: %llu\nПовторов: %llu\nПрочих отказов: %llu\n"
          "Помех перед ответом: %llu\nЧужих ответов: %llu\n"
          "Поиск приборов: вопросов %llu, найдено адресов %llu\n"
          "Время ответа, мс: среднее %.1f, 95%% — %.1f, максимум %.1f\n"),
      static_cast<unsigned long long>(c.requests), static_cast<unsigned long long>(c.replies),
      static_cast<unsigned long long>(c.timeouts),
      static_cast<unsigned long long>(c.checksum_failures),
      static_cast<unsigned long long>(c.error_replies), static_cast<unsigned long long>(c.retries),
      static_cast<unsigned long long>(c.other_refusals), static_cast<unsigned long long>(c.noise),
      static_cast<unsigned long long>(c.stray_replies),
      static_cast<unsigned long long>(c.bus_scan_questions),
      static_cast<unsigned long long>(c.bus_scan_found), c.mean_ms, c.p95_ms, c.max_ms);
  return buf;
}

}  // namespace vesk::link
