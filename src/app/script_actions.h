#pragma once
// The command line's actions for people who script the device, run instead of the
// document and its unattended task: --print, --export-html, --export-json, --import-json,
// --diff, --get, --set and --watch.

#include <cstdio>

#include "app/command_line.h"

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::app {

// True when the command line asks for one of these actions.
bool HasScriptActions(const CommandLine& command_line);

// Where the actions write and what they use; the defaults are the process's own.
struct ScriptEnvironment {
  std::FILE* out = stdout;                   // results
  std::FILE* err = stderr;                   // protocol lines and remarks
  platform::SettingsStore* store = nullptr;  // nullptr: the default store
  std::string program_directory;             // empty: the executable's folder
  bool open_export = true;  // open the exported list with the desktop when there is a display
};

// Runs, in this order, --print (the configuration as text on `out`), --export-html (the
// parameter list into the file, "parlist.html" in the working directory by default),
// --export-json, --import-json and --diff (configuration_text_actions.h), and
// every --get / --set in the order given, then the rounds of --watch (through the program's port
// settings with the port keys applied; each result's value on `out`, the exchange's protocol on
// `err`). Returns 0 when every action succeeded; otherwise the exit code of the first failure: the
// one chosen from the exit status for a failed exchange, the diff(1) codes of --diff (1 different,
// 2 trouble), 1 for everything else.
int RunScriptActions(const CommandLine& command_line, const ScriptEnvironment& env = {});

}  // namespace vesk::app
