#pragma once
// The connection set-up dialog "Установка связи с прибором" without its window: the rows of
// the program's port settings, the status line with its alarm flag, the worker thread that
// tries the link or sweeps the baud rates, and the commands of the dialog's buttons. The
// window draws State() whenever it is told that something changed and forwards its button
// presses and in-place edits; everything else happens here.
//
// Threads. Command, EditRow, ServePosted and RunModal belong to the thread that owns the
// window. The worker thread shows texts, switches the list and posts commands back; a
// posted command is only queued here and runs when that thread calls ServePosted (the
// change callback says kCommandPosted). The records of the port-settings node are written
// by the window's thread only while the list is enabled, and by the worker only while it
// has the list disabled; both write under ProgramLineSettings::LockValues(), so that the
// threads which reopen the port meanwhile (polling, inputs/outputs) read a whole snapshot
// (ToPortSettings). The window shows the rows through State(), never the records.

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/parameter.h"
#include "platform/event.h"

namespace vesk::exchange {

class ExchangeEngine;

inline constexpr const char* kSetupTitle = "Установка связи с прибором";
inline constexpr const char* kSetupParameterColumn = "Параметры порта";
inline constexpr const char* kSetupValueColumn = "Значение";
inline constexpr const char* kSetupExitButton = "Выход";
inline constexpr const char* kSetupOfflineButton = "Работать offline";
inline constexpr const char* kSetupSweepRatesButton = "Сканирование сети";
inline constexpr const char* kSetupConnectButton = "Установить связь";
inline constexpr const char* kSetupFactoryButton = "Заводские сетевые настройки";

inline constexpr const char* kLinkUpText = "Связь установлена!";
inline constexpr const char* kLinkFailedText = "Не удалось установить связь с прибором!";
inline constexpr const char* kSweepRateText = "Идет сканирование на скорости %s...";
inline constexpr const char* kConnectingText = "Идет сканирование...";
inline constexpr const char* kStoppingText = "Прерывание операции...";
// A sweep over a port that cannot set the rate would claim the first rate tried.
inline constexpr const char* kSweepNoRateText =
    "Сканирование сети невозможно: через порт tcp:// скорость линии не задается, она "
    "задана на сервере порта.";
inline constexpr const char* kLinkEstablishedText = "Связь с прибором установлена!";
inline constexpr const char* kSetupThreadFailedText =
    "Не могу запустить поток, необходимый для установки связи с прибором";

// The dialog's commands: its button ids.
inline constexpr int kSetupOk = 1;  // posted after a success; also the Enter key
inline constexpr int kSetupExit = 2;
inline constexpr int kSetupOffline = 3;
inline constexpr int kSetupSweepRates = 4;
inline constexpr int kSetupConnect = 5;
inline constexpr int kSetupFactory = 6;

// The factory network values, by row of the list; the "Port" row is never changed.
inline constexpr const char* kFactoryNetValues[] = {"9600", "8",  "Отсутствует", "1",
                                                    "8",    "16", "COM1"};

// Colours of the status line.
inline constexpr link::Rgb kStatusAlarmColour{200, 0, 0};
inline constexpr link::Rgb kStatusNormalColour{0, 0, 200};

// How the dialog ended. Connected and Offline close it with OK, Exit with cancel.
enum class SetupOutcome { Open, Connected, Offline, Exit };

// What changed since the last notification (bits).
enum SetupChange : unsigned {
  kRowsChanged = 0x01,
  kListSwitched = 0x02,
  kStatusChanged = 0x04,
  kAlarmBeep = 0x08,  // the status became an alarm: sound the exclamation beep
  kButtonsChanged = 0x10,
  kCommandPosted = 0x20,  // call ServePosted on the window's thread
  kClosed = 0x40,
};

struct SetupRow {
  std::string short_name;
  std::string caption;  // first column
  std::string value;    // second column
  // The values the row offers; `free_text`: another text may be typed (the port's path,
  // the address), otherwise only one of the choices is taken.
  std::vector<std::string> choices;
  bool free_text = true;
};

// The row of the port's path: its choices are the ports found and the network ports used
// before (tcp://HOST:PORT, rfc2217://HOST:PORT); a typed path is taken too, a network name
// only when well formed.
inline constexpr const char* kSetupPortRow = "Port";

struct SetupState {
  std::vector<SetupRow> rows;
  bool list_enabled = true;
  bool offline_enabled = true;
  std::string status;
  bool alarm = false;
  SetupOutcome outcome = SetupOutcome::Open;
  // While the rate sweep runs: the rate tried now (from 1) of how many; 0 of 0 otherwise.
  size_t sweep_step = 0;
  size_t sweep_steps = 0;

  // Red while the status is an alarm, blue otherwise.
  link::Rgb StatusColour() const { return alarm ? kStatusAlarmColour : kStatusNormalColour; }
};

class SetupWorker {
 public:
  // Tries the link with the settings now in the program's node; true when a device
  // answered. Signalled `cancel` asks it to give up early.
  using Prober = std::function<bool(ExchangeEngine&, platform::Event* cancel)>;
  // Called on whichever thread changed something, without any lock held; `changes` holds
  // SetupChange bits.
  using ChangeCallback = std::function<void(unsigned changes)>;

  // `offline_allowed`: the dialog was opened after the start-up probe failed, so working
  // without the device may be chosen. `prober`: ProbeLink unless given.
  SetupWorker(ExchangeEngine& engine, bool offline_allowed, Prober prober = {});
  // Stops a worker that still runs (through cancel_event) and waits for it; no command is
  // posted and no callback called any more.
  ~SetupWorker();
  SetupWorker(const SetupWorker&) = delete;
  SetupWorker& operator=(const SetupWorker&) = delete;

  // Set before Open.
  void set_on_change(ChangeCallback callback);

  // Fills the rows from the program's port settings, resets the engine's cancel_event and
  // starts the worker. Returns false when called a second time (nothing happens), or when
  // the worker could not be started (shown with the system's reason); the dialog then
  // behaves as after its worker has ended, so "Выход" and "Работать offline" still close
  // it.
  bool Open();

  // A button press or a posted command (kSetup*). Commands of buttons that are disabled,
  // and any command after the dialog has closed, are ignored.
  void Command(int command);

  // Runs the commands the worker posted, in order.
  void ServePosted();

  // For a front end without its own event loop: serves posted commands until the dialog
  // closes, and returns how it closed. Button presses come through Command on this same
  // thread, before the call or from within callbacks it runs.
  SetupOutcome RunModal();

  // In-place edit of a row's value, validated by its parameter. Returns false (nothing
  // changed) while the list is disabled or closed, for a row that does not exist, when
  // the text is none of the choices of a row without free text, or when the parameter
  // refuses the text.
  bool EditRow(size_t row, std::string_view text);

  // A snapshot of everything the window shows.
  SetupState State() const;
  SetupOutcome outcome() const;

  // Signalled once the worker has ended.
  platform::Event& IdleEvent() { return idle_; }

 private:
  struct Row {
    SetupRow shown;
    link::Parameter* parameter = nullptr;
  };

  void WorkerMain();
  void Connect();
  void SweepRates();
  void ApplyFactoryLocked();
  void SetRowValueLocked(size_t row, const std::string& value);
  void SetListEnabled(bool enabled);
  void ShowStatus(std::string text, bool alarm);
  void Post(int command);
  void Close(SetupOutcome outcome);
  void Notify(unsigned changes);
  bool Cancelled();

  ExchangeEngine& engine_;
  const bool offline_allowed_;
  Prober prober_;

  platform::Event connect_{platform::Event::Reset::Auto};
  platform::Event sweep_{platform::Event::Reset::Auto};
  platform::Event idle_{platform::Event::Reset::Manual};
  platform::Event posted_{platform::Event::Reset::Manual};

  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  bool list_enabled_ = true;
  std::string status_;
  bool alarm_ = false;
  SetupOutcome outcome_ = SetupOutcome::Open;
  bool factory_pending_ = false;  // factory values asked for while the list was disabled
  bool link_up_ = false;          // a probe has succeeded: OK may close the dialog
  size_t sweep_step_ = 0;
  size_t sweep_steps_ = 0;
  std::deque<int> posted_commands_;
  ChangeCallback on_change_;
  bool muted_ = false;                      // being destroyed: nothing goes out any more
  std::vector<std::string> recent_remote_;  // the network ports used before
  bool opened_ = false;

  // Written by the window's thread before it signals cancel_event, read by the worker after
  // it woke on it.
  std::atomic<int> pending_{kSetupExit};
  std::thread worker_;
};

}  // namespace vesk::exchange
