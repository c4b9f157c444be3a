#include "exchange/exchange_engine.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <vector>

#include "exchange/node_walks.h"
#include "exchange/parameter_tasks.h"
#include "link/exit_status.h"
#include "link/presenter.h"
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
  kSlotStop,
  kSlotReadOne,
  kSlotWriteOne,
};

constexpr auto kTransmitStopLimit = 3000ms;
constexpr auto kScanStopLimit = 700ms;
constexpr auto kWaitFailurePause = 50ms;

// A thread that outlives its time after the stop event is a fault of the program; it is
// said where a developer sees it and then still waited for.
void ReportSlowThread(const char* name, std::chrono::milliseconds limit) {
  std::fprintf(stderr, "vesk: %s has not ended %lld ms after the stop event; waiting for it\n",
               name, static_cast<long long>(limit.count()));
}

void ReportThreadFailure(const char* what) {
  link::presenter().MessageBox(what, "Ошибка", link::MsgIcon::Error, link::MsgButtons::Ok);
}

std::string Elapsed(std::chrono::steady_clock::duration d) {
  const long long s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

}  // namespace

ExchangeEngine::ExchangeEngine(EngineOptions options)
    : programNet_(options.store, std::move(options.listPorts)),
      modes_(options.modes ? options.modes : &ownModes_),
      fullAccess_(options.accessLevel > 1) {
  programNet_.FillParameters();
  programNet_.ToPortSettings(port().settings());
}

ExchangeEngine::~ExchangeEngine() {
  StopThreads();
}

// ---------------------------------------------------------------- shared state

std::string ExchangeEngine::DiffReport() const {
  std::lock_guard lock(stateMutex_);
  return diffReport_;
}

void ExchangeEngine::AppendDiffReport(std::string_view text) {
  std::lock_guard lock(stateMutex_);
  diffReport_ += text;
}

void ExchangeEngine::ClearDiffReport() {
  std::lock_guard lock(stateMutex_);
  diffReport_.clear();
}

bool ExchangeEngine::Cancelled() {
  return cancelEvent.is_set() || stopEvent().is_set();
}

void ExchangeEngine::set_progress_sink(ProgressSink* sink) {
  sink_.store(sink);
}

ProgressSink& ExchangeEngine::sink() {
  ProgressSink* s = sink_.load();
  return s ? *s : headless_;
}

void ExchangeEngine::set_hooks(EngineHooks hooks) {
  std::lock_guard lock(stateMutex_);
  hooks_ = std::move(hooks);
}

void ExchangeEngine::CallHook(std::function<void()> EngineHooks::*hook) {
  std::function<void()> f;
  {
    std::lock_guard lock(stateMutex_);
    f = hooks_.*hook;
  }
  if (f) f();
}

void ExchangeEngine::UpdateAllViews() {
  CallHook(&EngineHooks::updateAllViews);
}

void ExchangeEngine::set_unattended(UnattendedRun run) {
  set_command_line_run(run.active);
  std::lock_guard lock(stateMutex_);
  unattended_ = std::move(run);
}

UnattendedRun ExchangeEngine::unattended() const {
  std::lock_guard lock(stateMutex_);
  return unattended_;
}

void ExchangeEngine::set_log_path(std::string path) {
  std::lock_guard lock(stateMutex_);
  logPath_ = std::move(path);
}

std::string ExchangeEngine::log_path() const {
  std::lock_guard lock(stateMutex_);
  return logPath_;
}

std::string ExchangeEngine::log_error() const {
  std::lock_guard lock(stateMutex_);
  return logError_;
}

void ExchangeEngine::set_log_error(std::string reason) {
  std::lock_guard lock(stateMutex_);
  logError_ = std::move(reason);
}

void ExchangeEngine::reload_settings() {
  programNet_.ToPortSettings(port().settings());
  // Whoever opens the port now owns it; the exchange thread no longer closes it.
  portOpenedForTask_.store(false);
}

// ---------------------------------------------------------------- threads

int ExchangeEngine::StartTransmitThread() {
  std::lock_guard lock(threadMutex_);
  if (transmitRunning_.load()) return 0;
  if (transmit_.joinable()) transmit_.join();
  transmitEnded_.reset();
  transmitRunning_.store(true);
  try {
    transmit_ = std::thread([this] { TransmitThread(); });
  } catch (const std::system_error& e) {
    transmitRunning_.store(false);
    link::presenter().MessageBox(std::string(kTransmitThreadFailedText) + "\n" + e.what(), "Error",
                                 link::MsgIcon::None, link::MsgButtons::Ok);
    return 1;
  }
  return 0;
}

int ExchangeEngine::StartScanThread(std::function<void()> body) {
  std::lock_guard lock(threadMutex_);
  if (scanRunning_.load()) return 0;
  if (scan_.joinable()) scan_.join();
  scanEnded_.reset();
  scanRunning_.store(true);
  try {
    scan_ = std::thread([this, body = std::move(body)] {
      try {
        if (body) body();
      } catch (const std::exception& e) {
        ReportThreadFailure(e.what());
      }
      scanRunning_.store(false);
      scanEnded_.set();
    });
  } catch (const std::system_error& e) {
    scanRunning_.store(false);
    link::presenter().MessageBox(std::string(kScanThreadFailedText) + "\n" + e.what(), "Error",
                                 link::MsgIcon::None, link::MsgButtons::Ok);
    return 1;
  }
  return 0;
}

int ExchangeEngine::StopThreads() {
  std::lock_guard lock(threadMutex_);
  stopEvent().set();
  const auto self = std::this_thread::get_id();
  if (scan_.joinable() && scan_.get_id() != self) {
    if (platform::wait_any({platform::waitable(scanEnded_)}, kScanStopLimit) < 0)
      ReportSlowThread("ScanThread", kScanStopLimit);
    scan_.join();
  }
  if (transmit_.joinable() && transmit_.get_id() != self) {
    if (platform::wait_any({platform::waitable(transmitEnded_)}, kTransmitStopLimit) < 0)
      ReportSlowThread("TransmitThread", kTransmitStopLimit);
    transmit_.join();
  }
  stopEvent().reset();
  return 1;
}

void ExchangeEngine::TransmitThread() {
  using platform::waitable;
  const std::vector<platform::Waitable> waits{waitable(readAllEvent),      waitable(writeAllEvent),
                                              waitable(writeChangedEvent), waitable(compareEvent),
                                              waitable(initialiseEvent),   waitable(stopEvent()),
                                              waitable(readOneEvent),      waitable(writeOneEvent)};
  for (;;) {
    const int which = platform::wait_any(waits, std::chrono::milliseconds(-1));
    if (which == kSlotStop) break;
    if (which < 0) {
      std::this_thread::sleep_for(kWaitFailurePause);
      continue;
    }
    // Whatever the window thread did before it started the task (the port it opened or
    // closed, the target and the counters) is visible from here on.
    tasksStarted_.load(std::memory_order_acquire);
    // A port that the document could not open is tried once more for the task (the
    // exchanges report a failure), and closed again when the task is done.
    if (!port().is_open()) {
      open_port(false);
      portOpenedForTask_.store(true);
    }
    try {
      ServeTask(which);
    } catch (const std::exception& e) {
      ReportThreadFailure(e.what());
    }
    try {
      FinishTask();
    } catch (const std::exception& e) {
      ReportThreadFailure(e.what());
    }
  }

  // Nothing may be left that would wake a later thread for a target that no longer
  // exists, and no window may stay open that nothing would close.
  {
    std::lock_guard lock(windowMutex_);
    transmitRunning_.store(false);
    taskTarget.store(nullptr);
    singleTarget.store(nullptr);
    readOneEvent.reset();
    writeOneEvent.reset();
    for (platform::Event* e :
         {&readAllEvent, &writeAllEvent, &writeChangedEvent, &compareEvent, &initialiseEvent})
      e->reset();
    if (windowOpen_.load()) {
      sink().Close();
      windowOpen_.store(false);
      busy_.store(false);
      sink().TaskEnded();
    }
  }
  if (portOpenedForTask_.exchange(false)) close_port();
  transmitEnded_.set();
}

void ExchangeEngine::ServeTask(int which) {
  model::ObjectWithParameters* target = taskTarget.exchange(nullptr);
  switch (which) {
    case kSlotReadAll:
      readAllEvent.reset();
      if (target) ReadNode(*this, *target);
      break;
    case kSlotWriteAll:
      writeAllEvent.reset();
      if (target) WriteNode(*this, *target, kModeAll);
      break;
    case kSlotWriteChanged:
      writeChangedEvent.reset();
      if (target) WriteNode(*this, *target, kModeChanged);
      break;
    case kSlotCompare:
      compareEvent.reset();
      if (target) CompareNode(*this, *target);
      break;
    case kSlotInitialise:
      initialiseEvent.reset();
      if (target) WriteNode(*this, *target, kModeInitial);
      break;
    case kSlotReadOne:
      progressDone.store(0);
      if (link::Parameter* p = singleTarget.exchange(nullptr)) ReadParameter(*this, *p, true);
      break;
    case kSlotWriteOne:
      progressDone.store(0);
      if (link::Parameter* p = singleTarget.exchange(nullptr)) WriteParameter(*this, *p, kModeAll);
      break;
    default:
      break;
  }
}

void ExchangeEngine::FinishTask() {
  ProgressLog("");
  ProgressLog(kTaskDoneText);
  {
    std::lock_guard lock(windowMutex_);
    if (windowOpen_.load()) sink().ScrollToBottom();
  }
  // The finished window stays up for a while unless the user cancels.
  platform::wait_any({platform::waitable(cancelEvent), platform::waitable(stopEvent())},
                     std::chrono::milliseconds(lingerMs_.load()));
  EndTaskWindow();

  // While the threads are being stopped, the window thread waits for this one: a
  // synchronous request to it now would never return.
  const bool stopping = stopEvent().is_set();
  if (netParamsWritten.exchange(false) && !stopping) CallHook(&EngineHooks::applyRequest);
  if (portOpenedForTask_.exchange(false)) close_port();

  const UnattendedRun run = unattended();
  if (run.active) {
    if (run.read && !stopping) CallHook(&EngineHooks::saveRequest);
    if (run.doneEvent) run.doneEvent->set();
  }
  cancelEvent.reset();

  // The window thread may start the next task as soon as it sees this one ended; a new
  // task takes the busy state under the same lock, so it cannot slip in between.
  std::lock_guard lock(windowMutex_);
  busy_.store(false);
  sink().TaskEnded();
}

void ExchangeEngine::EndTaskWindow() {
  std::lock_guard lock(windowMutex_);
  if (!windowOpen_.load()) return;
  sink().Close();
  windowOpen_.store(false);
}

// ---------------------------------------------------------------- tasks

bool ExchangeEngine::RunTask(model::ObjectWithParameters* target, int code) {
  if (IsSingleParameterTask(code)) return false;
  return RunWindow(code, [&] {
    taskTarget.store(target);
    progressTotal.store(target ? target->CountForTask(CountModeOf(code)) : 0);
    progressDone.store(0);
  });
}

bool ExchangeEngine::RunSingleTask(link::Parameter* parameter, int code) {
  if (!parameter || !IsSingleParameterTask(code)) return false;
  return RunWindow(code, [&] {
    singleTarget.store(parameter);
    progressTotal.store(1);
    progressDone.store(0);
  });
}

bool ExchangeEngine::RunWindow(int code, const std::function<void()>& prepare) {
  const std::string_view caption = TaskCaption(code);
  if (caption.empty()) return false;
  {
    std::lock_guard lock(windowMutex_);
    bool expected = false;
    if (!busy_.compare_exchange_strong(expected, true)) return false;
    if (!transmitRunning_.load()) {
      busy_.store(false);
      return false;
    }
  }
  prepare();
  bool opened = false;
  const int range = static_cast<int>(static_cast<uint32_t>(progressTotal.load()) & 0xFFFFu);
  const bool ran = sink().Run(code, caption, range, [&] {
    opened = true;
    OnWindowOpened(code);
  });
  // Without an opened window no task was started that would end the busy state.
  if (!opened) busy_.store(false);
  return ran;
}

void ExchangeEngine::OnWindowOpened(int code) {
  std::lock_guard lock(windowMutex_);
  cancelEvent.reset();
  windowOpen_.store(true);
  windowLines_ = 0;
  taskStartTime_ = std::chrono::steady_clock::now();
  if (!transmitRunning_.load()) {
    // The exchange thread ended after RunTask looked: nothing would close this window.
    sink().Close();
    windowOpen_.store(false);
    taskTarget.store(nullptr);
    singleTarget.store(nullptr);
    busy_.store(false);
    sink().TaskEnded();
    return;
  }
  tasksStarted_.fetch_add(1, std::memory_order_release);
  switch (code) {
    case kTaskReadAll:
      readAllEvent.set();
      break;
    case kTaskReadOne:
      readOneEvent.set();
      break;
    case kTaskWriteAll:
      writeAllEvent.set();
      break;
    case kTaskWriteChanged:
      writeChangedEvent.set();
      break;
    case kTaskCompare:
      compareEvent.set();
      break;
    case kTaskInitialise:
      initialiseEvent.set();
      break;
    case kTaskWriteOne:
      writeOneEvent.set();
      break;
    default:
      break;
  }
}

void ExchangeEngine::ProgressLog(std::string_view text) {
  std::lock_guard lock(windowMutex_);
  if (!windowOpen_.load()) return;
  ProgressLine line;
  line.text = std::string(text);
  ++windowLines_;
  line.scrollToBottom = windowLines_ % 5 == 0;
  line.elapsed = Elapsed(std::chrono::steady_clock::now() - taskStartTime_);
  const int32_t total = progressTotal.load();
  if (total != 0) {
    const int32_t done = progressDone.load();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%i из %i", static_cast<int>(done), static_cast<int>(total));
    line.counter = buf;
    line.position = done;
  }
  sink().Log(line);
}

void ExchangeEngine::Cancel() {
  cancelEvent.set();
  link::exitStatus.store(kStatusCancelled);
}

}  // namespace vesk::exchange
