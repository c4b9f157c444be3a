#pragma once
// The edits of values and edit attributes made in place, newest last, so that each can be
// taken back: the record gets the value, attribute, note and change flags it had before
// the edit, and so its colour. An edit can be taken back only while the record still holds
// what the edit gave it; a read, a write or another tree since then drops it.

#include <string>
#include <vector>

#include "link/parameter.h"

namespace vesk::app {

inline constexpr const char* kUndoItemText = "Вернуть прежнее значение";
inline constexpr const char* kNothingToUndoText = "Нет изменений, которые можно вернуть";

class EditHistory {
 public:
  // What the record is before an edit; Record keeps it when the edit changed the record.
  struct State {
    std::string value;
    std::string note;
    bool editable = true;
    bool value_changed = false;
    bool edit_changed = false;
  };
  static State Capture(const link::Parameter& parameter);

  // An edit changed `parameter` from `before` to what it holds now.
  void Record(link::Parameter& parameter, const State& before);
  // True when the newest edit of `parameter` can still be taken back.
  bool CanUndo(const link::Parameter& parameter) const;
  // Takes back the newest edit of `parameter`; false when there is none that still holds.
  // `after` gets what the edit had left (its change flags tell whether it was written).
  bool Undo(link::Parameter& parameter, State* after = nullptr);
  // Takes back the newest edit that still holds, of any record; returns its record or nullptr.
  link::Parameter* UndoLast(State* after = nullptr);
  // Forgets every edit (the records are about to go).
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    link::Parameter* parameter;
    State before;
    State after;
  };
  static bool Holds(const Entry& entry);
  // The newest entry of `parameter` that still holds; entries that no longer do are dropped.
  std::vector<Entry>::iterator Newest(const link::Parameter& parameter);

  std::vector<Entry> entries_;
};

}  // namespace vesk::app
