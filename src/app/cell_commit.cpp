#include "app/cell_commit.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "exchange/exchange_engine.h"
#include "exchange/polling.h"
#include "exchange/task_commands.h"
#include "link/presenter.h"
#include "model/device_line_settings.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::app {
namespace {

void ShowError(std::string_view text, std::string_view caption) {
  link::presenter().ShowMessage(text, caption, link::MsgIcon::Error, link::MsgButtons::Ok);
}

CommitResult CommitPolled(link::Parameter& parameter, int column, std::string_view new_text) {
  if (column == column::kName)
    return exchange::SetPollPeriod(parameter, new_text) ? CommitResult::Accepted
                                                        : CommitResult::Refused;
  if (column != column::kValue) return CommitResult::Refused;
  // The box is shown without the lock: the poller thread must not wait for the person.
  std::string refusal;
  {
    std::lock_guard lock(exchange::PolledValuesLock());
    if (parameter.SetValueFromText(new_text))
      parameter.note.clear();
    else
      refusal = ValueRefusedText(parameter, new_text);
  }
  if (!refusal.empty()) {
    ShowError(refusal, platform::Tr(kValueRefusedCaption));
    return CommitResult::Refused;
  }
  return CommitResult::ToWrite;
}

}  // namespace

void ReportWriteFailure(const link::Parameter& parameter) {
  ShowError(parameter.note, platform::Tr(kWriteFailedCaption));
}

std::string EditHelpTitle(const link::Parameter& parameter) {
  return parameter.caption + " (" + parameter.short_name + ")";
}

std::string EditHelpText(const link::Parameter& parameter) {
  char text[256];
  if (platform::Iequals(parameter.FormatWord(), "float"))
    std::snprintf(
        text, sizeof text,
        platform::Tr("Значение параметра должно быть вещественного типа, от %.3f до %.3f."),
        parameter.minimum, parameter.maximum);
  else
    std::snprintf(text, sizeof text,
                  platform::Tr("Значение параметра должно быть целого типа, от %.0f до %.0f."),
                  parameter.minimum, parameter.maximum);
  return text;
}

std::vector<std::string> ValueChoices(const link::Parameter& parameter) {
  if (parameter.type_text.find(':') == std::string::npos) return {};
  std::vector<std::string> items{parameter.value};
  for (const std::string& item : parameter.ChoiceItems())
    if (item != parameter.value && !item.starts_with("<hide>")) items.push_back(item);
  return items;
}

namespace {

CommitResult CommitPlain(const CommitTarget& target, link::Parameter& parameter, int column,
                         std::string_view new_text);

}  // namespace

CommitResult CommitCell(const CommitTarget& target, link::Parameter& parameter, int column,
                        std::string_view old_text, std::string_view new_text) {
  if (new_text == old_text) return CommitResult::Unchanged;
  const EditHistory::State before = EditHistory::Capture(parameter);
  const CommitResult result = CommitPlain(target, parameter, column, new_text);
  // The program's own port settings are not the configuration's: they are not taken back.
  if (target.history && !parameter.IsPolled() &&
      (result == CommitResult::Accepted || result == CommitResult::ToWrite))
    target.history->Record(parameter, before);
  return result;
}

link::Parameter* UndoEdit(const CommitTarget& target, link::Parameter* parameter, bool* to_write) {
  if (to_write) *to_write = false;
  if (!target.history) return nullptr;
  EditHistory::State after;
  link::Parameter* undone = parameter;
  if (parameter) {
    if (!target.history->Undo(*parameter, &after)) undone = nullptr;
  } else {
    undone = target.history->UndoLast(&after);
  }
  if (!undone) return nullptr;
  if (target.modified) *target.modified = true;
  // The edit went to the device at once (its write cleared the flag): the old value follows.
  if (target.engine.modes().immediate_write.load() && !after.value_changed &&
      after.value != undone->value && undone->value != link::kNoData) {
    undone->value_changed = true;
    if (to_write) *to_write = true;
  }
  return undone;
}

namespace {

CommitResult CommitPlain(const CommitTarget& target, link::Parameter& parameter, int column,
                         std::string_view new_text) {
  if (target.modified) *target.modified = true;
  if (parameter.IsPolled()) return CommitPolled(parameter, column, new_text);

  if (column == column::kEditable) {
    if (parameter.owned_by_firm || !parameter.has_attributes) return CommitResult::Refused;
    parameter.editable = new_text == kEditableText || new_text == platform::Tr(kEditableText);
    parameter.edit_changed = true;
    return CommitResult::Accepted;
  }
  if (column != column::kValue) return CommitResult::Refused;

  // A value the maker owns is not changed here.
  if (parameter.owned_by_firm) return CommitResult::Refused;
  model::ParameterNode* owner = target.owner;
  const bool program_port = owner == &target.engine.program_line();
  if (owner && !program_port &&
      !model::NetworkEditAllowed(*owner, parameter.short_name, new_text)) {
    ShowError(platform::Tr(model::kForbiddenCombinationsText),
              platform::Tr(model::kForbiddenCombinationsCaption));
    return CommitResult::Refused;
  }
  bool taken;
  {
    // The port's settings are read by whichever thread reopens the port.
    std::unique_lock<std::mutex> values;
    if (program_port) values = target.engine.program_line().LockValues();
    taken = parameter.SetValueFromText(new_text);
  }
  if (!taken) {
    ShowError(ValueRefusedText(parameter, new_text), platform::Tr(kValueRefusedCaption));
    return CommitResult::Refused;
  }
  if (program_port) {
    target.engine.program_line().ClearChanges();
    target.engine.OpenPort(true);
    // Kept at once, not only at the exit: a crash or a second instance must not lose it.
    target.engine.program_line().SaveSettings();
    return CommitResult::PortReopened;
  }
  return exchange::WantsImmediateWrite(target.engine, parameter) ? CommitResult::ToWrite
                                                                 : CommitResult::Accepted;
}

}  // namespace

}  // namespace vesk::app
