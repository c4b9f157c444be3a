#pragma once
// The device's values as text: the dump written at exit and the state file loaded at
// start and saved at exit. One parameter a line, sorted:
//   NAME <TAB> INDEX <TAB> HASH <TAB> ATTR <TAB> VALUE
// (the format --help documents for the tests of other parts).

#include <chrono>
#include <string>
#include <vector>

#include "device.h"

namespace vesk::sim {

// The lines of every parameter at `now` (live values settled first), sorted by name in
// byte order, then by index ("-" first).
std::string DumpText(Device& device, std::chrono::steady_clock::time_point now);

// Writes the dump to `path` through a temporary file and a rename, so a reader never
// sees half of it. Returns false with the reason in `error`.
bool WriteDump(const std::string& path, Device& device, std::chrono::steady_clock::time_point now,
               std::string& error);

// Loads values and attributes from a state file. A missing file loads nothing and
// succeeds. Lines naming no parameter of the device are skipped with a warning (the
// description may have changed since); a line that is not in the format, or a value the
// parameter cannot hold, fails the load with the line number in `error`.
bool LoadState(const std::string& path, Device& device, std::chrono::steady_clock::time_point now,
               std::string& error, std::vector<std::string>& warnings);

// Escaping of the VALUE field: "\\", "\t", "\r", "\n".
std::string EscapeValue(std::string_view text);
// The inverse; false for a backslash followed by anything else or by nothing.
bool UnescapeValue(std::string_view text, std::string& out);

}  // namespace vesk::sim
