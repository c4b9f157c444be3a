#pragma once
// The program with its window: the Qt application, the window's front end and the shell.

#include "app/command_line.h"

namespace vesk::ui {

// Runs the program with the window for the parsed command line and returns the exit code.
int RunWithWindow(int argc, char** argv, const app::CommandLine& command_line);

}  // namespace vesk::ui
