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
// thread reads them again after RunTask has returned. A job (RunJob) works on copies the
// window made (exchange/record_exchange.h), or on records of its own (the device
// commands). The counters and targets below are atomics, the texts are guarded, so any
// thread may read them.

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
#include "exchange/line_state.h"
#include "exchange/modes.h"
#include "exchange/progress_sink.h"
#include "exchange/task_codes.h"
#include "link/device_link.h"
#include "link/parameter.h"
#include "model/parameter_node.h"
#include "model/program_line_settings.h"
#include "platform/event.h"

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::exchange {

inline constexpr const char* kTaskDoneText = "Задание выполнено. Окно будет закрыто автоматически.";
// The end of a task in which some parameters failed: "Задание не выполнено для N из M
// параметров. ...".
std::string TaskFailuresText(int failed, int total);
inline constexpr const char* kTransmitThreadFailedText =
    "Не могу запустить поток (TransmitThread), необходимый для коммуникации с прибором";
inline constexpr const char* kPollerThreadFailedText =
    "Не могу запустить поток (ScanThread), необходимый для работы сканеров";

// Exit status bits the engine records.
inline constexpr uint32_t kStatusTimeoutOrWrites = 0x04;
inline constexpr uint32_t kStatusCancelled = 0x20;
// A command-line write left parameters out because the file holds no value for them.
inline constexpr uint32_t kStatusUnwrittenValues = 0x80;

// What the front end does for the engine. Each call is synchronous: it returns when
// the window's thread has done it, except apply_request.
struct EngineHooks {
  // Message 1065: the network-mode change after a task that wrote a network parameter.
  // Called on the exchange thread; it sends only its dialog to the window.
  std::function<void()> apply_request;
  // Message 1066: save the document into the command-line file after an unattended read.
  std::function<void()> save_request;
  // Update all views of the document.
  std::function<void()> update_all_views;
  // Runs `work` on the window's thread and returns true when it is done, or false without
  // it once `stop` is set before the window's thread took it up (that thread may then be
  // waiting for the caller's to end). Empty: the work runs on the calling thread.
  std::function<bool(const std::function<void()>& work, platform::Event& stop)> send;
};

// What the command line asked for, as far as the engine acts on it.
struct UnattendedRun {
  bool active = false;  // a command-line run (flags 0x20)
  bool read = false;    // read the device into the file (flags 0x40)
  bool aply = false;    // send the network settings to the device (flags 0x08)
  // Signalled when an unattended task has finished.
  std::shared_ptr<platform::Event> done_event;
};

struct EngineOptions {
  // Where the program's port settings live; nullptr: the default store.
  platform::SettingsStore* store = nullptr;
  // The names of the serial ports joined by ':' (the type text of "Port"); empty: the
  // system's ports.
  std::function<std::string()> list_ports;
  // The document's modes; nullptr: a set of the engine's own.
  ExchangeModes* modes = nullptr;
  // The application's access level; above 1 allows initialising the device.
  int access_level = 2;
};

class ExchangeEngine : public link::DeviceLink {
 public:
  // Creates the events and fills the program's port-settings node from the store.
  explicit ExchangeEngine(EngineOptions options = {});
  // Stops the threads (StopThreads), then releases everything.
  ~ExchangeEngine() override;

  // ---- Task events (read-all ... initialise manual-reset, single read/write auto-reset)
  platform::Event read_all_event{platform::Event::Reset::Manual};
  platform::Event read_one_event{platform::Event::Reset::Auto};
  platform::Event write_one_event{platform::Event::Reset::Auto};
  platform::Event write_all_event{platform::Event::Reset::Manual};
  platform::Event write_changed_event{platform::Event::Reset::Manual};
  platform::Event compare_event{platform::Event::Reset::Manual};
  platform::Event initialise_event{platform::Event::Reset::Manual};
  platform::Event job_event{platform::Event::Reset::Manual};  // RunJob
  // Signalled: the running task must stop between parameters.
  platform::Event cancel_event{platform::Event::Reset::Manual};
  // The serial port's stop event: signalled, the engine's threads end.
  platform::Event& StopEvent() { return port().stop_event; }

  // ---- Shared state of the tasks
  // The node the next whole-tree or branch task works on; taken by the exchange thread.
  std::atomic<model::ParameterNode*> task_target{nullptr};
  // The parameter the next single-parameter task works on.
  std::atomic<link::Parameter*> single_target{nullptr};
  std::atomic<int32_t> progress_total{0};  // 0: no counter is shown
  std::atomic<int32_t> progress_done{0};
  std::atomic<int32_t> fail_streak{0};      // consecutive failed exchanges
  std::atomic<int32_t> progress_failed{0};  // parameters of the running task that failed
  std::atomic<bool> net_params_written{false};
  std::atomic<int32_t> diff_count{0};
  std::atomic<int32_t> compared_count{0};  // parameters the running compare could read

  // The report of the first ten differences of the running compare.
  std::string DiffReport() const;
  void AppendDiffReport(std::string_view text);
  void ClearDiffReport();

  // DeviceLink::Exchange, counted in the line's state. A port lost in an exchange is
  // opened again at the next one, so that it serves as soon as it is back. While another
  // thread holds the line (HoldLine), it waits for it; the stop event ends that wait with
  // kExchangePortClosed and nothing sent.
  int Exchange(int operation, link::Parameter* parameter,
               link::TraceList* trace = nullptr) override;
  // DeviceLink::Probe, counted in the line's state, waiting for a held line as Exchange.
  link::ProbeResult Probe(int protocol) override;
  // DeviceLink::BusScanRead under the same rules: a port lost in it is marked lost (with
  // LostPortText) and counted in the line's state, as is an answer.
  link::BusScanReply BusScanAddress(int32_t address, const link::Parameter& subject, int wait_ms);

  // Keeps the line for the calling thread until the lock is released: the exchanges of
  // other threads wait (polling pauses), so that none goes out with the converter mode a
  // probe is trying. The holder's own exchanges pass.
  std::unique_lock<std::recursive_mutex> HoldLine() { return std::unique_lock(line_hold_); }
  const LineState& line_state() const { return line_state_; }
  // Called as a bus scan begins, for what the line's state makes of its questions.
  void BusScanBegins() { line_state_.BusScanBegins(); }
  // Why the port was lost ("Порт ... потерян: ..."); empty while it is not.
  std::string LostPortText() const;

  // True while the running task has been cancelled ("Прервать!", cancel_event) or
  // stopEvent is signalled: the walks stop between parameters.
  bool Cancelled();
  // True when the user cancelled the running (or the last) task. Kept apart from the
  // exit status, which the exchanges after the cancel overwrite; cleared only when the
  // next task starts.
  bool TaskCancelled() const { return task_cancelled_.load(); }
  // True once the user has cancelled a task of the command line's unattended run; never
  // cleared.
  bool UnattendedRunCancelled() const { return unattended_cancelled_.load(); }

  // Whether the application's access level allows the initialisation to defaults.
  bool full_access() const { return full_access_; }

  // The program's own port settings; the port is opened with them (OpenPort).
  model::ProgramLineSettings& program_line() { return program_line_; }

  ExchangeModes& modes() { return *modes_; }

  // ---- Threads
  // Starts TransmitThread unless it runs. Returns 0 when it runs afterwards; 1 when it
  // could not be started (the message "Не могу запустить поток (TransmitThread), ..."
  // has been shown with the system's reason).
  int StartTransmitThread();
  bool TransmitThreadRunning() const { return transmit_running_.load(); }

  // Starts the polling thread with `body` (which must end soon after stopEvent) unless one
  // runs. Returns 0 when it runs afterwards, 1 when it could not be started (message
  // shown).
  int StartPollerThread(std::function<void()> body);
  bool PollerThreadRunning() const { return poller_running_.load(); }

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
  bool RunTask(model::ParameterNode* target, int code);

  // Runs a single-parameter task (code 3 read, 9 write) on `parameter`. Returns as
  // RunTask; false as well for a null parameter.
  bool RunSingleTask(link::Parameter* parameter, int code);

  // Runs `job` on the exchange thread as task `code` (kTaskBusScan, kTaskBackground), with
  // `total` steps on the progress counter, shown by `sink` (this task only; it must stay
  // until its TaskEnded) or else by the engine's progress window. Returns as RunTask. A
  // task with its own sink does not linger when done.
  bool RunJob(int code, std::function<void()> job, int32_t total, ProgressSink* sink = nullptr);

  // Appends a line to the open progress window and refreshes its counters; nothing when
  // no window is open. Any thread.
  void ProgressLog(std::string_view text);

  // "Прервать!": marks the task cancelled, signals cancel_event and records 0x20 in the
  // exit status.
  void Cancel();

  // True from the start of a task until it has completely finished. Any thread.
  bool TaskRunning() const { return busy_.load(); }

  // True while a task's progress window is open (the shutdown watcher cancels it then).
  bool TaskWindowOpen() const { return window_open_.load(); }

  // ---- Settings of the front end and the run
  // The progress window; nullptr: the engine's own headless one.
  void SetProgressSink(ProgressSink* sink);
  HeadlessProgress& headless_progress() { return headless_; }
  void set_hooks(EngineHooks hooks);
  // Calls the update-all-views hook, if any.
  void RefreshViews();
  // Runs `work` on the window's thread through the send hook, giving up once stopEvent is
  // set: a worker's blocking request to the window never outlasts StopThreads. Returns
  // whether the work ran.
  bool SendToWindow(const std::function<void()>& work);
  void set_unattended(UnattendedRun run);
  UnattendedRun unattended() const;
  // The error log (elog); empty: none.
  void set_log_path(std::string path);
  std::string log_path() const;
  // The system's reason of the last failed append to the error log; empty when none.
  std::string log_error() const;
  void set_log_error(std::string reason);
  // How long a finished task's window stays up unless cancelled (20 x 100 ms).
  void SetLinger(std::chrono::milliseconds linger) { linger_ms_.store(linger.count()); }

 protected:
  // Copies the program's port settings into the port before every open.
  void ReloadSettings() override;

 private:
  bool RunWindow(int code, const std::function<void()>& prepare, ProgressSink* task_sink = nullptr);
  void OnWindowOpened(int code);
  void TransmitThread();
  void ServeTask(int which);
  void FinishTask(bool job);
  void EndTaskWindow();
  ProgressSink& sink();

  // Waits for a line another thread holds; false when the stop event ended the wait.
  bool WaitForLine(std::unique_lock<std::recursive_mutex>& hold);

  LineState line_state_;
  std::recursive_mutex line_hold_;
  mutable std::mutex lost_mutex_;
  std::string lost_text_;
  std::atomic<bool> port_lost_{false};
  void CallHook(std::function<void()> EngineHooks::*hook);

  model::ProgramLineSettings program_line_;
  ExchangeModes own_modes_;
  ExchangeModes* modes_;
  bool full_access_;

  HeadlessProgress headless_;
  std::atomic<ProgressSink*> sink_{nullptr};
  std::atomic<ProgressSink*> task_sink_{nullptr};  // the running task's own sink (RunJob)

  mutable std::mutex state_mutex_;  // hooks, unattended run, log path, diff report
  EngineHooks hooks_;
  UnattendedRun unattended_;
  std::string log_path_;
  std::string log_error_;
  std::string diff_report_;
  std::function<void()> job_;  // the next RunJob task

  std::mutex window_mutex_;  // the window's open state, line count and start time
  std::atomic<bool> window_open_{false};
  int window_lines_ = 0;
  std::chrono::steady_clock::time_point task_start_time_;

  std::atomic<uint64_t> tasks_started_{0};  // publishes the window thread's work to the task
  std::atomic<bool> busy_{false};           // a task runs (from RunTask until FinishTask ends)
  std::atomic<bool> port_opened_for_task_{false};
  std::atomic<bool> task_cancelled_{false};
  std::atomic<bool> unattended_cancelled_{false};
  std::atomic<int64_t> linger_ms_{2000};

  std::mutex thread_mutex_;  // starting and stopping the threads
  std::thread transmit_;
  std::atomic<bool> transmit_running_{false};
  platform::Event transmit_ended_{platform::Event::Reset::Manual};
  std::thread poller_;
  std::atomic<bool> poller_running_{false};
  platform::Event poller_ended_{platform::Event::Reset::Manual};
};

}  // namespace vesk::exchange
