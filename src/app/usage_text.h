#pragma once
// The texts that --help and --version print.

#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"

namespace vesk::app {

// The usage text: both spellings of every key, the Linux options and the exit codes.
std::string UsageText(std::string_view program = "vesk-configurator");

// The program name, VESK_VERSION and the copyright line.
std::string VersionText(std::string_view program = "vesk-configurator");

// The text to print when the command line asks only for information (--help wins over
// --version), after which the process exits with code 0; nullopt for any other run.
std::optional<std::string> InformationText(const CommandLine& cl,
                                           std::string_view program = "vesk-configurator");

}  // namespace vesk::app
