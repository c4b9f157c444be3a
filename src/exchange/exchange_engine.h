#pragma once
// The exchange engine: the device link of the document plus the exchange thread that
// runs the whole-tree, branch and single-parameter tasks, the events that start and stop
// them, the counters the progress window shows, and the end of every task (FinishTask).
//
// One engine per document. Where the tasks need it they get it as a reference; nothing
// reaches it through a global.
//
// Sharing rule for the parameter records: while a task runs (from RunTask until it
// returns) only the exchange thread touches the records of the task's target; the window
// thread reads them again after RunTask has returned. Outside a task, the direct exchanges
// of the window thread (device commands, automatic read, immediate write) touch only the
// records they are given. The counters and targets below are atomics, the texts are
// guarded, so any thread may read them.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "exchange/headless_progress.h"
#include "exchange/modes.h"
#include "exchange/progress_sink.h"
#include "exchange/task_codes.h"
#include "link/device_link.h"
#include "link/parameter.h"
#include "model/net_rs485_prg.h"
#include "model/object_with_parameters.h"
#include "platform/event.h"

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::exchange {

inline constexpr const char* kTaskDoneText = "Задание выполнено. Окно будет закрыто автоматически.";
inline constexpr const char* kTransmitThreadFailedText =
    "Не могу запустить поток (TransmitThread), необходимый для коммуникации с прибором";
inline constexpr const char* kScanThreadFailedText =
    "Не могу запустить поток (ScanThread), необходимый для работы сканеров";

// Exit status bits the engine records.
inline constexpr uint32_t kStatusTimeoutOrWrites = 0x04;
inline constexpr uint32_t kStatusCancelled = 0x20;

// What the front end does for the engine on its own thread. Each call is synchronous:
// it returns when the window's thread has done it.
struct EngineHooks {
  // Message 1065: the network-mode change after a task that wrote a network parameter.
  std::function<void()> applyRequest;
  // Message 1066: save the document into the command-line file after an unattended read.
  std::function<void()> saveRequest;
  // Update all views of the document.
  std::function<void()> updateAllViews;
};

// What the command line asked for, as far as the engine acts on it.
struct UnattendedRun {
  bool active = false;  // a command-line run (flags 0x20)
  bool read = false;    // read the device into the file (flags 0x40)
  bool aply = false;    // send the network settings to the device (flags 0x08)
  // Signalled when an unattended task has finished.
  std::shared_ptr<platform::Event> doneEvent;
};

struct EngineOptions {
  // Where the program's port settings live; nullptr: the default store.
  platform::SettingsStore* store = nullptr;
  // The names of the serial ports joined by ':' (the type text of "Port"); empty: the
  // system's ports.
  std::function<std::string()> listPorts;
  // The document's modes; nullptr: a set of the engine's own.
  ExchangeModes* modes = nullptr;
  // The application's access level; above 1 allows initialising the device.
  int accessLevel = 2;
};

class ExchangeEngine : public link::DeviceLink {
 public:
  // Creates the events and fills the program's port-settings node from the store.
  explicit ExchangeEngine(EngineOptions options = {});
  // Stops the threads (StopThreads), then releases everything.
  ~ExchangeEngine() override;

  // ---- Task events (read-all ... initialise manual-reset, single read/write auto-reset)
  platform::Event readAllEvent{platform::Event::Reset::Manual};
  platform::Event readOneEvent{platform::Event::Reset::Auto};
  platform::Event writeOneEvent{platform::Event::Reset::Auto};
  platform::Event writeAllEvent{platform::Event::Reset::Manual};
  platform::Event writeChangedEvent{platform::Event::Reset::Manual};
  platform::Event compareEvent{platform::Event::Reset::Manual};
  platform::Event initialiseEvent{platform::Event::Reset::Manual};
  // Signalled: the running task must stop between parameters.
  platform::Event cancelEvent{platform::Event::Reset::Manual};
  // The serial port's stop event: signalled, the engine's threads end.
  platform::Event& stopEvent() { return port().stopEvent; }

  // ---- Shared state of the tasks
  // The node the next whole-tree or branch task works on; taken by the exchange thread.
  std::atomic<model::ObjectWithParameters*> taskTarget{nullptr};
  // The parameter the next single-parameter task works on.
  std::atomic<link::Parameter*> singleTarget{nullptr};
  std::atomic<int32_t> progressTotal{0};  // 0: no counter is shown
  std::atomic<int32_t> progressDone{0};
  std::atomic<int32_t> failStreak{0};  // consecutive failed exchanges
  std::atomic<bool> netParamsWritten{false};
  std::atomic<int32_t> diffCount{0};

  // The report of the first ten differences of the running compare.
  std::string DiffReport() const;
  void AppendDiffReport(std::string_view text);
  void ClearDiffReport();

  // True while cancelEvent or stopEvent is signalled: the walks stop between parameters.
  bool Cancelled();

  // Whether the application's access level allows the initialisation to defaults.
  bool fullAccess() const { return fullAccess_; }

  // The program's own port settings; the port is opened with them (open_port).
  model::NetRS485prg& programNet() { return programNet_; }

  ExchangeModes& modes() { return *modes_; }

  // ---- Threads
  // Starts TransmitThread unless it runs. Returns 0 when it runs afterwards; 1 when it
  // could not be started (the message "Не могу запустить поток (TransmitThread), ..."
  // has been shown with the system's reason).
  int StartTransmitThread();
  bool TransmitThreadRunning() const { return transmitRunning_.load(); }

  // Starts the polling thread with `body` (which must end soon after stopEvent) unless one
  // runs. Returns 0 when it runs afterwards, 1 when it could not be started (message
  // shown).
  int StartScanThread(std::function<void()> body);
  bool ScanThreadRunning() const { return scanRunning_.load(); }

  // Signals stopEvent, ends the polling thread and the exchange thread (a thread that has
  // not ended in time is reported on stderr and still waited for: nothing is killed), and
  // resets stopEvent. Returns 1.
  int StopThreads();

  // ---- Tasks (window thread)
  // Runs a whole-tree or branch task (codes 1, 4, 5, 6, 7) on `target` (may be null: the
  // task then does nothing but finish) with the progress window. Returns true when the
  // window ran; false for another code, while another task runs, when no exchange thread
  // runs (no window that nothing would close is ever opened), or when the window could not
  // be shown.
  bool RunTask(model::ObjectWithParameters* target, int code);

  // Runs a single-parameter task (code 3 read, 9 write) on `parameter`. Returns as
  // RunTask; false as well for a null parameter.
  bool RunSingleTask(link::Parameter* parameter, int code);

  // Appends a line to the open progress window and refreshes its counters; nothing when
  // no window is open. Any thread.
  void ProgressLog(std::string_view text);

  // "Прервать!": signals cancelEvent and records 0x20 in the exit status.
  void Cancel();

  // True while a task's progress window is open (the shutdown watcher cancels it then).
  bool TaskWindowOpen() const { return windowOpen_.load(); }

  // ---- Settings of the front end and the run
  // The progress window; nullptr: the engine's own headless one.
  void set_progress_sink(ProgressSink* sink);
  HeadlessProgress& headless_progress() { return headless_; }
  void set_hooks(EngineHooks hooks);
  // Calls the update-all-views hook, if any.
  void UpdateAllViews();
  void set_unattended(UnattendedRun run);
  UnattendedRun unattended() const;
  // The error log (elog); empty: none.
  void set_log_path(std::string path);
  std::string log_path() const;
  // The system's reason of the last failed append to the error log; empty when none.
  std::string log_error() const;
  void set_log_error(std::string reason);
  // How long a finished task's window stays up unless cancelled (20 x 100 ms).
  void set_linger(std::chrono::milliseconds linger) { lingerMs_.store(linger.count()); }

 protected:
  // Copies the program's port settings into the port before every open.
  void reload_settings() override;

 private:
  bool RunWindow(int code, const std::function<void()>& prepare);
  void OnWindowOpened(int code);
  void TransmitThread();
  void ServeTask(int which);
  void FinishTask();
  void EndTaskWindow();
  ProgressSink& sink();
  void CallHook(std::function<void()> EngineHooks::*hook);

  model::NetRS485prg programNet_;
  ExchangeModes ownModes_;
  ExchangeModes* modes_;
  bool fullAccess_;

  HeadlessProgress headless_;
  std::atomic<ProgressSink*> sink_{nullptr};

  mutable std::mutex stateMutex_;  // hooks, unattended run, log path, diff report
  EngineHooks hooks_;
  UnattendedRun unattended_;
  std::string logPath_;
  std::string logError_;
  std::string diffReport_;

  std::mutex windowMutex_;  // the window's open state, line count and start time
  std::atomic<bool> windowOpen_{false};
  int windowLines_ = 0;
  std::chrono::steady_clock::time_point taskStartTime_;

  std::atomic<uint64_t> tasksStarted_{0};  // publishes the window thread's work to the task
  std::atomic<bool> busy_{false};          // a task runs (from RunTask until FinishTask ends)
  std::atomic<bool> portOpenedForTask_{false};
  std::atomic<int64_t> lingerMs_{2000};

  std::mutex threadMutex_;  // starting and stopping the threads
  std::thread transmit_;
  std::atomic<bool> transmitRunning_{false};
  platform::Event transmitEnded_{platform::Event::Reset::Manual};
  std::thread scan_;
  std::atomic<bool> scanRunning_{false};
  platform::Event scanEnded_{platform::Event::Reset::Manual};
};

}  // namespace vesk::exchange
