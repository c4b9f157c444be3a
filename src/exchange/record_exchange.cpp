#include "exchange/record_exchange.h"

#include <mutex>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "exchange/polling.h"
#include "exchange/task_codes.h"

namespace vesk::exchange {

bool WantsAutomaticRead(ExchangeEngine& engine, const link::Parameter& record) {
  return engine.modes().auto_read.load() && !record.IsPolled() && record.short_name != "    " &&
         record.value == link::kNoData && record.note.empty();
}

void TakeReadResult(link::Parameter& record, const link::Parameter& copy) {
  record.value = copy.value;
  record.note = copy.note;
  record.editable = copy.editable;
  record.owned_by_firm = copy.owned_by_firm;
  record.value_changed = copy.value_changed;
  record.edit_changed = copy.edit_changed;
  record.owner_changed = copy.owner_changed;
}

bool StartRecordsRead(ExchangeEngine& engine, const std::vector<link::Parameter*>& records,
                      std::function<void(RecordOutcome)> deliver, ProgressSink& sink) {
  if (records.empty()) return false;
  // Copied here, on the window's thread, which owns the records.
  std::vector<RecordOutcome> reads;
  reads.reserve(records.size());
  for (link::Parameter* record : records)
    reads.push_back({record, std::shared_ptr<link::Parameter>(record->Clone()), 0,
                     std::make_shared<std::atomic<bool>>(false)});
  auto job = [&engine, reads = std::move(reads), deliver = std::move(deliver)]() mutable {
    for (RecordOutcome& read : reads) {
      if (engine.Cancelled()) break;
      read.result = ReadParameter(engine, *read.copy, true);
      read.read_done->store(true, std::memory_order_release);
      deliver(read);
    }
  };
  return engine.RunJob(kTaskBackground, std::move(job), static_cast<int32_t>(records.size()),
                       &sink);
}

bool StartRecordWrite(ExchangeEngine& engine, link::Parameter& record,
                      std::function<void(RecordOutcome)> deliver, ProgressSink& sink) {
  RecordOutcome write{&record, nullptr, 0, std::make_shared<std::atomic<bool>>(false)};
  {
    std::unique_lock<std::mutex> values;
    if (record.IsPolled()) values = std::unique_lock(PolledValuesLock());
    write.copy = std::shared_ptr<link::Parameter>(record.Clone());
  }
  write.copy->note.clear();
  auto job = [&engine, write = std::move(write), deliver = std::move(deliver)]() mutable {
    write.result = WriteParameter(engine, *write.copy, kModeAll);
    write.read_done->store(true, std::memory_order_release);
    deliver(write);
  };
  return engine.RunJob(kTaskBackground, std::move(job), 1, &sink);
}

bool TakeWriteResult(const RecordOutcome& write) {
  if (!write.record || !write.copy || !write.Arrived()) return false;
  link::Parameter& record = *write.record;
  std::unique_lock<std::mutex> values;
  if (record.IsPolled()) values = std::unique_lock(PolledValuesLock());
  if (record.value != write.copy->value) return false;
  record.note = write.copy->note;
  record.value_changed = write.copy->value_changed;
  record.edit_changed = write.copy->edit_changed;
  record.owner_changed = write.copy->owner_changed;
  return write.result != 0;
}

}  // namespace vesk::exchange
