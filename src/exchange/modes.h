#pragma once
// The operating modes of the "Режимы программы" menu that the exchange consults. The
// document owns one set; the menu shows and toggles the flags, and any thread may read
// them. Not sending attributes (item 294) lives in the device link itself
// (DeviceLink::set_attribute_transfer), since every request is built there.

#include <atomic>

namespace vesk::exchange {

struct ExchangeModes {
  // 145 "Показывать линейные индексы".
  std::atomic<bool> show_indexes{false};
  // 134 "Режим автоматического чтения": the view reads an expanded branch; the engine
  // switches it off after five read time-outs in a row.
  std::atomic<bool> auto_read{true};
  // 268 "Режим немедленной записи": an edited value is written at once.
  std::atomic<bool> immediate_write{false};
};

}  // namespace vesk::exchange
