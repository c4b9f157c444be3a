#pragma once
// The program's stored settings: one key file under $XDG_CONFIG_HOME/LORN/ with one group
// per key of the settings tree ("Software\LORN\VESK" and "Software\LORN\Devices\VESK"),
// the same value names, numbers stored as integers and texts as strings.
// Every call reads the file afresh and every write replaces it atomically, so two
// programs sharing the file see each other's values. All stores of the process share one
// mutex, so two stores on the same file cannot lose each other's updates.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::platform {

// Group of the program's port settings.
inline constexpr const char* kSettingsKey = "Software\\LORN\\VESK";
// Group of the installation data.
inline constexpr const char* kDevicesKey = "Software\\LORN\\Devices\\VESK";
inline constexpr const char* kSettingsFileName = "settings.ini";

// Status of the last number read or written (any store, any thread).
enum SettingsStatus : int {
  kSettingsOk = 0,
  kSettingsValueMissing = 1,  // read: the value is not there; write: saving failed
  kSettingsKeyMissing = 2,    // the file or the group cannot be opened
};
inline std::atomic<int> last_settings_status{kSettingsOk};

class SettingsStore {
 public:
  // A store on the default file: $XDG_CONFIG_HOME/LORN/settings.ini, the environment being
  // consulted at every call (a test may point XDG_CONFIG_HOME elsewhere).
  SettingsStore();
  // A store on the named file.
  explicit SettingsStore(std::string file_path);

  // The process-wide store on the default file.
  static SettingsStore& Default();

  // The file this store uses now.
  std::string FilePath() const;

  // The stored number, or `fallback` when the group or value is missing or is not a
  // number. `status` (and last_settings_status) gets 0 found, 1 value missing or not a
  // number, 2 group missing or file unreadable.
  uint32_t ReadDword(std::string_view group, std::string_view name, uint32_t fallback,
                     int* status = nullptr);

  // Stores a number, creating the file and group when missing. Returns (and records in
  // last_settings_status) 0 on success, 1 when the file cannot be written, 2 when the
  // existing file cannot be read (it is then left untouched).
  int WriteDword(std::string_view group, std::string_view name, uint32_t value);

  // The stored text, or nullopt when the group or value is missing or the file unreadable.
  std::optional<std::string> ReadText(std::string_view group, std::string_view name);

  // Stores a text, creating the file and group when missing. Returns 0, 1 or 2 as
  // WriteDword (last_settings_status is not touched).
  int WriteText(std::string_view group, std::string_view name, std::string_view value);

  // Removes one value. Returns 0 when it is gone (or was never there), 1 or 2 as above.
  int RemoveValue(std::string_view group, std::string_view name);

  // What tells the file as it is now from any other version of it: its path, device, inode,
  // size and modification time (a missing file gives its path alone). A write, which
  // replaces the file, always changes it.
  std::string Stamp() const;

  // The errno text of the last failed file operation, empty after success.
  std::string LastError() const;

 private:
  std::string path_;  // empty: the default file
  std::string last_error_;
};

}  // namespace vesk::platform
