#pragma once
// --watch: polls the named parameters round after round and writes CSV on stdout, one
// row per round, until --count rounds are done or SIGINT / SIGTERM asks for the end.

#include <cstdio>
#include <vector>

#include "app/command_line.h"
#include "exchange/single_access.h"

namespace vesk::app {

class ExitRequest;

// The header: time, then NAME[:INDEX] of each watched parameter.
std::vector<std::string> WatchHeader(const std::vector<ParameterAccess>& watched);

// Runs the rounds over the open link. Returns the exit code: 205 when a signal ended the
// run, otherwise the one chosen from the exit status of the last round.
int RunWatch(const CommandLine& command_line, link::DeviceLink& link,
             const std::vector<exchange::CommandDescription>& descriptions, ExitRequest& exit,
             std::FILE* out);

}  // namespace vesk::app
