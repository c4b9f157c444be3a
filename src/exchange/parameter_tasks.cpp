#include "exchange/parameter_tasks.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "exchange/error_log.h"
#include "exchange/exchange_engine.h"
#include "link/exit_status.h"
#include "link/network_settings.h"
#include "link/presenter.h"
#include "model/description_catalogue.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::exchange {

namespace {

constexpr int kStreakLimit = 4;  // the fifth failure in a row stops the task
constexpr int kReportedDifferences = 10;

constexpr const char* kReadStreakText =
    "Так как прошло %i неудачных попыток чтения параметров подряд,\n"
    "похоже что прибор ВЕСК не подключен к компьютеру\n"
    "(или связь стабильно отсутствует по какой-либо другой причине). \n"
    "Ради избежания бессмысленных задержек и торможения компьютера\n";
constexpr const char* kAutoReadOffText =
    "режим автоматического чтения параметров был отключен.\n"
    "Вы можете заново включить этот режим в меню 'Режимы программы'.\n\n";
constexpr const char* kExchangeSuspendedText = "Операции обмена приостановлены.";

// ":" and the linear index of an indexed parameter; nothing otherwise.
std::string IndexSuffix(const link::Parameter& p) {
  std::string suffix;
  if (p.indexed) {
    suffix = ':';
    suffix += std::to_string(p.linear_index);
  }
  return suffix;
}

// The link may name what it heard before the silence after the text itself.
bool IsTimeout(const link::Parameter& p) {
  const std::string_view text = platform::Tr(kTimeoutNote);
  return platform::Iequals(std::string_view(p.note).substr(0, text.size()), text);
}

// A failure of the link itself (no answer, no port), as opposed to one of the parameter.
bool LinkFailure(ExchangeEngine& engine, const link::Parameter& p, int result) {
  return IsTimeout(p) || result == link::kExchangePortClosed || !engine.LostPortText().empty();
}

void LogFailure(ExchangeEngine& engine, const link::Parameter& p) {
  const std::string path = engine.log_path();
  if (path.empty() || p.note.empty()) return;
  if (const int error = AppendErrorLog(path, p))
    engine.set_log_error(path + ": " + std::strerror(error));
}

void StopAfterReadTimeouts(ExchangeEngine& engine) {
  char head[512];
  std::snprintf(head, sizeof head, platform::Tr(kReadStreakText),
                static_cast<int>(engine.fail_streak.load()));
  std::string message = head;
  // A lost port is the better explanation, and it says which port and why.
  if (const std::string lost = engine.LostPortText(); !lost.empty()) message = lost + ".\n";
  if (engine.modes().auto_read.exchange(false)) message += platform::Tr(kAutoReadOffText);
  message += platform::Tr(kExchangeSuspendedText);
  engine.fail_streak.store(0);
  engine.cancel_event.Set();
  // A command-line run shows nothing; the task is stopped all the same. Nor is anything
  // shown once the threads are being stopped: the window thread then waits for this one.
  if (!engine.unattended().active)
    engine.SendToWindow([&message] {
      link::presenter().ShowMessage(message, platform::Tr(model::kProgramTitle),
                                    link::MsgIcon::Error, link::MsgButtons::Ok);
    });
}

const char* EditableText(bool editable) {
  return editable ? platform::Tr("Редактируемый") : platform::Tr("Не редактируемый");
}
const char* OwnerText(bool owned_by_firm) {
  return owned_by_firm ? platform::Tr("фирме") : platform::Tr("пользователю");
}

}  // namespace

bool IsNetworkParameter(std::string_view short_name) {
  return link::IsNetworkName(short_name);
}

int ReadParameter(ExchangeEngine& engine, link::Parameter& p, bool count_timeouts) {
  engine.progress_done.fetch_add(1);
  if (p.linear_index < 0) return kResultNegativeIndex;
  const std::string line = platform::Tr("  Чтение: ") + p.short_name + IndexSuffix(p);

  const int result = engine.Exchange(link::kOpRead, &p);
  if (result != 0) {
    LogFailure(engine, p);
    engine.progress_failed.fetch_add(1);
  }

  if (result == 0 || !LinkFailure(engine, p, result)) {
    engine.fail_streak.store(0);
  } else if (count_timeouts) {
    if (engine.fail_streak.fetch_add(1) + 1 > kStreakLimit) StopAfterReadTimeouts(engine);
  }

  engine.ProgressLog(line + " = " + model::ShownValue(p));
  return result;
}

int WriteParameter(ExchangeEngine& engine, link::Parameter& p, int mode) {
  engine.progress_done.fetch_add(1);
  const std::string line = platform::Tr("  Запись: ") + p.short_name + IndexSuffix(p);
  const std::string& source = mode < 0 ? p.initial_value : p.value;
  if (source == link::kNoData) {
    p.note = platform::Tr(kNotInitialisedNote);
    // A file value that is missing is not written; an unattended write must not end as
    // a success for it. The initial values of an initialisation are the description's
    // business, not the file's.
    if (mode >= 0) {
      LogFailure(engine, p);
      if (engine.unattended().active) link::exit_status.fetch_or(kStatusUnwrittenValues);
    }
    return kResultNotInitialised;
  }
  if (p.linear_index < 0) return kResultNegativeIndex;

  if (mode < 0) {
    // The calibration codes start from the ends of the converter's range: the lower point
    // (even index) at 0, the upper point (odd index) at 4095.
    if (platform::Iequals(p.short_name, "clb.k"))
      p.value = p.linear_index % 2 == 0 ? "0" : "4095";
    else
      p.value = p.initial_value;
  }
  // What goes to the device, as the log shows it.
  const std::string sent = p.value;

  const int result = engine.Exchange(link::kOpWrite, &p);
  if (result == 0) {
    if (IsNetworkParameter(p.short_name)) engine.net_params_written.store(true);
    engine.fail_streak.store(0);
  } else {
    LogFailure(engine, p);
    engine.progress_failed.fetch_add(1);
  }
  engine.ProgressLog(line + " = " + model::ShownValue(p, sent) + platform::Tr(" [новое значение]"));

  // The streak ends a task; outside one (the inputs/outputs window's writes) nothing would
  // ever take the cancel back, and every later exchange would go unretried.
  if (result != 0 && engine.TaskRunning() && LinkFailure(engine, p, result)) {
    if (engine.fail_streak.fetch_add(1) + 1 > kStreakLimit) {
      engine.ProgressLog(platform::Tr(kWriteStreakText));
      engine.fail_streak.store(0);
      engine.cancel_event.Set();
      link::exit_status.store(kStatusTimeoutOrWrites);
    }
  }
  return result;
}

int CompareParameter(ExchangeEngine& engine, link::Parameter& p) {
  if (engine.cancel_event.IsSet()) return kResultCancelled;

  // The device's side is read into a record of the same format, so that the record's own
  // value, attributes and flags stay as they are.
  link::Parameter device(p.short_name);
  device.type_text = p.type_text;
  device.decimals = p.decimals;
  device.maximum = p.maximum;
  device.minimum = p.minimum;
  device.indexed = p.indexed;
  device.linear_index = p.linear_index;
  device.has_attributes = p.has_attributes;
  device.poll_index = p.poll_index;
  if (device.linear_index < 0) return kResultNegativeIndex;

  const std::string line =
      platform::Tr("  Сравниваем: ") + p.short_name + "=" + p.value + IndexSuffix(p);
  const int result = engine.Exchange(link::kOpRead, &device);
  engine.ProgressLog(line + "<>" + device.value);

  // What an earlier compare noted is stale now, whatever this one finds.
  if (p.note.starts_with(platform::Tr(link::kCompareNotePrefix))) p.note.clear();
  if (result != 0) {
    // Nothing came to compare with: a failure of the parameter, not a difference.
    p.note = device.note;
    LogFailure(engine, p);
    engine.progress_failed.fetch_add(1);
    if (!LinkFailure(engine, p, result))
      engine.fail_streak.store(0);
    else if (engine.fail_streak.fetch_add(1) + 1 > kStreakLimit)
      StopAfterReadTimeouts(engine);
    return result;
  }
  engine.fail_streak.store(0);
  engine.compared_count.fetch_add(1);

  const bool differs = device.value != p.value || device.editable != p.editable ||
                       device.owned_by_firm != p.owned_by_firm;
  if (differs) {
    const int before = engine.diff_count.fetch_add(1);
    if (before < kReportedDifferences) {
      std::string report =
          "\n" + std::to_string(before + 1) + platform::Tr(") Параметер '") + p.short_name + " (" +
          model::ShownCaption(p) + platform::Tr(") в конфигурации: значение=") +
          model::ShownValue(p) + "," + EditableText(p.editable) + platform::Tr(",принадлежит ") +
          OwnerText(p.owned_by_firm) + platform::Tr("; в приборе: значение=") +
          model::ShownValue(p, device.value) + "," + EditableText(device.editable) +
          platform::Tr(",принадлежит ") + OwnerText(device.owned_by_firm) + ".\n";
      engine.AppendDiffReport(report);
      p.SetCompareNote(link::kCompareNotePrefix, model::ShownValue(p, device.value), device);
    }
  }
  return result;
}

}  // namespace vesk::exchange
