#pragma once
// The program with its window: the Qt application, the window's front end and the shell.

#include "app/command_line.h"

namespace vesk::ui {

// Said on stderr when the window cannot speak English for want of its catalogue (whose path
// follows); it is in English, the language asked for, since no catalogue is there to give it.
inline constexpr const char* kWindowCatalogueMissing =
    "The window stays in Russian: its English catalogue cannot be read: ";

// Runs the program with the window for the parsed command line and returns the exit code.
int RunWithWindow(int argc, char** argv, const app::CommandLine& command_line);

}  // namespace vesk::ui
