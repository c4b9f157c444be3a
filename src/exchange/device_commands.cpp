#include "exchange/device_commands.h"

#include <chrono>
#include <string>
#include <thread>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "link/network_settings.h"
#include "link/presenter.h"
#include "model/description_catalogue.h"
#include "model/program_line_settings.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "platform/text.h"
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

constexpr auto kRestartPause = 1000ms;
constexpr auto kAplyPause = 100ms;

std::string CommandError(const char* command, const link::Parameter& p) {
  return std::string(platform::Tr("Ошибка команды '")) + command + "':\n" + p.note + "\n";
}

// "APLY" carries no value; the link sends it and does not wait for an answer. Only a
// send that failed (its reason in `error`) makes it fail.
int WriteAply(ExchangeEngine& engine, std::string* error = nullptr) {
  link::Parameter aply("APLY");
  aply.value.clear();
  const int result = WriteParameter(engine, aply, kModeAll);
  if (result != 0 && error) *error = CommandError("APLY", aply);
  return result;
}

}  // namespace

LinkCheck RunLinkCheck(ExchangeEngine& engine) {
  LinkCheck check;
  link::Parameter dev("dev");
  if (engine.Exchange(link::kOpRead, &dev) != 0) {
    check.error = CommandError("dev", dev);
    return check;
  }
  check.info = platform::Tr("Прибор: ") + dev.value + "\n";
  check.result = kLinkOtherDevice;
  std::string name;
  for (char c : dev.value)
    if (c != '-') name += c;
  if (platform::Iequals(name, "vesk")) check.result = kLinkThisDevice;

  link::Parameter ver("ver");
  if (engine.Exchange(link::kOpRead, &ver) == 0)
    check.info += platform::Tr("Версия ПО: ") + ver.value + "\n";
  else
    check.error = CommandError("ver", ver);
  return check;
}

void ShowLinkCheck(const LinkCheck& check) {
  if (!check.error.empty())
    link::presenter().ShowMessage(check.error, platform::Tr(kErrorCaption), link::MsgIcon::Error);
  if (!check.info.empty())
    link::presenter().ShowMessage(check.info, platform::Tr(kDeviceInfoCaption),
                                  link::MsgIcon::Information);
}

int CheckLink(ExchangeEngine& engine, bool messages) {
  const LinkCheck check = RunLinkCheck(engine);
  if (messages) ShowLinkCheck(check);
  return check.result;
}

bool AskInit() {
  return link::presenter().ShowMessage(platform::Tr(kInitQuestion),
                                       platform::Tr(model::kProgramTitle), link::MsgIcon::Question,
                                       link::MsgButtons::YesNo) == link::MsgAnswer::Yes;
}

int SendInit(ExchangeEngine& engine, std::string& failure) {
  link::Parameter init("INIT");
  init.type_text = "void";
  const int result = ReadParameter(engine, init, false);
  if (result != 0) {
    failure = platform::Tr(kInitFailedText) + init.note;
    return result;
  }
  // The device restarts; nothing else should reach it meanwhile, but Stop is the user's.
  platform::WaitAny(
      {platform::Signalled(engine.cancel_event), platform::Signalled(engine.StopEvent())},
      kRestartPause);
  return result;
}

void ShowInitFailure(const std::string& failure) {
  link::presenter().ShowMessage(failure, platform::Tr(model::kProgramTitle), link::MsgIcon::None);
}

int CopyNetworkToProgram(const model::ParameterNode& device_line,
                         model::ProgramLineSettings& program_line) {
  int copied = 0;
  const auto values = program_line.LockValues();
  for (const link::NetworkSetting& v : link::kNetworkSettings) {
    const link::Parameter* p = device_line.FindParameter(v.short_name);
    if (!p || p->value == link::kNoData) continue;
    if (program_line.SetValue(v.short_name, p->value)) ++copied;
  }
  return copied;
}

ApplyDialog::ApplyDialog(ExchangeEngine* engine, model::ParameterNode* device_line)
    : engine_(engine), device_line_(device_line) {}

std::string ApplyDialog::SettingsText() const {
  if (!engine_)
    return platform::Tr(
        "Нет данных - контекст устройства не получен диалогом APLY\n\nВнутренняя ошибка "
        "программы");
  if (!device_line_)
    return platform::Tr(
        "Нет данных - элемент 'Сетевые параметры прибора' не инициализирован\n\nВнутренняя "
        "ошибка программы");
  std::string text;
  for (const link::NetworkSetting& v : link::kNetworkSettings)
    text += std::string(platform::Tr(v.label)) + ": " +
            model::ShownItem(device_line_->GetValue(v.short_name)) + "\n";
  return text;
}

bool ApplyDialog::Ok() {
  if (!engine_) return false;
  ExchangeEngine& engine = *engine_;
  error_text_.clear();
  // The device never heard it: the program keeps the settings it reaches the device with.
  if (WriteAply(engine, &error_text_) != 0) {
    change_program_settings = false;
    return true;
  }

  if (device_line_) {
    CopyNetworkToProgram(*device_line_, engine.program_line());
    engine.OpenPort(true);
    link::Parameter dev("dev");
    if (ReadParameter(engine, dev, false) != 0) error_text_ = CommandError("dev", dev);
  }

  if (repeat_aply) {
    const int times = three_times ? 3 : 1;
    for (int i = 0; i < times; ++i) {
      std::this_thread::sleep_for(kAplyPause);
      link::Parameter aply("APLY");
      aply.value.clear();
      engine.Exchange(link::kOpWrite, &aply);
      std::this_thread::sleep_for(kAplyPause);
    }
  }

  // "APLY" gets no answer, so its own result says nothing; the check of the link at the
  // new settings does.
  return true;
}

void ApplyDialog::ShowError() const {
  if (error_text_.empty() || (engine_ && engine_->unattended().active)) return;
  link::presenter().ShowMessage(error_text_, platform::Tr(kApplyErrorCaption),
                                link::MsgIcon::Error);
}

void ApplyNetworkMode(ExchangeEngine& engine, ApplyDialog& dialog) {
  dialog.Ok();
  if (dialog.change_program_settings && dialog.device_line()) {
    CopyNetworkToProgram(*dialog.device_line(), engine.program_line());
    engine.OpenPort(true);
  }
}

void NetworkModeChange(ExchangeEngine& engine, model::ParameterNode* device_line,
                       const ApplyDialogRunner& run_dialog) {
  ApplyDialog dialog(&engine, device_line);
  const UnattendedRun run = engine.unattended();
  if (run.active) {
    // Taken over only once the device got it; the exit code tells why it did not.
    if (run.aply && WriteAply(engine) == 0) {
      if (device_line) CopyNetworkToProgram(*device_line, engine.program_line());
      engine.OpenPort(true);
    }
  } else if (run_dialog && run_dialog(dialog)) {
    ApplyNetworkMode(engine, dialog);
    dialog.ShowError();
  }
  engine.RefreshViews();
}

bool InitialiseDevice(ExchangeEngine& engine, model::ParameterNode* root,
                      const std::function<void()>& send_init) {
  if (!root) {
    link::presenter().ShowMessage(platform::Tr("Дерево не определено"),
                                  platform::Tr("Операция невозможна"), link::MsgIcon::Error);
    return false;
  }
  if (link::presenter().ShowMessage(platform::Tr(kInitialiseQuestion),
                                    platform::Tr(model::kProgramTitle), link::MsgIcon::Warning,
                                    link::MsgButtons::YesNo) != link::MsgAnswer::Yes)
    return false;
  bool ran = false;
  if (!engine.full_access()) {
    link::presenter().ShowMessage(platform::Tr(kLegacyAuthorisationText),
                                  platform::Tr(model::kProgramTitle), link::MsgIcon::Information);
    engine.RefreshViews();
  } else {
    ran = engine.RunTask(root, kTaskInitialise);
    if (ran) engine.RefreshViews();
  }
  if (send_init) send_init();
  return ran;
}

}  // namespace vesk::exchange
