#pragma once
// The recently-used configuration files of the "Файл" menu, kept in the per-user profile
// "Configurator - VESK" of the settings store (section "Recent File List", values "File1"
// ... "File4"), most recent first. Plain C++: the frame turns it into menu items.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::ui {

inline constexpr const char* kRecentFileGroup = "Software\\Configurator - VESK\\Recent File List";
inline constexpr size_t kRecentFileCount = 4;

class RecentFileList {
 public:
  // Reads the stored entries at once; the store must outlive the list.
  explicit RecentFileList(platform::SettingsStore& store, size_t size = kRecentFileCount);

  // The paths, most recent first, at most the list's size, none empty, none twice.
  const std::vector<std::string>& entries() const { return entries_; }

  // Puts `path` first (moving it up when it is there already) and stores the list.
  // Returns the store's result: 0 saved, 1 or 2 when it could not be written (the list in
  // memory has it all the same).
  int Add(std::string_view path);
  // Takes `path` out (a file that could not be opened) and stores the list; same result.
  int Remove(std::string_view path);
  // Reads the entries again from the store.
  void Load();

  // The menu text of entry `i` (from 0): "&1 path" ... "&4 path".
  std::string MenuText(size_t i) const;

 private:
  int Save();

  platform::SettingsStore& store_;
  size_t size_;
  std::vector<std::string> entries_;
};

}  // namespace vesk::ui
