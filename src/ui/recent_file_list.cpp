#include "ui/recent_file_list.h"

#include <algorithm>
#include <optional>

#include "platform/settings_store.h"

namespace vesk::ui {
namespace {

std::string EntryName(size_t i) {
  return "File" + std::to_string(i + 1);
}

}  // namespace

RecentFileList::RecentFileList(platform::SettingsStore& store, size_t size)
    : store_(store), size_(size) {
  Load();
}

void RecentFileList::Load() {
  entries_.clear();
  for (size_t i = 0; i < size_; ++i) {
    std::optional<std::string> path = store_.ReadText(kRecentFileGroup, EntryName(i));
    // A hand-edited profile may hold gaps and repeats; the menu shows neither.
    if (!path || path->empty()) continue;
    if (std::find(entries_.begin(), entries_.end(), *path) != entries_.end()) continue;
    entries_.push_back(std::move(*path));
  }
}

int RecentFileList::Add(std::string_view path) {
  if (path.empty()) return 0;
  const std::string text(path);
  entries_.erase(std::remove(entries_.begin(), entries_.end(), text), entries_.end());
  entries_.insert(entries_.begin(), text);
  if (entries_.size() > size_) entries_.resize(size_);
  return Save();
}

int RecentFileList::Remove(std::string_view path) {
  const auto before = entries_.size();
  entries_.erase(std::remove(entries_.begin(), entries_.end(), std::string(path)), entries_.end());
  return entries_.size() == before ? 0 : Save();
}

int RecentFileList::Save() {
  int result = 0;
  for (size_t i = 0; i < size_; ++i) {
    const int r = i < entries_.size()
                      ? store_.WriteText(kRecentFileGroup, EntryName(i), entries_[i])
                      : store_.RemoveValue(kRecentFileGroup, EntryName(i));
    if (r != 0 && result == 0) result = r;
  }
  return result;
}

std::string RecentFileList::MenuText(size_t i) const {
  if (i >= entries_.size()) return {};
  return "&" + std::to_string(i + 1) + " " + entries_[i];
}

}  // namespace vesk::ui
