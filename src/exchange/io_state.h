#pragma once
// The live state of the device's inputs and outputs ("Состояние входов и выходов") as a
// plain model: twelve input indicators from "r.cn", a counters list ("r.cou") and an
// outputs list ("r.oe") with eight output indicators. A worker thread refreshes it every
// 100 ms (the inputs at every expiry, one row of the two lists in turn); the window draws
// the snapshot when the change callback says something changed, and queues the user's
// writes here. The worker runs them before its next refresh, so the window never waits for
// the wire; a failed write comes back to the window as a change to fetch and show.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/parameter.h"
#include "model/description_branch.h"
#include "platform/event.h"

namespace vesk::exchange {

class ExchangeEngine;

inline constexpr int kInputCount = 12;
inline constexpr int kOutputIndicatorCount = 8;
inline constexpr std::chrono::milliseconds kIoFirstRefresh{1};
inline constexpr std::chrono::milliseconds kIoRefreshPeriod{100};

inline constexpr const char* kInputsParameter = "r.cn";
inline constexpr const char* kCountersParameter = "r.cou";
inline constexpr const char* kOutputsParameter = "r.oe";
inline constexpr const char* kResetButtonText = "Сброс";
inline constexpr const char* kAllOutputsButtonText = "Вкл/Выкл все ВЭ";

// How the reads and writes of the window reach the device.
class IoAccess {
 public:
  virtual ~IoAccess() = default;
  // Reads the parameter; time-outs are not counted. Returns 0 on success.
  virtual int Read(link::Parameter& parameter) = 0;
  // Writes the parameter's value. Returns 0 on success, else the reason is in its note.
  virtual int Write(link::Parameter& parameter) = 0;
  // Called on the window's thread, under the model's lock, when the worker is asked to stop:
  // the exchange on the wire may end early. It must neither wait nor cut into anybody
  // else's work. Default: the exchange ends by its own time-out.
  virtual void CutShort() {}
  // Called by the worker once it has ended, after CutShort: the line is as it was.
  virtual void CutShortEnded() {}
};

// Through the engine's per-parameter procedures (read without counting time-outs, write in
// mode 1), as the tasks do.
class EngineIoAccess : public IoAccess {
 public:
  explicit EngineIoAccess(ExchangeEngine& engine) : engine_(engine) {}
  int Read(link::Parameter& parameter) override;
  int Write(link::Parameter& parameter) override;
  // Without a task of the engine's running, signals the engine's cancel (the port's), so
  // that a silent line is not asked again; a running task's cancel is left alone.
  void CutShort() override;
  // Takes back the cancel CutShort signalled, unless a task has begun since.
  void CutShortEnded() override;

 private:
  ExchangeEngine& engine_;
  std::mutex cut_lock_;
  bool cut_ = false;  // the cancel is ours to take back
};

enum class IoList { Counters, Outputs };

struct IoRow {
  std::string value;    // column "Значение"
  std::string caption;  // "Счетчик %i" / "ШИМ выход %i" with the linear index + 1
  bool marked = false;  // drawn in green (0, 180, 0): being read, or read next
  int32_t index = 0;    // the parameter's linear index
  link::Parameter* parameter = nullptr;
};

// A reported write that failed, as the window shows it: the note under the caption.
struct IoWriteFailure {
  IoList list = IoList::Counters;
  size_t row = 0;
  std::string caption;  // "Ошибка записи \"name\""
  std::string note;     // the parameter's note: why it failed
};

// What the window draws.
struct IoSnapshot {
  std::array<std::string, kInputCount> inputs;             // "1", "0"; empty until read
  std::array<std::string, kOutputIndicatorCount> outputs;  // the output rows' values
  std::vector<IoRow> counters;
  std::vector<IoRow> output_rows;
};

enum class IndicatorLook {
  Plain,          // the ordinary background
  InputOn,        // solid (255, 176, 98)
  OutputFull,     // solid (113, 255, 113)
  OutputPartial,  // green (0, 128, 0) diagonal cross hatch
};

// An input indicator: lit when its state text is "1".
IndicatorLook InputLook(std::string_view state);
// An output indicator: full at exactly 1 (1000 thousandths), hatched for any other value
// that is not 0, plain at 0 (and for a text that is no number).
IndicatorLook OutputLook(std::string_view state);

// What changed in the snapshot; `index` is the input, indicator or row. WriteFailed: a
// write that reports its failure failed (row `index` of `list`); TakeWriteFailures has it.
struct IoChange {
  enum class Kind { Input, OutputIndicator, CounterRow, OutputRow, WriteFailed, Ended };
  Kind kind = Kind::Ended;
  int index = 0;
  IoList list = IoList::Counters;
};
// Called on the worker thread (and on the caller's when a write is queued); it must not wait
// for the window's thread. The model's locks are not held during the call.
using IoChangeCallback = std::function<void(const IoChange&)>;

class IoState {
 public:
  // Finds "r.cn", the "r.cou" rows and the "r.oe" rows in the pollers tree (may be null:
  // no rows). A counter that reads "Нет данных" is listed as "0".
  IoState(IoAccess& access, model::DescriptionBranch* pollers, IoChangeCallback on_change = {});
  // Stops the worker and waits for it.
  ~IoState();
  IoState(const IoState&) = delete;
  IoState& operator=(const IoState&) = delete;

  // Starts the worker. Returns false when the thread could not be made (the window can
  // still close: the worker counts as ended).
  bool Start();

  // A copy of the state, taken under the model's lock.
  IoSnapshot Snapshot() const;

  // The close handshake. Returns true when the worker has ended and the window may close;
  // otherwise asks it to stop and returns false: the window closes at the Ended change. The
  // writes not yet begun are dropped; the one on the wire ends as the access allows.
  bool RequestClose();
  bool WorkerEnded();

  // The user starts editing a row's value: the worker leaves that row alone until the edit
  // ends (the parameter's value changed flag). Returns false for a row that does not exist.
  bool BeginEdit(IoList list, size_t row);
  // The edit was abandoned: the worker may refresh the row again.
  void CancelEdit(IoList list, size_t row);

  // Queues the edited text to be written by the worker; the row shows the text at once and
  // is not refreshed until the write is done. Afterwards the row shows the device's answer,
  // or on failure keeps the text, and the failure (caption "Ошибка записи \"name\"", the
  // note) waits in TakeWriteFailures with a WriteFailed change. Returns whether it was
  // queued (false for a row that does not exist).
  bool WriteEdited(IoList list, size_t row, std::string_view text);
  // "Сброс": queues 0 for the counter, reporting a failure as above.
  bool ResetCounter(size_t row);
  // "Вкл/Выкл все ВЭ": queues all outputs on when any reads as 0 now, else all off; their
  // failures are not reported. Returns the number of writes queued.
  int ToggleAllOutputs();

  // The reported failures since the last call, oldest first.
  std::vector<IoWriteFailure> TakeWriteFailures();
  // Waits until no write is queued or running. Returns false when `limit` passed first.
  bool WaitForWrites(std::chrono::milliseconds limit);
  // Runs the queued writes in order on the calling thread, as the worker does before each
  // refresh; stops early once the worker is asked to stop. Public so that the writes can be
  // driven without the thread.
  void RunQueuedWrites();

  // One expiry of the worker: reads "r.cn" and one row of one list (not the row, once the
  // worker is asked to stop). Public so that the sequence can be driven without the timer.
  void RefreshOnce();

  // The parameters found (tests and the window's captions).
  link::Parameter* InputsParameter() const { return inputs_; }

 private:
  void Worker();
  struct QueuedWrite {
    IoList list;
    size_t row;
    std::string text;
    bool report;
  };

  IoRow* RowAt(IoList list, size_t row);
  bool QueueWrite(IoList list, size_t row, std::string_view text, bool report);
  bool WritePending(IoList list, size_t row) const;
  // Returns whether it left a failure to report.
  bool RunWrite(const QueuedWrite& write);
  void CutShort();
  void DropQueuedWrites();
  void Notify(const std::vector<IoChange>& changes);
  void ReadInputs(std::vector<IoChange>& changes);
  void StepCounters(std::vector<IoChange>& changes);
  void StepOutputs(std::vector<IoChange>& changes);

  IoAccess& access_;
  IoChangeCallback on_change_;
  link::Parameter* inputs_ = nullptr;

  mutable std::mutex lock_;  // the snapshot, the refresh positions and the writes
  IoSnapshot state_;
  std::deque<QueuedWrite> writes_;
  bool write_running_ = false;
  std::condition_variable writes_done_;
  std::vector<IoWriteFailure> failures_;
  bool worker_finishing_ = false;  // it has taken back its CutShort
  size_t next_counter_ = 0;
  size_t next_output_ = 0;
  size_t previous_output_ = 0;
  bool counters_turn_ = true;

  platform::Event stop_{platform::Event::Reset::Manual};
  platform::Event ended_{platform::Event::Reset::Manual};
  platform::Event wake_{platform::Event::Reset::Auto};  // a write was queued
  std::thread worker_;
};

// The rows of one list: every parameter of that name (case ignored) in the tree, one row
// per linear index in ascending order (the first record of an index wins). Rows end at
// the largest index whatever the spacing, so a single record or records all at index 0
// still give a finite list.
std::vector<link::Parameter*> FindRows(model::DescriptionBranch* tree, std::string_view name);

}  // namespace vesk::exchange
