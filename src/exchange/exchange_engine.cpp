#include "exchange/exchange_engine.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "exchange/node_walks.h"
#include "exchange/parameter_tasks.h"
#include "link/exit_status.h"
#include "link/presenter.h"
#include "platform/language.h"
#include "platform/wait.h"

namespace vesk::exchange {

namespace {

using namespace std::chrono_literals;

// Positions in the exchange thread's wait set; earlier ones win when several are set.
enum Slot {
  kSlotReadAll,
  kSlotWriteAll,
  kSlotWriteChanged,
  kSlotCompare,
  kSlotInitialise,
  kSlotJob,
  kSlotStop,
  kSlotReadOne,
  kSlotWriteOne,
};

constexpr auto kTransmitStopLimit = 3000ms;
constexpr auto kPollerStopLimit = 700ms;
constexpr auto kWaitFailurePause = 50ms;
// How often an exchange that waits for a held line tries it again: well inside
// kPollerStopLimit.
constexpr auto kLineHoldPoll = 20ms;

// A thread that outlives its time after the stop event is a fault of the program; it is
// said where a developer sees it and then still waited for.
void ReportSlowThread(const char* name, std::chrono::milliseconds limit) {
  std::fprintf(stderr, "vesk: %s has not ended %lld ms after the stop event; waiting for it\n",
               name, static_cast<long long>(limit.count()));
}

void ReportThreadFailure(const char* what) {
  link::presenter().ShowMessage(what, platform::Tr("Ошибка"), link::MsgIcon::Error,
                                link::MsgButtons::Ok);
}

std::string Elapsed(std::chrono::steady_clock::duration d) {
  const long long s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

}  // namespace

ExchangeEngine::ExchangeEngine(EngineOptions options)
    : program_line_(options.store, std::move(options.list_ports)),
      modes_(options.modes ? options.modes : &own_modes_),
      full_access_(options.access_level > 1) {
  program_line_.FillParameters();
  program_line_.ToPortSettings(port().settings());
  // "Прервать!" ends the reply or connect the task waits for, not only the walk after it.
  port().set_cancel_event(&cancel_event);
}

ExchangeEngine::~ExchangeEngine() {
  StopThreads();
}

// ---------------------------------------------------------------- shared state

std::string ExchangeEngine::DiffReport() const {
  std::lock_guard lock(state_mutex_);
  return diff_report_;
}

void ExchangeEngine::AppendDiffReport(std::string_view text) {
  std::lock_guard lock(state_mutex_);
  diff_report_ += text;
}

void ExchangeEngine::ClearDiffReport() {
  std::lock_guard lock(state_mutex_);
  diff_report_.clear();
}

bool ExchangeEngine::Cancelled() {
  return task_cancelled_.load() || cancel_event.IsSet() || StopEvent().IsSet();
}

void ExchangeEngine::SetProgressSink(ProgressSink* sink) {
  sink_.store(sink);
}

ProgressSink& ExchangeEngine::sink() {
  if (ProgressSink* own = task_sink_.load()) return *own;
  ProgressSink* s = sink_.load();
  return s ? *s : headless_;
}

void ExchangeEngine::set_hooks(EngineHooks hooks) {
  std::lock_guard lock(state_mutex_);
  hooks_ = std::move(hooks);
}

void ExchangeEngine::CallHook(std::function<void()> EngineHooks::*hook) {
  std::function<void()> f;
  {
    std::lock_guard lock(state_mutex_);
    f = hooks_.*hook;
  }
  if (f) SendToWindow(f);
}

bool ExchangeEngine::SendToWindow(const std::function<void()>& work) {
  decltype(EngineHooks::send) send;
  {
    std::lock_guard lock(state_mutex_);
    send = hooks_.send;
  }
  if (!send) {
    work();
    return true;
  }
  return send(work, StopEvent());
}

void ExchangeEngine::RefreshViews() {
  std::function<void()> f;
  {
    std::lock_guard lock(state_mutex_);
    f = hooks_.update_all_views;
  }
  if (f) f();
}

void ExchangeEngine::set_unattended(UnattendedRun run) {
  set_command_line_run(run.active);
  std::lock_guard lock(state_mutex_);
  unattended_ = std::move(run);
}

UnattendedRun ExchangeEngine::unattended() const {
  std::lock_guard lock(state_mutex_);
  return unattended_;
}

void ExchangeEngine::set_log_path(std::string path) {
  std::lock_guard lock(state_mutex_);
  log_path_ = std::move(path);
}

std::string ExchangeEngine::log_path() const {
  std::lock_guard lock(state_mutex_);
  return log_path_;
}

std::string ExchangeEngine::log_error() const {
  std::lock_guard lock(state_mutex_);
  return log_error_;
}

void ExchangeEngine::set_log_error(std::string reason) {
  std::lock_guard lock(state_mutex_);
  log_error_ = std::move(reason);
}

std::string TaskFailuresText(int failed, int total) {
  return platform::Tr("Задание не выполнено для ") + std::to_string(failed) + platform::Tr(" из ") +
         std::to_string(total) + platform::Tr(" параметров. Окно будет закрыто автоматически.");
}

bool ExchangeEngine::WaitForLine(std::unique_lock<std::recursive_mutex>& hold) {
  // Tried, not waited on: a timed lock is invisible to ThreadSanitizer, and the stop event
  // must end the wait at once.
  const std::vector<platform::Waitable> stop{platform::Signalled(StopEvent())};
  while (!hold.try_lock()) {
    const int woke = platform::WaitAny(stop, kLineHoldPoll);
    if (woke == 0) return false;
    if (woke == platform::kWaitError) std::this_thread::sleep_for(kLineHoldPoll);
  }
  return true;
}

link::ProbeResult ExchangeEngine::Probe(int protocol) {
  std::unique_lock hold(line_hold_, std::defer_lock);
  if (!WaitForLine(hold)) return link::ProbeResult::Refused;
  const link::ProbeResult result = link::DeviceLink::Probe(protocol);
  line_state_.NoteProbe(result);
  return result;
}

int ExchangeEngine::Exchange(int operation, link::Parameter* parameter, link::TraceList* trace) {
  std::unique_lock hold(line_hold_, std::defer_lock);
  if (!WaitForLine(hold)) return link::kExchangePortClosed;
  // Within a task the port was opened (or tried) when it began, and a network line
  // connects again once by itself: a lost port is not tried before each of its parameters,
  // which would cost every one of them a connect wait.
  if (port_lost_.load() && !port().IsOpen() && !busy_.load() && OpenPort(false) == link::kOpenOk) {
    port_lost_.store(false);
    std::lock_guard lock(lost_mutex_);
    lost_text_.clear();
  }
  const bool was_open = port().IsOpen();
  const int result = link::DeviceLink::Exchange(operation, parameter, trace);
  if (was_open && !port().IsOpen() && result != link::kExchangeOk) {
    std::lock_guard lock(lost_mutex_);
    lost_text_ = parameter ? parameter->note : std::string();
    port_lost_.store(true);
  }
  line_state_.Note(result);
  return result;
}

link::BusScanReply ExchangeEngine::BusScanAddress(int32_t address, const link::Parameter& subject,
                                                  int wait_ms) {
  link::BusScanReply reply = BusScanRead(address, subject, wait_ms);
  if (reply.port_lost) {
    {
      std::lock_guard lock(lost_mutex_);
      lost_text_ = reply.error;
      port_lost_.store(true);
    }
    line_state_.Note(link::kExchangePortClosed);
  } else if (!reply.stopped) {
    line_state_.NoteBusScanQuestion(reply.answered || reply.late_address >= 0);
  }
  return reply;
}

std::string ExchangeEngine::LostPortText() const {
  if (!port_lost_.load()) return {};
  std::lock_guard lock(lost_mutex_);
  return lost_text_;
}

void ExchangeEngine::ReloadSettings() {
  program_line_.ToPortSettings(port().settings());
  // Whoever opens the port now owns it; the exchange thread no longer closes it.
  port_opened_for_task_.store(false);
  line_state_.PortOpened(true);
}

// ---------------------------------------------------------------- threads

int ExchangeEngine::StartTransmitThread() {
  std::lock_guard lock(thread_mutex_);
  if (transmit_running_.load()) return 0;
  if (transmit_.joinable()) transmit_.join();
  transmit_ended_.reset();
  transmit_running_.store(true);
  try {
    transmit_ = std::thread([this] { TransmitThread(); });
  } catch (const std::system_error& e) {
    transmit_running_.store(false);
    link::presenter().ShowMessage(
        std::string(platform::Tr(kTransmitThreadFailedText)) + "\n" + e.what(), "Error",
        link::MsgIcon::None, link::MsgButtons::Ok);
    return 1;
  }
  return 0;
}

int ExchangeEngine::StartPollerThread(std::function<void()> body) {
  std::lock_guard lock(thread_mutex_);
  if (poller_running_.load()) return 0;
  if (poller_.joinable()) poller_.join();
  poller_ended_.reset();
  poller_running_.store(true);
  try {
    poller_ = std::thread([this, body = std::move(body)] {
      try {
        if (body) body();
      } catch (const std::exception& e) {
        ReportThreadFailure(e.what());
      }
      poller_running_.store(false);
      poller_ended_.Set();
    });
  } catch (const std::system_error& e) {
    poller_running_.store(false);
    link::presenter().ShowMessage(
        std::string(platform::Tr(kPollerThreadFailedText)) + "\n" + e.what(), "Error",
        link::MsgIcon::None, link::MsgButtons::Ok);
    return 1;
  }
  return 0;
}

int ExchangeEngine::StopThreads() {
  std::lock_guard lock(thread_mutex_);
  StopEvent().Set();
  const auto self = std::this_thread::get_id();
  if (poller_.joinable() && poller_.get_id() != self) {
    if (platform::WaitAny({platform::Signalled(poller_ended_)}, kPollerStopLimit) < 0)
      ReportSlowThread("PollerThread", kPollerStopLimit);
    poller_.join();
  }
  if (transmit_.joinable() && transmit_.get_id() != self) {
    if (platform::WaitAny({platform::Signalled(transmit_ended_)}, kTransmitStopLimit) < 0)
      ReportSlowThread("TransmitThread", kTransmitStopLimit);
    transmit_.join();
  }
  StopEvent().reset();
  return 1;
}

void ExchangeEngine::TransmitThread() {
  using platform::Waitable;
  const std::vector<platform::Waitable> waits{
      Signalled(read_all_event), Signalled(write_all_event),  Signalled(write_changed_event),
      Signalled(compare_event),  Signalled(initialise_event), Signalled(job_event),
      Signalled(StopEvent()),    Signalled(read_one_event),   Signalled(write_one_event)};
  for (;;) {
    const int which = platform::WaitAny(waits, std::chrono::milliseconds(-1));
    if (which == kSlotStop) break;
    if (which < 0) {
      std::this_thread::sleep_for(kWaitFailurePause);
      continue;
    }
    // Whatever the window thread did before it started the task (the port it opened or
    // closed, the target and the counters) is visible from here on.
    tasks_started_.load(std::memory_order_acquire);
    // A port that the document could not open is tried once more for the task (the
    // exchanges report a failure), and closed again when the task is done.
    // A port that was lost stays open once it is back.
    if (!port().IsOpen()) {
      const bool lost = port_lost_.load();
      if (OpenPort(false) == link::kOpenOk && lost) {
        port_lost_.store(false);
      } else {
        port_opened_for_task_.store(true);
      }
    }
    progress_failed.store(0);
    try {
      ServeTask(which);
    } catch (const std::exception& e) {
      ReportThreadFailure(e.what());
    }
    try {
      FinishTask(which == kSlotJob);
    } catch (const std::exception& e) {
      ReportThreadFailure(e.what());
    }
  }

  // Nothing may be left that would wake a later thread for a target that no longer
  // exists, and no window may stay open that nothing would close.
  {
    std::lock_guard lock(window_mutex_);
    transmit_running_.store(false);
    task_target.store(nullptr);
    single_target.store(nullptr);
    read_one_event.reset();
    write_one_event.reset();
    for (platform::Event* e : {&read_all_event, &write_all_event, &write_changed_event,
                               &compare_event, &initialise_event, &job_event})
      e->reset();
    if (window_open_.load()) {
      ProgressSink& s = sink();
      s.Close();
      window_open_.store(false);
      task_sink_.store(nullptr);
      busy_.store(false);
      s.TaskEnded();
    }
  }
  {
    std::lock_guard lock(state_mutex_);
    job_ = nullptr;
  }
  if (port_opened_for_task_.exchange(false)) ClosePort();
  transmit_ended_.Set();
}

void ExchangeEngine::ServeTask(int which) {
  model::ParameterNode* target = task_target.exchange(nullptr);
  switch (which) {
    case kSlotReadAll:
      read_all_event.reset();
      if (target) ReadNode(*this, *target);
      break;
    case kSlotWriteAll:
      write_all_event.reset();
      if (target) WriteNode(*this, *target, kModeAll);
      break;
    case kSlotWriteChanged:
      write_changed_event.reset();
      if (target) WriteNode(*this, *target, kModeChanged);
      break;
    case kSlotCompare:
      compare_event.reset();
      if (target) CompareNode(*this, *target);
      break;
    case kSlotInitialise:
      initialise_event.reset();
      if (target) WriteNode(*this, *target, kModeInitial);
      break;
    case kSlotJob: {
      job_event.reset();
      std::function<void()> job;
      {
        std::lock_guard lock(state_mutex_);
        job.swap(job_);
      }
      if (job) job();
      break;
    }
    case kSlotReadOne:
      progress_done.store(0);
      if (link::Parameter* p = single_target.exchange(nullptr)) ReadParameter(*this, *p, true);
      break;
    case kSlotWriteOne:
      progress_done.store(0);
      if (link::Parameter* p = single_target.exchange(nullptr)) WriteParameter(*this, *p, kModeAll);
      break;
    default:
      break;
  }
}

void ExchangeEngine::FinishTask(bool job) {
  ProgressLog("");
  if (const int failed = progress_failed.exchange(0); failed > 0)
    ProgressLog(TaskFailuresText(failed, progress_total.load()));
  else
    ProgressLog(platform::Tr(kTaskDoneText));
  {
    std::lock_guard lock(window_mutex_);
    if (window_open_.load()) sink().ScrollToBottom();
  }
  // The finished window stays up for a while unless the user cancels; a task shown in a
  // window of its own leaves that window up anyway.
  if (!task_sink_.load())
    platform::WaitAny({platform::Signalled(cancel_event), platform::Signalled(StopEvent())},
                      std::chrono::milliseconds(linger_ms_.load()));
  EndTaskWindow();

  // While the threads are being stopped, the window thread waits for this one: a
  // synchronous request to it now would never return.
  const bool stopping = StopEvent().IsSet();
  // The request runs here: only its dialog goes to the window, so "APLY" and the move to
  // the new settings keep off the window's thread.
  if (net_params_written.exchange(false) && !stopping) {
    std::function<void()> apply;
    {
      std::lock_guard lock(state_mutex_);
      apply = hooks_.apply_request;
    }
    if (apply) apply();
  }
  if (port_opened_for_task_.exchange(false)) ClosePort();

  // A job (the bus scan) is none of the unattended run's tasks: it neither saves nor ends it.
  // A cancelled read is not what the user asked for: the file keeps what it held.
  const UnattendedRun run = unattended();
  if (run.active && !job) {
    const bool cancelled = task_cancelled_.load();
    if (cancelled) unattended_cancelled_.store(true);
    if (run.read && !stopping && !cancelled) CallHook(&EngineHooks::save_request);
    if (run.done_event) run.done_event->Set();
  }
  cancel_event.reset();

  // The window thread may start the next task as soon as it sees this one ended; a new
  // task takes the busy state under the same lock, so it cannot slip in between.
  std::lock_guard lock(window_mutex_);
  ProgressSink& s = sink();
  task_sink_.store(nullptr);
  busy_.store(false);
  s.TaskEnded();
}

void ExchangeEngine::EndTaskWindow() {
  std::lock_guard lock(window_mutex_);
  if (!window_open_.load()) return;
  sink().Close();
  window_open_.store(false);
}

// ---------------------------------------------------------------- tasks

bool ExchangeEngine::RunTask(model::ParameterNode* target, int code) {
  if (IsSingleParameterTask(code) || code == kTaskBusScan) return false;
  return RunWindow(code, [&] {
    task_target.store(target);
    progress_total.store(target ? target->CountForTask(CountModeOf(code)) : 0);
    progress_done.store(0);
  });
}

bool ExchangeEngine::RunSingleTask(link::Parameter* parameter, int code) {
  if (!parameter || !IsSingleParameterTask(code)) return false;
  return RunWindow(code, [&] {
    single_target.store(parameter);
    progress_total.store(1);
    progress_done.store(0);
  });
}

bool ExchangeEngine::RunJob(int code, std::function<void()> job, int32_t total,
                            ProgressSink* sink) {
  if (!job || (code != kTaskBusScan && code != kTaskBackground)) return false;
  return RunWindow(
      code,
      [&] {
        {
          std::lock_guard lock(state_mutex_);
          job_ = std::move(job);
        }
        progress_total.store(total);
        progress_done.store(0);
      },
      sink);
}

bool ExchangeEngine::RunWindow(int code, const std::function<void()>& prepare,
                               ProgressSink* task_sink) {
  const std::string_view caption = TaskCaption(code);
  if (caption.empty()) return false;
  {
    std::lock_guard lock(window_mutex_);
    bool expected = false;
    if (!busy_.compare_exchange_strong(expected, true)) return false;
    if (!transmit_running_.load()) {
      busy_.store(false);
      return false;
    }
    task_sink_.store(task_sink);
  }
  prepare();
  bool opened = false;
  const int range = static_cast<int>(static_cast<uint32_t>(progress_total.load()) & 0xFFFFu);
  const bool ran = sink().Run(code, caption, range, [&] {
    opened = true;
    OnWindowOpened(code);
  });
  // Without an opened window no task was started that would end the busy state.
  if (!opened) {
    {
      std::lock_guard lock(state_mutex_);
      job_ = nullptr;
    }
    std::lock_guard lock(window_mutex_);
    task_sink_.store(nullptr);
    busy_.store(false);
  }
  return ran;
}

void ExchangeEngine::OnWindowOpened(int code) {
  std::lock_guard lock(window_mutex_);
  cancel_event.reset();
  task_cancelled_.store(false);
  window_open_.store(true);
  window_lines_ = 0;
  task_start_time_ = std::chrono::steady_clock::now();
  if (!transmit_running_.load()) {
    // The exchange thread ended after RunTask looked: nothing would close this window.
    ProgressSink& s = sink();
    s.Close();
    window_open_.store(false);
    task_target.store(nullptr);
    single_target.store(nullptr);
    task_sink_.store(nullptr);
    busy_.store(false);
    s.TaskEnded();
    return;
  }
  tasks_started_.fetch_add(1, std::memory_order_release);
  switch (code) {
    case kTaskReadAll:
      read_all_event.Set();
      break;
    case kTaskReadOne:
      read_one_event.Set();
      break;
    case kTaskWriteAll:
      write_all_event.Set();
      break;
    case kTaskWriteChanged:
      write_changed_event.Set();
      break;
    case kTaskCompare:
      compare_event.Set();
      break;
    case kTaskInitialise:
      initialise_event.Set();
      break;
    case kTaskWriteOne:
      write_one_event.Set();
      break;
    case kTaskBusScan:
    case kTaskBackground:
      job_event.Set();
      break;
    default:
      break;
  }
}

void ExchangeEngine::ProgressLog(std::string_view text) {
  std::lock_guard lock(window_mutex_);
  if (!window_open_.load()) return;
  ProgressLine line;
  line.text = std::string(text);
  ++window_lines_;
  line.scroll_to_bottom = window_lines_ % 5 == 0;
  line.elapsed = Elapsed(std::chrono::steady_clock::now() - task_start_time_);
  const int32_t total = progress_total.load();
  if (total != 0) {
    const int32_t done = progress_done.load();
    char buf[64];
    std::snprintf(buf, sizeof buf, platform::Tr("%i из %i"), static_cast<int>(done),
                  static_cast<int>(total));
    line.counter = buf;
    line.position = done;
  }
  sink().Log(line);
}

void ExchangeEngine::Cancel() {
  task_cancelled_.store(true);
  cancel_event.Set();
  link::exit_status.store(kStatusCancelled);
}

}  // namespace vesk::exchange
