#pragma once
// Values that tell the devices of one line apart: each device's numeric settings start
// from its own address, so a read of one device cannot pass for a read of another.

#include <cstdint>

#include "device_store.h"

namespace vesk::sim {

// Stores into every writable numeric configuration parameter other than the network
// ones a value derived from `address`, within the parameter's limits.
void SeedByAddress(DeviceStore& store, int32_t address);

}  // namespace vesk::sim
