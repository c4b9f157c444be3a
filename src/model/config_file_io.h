#pragma once
// Whole-file reads and replacing writes for configuration files. A replacing write never
// leaves a half-written file where the old one was.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vesk::model {

// Reads the whole regular file at `path` into `bytes`. Returns true; false with the
// system's text in `error` when it cannot be opened or read or is no regular file (a
// folder, a pipe, a device), or with an empty `error` when it is longer than `max_bytes`
// (nothing beyond max_bytes is ever held).
bool ReadFileBytes(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes,
                   std::string& error);

// Puts `bytes` at `path`: writes them to a new file in the same folder, flushes it to
// disk and renames it over the old one (whose permission bits it takes; a symbolic link
// at `path` keeps pointing to the new contents). An old file that may not be written is
// not replaced. Returns true; false with the system's text in `error` after any failure,
// the old file unchanged and the new one removed.
bool ReplaceFileContents(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error);

}  // namespace vesk::model
