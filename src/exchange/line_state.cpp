#include "exchange/line_state.h"

#include "link/device_link.h"
#include "platform/language.h"

namespace vesk::exchange {

void LineState::Note(int result) {
  requests_.fetch_add(1);
  if (result != link::kExchangeOk) failures_.fetch_add(1);
  switch (result) {
    case link::kExchangeOk:
    case link::kExchangeUndecodable:  // an answer, if not a useful one
    case link::kExchangeNoEncoder:
    case link::kExchangeBadValue:
      condition_.store(LineCondition::kConnected);
      break;
    case link::kExchangePortClosed:
      condition_.store(LineCondition::kPortClosed);
      break;
    default:
      condition_.store(LineCondition::kNoAnswer);
      break;
  }
}

void LineState::NoteProbe(link::ProbeResult result) {
  if (result == link::ProbeResult::Refused) return;
  requests_.fetch_add(1);
  if (result == link::ProbeResult::Answered) {
    condition_.store(LineCondition::kConnected);
    return;
  }
  failures_.fetch_add(1);
  condition_.store(LineCondition::kNoAnswer);
}

void LineState::PortOpened(bool open) {
  condition_.store(open ? LineCondition::kUnknown : LineCondition::kPortClosed);
}

void LineState::BusScanBegins() {
  bus_scan_heard_.store(false);
}

void LineState::NoteBusScanQuestion(bool heard) {
  if (heard) {
    bus_scan_heard_.store(true);
    condition_.store(LineCondition::kConnected);
  } else if (!bus_scan_heard_.load()) {
    condition_.store(LineCondition::kNoAnswer);
  }
}

const char* LineConditionText(LineCondition condition) {
  switch (condition) {
    case LineCondition::kConnected:
      return platform::Tr("связь есть");
    case LineCondition::kNoAnswer:
      return platform::Tr("нет ответа");
    case LineCondition::kPortClosed:
      return platform::Tr("порт закрыт");
    case LineCondition::kUnknown:
      break;
  }
  return "";
}

}  // namespace vesk::exchange
