#include "exchange/io_state.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <system_error>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "exchange/polling.h"
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

void FindAll(model::DescriptionBranch* node, std::string_view name,
             std::vector<link::Parameter*>& out) {
  if (!node) return;
  for (auto& p : node->parameters)
    if (platform::Iequals(p->short_name, name)) out.push_back(p.get());
  for (auto& child : node->children) FindAll(child.get(), name, out);
}

// The value as a number the way the window reads it: the leading number, 0 for none.
double NumberOf(std::string_view text) {
  double v = 0;
  if (link::ParseDecimalPrefix(text, v) == 0 || !std::isfinite(v)) return 0;
  return v;
}

std::string RowCaption(const char* prefix, int32_t index) {
  return prefix + std::to_string(int64_t{index} + 1);
}

std::vector<IoRow> MakeRows(model::DescriptionBranch* tree, std::string_view name,
                            const char* prefix, bool no_data_as_zero) {
  std::vector<IoRow> rows;
  for (link::Parameter* p : FindRows(tree, name)) {
    IoRow row;
    row.parameter = p;
    row.index = p->linear_index;
    row.caption = RowCaption(prefix, p->linear_index);
    row.value = no_data_as_zero && p->value == link::kNoData ? "0" : p->value;
    rows.push_back(std::move(row));
  }
  return rows;
}

// Reads a row's parameter into `value`, unless the user is editing it: a row being edited
// keeps what the user typed. Returns whether it read.
bool ReadUnlessEdited(IoAccess& access, link::Parameter& p, std::string& value) {
  // The exchange works on a copy: the window takes the lock and must not wait for the line.
  std::unique_ptr<link::Parameter> copy;
  {
    std::lock_guard values(PolledValuesLock());
    if (p.value_changed) return false;
    copy = p.Clone();
  }
  access.Read(*copy);
  std::lock_guard values(PolledValuesLock());
  // An edit begun during the read keeps what the user types.
  if (p.value_changed) return false;
  p.value = copy->value;
  p.note = copy->note;
  value = p.value;
  return true;
}

}  // namespace

int EngineIoAccess::Read(link::Parameter& parameter) {
  return ReadParameter(engine_, parameter, false);
}

int EngineIoAccess::Write(link::Parameter& parameter) {
  return WriteParameter(engine_, parameter, 1);
}

void EngineIoAccess::CutShort() {
  std::lock_guard lock(cut_lock_);
  // A task's cancel is the user's; and a cancel already signalled (the write streak) is
  // not ours to take back.
  if (cut_ || engine_.TaskRunning() || engine_.cancel_event.IsSet()) return;
  engine_.cancel_event.Set();
  cut_ = true;
}

void EngineIoAccess::CutShortEnded() {
  std::lock_guard lock(cut_lock_);
  if (!cut_) return;
  cut_ = false;
  // A task begun since has reset the cancel itself and may have been cancelled by the user.
  if (!engine_.TaskRunning()) engine_.cancel_event.reset();
}

IndicatorLook InputLook(std::string_view state) {
  return state == "1" ? IndicatorLook::InputOn : IndicatorLook::Plain;
}

IndicatorLook OutputLook(std::string_view state) {
  const double thousandths = std::round(NumberOf(state) * 1000.0);
  if (thousandths == 1000.0) return IndicatorLook::OutputFull;
  if (thousandths == 0.0) return IndicatorLook::Plain;
  return IndicatorLook::OutputPartial;
}

std::vector<link::Parameter*> FindRows(model::DescriptionBranch* tree, std::string_view name) {
  std::vector<link::Parameter*> found;
  FindAll(tree, name, found);
  std::stable_sort(found.begin(), found.end(), [](link::Parameter* a, link::Parameter* b) {
    return a->linear_index < b->linear_index;
  });
  found.erase(std::unique(found.begin(), found.end(),
                          [](link::Parameter* a, link::Parameter* b) {
                            return a->linear_index == b->linear_index;
                          }),
              found.end());
  return found;
}

IoState::IoState(IoAccess& access, model::DescriptionBranch* pollers, IoChangeCallback on_change)
    : access_(access), on_change_(std::move(on_change)) {
  std::vector<link::Parameter*> inputs;
  FindAll(pollers, kInputsParameter, inputs);
  if (!inputs.empty()) inputs_ = inputs.front();
  std::lock_guard values(PolledValuesLock());
  state_.counters = MakeRows(pollers, kCountersParameter, platform::Tr("Счетчик "), true);
  state_.output_rows = MakeRows(pollers, kOutputsParameter, platform::Tr("ШИМ выход "), false);
  if (!state_.counters.empty()) state_.counters.front().marked = true;
}

IoState::~IoState() {
  CutShort();
  stop_.Set();
  if (worker_.joinable()) worker_.join();
  DropQueuedWrites();
}

bool IoState::Start() {
  if (worker_.joinable() || ended_.IsSet()) return true;
  try {
    worker_ = std::thread(&IoState::Worker, this);
  } catch (const std::system_error&) {
    ended_.Set();
    return false;
  }
  return true;
}

IoSnapshot IoState::Snapshot() const {
  std::lock_guard lock(lock_);
  return state_;
}

bool IoState::WorkerEnded() {
  return ended_.IsSet() || !worker_.joinable();
}

bool IoState::RequestClose() {
  if (WorkerEnded()) return true;
  // The window waits for the worker, and the worker for the exchange on the wire.
  CutShort();
  stop_.Set();
  return false;
}

void IoState::CutShort() {
  // Under the lock: a worker that has taken back its cut is not cut again.
  std::lock_guard lock(lock_);
  if (worker_.joinable() && !worker_finishing_) access_.CutShort();
}

void IoState::Notify(const std::vector<IoChange>& changes) {
  if (!on_change_) return;
  for (const IoChange& c : changes) on_change_(c);
}

IoRow* IoState::RowAt(IoList list, size_t row) {
  std::vector<IoRow>& rows = list == IoList::Counters ? state_.counters : state_.output_rows;
  return row < rows.size() ? &rows[row] : nullptr;
}

bool IoState::BeginEdit(IoList list, size_t row) {
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    IoRow* r = RowAt(list, row);
    if (!r) return false;
    p = r->parameter;
  }
  std::lock_guard values(PolledValuesLock());
  p->value_changed = true;
  return true;
}

void IoState::CancelEdit(IoList list, size_t row) {
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    IoRow* r = RowAt(list, row);
    if (!r) return;
    p = r->parameter;
  }
  std::lock_guard values(PolledValuesLock());
  p->value_changed = false;
}

bool IoState::QueueWrite(IoList list, size_t row, std::string_view text, bool report) {
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    IoRow* r = RowAt(list, row);
    if (!r) return false;
    p = r->parameter;
    r->value = std::string(text);
    writes_.push_back({list, row, std::string(text), report});
  }
  {
    // The refresh leaves the row alone until the write is done.
    std::lock_guard values(PolledValuesLock());
    p->value_changed = true;
  }
  wake_.Set();
  Notify({{list == IoList::Counters ? IoChange::Kind::CounterRow : IoChange::Kind::OutputRow,
           static_cast<int>(row), list}});
  return true;
}

bool IoState::WritePending(IoList list, size_t row) const {
  return std::any_of(writes_.begin(), writes_.end(),
                     [&](const QueuedWrite& w) { return w.list == list && w.row == row; });
}

bool IoState::RunWrite(const QueuedWrite& write) {
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    IoRow* r = RowAt(write.list, write.row);
    if (!r) return false;
    p = r->parameter;
  }
  std::unique_ptr<link::Parameter> copy;
  {
    std::lock_guard values(PolledValuesLock());
    p->value = write.text;
    copy = p->Clone();
  }
  const int result = access_.Write(*copy);
  std::string shown;
  std::string note;
  {
    std::lock_guard values(PolledValuesLock());
    p->value = copy->value;
    p->note = copy->note;
    p->value_changed = false;
    // A failed write keeps the user's text in the row until the row is read again.
    shown = result == 0 ? p->value : write.text;
    note = p->note;
  }
  const bool indicator =
      write.list == IoList::Outputs && result == 0 && write.row < kOutputIndicatorCount;
  // Nobody is left to read a failure once the window closes.
  const bool report = result != 0 && write.report && !stop_.IsSet();
  std::lock_guard lock(lock_);
  if (IoRow* r = RowAt(write.list, write.row)) r->value = shown;
  if (indicator) state_.outputs[write.row] = shown;
  if (report)
    failures_.push_back(
        {write.list, write.row, platform::Tr("Ошибка записи \"") + p->short_name + "\"", note});
  return report;
}

void IoState::RunQueuedWrites() {
  for (;;) {
    QueuedWrite write;
    {
      std::lock_guard lock(lock_);
      if (writes_.empty() || stop_.IsSet()) return;
      write = std::move(writes_.front());
      writes_.pop_front();
      write_running_ = true;
    }
    const bool failed = RunWrite(write);
    {
      std::lock_guard lock(lock_);
      write_running_ = false;
    }
    writes_done_.notify_all();
    const IoChange::Kind row_kind =
        write.list == IoList::Counters ? IoChange::Kind::CounterRow : IoChange::Kind::OutputRow;
    std::vector<IoChange> changes{{row_kind, static_cast<int>(write.row), write.list}};
    if (write.list == IoList::Outputs && write.row < kOutputIndicatorCount)
      changes.push_back({IoChange::Kind::OutputIndicator, static_cast<int>(write.row)});
    if (failed)
      changes.push_back({IoChange::Kind::WriteFailed, static_cast<int>(write.row), write.list});
    Notify(changes);
  }
}

void IoState::DropQueuedWrites() {
  std::deque<QueuedWrite> dropped;
  std::vector<link::Parameter*> rows;
  {
    std::lock_guard lock(lock_);
    dropped.swap(writes_);
    for (const QueuedWrite& w : dropped)
      if (IoRow* r = RowAt(w.list, w.row)) rows.push_back(r->parameter);
  }
  writes_done_.notify_all();
  // Left marked, the parameters would go out with the next "write changed".
  std::lock_guard values(PolledValuesLock());
  for (link::Parameter* p : rows) p->value_changed = false;
}

bool IoState::WriteEdited(IoList list, size_t row, std::string_view text) {
  return QueueWrite(list, row, text, true);
}

bool IoState::ResetCounter(size_t row) {
  return QueueWrite(IoList::Counters, row, "0", true);
}

int IoState::ToggleAllOutputs() {
  size_t count;
  bool any_off = false;
  {
    std::lock_guard lock(lock_);
    count = state_.output_rows.size();
    for (const IoRow& r : state_.output_rows)
      if (NumberOf(r.value) == 0) any_off = true;
  }
  int queued = 0;
  for (size_t i = 0; i < count; ++i)
    if (QueueWrite(IoList::Outputs, i, any_off ? "1" : "0", false)) ++queued;
  return queued;
}

std::vector<IoWriteFailure> IoState::TakeWriteFailures() {
  std::lock_guard lock(lock_);
  std::vector<IoWriteFailure> taken;
  taken.swap(failures_);
  return taken;
}

bool IoState::WaitForWrites(std::chrono::milliseconds limit) {
  std::unique_lock lock(lock_);
  return writes_done_.wait_for(lock, limit, [&] { return writes_.empty() && !write_running_; });
}

void IoState::ReadInputs(std::vector<IoChange>& changes) {
  if (!inputs_) return;
  int result;
  std::string value;
  std::unique_ptr<link::Parameter> copy;
  {
    std::lock_guard values(PolledValuesLock());
    copy = inputs_->Clone();
  }
  result = access_.Read(*copy);
  {
    std::lock_guard values(PolledValuesLock());
    inputs_->value = value = copy->value;
    inputs_->note = copy->note;
  }
  // A failed read leaves the indicators as they were.
  if (result != 0) return;
  uint32_t bits = 0;
  if (!link::ParseIntegerPrefix(value, bits)) bits = 0;
  std::lock_guard lock(lock_);
  for (int k = 0; k < kInputCount; ++k) {
    const char* state = (bits >> k) & 1u ? "1" : "0";
    if (state_.inputs[static_cast<size_t>(k)] != state) {
      state_.inputs[static_cast<size_t>(k)] = state;
      changes.push_back({IoChange::Kind::Input, k});
    }
  }
}

void IoState::StepCounters(std::vector<IoChange>& changes) {
  size_t current;
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    if (state_.counters.empty()) return;
    current = next_counter_ % state_.counters.size();
    p = state_.counters[current].parameter;
  }
  std::string value;
  const bool read = ReadUnlessEdited(access_, *p, value);
  std::lock_guard lock(lock_);
  std::vector<IoRow>& rows = state_.counters;
  // A write queued during the read shows its text until it is done.
  if (read && !WritePending(IoList::Counters, current)) rows[current].value = value;
  rows[current].marked = false;
  changes.push_back({IoChange::Kind::CounterRow, static_cast<int>(current)});
  next_counter_ = (current + 1) % rows.size();
  rows[next_counter_].marked = true;
  if (next_counter_ != current)
    changes.push_back({IoChange::Kind::CounterRow, static_cast<int>(next_counter_)});
}

void IoState::StepOutputs(std::vector<IoChange>& changes) {
  size_t current;
  link::Parameter* p;
  {
    std::lock_guard lock(lock_);
    std::vector<IoRow>& rows = state_.output_rows;
    if (rows.empty()) return;
    if (previous_output_ < rows.size() && rows[previous_output_].marked) {
      rows[previous_output_].marked = false;
      changes.push_back({IoChange::Kind::OutputRow, static_cast<int>(previous_output_)});
    }
    current = next_output_ % rows.size();
    p = rows[current].parameter;
  }
  std::string value;
  const bool read = ReadUnlessEdited(access_, *p, value);
  std::lock_guard lock(lock_);
  std::vector<IoRow>& rows = state_.output_rows;
  if (read && !WritePending(IoList::Outputs, current)) {
    rows[current].marked = true;
    rows[current].value = value;
    changes.push_back({IoChange::Kind::OutputRow, static_cast<int>(current)});
    // Rows beyond the eighth have no indicator; the list still shows them.
    if (current < kOutputIndicatorCount && state_.outputs[current] != value) {
      state_.outputs[current] = value;
      changes.push_back({IoChange::Kind::OutputIndicator, static_cast<int>(current)});
    }
  }
  previous_output_ = current;
  next_output_ = (current + 1) % rows.size();
}

void IoState::RefreshOnce() {
  std::vector<IoChange> changes;
  ReadInputs(changes);
  bool counters_turn;
  {
    std::lock_guard lock(lock_);
    // With one list empty the other gets every turn.
    if (state_.counters.empty())
      counters_turn_ = false;
    else if (state_.output_rows.empty())
      counters_turn_ = true;
    counters_turn = counters_turn_;
    counters_turn_ = !counters_turn_;
  }
  // A silent line would hold the close up for one more exchange.
  if (stop_.IsSet()) {
    Notify(changes);
    return;
  }
  if (counters_turn)
    StepCounters(changes);
  else
    StepOutputs(changes);
  Notify(changes);
}

void IoState::Worker() {
  try {
    platform::Timer timer;
    timer.Arm(kIoFirstRefresh, kIoRefreshPeriod);
    const std::vector<platform::Waitable> items{
        platform::Signalled(stop_), platform::Signalled(wake_), platform::Signalled(timer)};
    const std::vector<platform::Waitable> stop_only{platform::Signalled(stop_)};
    for (;;) {
      const int r = platform::WaitAny(items, std::chrono::milliseconds(-1));
      if (r == 0) break;
      if (r < 0) {
        if (platform::WaitAny(stop_only, kWaitFailurePause) == 0) break;
        continue;
      }
      if (r == 1) wake_.Consume();
      // The user's writes go before the refresh, which then reads what they left.
      RunQueuedWrites();
      if (stop_.IsSet()) break;
      if (r == 2) {
        timer.Consume();
        RefreshOnce();
      }
    }
    timer.Cancel();
  } catch (const std::exception&) {
    // Without a timer (or memory) there is nothing to refresh with; ending here lets the
    // window close as after a stop.
  }
  // Writes not yet begun when the stop came are dropped with the window.
  DropQueuedWrites();
  {
    std::lock_guard lock(lock_);
    worker_finishing_ = true;
  }
  access_.CutShortEnded();
  ended_.Set();
  Notify({{IoChange::Kind::Ended, 0}});
}

}  // namespace vesk::exchange
