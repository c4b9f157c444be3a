#pragma once
// What happens when an edited cell of the tree-list view is committed: the checks, their
// messages, the change flags, and whether the value goes to the device at once. No widgets
// and no exchanges here: the view shows the record afterwards as it then stands, and hands
// a write to the exchange thread (exchange/record_exchange.h).

#include <string>
#include <string_view>

#include "app/edit_history.h"
#include "link/parameter.h"
#include "link/value_refusal.h"
#include "model/parameter_node.h"
#include "platform/language.h"

namespace vesk::exchange {
class ExchangeEngine;
}

namespace vesk::app {

using link::kValueRefusedCaption;
using link::ValueRefusedText;
inline constexpr const char* kWriteFailedCaption = "Значение не удалось записать в прибор";
inline constexpr const char* kPolledEditWarning =
    "Данный параметр опрашивается.\nВо время изменения значения вывод на экран измененных "
    "значений\nбудет блокирован.";
inline constexpr const char* kEditableText = "Редактируемый";
inline constexpr const char* kNotEditableText = "Не редактируемый";

// View columns.
namespace column {
constexpr int kDescription = 0;
constexpr int kName = 1;
constexpr int kValue = 2;
constexpr int kEditable = 3;
constexpr int kOwner = 4;
constexpr int kErrors = 5;
}  // namespace column

enum class CommitResult {
  Unchanged,     // the text equals the old one: nothing happened
  Refused,       // the record is as it was (a message was shown where there is one)
  Accepted,      // the record took the text
  ToWrite,       // taken, and to be written now: immediate write, or a polled value
  PortReopened,  // the program's own port settings changed: port re-opened, refresh all
};

struct CommitTarget {
  exchange::ExchangeEngine& engine;
  // The node that owns the parameter (its network checks use its values); may be null.
  model::ParameterNode* owner = nullptr;
  // Set when anything but an unchanged text was committed.
  bool* modified = nullptr;
  // Where an accepted edit of a value or an edit attribute is kept to be taken back; may
  // be null.
  EditHistory* history = nullptr;
};

// Commits `new_text` typed into `column` of the parameter's row that showed `old_text`.
CommitResult CommitCell(const CommitTarget& target, link::Parameter& parameter, int column,
                        std::string_view old_text, std::string_view new_text);

// Takes back the newest edit of `parameter` (nullptr: the newest edit of any record) that
// still holds. Where the mode wrote the edit at once, the value taken back is to be
// written too (`to_write`). Returns the record, or nullptr when there was nothing to take
// back.
link::Parameter* UndoEdit(const CommitTarget& target, link::Parameter* parameter,
                          bool* to_write = nullptr);

// Shows why a write of `parameter` failed (its note).
void ReportWriteFailure(const link::Parameter& parameter);

// The help balloon of a value editor: its title "%s (%s)" and text.
std::string EditHelpTitle(const link::Parameter& parameter);
std::string EditHelpText(const link::Parameter& parameter);

// Items of the value's drop-down list: the current text, then every choice that differs
// from it and is not hidden. Empty when the parameter is edited as text.
std::vector<std::string> ValueChoices(const link::Parameter& parameter);

}  // namespace vesk::app
