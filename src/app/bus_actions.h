#pragma once
// The command line's work on a whole line: --scan lists the devices found, --addresses
// runs the task for each address of a list in turn.

#include <cstdio>
#include <functional>

#include "app/command_line.h"
#include "app/script_actions.h"

namespace vesk::app {

// Exit code of a bus scan that found no device.
inline constexpr int kBusScanNothingFound = 206;

// Scans the range of --scan (the whole range of the address length by default) with the
// program's port settings and the port keys. Writes one line per device found on
// `env.out`, sorted by address: ADDRESS<TAB>DEV<TAB>VER<TAB>REPLY_MS; the progress and
// the figures on `env.err` unless silent. Returns 0 when one or more were found, 206
// when none, 205 when cancelled, the port's exit code when it could not be opened or
// failed, 1 for a range beyond the address length.
int RunBusScan(const CommandLine& command_line, const ScriptEnvironment& env = {});

// Runs `run` (the unattended task of one address) for each address of --addresses, with
// /addr set to it and, for /read, the file name made the address's own (%a replaced, else
// the address before the extension); for /write from a copy of the file that holds the
// address as the device's "Addr". Writes one line per address on `env.out`:
// ADDRESS<TAB>EXIT<TAB>TEXT. Returns the highest exit code of them, 0 only when all
// succeeded; 1 without /read or /write.
int RunOnAddresses(const CommandLine& command_line,
                   const std::function<int(const CommandLine&)>& run,
                   const ScriptEnvironment& env = {});

// The short text of an exit code for the lines of RunOnAddresses.
const char* ExitCodeText(int code);

}  // namespace vesk::app
