#pragma once
// The device's special commands: the link check ("dev", "ver"), INIT, the network-mode
// change ("APLY", with the logic of dialog 142), and the initialisation to the
// description's initial values. Their exchanges run on whichever thread calls them (the
// window hands them to the exchange thread); the questions and reports are apart, for the
// window's thread.

#include <functional>
#include <string>

#include "model/parameter_node.h"

namespace vesk::model {
class ProgramLineSettings;
}

namespace vesk::exchange {

class ExchangeEngine;

// CheckLink results: bit 0 this device answered, bit 1 some device answered.
inline constexpr int kLinkNone = 0;
inline constexpr int kLinkOtherDevice = 2;
inline constexpr int kLinkThisDevice = 3;

inline constexpr const char* kErrorCaption = "Ошибка";
inline constexpr const char* kDeviceInfoCaption = "Общие параметры прибора";
inline constexpr const char* kInitQuestion =
    "Команда INIT эквивалентна выключению и включению питания прибора.\n"
    "Ее рекомендуется подавать в конце работы с конфигуратором. После нее\n"
    "вступают в действие значения ряда параметров и происходит переход на\n"
    "работу по протоколу, установленному в параметре Prot. Если в этом параметре\n"
    "задан протокол, отличный от протокола ЛОРН, то конфигуратор потеряет\n"
    "связь с прибором и его будет необходимо перезапустить.\n\n"
    "Послать команду INIT?";
inline constexpr const char* kInitFailedText = "Комманда INIT вернула ошибку:\n";
inline constexpr const char* kInitialiseQuestion =
    "Предупреждение:\nДанная операция приведет к потере конфигурации в приборе и в "
    "программе.\n\nВы уверены, что хотите продолжить?";
inline constexpr const char* kLegacyAuthorisationText =
    "Авторизация относится к устаревшим функциям.\n"
    "В этой версии конфигуратора 'опасные операции'\n"
    "(инициализация прибора и доступ к специальным атрибутам)\n"
    "автоматически доступны на максимальном уровне доступа.";
inline constexpr const char* kApplyErrorCaption = "Имела место ошибка";

// What the link check found: the result, and the texts of its two boxes (empty: none).
struct LinkCheck {
  int result = kLinkNone;
  std::string info;
  std::string error;
};

// Reads "dev" and "ver", showing nothing. The result is 0 when "dev" was not answered, 2
// when a device answered with another name, 3 when it answered as a VESK ("-" ignored,
// case ignored).
LinkCheck RunLinkCheck(ExchangeEngine& engine);
// The error text in an "Ошибка" box, then the device's name and version in a "Общие
// параметры прибора" box.
void ShowLinkCheck(const LinkCheck& check);
// RunLinkCheck, then with `messages` ShowLinkCheck. Returns the result.
int CheckLink(ExchangeEngine& engine, bool messages);

// Command 301 in three steps. The INIT question: true when the user answered Yes.
bool AskInit();
// Sends "INIT" and, when it succeeded, waits 1000 ms while the device restarts; a cancel
// or the stop event ends the wait at once. Returns the read's result; a failure's text
// goes to `failure`.
int SendInit(ExchangeEngine& engine, std::string& failure);
// Shows the failure SendInit gave.
void ShowInitFailure(const std::string& failure);

// Copies the device's network values ("bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", in
// that order) into the program's port settings, skipping "Нет данных" and names that the
// device node does not hold. Returns the number of values copied.
int CopyNetworkToProgram(const model::ParameterNode& device_line,
                         model::ProgramLineSettings& program_line);

// The logic of dialog 142 "Перевод прибора на новый режим работы"; the window shows the
// three check boxes and the text, and calls Ok for its OK button.
class ApplyDialog {
 public:
  // `engine` and `device_line` may be null (the texts then say so).
  ApplyDialog(ExchangeEngine* engine, model::ParameterNode* device_line);

  // 1219 "Поменять сразу сетевые настройки программы".
  bool change_program_settings = true;
  // 1220 "Поcлать широковещательную команду APLY".
  bool repeat_aply = false;
  // 1221 "Поcлать посылку трижды (для надежности)".
  bool three_times = true;

  // The text of static 1222: six lines "label value", or the internal-error texts.
  std::string SettingsText() const;

  // Whether OK may close the dialog: without an engine it stays open.
  bool CanApply() const { return engine_ != nullptr; }

  // What OK starts: sends "APLY", moves the program to the device's new settings and
  // checks the link there, and repeats "APLY" as the check boxes ask. When "APLY" could
  // not be sent, moves nothing (change_program_settings is cleared). Shows nothing: the
  // reason of a failure is error_text(). Returns false without an engine.
  bool Ok();

  // Why "APLY" or the link check after the move failed, empty when both succeeded.
  const std::string& error_text() const { return error_text_; }
  model::ParameterNode* device_line() const { return device_line_; }
  // error_text() in a box, unless it is empty or the run is unattended.
  void ShowError() const;

 private:
  ExchangeEngine* engine_;
  model::ParameterNode* device_line_;
  std::string error_text_;
};

// Shows dialog 142 modally; true when it ended with OK.
using ApplyDialogRunner = std::function<bool(ApplyDialog&)>;

// After OK of the dialog: its Ok, then with 1219 checked copies the device's settings to
// the program and re-opens the port once more.
void ApplyNetworkMode(ExchangeEngine& engine, ApplyDialog& dialog);

// The apply request after a task, on the exchange thread. In a command-line run: only
// with the aply key, sends "APLY", copies the device's settings to the program and
// re-opens the port, without any dialog. Otherwise runs the dialog (nothing without a
// runner) and after OK ApplyNetworkMode, reporting a failure. Then updates all views.
void NetworkModeChange(ExchangeEngine& engine, model::ParameterNode* device_line,
                       const ApplyDialogRunner& run_dialog);

// Command 269: with a root and Yes to the warning, writes the initial values through the
// exchange thread (task 7), updates all views, then calls `send_init` (the INIT command
// with its own question). Returns whether the write task ran.
bool InitialiseDevice(ExchangeEngine& engine, model::ParameterNode* root,
                      const std::function<void()>& send_init);

}  // namespace vesk::exchange
