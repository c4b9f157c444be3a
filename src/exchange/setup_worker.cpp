#include "exchange/setup_worker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "exchange/link_probe.h"
#include "link/port_kind.h"
#include "link/presenter.h"
#include "link/type_text.h"
#include "model/config_file.h"
#include "model/program_line_settings.h"
#include "model/remote_ports.h"
#include "platform/language.h"
#include "platform/text.h"
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

// The choices of a row: the items of a list type, the ports found for the port's row.
std::vector<std::string> RowChoices(const std::string& short_name, const link::Parameter& p) {
  if (short_name != kSetupPortRow && p.type_text.find(':') == std::string::npos) return {};
  return p.ChoiceItems();
}

constexpr size_t kFactoryRows = sizeof kFactoryNetValues / sizeof kFactoryNetValues[0];

std::string SweepRateText(const std::string& rate) {
  std::string text = platform::Tr(kSweepRateText);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, rate);
  return text;
}

// The rates of the baud rate's list to try, in its order; an empty item names no rate.
std::vector<std::string> RateList(std::string_view type_text) {
  std::vector<std::string> rates;
  for (std::string_view piece : link::TypeTextPieces(type_text))
    if (!piece.empty()) rates.emplace_back(piece);
  return rates;
}

}  // namespace

SetupWorker::SetupWorker(ExchangeEngine& engine, bool offline_allowed, Prober prober)
    : engine_(engine), offline_allowed_(offline_allowed), prober_(std::move(prober)) {
  if (!prober_)
    prober_ = [](ExchangeEngine& e, platform::Event* cancel) { return ProbeLink(e, cancel); };
}

SetupWorker::~SetupWorker() {
  {
    std::lock_guard lock(mutex_);
    muted_ = true;
  }
  if (worker_.joinable()) {
    engine_.cancel_event.Set();
    worker_.join();
  }
}

void SetupWorker::set_on_change(ChangeCallback callback) {
  std::lock_guard lock(mutex_);
  on_change_ = std::move(callback);
}

bool SetupWorker::Open() {
  {
    std::lock_guard lock(mutex_);
    if (opened_) return false;
    opened_ = true;
    recent_remote_ = model::RecentRemotePorts(engine_.program_line().store());
    rows_.clear();
    for (const auto& p : engine_.program_line().parameters) {
      Row row;
      row.shown.short_name = p->short_name;
      row.shown.caption = p->caption;
      row.shown.value = p->value;
      row.parameter = p.get();
      rows_.push_back(std::move(row));
    }
  }
  engine_.cancel_event.reset();
  try {
    worker_ = std::thread([this] { WorkerMain(); });
  } catch (const std::system_error& e) {
    idle_.Set();
    link::presenter().ShowMessage(
        std::string(platform::Tr(kSetupThreadFailedText)) + "\n" + e.what(),
        platform::Tr(model::kAppTitle), link::MsgIcon::Error);
    Notify(kRowsChanged | kButtonsChanged);
    return false;
  }
  Notify(kRowsChanged | kButtonsChanged);
  return true;
}

// ---------------------------------------------------------------- window's thread

void SetupWorker::Command(int command) {
  if (outcome() != SetupOutcome::Open) return;
  const bool ended = idle_.IsSet();
  switch (command) {
    case kSetupFactory:
      if (ended) return;
      {
        std::lock_guard lock(mutex_);
        // While the worker has the list, it takes the values itself before it probes.
        if (list_enabled_)
          ApplyFactoryLocked();
        else
          factory_pending_ = true;
      }
      Notify(kRowsChanged);
      [[fallthrough]];
    case kSetupConnect:
      if (ended) return;
      ShowStatus(platform::Tr(kConnectingText), false);
      connect_.Set();
      return;
    case kSetupSweepRates:
      if (!ended) sweep_.Set();
      return;
    case kSetupOk: {
      // The Enter key must not claim a link that no probe has found.
      bool link_up;
      {
        std::lock_guard lock(mutex_);
        link_up = link_up_;
      }
      if (!link_up) return;
      if (ended) {
        link::presenter().ShowMessage(platform::Tr(kLinkEstablishedText),
                                      platform::Tr(model::kAppTitle), link::MsgIcon::Information);
        Close(SetupOutcome::Connected);
      } else {
        pending_.store(kSetupOk);
        engine_.cancel_event.Set();
      }
      return;
    }
    case kSetupOffline:
      if (!offline_allowed_) return;
      if (ended) {
        engine_.modes().auto_read.store(false);
        Close(SetupOutcome::Offline);
      } else {
        ShowStatus(platform::Tr(kStoppingText), false);
        pending_.store(kSetupOffline);
        engine_.cancel_event.Set();
      }
      return;
    case kSetupExit:
      if (ended) {
        Close(SetupOutcome::Exit);
      } else {
        ShowStatus(platform::Tr(kStoppingText), false);
        pending_.store(kSetupExit);
        engine_.cancel_event.Set();
      }
      return;
    default:
      return;
  }
}

void SetupWorker::ServePosted() {
  for (;;) {
    int command;
    {
      std::lock_guard lock(mutex_);
      if (posted_commands_.empty()) {
        posted_.reset();
        return;
      }
      command = posted_commands_.front();
      posted_commands_.pop_front();
    }
    Command(command);
  }
}

SetupOutcome SetupWorker::RunModal() {
  const std::vector<platform::Waitable> wait{platform::Signalled(posted_)};
  while (outcome() == SetupOutcome::Open) {
    if (platform::WaitAny(wait, std::chrono::milliseconds(-1)) == platform::kWaitError) {
      // Nothing can arrive any more; leave as "Выход" would, once the worker has ended.
      pending_.store(kSetupExit);
      engine_.cancel_event.Set();
      if (worker_.joinable()) worker_.join();
      Close(SetupOutcome::Exit);
      break;
    }
    ServePosted();
  }
  return outcome();
}

bool SetupWorker::EditRow(size_t row, std::string_view text) {
  {
    std::lock_guard lock(mutex_);
    if (!list_enabled_ || outcome_ != SetupOutcome::Open || row >= rows_.size()) return false;
    Row& r = rows_[row];
    if (!r.parameter) return false;
    const std::vector<std::string> choices = RowChoices(r.shown.short_name, *r.parameter);
    const bool port = r.shown.short_name == kSetupPortRow;
    if (!port && !choices.empty() &&
        std::find(choices.begin(), choices.end(), text) == choices.end())
      return false;
    if (port && model::IsRemotePortName(text) && !model::ValidRemotePortName(text)) return false;
    {
      const auto values = engine_.program_line().LockValues();
      if (!r.parameter->SetValueFromText(text)) return false;
    }
    r.shown.value = r.parameter->value;
    if (port && model::IsRemotePortName(text)) {
      // Offered again the next time, by this dialog and the next one.
      model::RememberRemotePort(engine_.program_line().store(), text);
      recent_remote_ = model::RecentRemotePorts(engine_.program_line().store());
    }
  }
  Notify(kRowsChanged);
  return true;
}

SetupState SetupWorker::State() const {
  std::lock_guard lock(mutex_);
  SetupState s;
  s.rows.reserve(rows_.size());
  for (const Row& r : rows_) {
    SetupRow shown = r.shown;
    if (r.parameter) {
      shown.choices = RowChoices(shown.short_name, *r.parameter);
      shown.free_text = shown.short_name == kSetupPortRow || shown.choices.empty();
      // The network lines used before, after the local ports.
      if (shown.short_name == kSetupPortRow)
        shown.choices.insert(shown.choices.end(), recent_remote_.begin(), recent_remote_.end());
    }
    s.rows.push_back(std::move(shown));
  }
  s.list_enabled = list_enabled_;
  s.offline_enabled = offline_allowed_;
  s.status = status_;
  s.alarm = alarm_;
  s.outcome = outcome_;
  s.sweep_step = sweep_step_;
  s.sweep_steps = sweep_steps_;
  return s;
}

SetupOutcome SetupWorker::outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

void SetupWorker::Close(SetupOutcome outcome) {
  {
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
  }
  // The worker has signalled the idle event and is on its way out.
  if (worker_.joinable()) worker_.join();
  Notify(kClosed);
}

// ---------------------------------------------------------------- worker thread

void SetupWorker::WorkerMain() {
  try {
    const std::vector<platform::Waitable> wait{platform::Signalled(engine_.cancel_event),
                                               platform::Signalled(connect_),
                                               platform::Signalled(sweep_)};
    for (;;) {
      const int which = platform::WaitAny(wait, std::chrono::milliseconds(-1));
      if (which == 1)
        Connect();
      else if (which == 2)
        SweepRates();
      else
        break;  // cancel_event, or a wait that can no longer work
    }
  } catch (const std::exception& e) {
    link::presenter().ShowMessage(e.what(), platform::Tr(kErrorCaption), link::MsgIcon::Error);
  } catch (...) {
    link::presenter().ShowMessage(platform::Tr(kLinkFailedText), platform::Tr(kErrorCaption),
                                  link::MsgIcon::Error);
  }
  SetListEnabled(true);
  idle_.Set();
  Post(pending_.load());
}

bool SetupWorker::Cancelled() {
  return engine_.cancel_event.IsSet();
}

void SetupWorker::Connect() {
  SetListEnabled(false);
  bool factory;
  {
    std::lock_guard lock(mutex_);
    factory = factory_pending_;
    factory_pending_ = false;
    if (factory) ApplyFactoryLocked();
  }
  if (factory) Notify(kRowsChanged);

  const bool ok = prober_(engine_, &engine_.cancel_event);
  SetListEnabled(true);
  if (ok) {
    {
      std::lock_guard lock(mutex_);
      link_up_ = true;
    }
    ShowStatus(platform::Tr(kLinkUpText), false);
    Post(kSetupOk);
  } else if (!Cancelled()) {
    ShowStatus(platform::Tr(kLinkFailedText), true);
  }
}

void SetupWorker::SweepRates() {
  SetListEnabled(false);
  size_t row = 0;
  std::string remembered;
  std::vector<std::string> rates;
  bool have_row = false;
  std::string port_name;
  {
    std::lock_guard lock(mutex_);
    const auto values = engine_.program_line().LockValues();
    if (const link::Parameter* port = engine_.program_line().FindParameter(kSetupPortRow))
      port_name = port->value;
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].parameter && platform::Iequals(rows_[i].shown.short_name, "bps")) {
        row = i;
        remembered = rows_[i].parameter->value;
        rates = RateList(rows_[i].parameter->type_text);
        have_row = true;
        break;
      }
    }
  }

  if (!link::PortKindSetsRate(port_name)) {
    ShowStatus(platform::Tr(kSweepNoRateText), true);
    SetListEnabled(true);
    return;
  }

  bool found = false;
  if (have_row && !Cancelled()) {
    for (size_t k = 0; k < rates.size(); ++k) {
      const std::string& rate = rates[k];
      {
        std::lock_guard lock(mutex_);
        SetRowValueLocked(row, rate);
        sweep_step_ = k + 1;
        sweep_steps_ = rates.size();
      }
      Notify(kRowsChanged);
      ShowStatus(SweepRateText(rate), false);
      if (prober_(engine_, &engine_.cancel_event)) {
        {
          std::lock_guard lock(mutex_);
          link_up_ = true;
        }
        ShowStatus(platform::Tr(kLinkUpText), false);
        SetListEnabled(true);
        Post(kSetupOk);
        found = true;
        break;
      }
      if (Cancelled()) break;
    }
  }

  {
    std::lock_guard lock(mutex_);
    sweep_step_ = sweep_steps_ = 0;
  }
  Notify(kButtonsChanged);
  if (!found) {
    if (have_row) {
      {
        std::lock_guard lock(mutex_);
        SetRowValueLocked(row, remembered);
      }
      Notify(kRowsChanged);
      // The port is still open at the last rate tried; put it back to the settings shown, so
      // that later exchanges do not run at a rate the program no longer claims.
      engine_.OpenPort(false);
    }
    if (!Cancelled()) ShowStatus(platform::Tr(kLinkFailedText), true);
  }
  SetListEnabled(true);
}

// ---------------------------------------------------------------- shared helpers

void SetupWorker::ApplyFactoryLocked() {
  for (size_t i = 0; i < rows_.size() && i < kFactoryRows; ++i) {
    if (platform::Iequals(rows_[i].shown.short_name, "port")) continue;
    SetRowValueLocked(i, kFactoryNetValues[i]);
  }
}

void SetupWorker::SetRowValueLocked(size_t row, const std::string& value) {
  Row& r = rows_[row];
  // Values only: what the dialog puts in is not a user's change.
  if (r.parameter) {
    const auto values = engine_.program_line().LockValues();
    r.parameter->value = value;
  }
  r.shown.value = value;
}

void SetupWorker::SetListEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    if (list_enabled_ == enabled) return;
    list_enabled_ = enabled;
  }
  Notify(kListSwitched);
}

void SetupWorker::ShowStatus(std::string text, bool alarm) {
  {
    std::lock_guard lock(mutex_);
    status_ = std::move(text);
    alarm_ = alarm;
  }
  Notify(kStatusChanged | (alarm ? kAlarmBeep : 0u));
}

void SetupWorker::Post(int command) {
  {
    std::lock_guard lock(mutex_);
    if (muted_) return;
    posted_commands_.push_back(command);
    posted_.Set();
  }
  Notify(kCommandPosted);
}

void SetupWorker::Notify(unsigned changes) {
  ChangeCallback callback;
  {
    std::lock_guard lock(mutex_);
    if (muted_) return;
    callback = on_change_;
  }
  if (callback) callback(changes);
}

}  // namespace vesk::exchange
