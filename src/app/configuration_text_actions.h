#pragma once
// The command line's configurations as text: --export-json, --import-json and --diff.

#include <string>

#include "app/command_line.h"
#include "app/script_actions.h"
#include "model/configuration_json.h"

namespace vesk::app {

// Exit codes of --diff, as diff(1) has them.
inline constexpr int kDiffSame = 0;
inline constexpr int kDiffDifferent = 1;
inline constexpr int kDiffTrouble = 2;

// The name --diff takes for the device on the port instead of a file ("./device" names a
// file of that name).
inline constexpr const char* kDiffDeviceName = "device";

// One line of --diff: PATH, NAME[:INDEX], the value in the other configuration and the
// value in the file, separated by tabs (tabs and line ends inside escaped as --print
// does). A value whose attributes differ too is followed by them in parentheses.
std::string DifferenceLine(const model::ConfigurationDifference& difference);

// --export-json=FILE: the file (".vesk" or JSON) as JSON on `env.out`, or into --output.
// Returns 0, or 1 after a message.
int ExportJson(const CommandLine& command_line, const ScriptEnvironment& env);

// --import-json=FILE --output=OUT: the configuration the JSON describes, saved as ".vesk"
// in OUT, replacing it whole or not at all. Returns 0, or 1 after a message (nothing saved).
int ImportJson(const CommandLine& command_line, const ScriptEnvironment& env);

// --diff=OTHER FILE: one DifferenceLine on `env.out` for every parameter of FILE whose
// settings differ from OTHER (a file, or the device read through the port keys). Returns
// kDiffSame, kDiffDifferent, or kDiffTrouble after a message.
int DiffConfigurationFiles(const CommandLine& command_line, const ScriptEnvironment& env);

}  // namespace vesk::app
