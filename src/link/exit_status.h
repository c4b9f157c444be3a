#pragma once
// The process-wide condition bits from which the exit code of a command-line run is
// chosen. The link, the engine and the application record into it from any thread.

#include <atomic>
#include <cstdint>

namespace vesk::link {

inline std::atomic<uint32_t> exit_status{0};

}  // namespace vesk::link
