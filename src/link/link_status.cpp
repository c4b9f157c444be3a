#include "link/link_status.h"

#include <cstdint>

#include "link/exit_status.h"

namespace vesk::link {

namespace {

constexpr uint32_t kStatusTimeout = 0x04;
constexpr uint32_t kStatusBadLine = 0x08;
constexpr uint32_t kStatusDeviceError = 0x10;

}  // namespace

void RecordTimeout() {
  uint32_t v = exit_status.load();
  while (!(v & kStatusBadLine) && !exit_status.compare_exchange_weak(v, kStatusTimeout)) {
  }
}

void RecordReply() {
  uint32_t expected = kStatusTimeout;
  exit_status.compare_exchange_strong(expected, kStatusBadLine);
}

void RecordBadLine() {
  exit_status.store(kStatusBadLine);
}

void RecordDeviceError() {
  exit_status.store(kStatusDeviceError);
}

}  // namespace vesk::link
