#pragma once
// The command line's --write-differences: the device takes only those parameters of a
// configuration file that it holds otherwise, and a second look proves they arrived. It is
// what a fleet's configuration tool needs to be idempotent: a device that already matches
// the file is never written, and a dry run lists exactly what a real one would write.

#include <string>

#include "app/command_line.h"
#include "app/script_actions.h"

namespace vesk::app {

// Messages on `env.err`; a parameter's DifferenceLine follows the first two.
inline constexpr const char* kDifferenceNotWrittenText = "параметр не записан:";
inline constexpr const char* kDifferenceNotVerifiedText =
    "после записи значение в приборе отличается от файла:";
inline constexpr const char* kDifferenceNeedsFileText =
    "для --write-differences нужен ФАЙЛ конфигурации (.vesk или .json)";
inline constexpr const char* kDifferencePortText = "не удалось открыть порт прибора";
inline constexpr const char* kDifferenceNoAnswerText =
    "прибор не отвечает, сравнение прервано, ничего не записано";
inline constexpr const char* kDifferenceOtherDescriptionText =
    "конфигурации относятся к разным описаниям прибора, запись невозможна";

// Exit code when every write was answered but the device then holds something else.
inline constexpr int kDifferenceNotVerified = 1;

// --write-differences FILE: reads the device through the port keys, compares it with
// FILE, and writes each parameter whose value or attributes differ. Skipped: values the
// file does not hold ("Нет данных"), the device's network parameters, which would cut
// the line mid-run, and parameters the description gives no way to write ("dev", "ver"). Each
// parameter written (with --dry-run: to be written) gives its DifferenceLine on `env.out` (the
// device's value before the write, then the file's). The written ones are read back and compared.
// Returns 0 when all arrived (or nothing differed); for a refused or failed write the exit code the
// exit status selects, after a kDifferenceNotWrittenText line per parameter; kDifferenceNotVerified
// after a kDifferenceNotVerifiedText line per parameter that reads back otherwise; 1 when the file
// or the device could not be read, nothing written then.
int WriteDifferences(const CommandLine& command_line, const ScriptEnvironment& env = {});

}  // namespace vesk::app
