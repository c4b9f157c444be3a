#include "exchange/device_commands.h"

#include <chrono>
#include <string>
#include <thread>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "link/presenter.h"
#include "model/net_rs485_prg.h"
#include "model/tree_builder.h"
#include "platform/text.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

constexpr auto kRestartPause = 1000ms;
constexpr auto kAplyPause = 100ms;

// The network values in the order they are copied, with the labels of dialog 142.
struct NetworkValue {
  const char* name;
  const char* label;
};
constexpr NetworkValue kNetworkValues[] = {
    {"bPS", "Скорость: "},         {"LEn", "Длина слова данных: "}, {"PrtY", "Четность: "},
    {"Sbit", "Кол-во стоп-бит: "}, {"A.Len", "Длина адреса: "},     {"Addr", "Адрес: "},
};

std::string CommandError(const char* command, const link::Parameter& p) {
  return std::string("Ошибка команды '") + command + "':\n" + p.note + "\n";
}

// "APLY" carries no value; the link sends it and does not wait for an answer.
int WriteAply(ExchangeEngine& engine) {
  link::Parameter aply("APLY");
  aply.value.clear();
  return WriteParameter(engine, aply, kModeAll);
}

}  // namespace

int CheckLink(ExchangeEngine& engine, bool messages) {
  std::string info, error;
  int result = kLinkNone;
  link::Parameter dev("dev");
  if (engine.exchange(link::kOpRead, &dev) != 0) {
    error = CommandError("dev", dev);
  } else {
    info = "Прибор: " + dev.value + "\n";
    result = kLinkOtherDevice;
    std::string name;
    for (char c : dev.value)
      if (c != '-') name += c;
    if (platform::iequals(name, "vesk")) result = kLinkThisDevice;

    link::Parameter ver("ver");
    if (engine.exchange(link::kOpRead, &ver) == 0)
      info += "Версия ПО: " + ver.value + "\n";
    else
      error = CommandError("ver", ver);
  }
  if (messages) {
    if (!error.empty()) link::presenter().MessageBox(error, kErrorCaption, link::MsgIcon::Error);
    if (!info.empty())
      link::presenter().MessageBox(info, kDeviceInfoCaption, link::MsgIcon::Information);
  }
  return result;
}

int SendInitCommand(ExchangeEngine& engine) {
  if (link::presenter().MessageBox(kInitQuestion, model::kProgramTitle, link::MsgIcon::Question,
                                   link::MsgButtons::YesNo) != link::MsgAnswer::Yes)
    return -1;
  link::Parameter init("INIT");
  init.typeText = "void";
  const int result = ReadParameter(engine, init, false);
  if (result != 0)
    link::presenter().MessageBox(kInitFailedText + init.note, model::kProgramTitle,
                                 link::MsgIcon::None);
  else
    std::this_thread::sleep_for(kRestartPause);
  return result;
}

int CopyNetworkToProgram(const model::ObjectWithParameters& device_net,
                         model::NetRS485prg& program_net) {
  int copied = 0;
  for (const NetworkValue& v : kNetworkValues) {
    const link::Parameter* p = device_net.FindParameter(v.name);
    if (!p || p->value == link::kNoData) continue;
    if (program_net.SetValue(v.name, p->value)) ++copied;
  }
  return copied;
}

ApplyDialog::ApplyDialog(ExchangeEngine* engine, model::ObjectWithParameters* device_net)
    : engine_(engine), deviceNet_(device_net) {}

std::string ApplyDialog::SettingsText() const {
  if (!engine_)
    return "Нет данных - контекст устройства не получен диалогом APLY\n\nВнутренняя ошибка "
           "программы";
  if (!deviceNet_)
    return "Нет данных - элемент 'Сетевые параметры прибора' не инициализирован\n\nВнутренняя "
           "ошибка программы";
  std::string text;
  for (const NetworkValue& v : kNetworkValues)
    text += std::string(v.label) + deviceNet_->GetValue(v.name) + "\n";
  return text;
}

bool ApplyDialog::Ok() {
  if (!engine_) return false;
  ExchangeEngine& engine = *engine_;
  errorText_.clear();
  WriteAply(engine);

  if (deviceNet_) {
    CopyNetworkToProgram(*deviceNet_, engine.programNet());
    engine.open_port(true);
    link::Parameter dev("dev");
    if (ReadParameter(engine, dev, false) != 0) errorText_ = CommandError("dev", dev);
  }

  if (repeatAply) {
    const int times = threeTimes ? 3 : 1;
    for (int i = 0; i < times; ++i) {
      std::this_thread::sleep_for(kAplyPause);
      link::Parameter aply("APLY");
      aply.value.clear();
      engine.exchange(link::kOpWrite, &aply);
      std::this_thread::sleep_for(kAplyPause);
    }
  }

  // "APLY" gets no answer, so its own result says nothing; the check of the link at the
  // new settings does.
  if (!errorText_.empty() && !engine.unattended().active)
    link::presenter().MessageBox(errorText_, kApplyErrorCaption, link::MsgIcon::Error);
  return true;
}

void NetworkModeChange(ExchangeEngine& engine, model::ObjectWithParameters* device_net,
                       const ApplyDialogRunner& run_dialog) {
  ApplyDialog dialog(&engine, device_net);
  const UnattendedRun run = engine.unattended();
  if (run.active) {
    if (run.aply) {
      WriteAply(engine);
      if (device_net) CopyNetworkToProgram(*device_net, engine.programNet());
      engine.open_port(true);
    }
  } else if (run_dialog && run_dialog(dialog)) {
    if (dialog.changeProgramSettings && device_net) {
      CopyNetworkToProgram(*device_net, engine.programNet());
      engine.open_port(true);
    }
  }
  engine.UpdateAllViews();
}

bool InitialiseDevice(ExchangeEngine& engine, model::ObjectWithParameters* root) {
  if (!root) {
    link::presenter().MessageBox("Дерево не определено", "Операция невозможна",
                                 link::MsgIcon::Error);
    return false;
  }
  if (link::presenter().MessageBox(kInitialiseQuestion, model::kProgramTitle,
                                   link::MsgIcon::Warning,
                                   link::MsgButtons::YesNo) != link::MsgAnswer::Yes)
    return false;
  bool ran = false;
  if (!engine.fullAccess()) {
    link::presenter().MessageBox(kLegacyAuthorisationText, model::kProgramTitle,
                                 link::MsgIcon::Information);
    engine.UpdateAllViews();
  } else {
    ran = engine.RunTask(root, kTaskInitialise);
    if (ran) engine.UpdateAllViews();
  }
  SendInitCommand(engine);
  return ran;
}

}  // namespace vesk::exchange
