#pragma once
// The live state of the device's inputs and outputs ("Состояние входов и выходов") as a
// plain model: twelve input indicators from "r.cn", a counters list ("r.cou") and an
// outputs list ("r.oe") with eight output indicators. A worker thread refreshes it every
// 100 ms (the inputs at every expiry, one row of the two lists in turn); the window draws
// the snapshot when the change callback says something changed, and sends the user's
// writes here.

#include <array>
#include <chrono>
#include <cstdint>
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
};

// Through the engine's per-parameter procedures (read without counting time-outs, write in
// mode 1), as the tasks do.
class EngineIoAccess : public IoAccess {
 public:
  explicit EngineIoAccess(ExchangeEngine& engine) : engine_(engine) {}
  int Read(link::Parameter& parameter) override;
  int Write(link::Parameter& parameter) override;

 private:
  ExchangeEngine& engine_;
};

enum class IoList { Counters, Outputs };

struct IoRow {
  std::string value;    // column "Значение"
  std::string caption;  // "Счетчик %i" / "ШИМ выход %i" with the linear index + 1
  bool marked = false;  // drawn in green (0, 180, 0): being read, or read next
  int32_t index = 0;    // the parameter's linear index
  link::Parameter* parameter = nullptr;
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

// What changed in the snapshot; `index` is the input, indicator or row.
struct IoChange {
  enum class Kind { Input, OutputIndicator, CounterRow, OutputRow, Ended };
  Kind kind = Kind::Ended;
  int index = 0;
};
// Called on the worker thread (and on the caller's for writes); it must not wait for the
// window's thread. The model's locks are not held during the call.
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
  // otherwise asks it to stop and returns false: the window closes at the Ended change.
  bool RequestClose();
  bool WorkerEnded();

  // The user starts editing a row's value: the worker leaves that row alone until the edit
  // ends (the parameter's value changed flag). Returns false for a row that does not exist.
  bool BeginEdit(IoList list, size_t row);
  // The edit was abandoned: the worker may refresh the row again.
  void CancelEdit(IoList list, size_t row);

  // The edited text becomes the value and is written. On failure shows the note with the
  // caption "Ошибка записи \"name\"" (exclamation) through the presenter and keeps the text
  // in the row; on success shows the device's answer. Returns whether the write succeeded
  // (false as well for a row that does not exist).
  bool WriteEdited(IoList list, size_t row, std::string_view text);
  // "Сброс": writes 0 into the counter, reporting a failure as above.
  bool ResetCounter(size_t row);
  // "Вкл/Выкл все ВЭ": all outputs on when any reads as 0, else all off; no messages.
  // Returns the number of failed writes.
  int ToggleAllOutputs();

  // One expiry of the worker: reads "r.cn" and one row of one list. Public so that the
  // sequence can be driven without the timer.
  void RefreshOnce();

  // The parameters found (tests and the window's captions).
  link::Parameter* InputsParameter() const { return inputs_; }

 private:
  void Worker();
  IoRow* RowAt(IoList list, size_t row);
  bool WriteRow(IoList list, size_t row, std::string_view text, bool report);
  void Notify(const std::vector<IoChange>& changes);
  void ReadInputs(std::vector<IoChange>& changes);
  void StepCounters(std::vector<IoChange>& changes);
  void StepOutputs(std::vector<IoChange>& changes);

  IoAccess& access_;
  IoChangeCallback on_change_;
  link::Parameter* inputs_ = nullptr;

  mutable std::mutex lock_;  // the snapshot and the refresh positions
  IoSnapshot state_;
  size_t next_counter_ = 0;
  size_t next_output_ = 0;
  size_t previous_output_ = 0;
  bool counters_turn_ = true;

  platform::Event stop_{platform::Event::Reset::Manual};
  platform::Event ended_{platform::Event::Reset::Manual};
  std::thread worker_;
};

// The rows of one list: every parameter of that name (case ignored) in the tree, one row
// per linear index in ascending order (the first record of an index wins). Rows end at
// the largest index whatever the spacing, so a single record or records all at index 0
// still give a finite list.
std::vector<link::Parameter*> FindRows(model::DescriptionBranch* tree, std::string_view name);

}  // namespace vesk::exchange
