#include "exchange/base_address.h"

#include <string>

#include "exchange/exchange_engine.h"

namespace vesk::exchange {

bool UseBaseAddress(ExchangeEngine& engine, int32_t address) {
  model::ProgramLineSettings& line = engine.program_line();
  link::Parameter* addr = line.FindParameter("Addr");
  if (!addr) return false;
  {
    const auto values = line.LockValues();
    if (!addr->SetValueFromText(std::to_string(address))) return false;
  }
  // A device chosen now is the device of the next start too.
  line.SaveSettings();
  line.ClearChanges();
  engine.OpenPort(true);
  return true;
}

}  // namespace vesk::exchange
