#pragma once
// The error log of a command-line run (elog): one line per failed read or write,
// appended to the named file, which is opened and closed again for every line.

#include <string>

#include "link/parameter.h"

namespace vesk::exchange {

// The line for a failed parameter: short name, ":" and the linear index for an indexed
// one, " - ", the note and a line feed. UTF-8, as every text of the program.
std::string ErrorLogLine(const link::Parameter& parameter);

// Appends the line of `parameter` to `path`. Returns 0, or the errno when the file could
// not be opened or written (the line is then lost, the caller keeps the reason).
int AppendErrorLog(const std::string& path, const link::Parameter& parameter);

}  // namespace vesk::exchange
