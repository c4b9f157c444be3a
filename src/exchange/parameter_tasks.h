#pragma once
// The per-parameter procedures of the tasks: read, write and compare one parameter with
// the device, with the log line, the error log, the failure streak and the network flag.
// They run on the exchange thread inside a task and on the window thread for the direct
// exchanges (device commands, immediate write).

#include <string_view>

#include "link/parameter.h"

namespace vesk::exchange {

class ExchangeEngine;

// Result codes of the procedures beyond those of DeviceLink::Exchange.
inline constexpr int kResultCancelled = 3;       // compare: the task was already cancelled
inline constexpr int kResultNotInitialised = 5;  // write: the value is "Нет данных"
inline constexpr int kResultNegativeIndex = 6;   // nothing exchanged

inline constexpr const char* kTimeoutNote = "Таймаут при передаче данных (нет связи)";
inline constexpr const char* kNotInitialisedNote =
    "Значение не записанно, так как параметер не инициализирован";
inline constexpr const char* kWriteStreakText = "Прошло 5 безуспешных попыток записи!";

// Reads the parameter. Returns 0 with the device's value in the record; 6 for a negative
// linear index (nothing exchanged); otherwise the failure of DeviceLink::Exchange with the
// reason in the note. With `count_timeouts`, the fifth time-out in a row cancels the task,
// switches automatic read off and tells the user why.
int ReadParameter(ExchangeEngine& engine, link::Parameter& parameter, bool count_timeouts);

// Writes the parameter in selection mode `mode` (below 0: its initial value, which also
// becomes its value). Returns 0 with the device's answer in the value; 5 when the value is
// "Нет данных" (note set and logged, nothing sent; in a command-line run
// the exit status gets bit 0x80); 6 for a negative linear index; otherwise
// the failure of exchange. The fifth time-out or closed port in a row cancels the task.
int WriteParameter(ExchangeEngine& engine, link::Parameter& parameter, int mode);

// Reads the device's value into a temporary and compares it with the record's value and
// attributes; a difference is counted and, for the first ten, reported and noted in the
// record, in place of an earlier compare's note. A failed read is no difference: it is a
// failure with its reason in the note, counted in the failure streak like a read. Returns
// the result of the read, 6 for a negative linear index, 3 when the task was cancelled
// already.
int CompareParameter(ExchangeEngine& engine, link::Parameter& parameter);

// True for the device's network parameters (link::kNetworkSettings), case ignored.
bool IsNetworkParameter(std::string_view short_name);

}  // namespace vesk::exchange
