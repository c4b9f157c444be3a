#pragma once
// Where the program finds its own files and keeps the user's.

#include <string>
#include <string_view>

namespace vesk::platform {

// The folder of the running executable (from /proc/self/exe), ending with '/'; "./" when
// it cannot be found.
std::string ProgramFolder();

// The folders of an installed program's own files, relative to the prefix whose bin/
// holds the executable (the file-system hierarchy's share/ folders); the install rules
// lay the files out there.
inline constexpr std::string_view kInstalledDataFolder = "share/vesk/";
inline constexpr std::string_view kInstalledDocFolder = "share/doc/vesk/";

// The program's own file for a program in `program_folder` (ending with '/'):
// `program_folder + beside` when that exists (a build folder keeps everything beside
// the executables), else `PREFIX/installed` when that exists, PREFIX being the parent of
// `program_folder` (an installed program); else `program_folder + beside`, so that a
// message about the missing file names the first place looked at.
std::string ProgramFile(const std::string& program_folder, std::string_view beside,
                        std::string_view installed);

// $XDG_CONFIG_HOME, or $HOME/.config when it is unset or not absolute; no trailing '/'.
// Empty when neither gives an absolute path.
std::string UserConfigDir();

// $XDG_CACHE_HOME, or $HOME/.cache, likewise.
std::string UserCacheDir();

// Creates the folder and its missing parents (mode 0700 for new ones). Returns true when
// the folder exists afterwards; errno tells why not.
bool MakeDirectories(const std::string& path);

}  // namespace vesk::platform
