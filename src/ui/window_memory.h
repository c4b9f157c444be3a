#pragma once
// What the window remembers between runs, in the program's settings file beside the port
// settings: the place and size of the main window when it is not maximised, whether it
// was, and the widths of the tree-list view's columns.

#include <QRect>
#include <optional>

class QMainWindow;
class QTreeView;

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::ui {

// The group of the window's values.
inline constexpr const char* kWindowKey = "Software\\LORN\\VESK\\Window";

struct WindowPlace {
  QRect normal;  // the frame's place and size when not maximised
  bool maximised = false;
};

// Stores the window's place and the view's column widths.
void SaveWindowMemory(platform::SettingsStore& store, const QMainWindow& window,
                      const QTreeView& view);
// The place stored, if any that fits a screen of today's is there.
std::optional<WindowPlace> StoredWindowPlace(platform::SettingsStore& store);
// Gives the view the stored widths of its columns (those that are stored).
void RestoreColumnWidths(platform::SettingsStore& store, QTreeView& view);

}  // namespace vesk::ui
