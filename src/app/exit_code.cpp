#include "app/exit_code.h"

#include <bit>

#include "link/exit_status.h"

namespace vesk::app {

int ChooseExitCode(uint32_t status, int ordinary) {
  if (status == 0) return ordinary;
  return kFirstFailureExitCode + std::countr_zero(status);
}

int ProcessExitCode(int ordinary) {
  return ChooseExitCode(link::exit_status.load(), ordinary);
}

}  // namespace vesk::app
