#pragma once
// The base address the program works with, taken from a device found on the line: the
// same row of the program's port settings that the set-up dialog edits, kept in the
// settings store at once, and the port opened again with it.

#include <cstdint>

namespace vesk::exchange {

class ExchangeEngine;

// Returns false (nothing changed) when the address is refused by the "Addr" setting.
bool UseBaseAddress(ExchangeEngine& engine, int32_t address);

}  // namespace vesk::exchange
