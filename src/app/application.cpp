#include "app/application.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/exit_code.h"
#include "app/port_keys.h"
#include "exchange/device_commands.h"
#include "link/exit_status.h"
#include "link/presenter.h"
#include "model/config_file.h"
#include "model/description_loader.h"
#include "model/scratch_configuration.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "platform/wait.h"

namespace vesk::app {
namespace {

constexpr auto kWaitForever = std::chrono::milliseconds(-1);

void Show(std::string_view text, std::string_view caption, link::MsgIcon icon) {
  link::presenter().ShowMessage(text, caption, icon, link::MsgButtons::Ok);
}

// The running executable's full path; empty when the system does not tell.
std::string ProgramPath() {
  std::vector<char> buf(512);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() >= 65536) return {};
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

bool AnyValueRead(const model::DescriptionBranch* node) {
  if (!node) return false;
  for (const auto& p : node->parameters)
    if (p->note.empty() && p->value != link::kNoData) return true;
  for (const auto& child : node->children)
    if (AnyValueRead(child.get())) return true;
  return false;
}

// ---------------------------------------------------------------- the file decision

bool ConfigurationLoadable(const std::string& path) {
  model::ScratchConfiguration target;
  return model::LoadConfiguration(path, target) == model::LoadOutcome::Loaded &&
         target.tree.root != nullptr;
}

FileDecision DecideFile(const CommandLineSettings& settings, const std::string& command_file,
                        bool (*loadable)(const std::string& path)) {
  if (settings.flags & cmdflag::kRead) return FileDecision::NewConfiguration;
  if (command_file.empty()) return FileDecision::NewConfiguration;
  const bool write = (settings.flags & cmdflag::kWrite) != 0;
  struct stat st {};
  const bool present = ::stat(command_file.c_str(), &st) == 0 && st.st_size > 0;
  if (!present)
    return write ? FileDecision::WriteFileMissing : FileDecision::NewConfigurationForPath;
  if (write && loadable && !loadable(command_file)) return FileDecision::WriteFileMissing;
  return FileDecision::OpenFile;
}

// ---------------------------------------------------------------- the progress window

// The front end's progress window with one addition: a task that opens after an exit was
// requested is cancelled at once (the shutdown watcher may have looked for an open window
// just before this one opened).
class Application::GuardedProgress : public exchange::ProgressSink {
 public:
  GuardedProgress(Application& app, exchange::ProgressSink& inner) : app_(app), inner_(inner) {}

  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override {
    return inner_.Run(code, caption, range, [&] {
      opened();
      if (app_.exiting_.load() && app_.document_) app_.document_->engine().cancel_event.Set();
    });
  }
  void Log(const exchange::ProgressLine& line) override { inner_.Log(line); }
  void ScrollToBottom() override { inner_.ScrollToBottom(); }
  bool Close() override { return inner_.Close(); }
  void TaskEnded() override { inner_.TaskEnded(); }

 private:
  Application& app_;
  exchange::ProgressSink& inner_;
};

// ---------------------------------------------------------------- the application

Application::Application(FrontEnd& front_end, platform::SettingsStore* store)
    : front_end_(front_end), store_(store) {}

Application::~Application() {
  Shutdown();
}

CommandLineSettings Application::settings() const {
  std::lock_guard lock(settings_mutex_);
  return settings_;
}

bool Application::Start(const CommandLine& command_line) {
  front_end_.ShowSplash();  // step 1
  ext_ = command_line.ext;  // step 2
  access_level_ = 2;        // step 3
  {                         // steps 6 and 7
    std::lock_guard lock(settings_mutex_);
    settings_.Clear();
    settings_ = command_line.settings;
    settings_.done_event.reset();
  }
  command_file_ = command_line.command_file;
  verbose_ = command_line.verbose;
  const CommandLineSettings keys = settings();
  const bool silent = (keys.modes & modebit::kSilent) != 0;
  if (!silent || verbose_)
    for (const std::string& problem : command_line.problems)
      std::fprintf(stderr, "vesk-configurator: %s\n", problem.c_str());
  if (!command_line.log_path.empty()) PrepareLog(command_line.log_path);
  // SIGTERM and SIGINT ask for an orderly end from here on; an exit event as well.
  if (const int err = exit_request_.CatchSignals(); err != 0 && err != EBUSY)
    std::fprintf(stderr, "vesk-configurator: sigaction: %s\n", std::strerror(err));
  if (!command_line.exit_event_name.empty()) PrepareExitEvent(command_line.exit_event_name);
  program_directory_ = platform::ProgramFolder();  // step 8
  if (std::string error; !line_watch_.Open(command_line, error)) {
    Show(error, platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
    Fail();
    front_end_.DestroySplash();
    return false;
  }

  // Reading into the file and writing it at once cannot both be done: taken together, the
  // read would start from an empty configuration, the write would send nothing, and the
  // empty configuration would then be saved over the file.
  const uint32_t read_write = cmdflag::kRead | cmdflag::kWrite;
  if ((keys.flags & read_write) == read_write) {
    Show(platform::Tr(kReadWriteConflictText), platform::Tr(model::kProgramTitle),
         link::MsgIcon::Error);
    Fail();
    front_end_.DestroySplash();
    return false;
  }

  const FileDecision decision =  // step 9
      DecideFile(keys, command_file_, &ConfigurationLoadable);
  if (decision == FileDecision::WriteFileMissing) {
    link::exit_status.store(exitbit::kWriteFileMissing);
    front_end_.DestroySplash();
    return false;
  }
  if (!CreateDocument(decision)) {  // step 10
    front_end_.DestroySplash();
    return false;
  }
  StartAutomation();                                      // step 11
  if (decision == FileDecision::NewConfigurationForPath)  // step 12
    document_->path_name = command_file_;
  front_end_.DestroySplash();  // step 13
  return true;
}

void Application::PrepareLog(const std::string& path) {
  log_path_ = path;
  // Created empty now, so that a run without failures leaves an empty log, not an old one.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) {
    const int err = errno;
    Show(std::string(platform::Tr(kLogCreateFailedText)) + " \"" + path + "\":\n" +
             std::strerror(err),
         platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
    return;
  }
  ::close(fd);
}

void Application::PrepareExitEvent(const std::string& name) {
  std::string error;
  if (exit_request_.OpenSemaphore(name, error) != 0)
    Show(std::string(platform::Tr(kExitEventFailedText)) + " \"" + name + "\":\n" + error,
         platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
}

bool Application::CreateDocument(FileDecision decision) {
  DocumentEnvironment env;
  env.front_end = &front_end_;
  env.store = store_;
  env.settings = settings();
  env.probe_cancel = &exit_request_.event();
  env.program_path = ProgramPath();
  env.program_directory = program_directory_;
  env.access_level = access_level_;
  env.on_link = [this](link::DeviceLink& link) { line_watch_.Attach(link); };
  document_ = std::make_unique<Document>(std::move(env));

  exchange::ExchangeEngine& engine = document_->engine();
  exchange::ProgressSink* inner = front_end_.Progress();
  progress_ = std::make_unique<GuardedProgress>(*this, inner ? *inner : engine.headless_progress());
  engine.headless_progress().set_verbose(verbose_);
  engine.SetProgressSink(progress_.get());
  engine.set_log_path(log_path_);
  engine.set_hooks(exchange::EngineHooks{
      .apply_request =
          [this] {
            exchange::ExchangeEngine& engine = document_->engine();
            exchange::NetworkModeChange(
                engine, document_->DeviceNet(), [this, &engine](exchange::ApplyDialog& d) {
                  bool ok = false;
                  engine.SendToWindow([&] { ok = front_end_.RunApplyDialog(d); });
                  return ok;
                });
          },
      .save_request = [this] { SaveToCommandFile(); },
      .update_all_views = [this] { front_end_.RefreshViews(); },
      .send = [this](const std::function<void()>& work,
                     platform::Event& stop) { return front_end_.SendUnlessStopped(work, stop); },
  });

  const bool opened = decision == FileDecision::OpenFile ? document_->OpenDocument(command_file_)
                                                         : document_->NewDocument();
  if (!opened) {
    // A start refused on purpose (test, or "Выход" of the set-up) reports through the exit
    // status alone; any other refusal is a failed start.
    if (!document_->quit_requested) Fail();
    return false;
  }
  const CommandLineSettings keys = settings();
  if (keys.flags & cmdflag::kCommandLineRun) document_->ApplyPortSettingsToDevice(keys);
  if (!front_end_.CreateMainWindow(*document_)) {
    Show(platform::Tr(kNoWindowsText), platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
    Fail();
    return false;
  }
  // The view's first update starts the exchange thread.
  engine.StartTransmitThread();
  return true;
}

void Application::StartAutomation() {
  const CommandLineSettings keys = settings();
  front_end_.PlaceMainWindow(keys);
  exchange::ExchangeEngine& engine = document_->engine();
  if (keys.converter == kConverterOff)
    engine.port().set_converter_mode(link::kConverterAuto);
  else if (keys.converter == kConverterAuto || keys.converter == kConverterOn)
    engine.port().set_converter_mode(link::kConverterSemiAuto);
  else if (keys.converter == kConverterDriver)
    engine.port().set_converter_mode(link::kConverterKernel);
  ApplyEchoKey(engine, keys);
  if (keys.modes & modebit::kAutoReadOn) document_->modes().auto_read.store(true);
  if (keys.modes & modebit::kAutoReadOff) document_->modes().auto_read.store(false);

  if (keys.flags & cmdflag::kCommandLineRun) {
    auto done = std::make_shared<platform::Event>(platform::Event::Reset::Auto, true);
    {
      std::lock_guard lock(settings_mutex_);
      settings_.done_event = done;
    }
    int command = 0;
    if (keys.flags & cmdflag::kWrite)
      command = cmd::kWriteAll;
    else if (keys.flags & cmdflag::kCalibrate)
      command = cmd::kCalibrate;
    else if (keys.flags & cmdflag::kRead)
      command = cmd::kReadAll;
    exchange::UnattendedRun run;
    run.active = true;
    run.read = (keys.flags & cmdflag::kRead) != 0;
    run.aply = (keys.flags & cmdflag::kAply) != 0;
    run.done_event = done;
    engine.set_unattended(run);
    // The finished task's window lingers for a person to read it; a run that closes
    // afterwards, or has no window, has no one to read it.
    if ((keys.flags & cmdflag::kClose) || !front_end_.StaysOpenAfterTask())
      engine.SetLinger(std::chrono::milliseconds(0));
    if (command != 0) {
      done->reset();
      front_end_.Post([this, command] { RunPostedCommand(command); });
    }
    automation_stop_.reset();
    automation_watcher_ = std::thread([this, done] { AutomationWatcher(done); });
  }
  shutdown_watcher_ = std::thread([this] { ShutdownWatcher(); });
}

void Application::RunPostedCommand(int id) {
  const std::shared_ptr<platform::Event> done = settings().done_event;
  bool ran = false;
  if (!exiting_.load() && document_) {
    if (id == cmd::kCalibrate) {
      // Nothing in the program calibrates; the run ends instead of waiting for ever.
      Show(platform::Tr(kCalibrationUnsupportedText), platform::Tr(model::kProgramTitle),
           link::MsgIcon::Warning);
      Fail();
    } else {
      ran = document_->RunCommand(id);
      if (!ran) Fail();  // the task could not start (no tree, no exchange thread)
    }
  }
  // A task signals the end itself; without one nothing else would.
  if (!ran && done) done->Set();
}

void Application::AutomationWatcher(std::shared_ptr<platform::Event> done) {
  const int woke = platform::WaitAny(
      {platform::Signalled(*done), platform::Signalled(automation_stop_)}, kWaitForever);
  if (woke != 0) return;
  front_end_.ClearPlacementLock();
  const CommandLineSettings keys = settings();
  if ((keys.flags & (cmdflag::kClose | cmdflag::kCalibrate)) || !front_end_.StaysOpenAfterTask())
    front_end_.RequestClose();
  ZeroSettings();
}

void Application::ZeroSettings() {
  {
    std::lock_guard lock(settings_mutex_);
    settings_.Clear();
  }
  if (document_) {
    document_->engine().set_unattended({});
    document_->engine().set_silent(false);
  }
}

void Application::ShutdownWatcher() {
  const int woke = platform::WaitAny(
      {platform::Signalled(shutdown_event_), platform::Signalled(exit_request_.event())},
      kWaitForever);
  const bool exit_requested = woke == 1;
  // Set before looking for a task window; a window that opens later looks at it.
  if (exit_requested) exiting_.store(true);
  if (exit_requested) link::exit_status.store(exitbit::kCancelled);
  if (document_ && document_->engine().TaskWindowOpen()) document_->engine().cancel_event.Set();
  if (exit_requested) {
    exit_request_.CloseSemaphore();
    front_end_.RequestClose();
  }
}

void Application::StopAutomationWatcher() {
  automation_stop_.Set();
  if (automation_watcher_.joinable()) automation_watcher_.join();
}

void Application::Run() {
  front_end_.Run();
}

int Application::Shutdown() {
  if (!exited_) {
    exited_ = true;
    shutdown_event_.Set();
    if (shutdown_watcher_.joinable()) shutdown_watcher_.join();
    StopAutomationWatcher();
    // The exchanges after a cancel overwrite the exit status; the run still ended because
    // the user stopped its task.
    const bool task_cancelled = document_ && document_->engine().UnattendedRunCancelled();
    // The engine's threads end before the tree goes; the port settings are stored then.
    document_.reset();
    line_watch_.LinkGone();
    line_watch_.Finish(stderr);
    progress_.reset();
    exit_request_.CloseSemaphore();
    // Whatever the exchange recorded after the request, the run ended because of it.
    if (task_cancelled || exit_request_.source() != ExitSource::None)
      link::exit_status.store(exitbit::kCancelled);
  }
  return ChooseExitCode(link::exit_status.load(), ordinary_exit_code_.load());
}

bool Application::SaveToCommandFile() {
  // A read cut short by the user or an exit request is not put over the file.
  if (exiting_.load() || (link::exit_status.load() & exitbit::kCancelled)) return false;
  if (!document_ || document_->engine().TaskCancelled()) return false;
  // A read that got no value at all (no device, no port) has nothing to keep; the file
  // stays as it was instead of being replaced by an empty configuration.
  if (!AnyValueRead(document_->Root())) return false;
  if (!document_->SaveDocument(command_file_)) {
    Fail();
    return false;
  }
  document_->path_name = command_file_;
  return true;
}

}  // namespace vesk::app
