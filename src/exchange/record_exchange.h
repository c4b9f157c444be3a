#pragma once
// The window's own exchanges of its records as tasks of the exchange thread: the automatic
// read of an expanded branch and the write of an edited value. The window hands over the
// records; the task works on copies of them, and each result travels back to the window's
// thread, which copies it into its record. So the window never waits for the line, and
// the records stay the window's alone while the exchange runs.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "exchange/progress_sink.h"
#include "link/parameter.h"

namespace vesk::exchange {

class ExchangeEngine;

// One read or write on its way back to the window: the record it was asked for (touched only on
// the window's thread), the copy that was read and the read's result.
struct RecordOutcome {
  link::Parameter* record = nullptr;
  std::shared_ptr<link::Parameter> copy;
  int result = 0;
  // Set with release once the copy is read: the queue that carries the outcome to the
  // window is Qt's, which the thread checker does not see, so the hand-over is made here.
  std::shared_ptr<std::atomic<bool>> read_done = std::make_shared<std::atomic<bool>>(false);
  // True (acquire) once the exchange thread has finished with the copy.
  bool Arrived() const { return read_done && read_done->load(std::memory_order_acquire); }
};

// True when an automatic read takes the record: automatic read is on, the record is not
// polled, not a blank row, its value is "Нет данных" and its note empty.
bool WantsAutomaticRead(ExchangeEngine& engine, const link::Parameter& record);

// Copies what a read brought (value, note, attributes, change flags) into the record.
void TakeReadResult(link::Parameter& record, const link::Parameter& copy);

// Window thread: starts reading copies of `records` on the exchange thread, progress shown
// by `sink` (it must stay until its TaskEnded). Each read goes to `deliver` on the exchange
// thread; the fifth link failure in a row ends the read as in every task, and so do a
// cancel and the stop event. Returns false, reading nothing, when another task runs or no
// exchange thread does.
bool StartRecordsRead(ExchangeEngine& engine, const std::vector<link::Parameter*>& records,
                      std::function<void(RecordOutcome)> deliver, ProgressSink& sink);

// Window thread: starts writing a copy of `record` (its value as it stands now, mode 1) on
// the exchange thread, shown by `sink`; the outcome goes to `deliver` on the exchange
// thread. A polled record is copied under PolledValuesLock(). Returns as StartRecordsRead.
bool StartRecordWrite(ExchangeEngine& engine, link::Parameter& record,
                      std::function<void(RecordOutcome)> deliver, ProgressSink& sink);

// Window thread: takes what a write brought (the note and the change flags) into the
// record, unless the record's value was edited again meanwhile: that newer value is the
// user's and waits for its own write. A polled record is updated under
// PolledValuesLock(). Returns true when the write failed and its record still holds
// the value it was for (the window then reports the note).
bool TakeWriteResult(const RecordOutcome& write);

}  // namespace vesk::exchange
