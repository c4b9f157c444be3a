#include "exchange/task_commands.h"

#include <algorithm>
#include <string>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "link/presenter.h"
#include "model/description_branch.h"
#include "platform/language.h"

namespace vesk::exchange {

namespace {

// The window no longer waits for the line, so a command may come while a background read
// is on the wire: it is refused aloud rather than dropped.
bool RefusedWhileBusy(ExchangeEngine& engine) {
  if (!engine.TaskRunning()) return false;
  ShowLineBusy();
  return true;
}

bool RunOn(ExchangeEngine& engine, model::ParameterNode* node, int code) {
  if (RefusedWhileBusy(engine)) return false;
  const bool ran = code == kTaskCompare ? CompareCommand(engine, node) : engine.RunTask(node, code);
  if (ran) engine.RefreshViews();
  return ran;
}

}  // namespace

void ShowLineBusy() {
  link::presenter().ShowMessage(platform::Tr(kLineBusyText), platform::Tr(kImpossibleCaption),
                                link::MsgIcon::Warning);
}

bool RunTreeCommand(ExchangeEngine& engine, model::ParameterNode* root, int code) {
  if (!root) {
    link::presenter().ShowMessage(platform::Tr(kNoTreeText), platform::Tr(kImpossibleCaption),
                                  link::MsgIcon::Error);
    return false;
  }
  return RunOn(engine, root, code);
}

bool RunBranchCommand(ExchangeEngine& engine, model::ParameterNode* branch, int code) {
  if (!dynamic_cast<model::DescriptionBranch*>(branch)) {
    link::presenter().ShowMessage(platform::Tr(kNoBranchText), platform::Tr(kImpossibleCaption),
                                  link::MsgIcon::Error);
    return false;
  }
  return RunOn(engine, branch, code);
}

bool RunParameterCommand(ExchangeEngine& engine, link::Parameter* parameter, int code) {
  if (!parameter) {
    link::presenter().ShowMessage(platform::Tr(kNothingSelectedText),
                                  platform::Tr(kImpossibleCaption), link::MsgIcon::Warning);
    return false;
  }
  if (RefusedWhileBusy(engine)) return false;
  const bool ran = engine.RunSingleTask(parameter, code);
  if (ran) engine.RefreshViews();
  return ran;
}

std::string CompareReport(int diff_count, const std::string& diff_report) {
  if (diff_count <= 0) return platform::Tr("Отличий не обнаружено");
  std::string text =
      platform::Tr("Обнаружено ") + std::to_string(diff_count) + platform::Tr(" отличий");
  if (diff_count > 10) text += platform::Tr(" (показанны только первые 10)");
  text += ":\n";
  text += diff_report;
  return text;
}

std::string DeviceCompareReport(int diff_count, const std::string& diff_report, int compared,
                                int not_compared) {
  if (compared == 0 && not_compared > 0) return platform::Tr(kNothingComparedText);
  std::string text = CompareReport(diff_count, diff_report);
  if (not_compared > 0)
    text += std::string("\n") + platform::Tr(kNotComparedText) + std::to_string(not_compared) + ".";
  return text;
}

bool CompareCommand(ExchangeEngine& engine, model::ParameterNode* target) {
  engine.diff_count.store(0);
  engine.compared_count.store(0);
  engine.ClearDiffReport();
  if (!engine.RunTask(target, kTaskCompare)) return false;
  // Failed reads and whatever a stop left unasked.
  const int compared = engine.compared_count.load();
  const int not_compared = std::max(0, engine.progress_total.load() - compared);
  link::presenter().ShowMessage(
      DeviceCompareReport(engine.diff_count.load(), engine.DiffReport(), compared, not_compared),
      platform::Tr(kCompareCaption),
      compared == 0 && not_compared > 0 ? link::MsgIcon::Error : link::MsgIcon::Information);
  return true;
}

int AutomaticRead(ExchangeEngine& engine, link::Parameter* parameter) {
  if (!parameter) return -3;
  if (parameter->value != link::kNoData || !parameter->note.empty() ||
      !engine.modes().auto_read.load())
    return -2;
  return ReadParameter(engine, *parameter, false);
}

bool WantsImmediateWrite(ExchangeEngine& engine, const link::Parameter& parameter) {
  return parameter.value_changed && engine.modes().immediate_write.load();
}

}  // namespace vesk::exchange
