#include "app/edit_history.h"

#include <algorithm>

namespace vesk::app {
namespace {

bool Same(const EditHistory::State& a, const EditHistory::State& b) {
  return a.value == b.value && a.editable == b.editable && a.value_changed == b.value_changed &&
         a.edit_changed == b.edit_changed;
}

}  // namespace

EditHistory::State EditHistory::Capture(const link::Parameter& p) {
  return {p.value, p.note, p.editable, p.value_changed, p.edit_changed};
}

void EditHistory::Record(link::Parameter& parameter, const State& before) {
  const State after = Capture(parameter);
  if (Same(before, after)) return;
  entries_.push_back({&parameter, before, after});
}

bool EditHistory::Holds(const Entry& entry) {
  // A read or write since the edit has cleared the change flags or replaced the value.
  return Same(Capture(*entry.parameter), entry.after);
}

std::vector<EditHistory::Entry>::iterator EditHistory::Newest(const link::Parameter& parameter) {
  for (auto it = entries_.end(); it != entries_.begin();) {
    --it;
    if (it->parameter != &parameter) continue;
    if (Holds(*it)) return it;
    // What this record held since is no edit's work: none of its older edits holds either.
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.parameter == &parameter; }),
                   entries_.end());
    return entries_.end();
  }
  return entries_.end();
}

bool EditHistory::CanUndo(const link::Parameter& parameter) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->parameter == &parameter) return Holds(*it);
  return false;
}

bool EditHistory::Undo(link::Parameter& parameter, State* after) {
  const auto it = Newest(parameter);
  if (it == entries_.end()) return false;
  if (after) *after = it->after;
  const State& before = it->before;
  parameter.value = before.value;
  parameter.note = before.note;
  parameter.editable = before.editable;
  parameter.value_changed = before.value_changed;
  parameter.edit_changed = before.edit_changed;
  entries_.erase(it);
  return true;
}

link::Parameter* EditHistory::UndoLast(State* after) {
  while (!entries_.empty()) {
    link::Parameter* p = entries_.back().parameter;
    if (Undo(*p, after)) return p;
  }
  return nullptr;
}

}  // namespace vesk::app
