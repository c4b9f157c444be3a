#pragma once
// Where the program finds its own files and keeps the user's.

#include <string>

namespace vesk::platform {

// The folder of the running executable (from /proc/self/exe), ending with '/'; "./" when
// it cannot be found.
std::string ProgramFolder();

// $XDG_CONFIG_HOME, or $HOME/.config when it is unset or not absolute; no trailing '/'.
// Empty when neither gives an absolute path.
std::string UserConfigDir();

// $XDG_CACHE_HOME, or $HOME/.cache, likewise.
std::string UserCacheDir();

// Creates the folder and its missing parents (mode 0700 for new ones). Returns true when
// the folder exists afterwards; errno tells why not.
bool MakeDirectories(const std::string& path);

}  // namespace vesk::platform
