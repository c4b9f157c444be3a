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
#include "exchange/device_commands.h"
#include "link/exit_status.h"
#include "link/presenter.h"
#include "model/config_file.h"
#include "model/description_loader.h"
#include "model/tree_builder.h"
#include "platform/paths.h"
#include "platform/wait.h"

namespace vesk::app {
namespace {

constexpr auto kWaitForever = std::chrono::milliseconds(-1);

void Show(std::string_view text, std::string_view caption, link::MsgIcon icon) {
  link::presenter().MessageBox(text, caption, icon, link::MsgButtons::Ok);
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

// A configuration of the device's description, for the check of a file before anything
// is written from it.
class ScratchTarget : public model::ConfigurationTarget {
 public:
  model::DescBranch* ReloadDescription(int32_t device_kind) override {
    model::LoadDescription(device_kind, tree);
    return tree.root.get();
  }
  model::DescriptionTree tree;
};

}  // namespace

bool AnyValueRead(const model::DescBranch* node) {
  if (!node) return false;
  for (const auto& p : node->parameters)
    if (p->note.empty() && p->value != link::kNoData) return true;
  for (const auto& child : node->children)
    if (AnyValueRead(child.get())) return true;
  return false;
}

// ---------------------------------------------------------------- the file decision

bool ConfigurationLoadable(const std::string& path) {
  ScratchTarget target;
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
class CConfiguratorApp::GuardedProgress : public exchange::ProgressSink {
 public:
  GuardedProgress(CConfiguratorApp& app, exchange::ProgressSink& inner)
      : app_(app), inner_(inner) {}

  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override {
    return inner_.Run(code, caption, range, [&] {
      opened();
      if (app_.exiting_.load() && app_.document_) app_.document_->engine().cancelEvent.set();
    });
  }
  void Log(const exchange::ProgressLine& line) override { inner_.Log(line); }
  void ScrollToBottom() override { inner_.ScrollToBottom(); }
  bool Close() override { return inner_.Close(); }
  void TaskEnded() override { inner_.TaskEnded(); }

 private:
  CConfiguratorApp& app_;
  exchange::ProgressSink& inner_;
};

// ---------------------------------------------------------------- the application

CConfiguratorApp::CConfiguratorApp(FrontEnd& front_end, platform::SettingsStore* store)
    : frontEnd_(front_end), store_(store) {}

CConfiguratorApp::~CConfiguratorApp() {
  ExitInstance();
}

CommandLineSettings CConfiguratorApp::settings() const {
  std::lock_guard lock(settingsMutex_);
  return settings_;
}

bool CConfiguratorApp::InitInstance(const CommandLine& command_line) {
  frontEnd_.ShowSplash();   // step 1
  ext_ = command_line.ext;  // step 2
  accessLevel_ = 2;         // step 3
  {                         // steps 6 and 7
    std::lock_guard lock(settingsMutex_);
    settings_.Clear();
    settings_ = command_line.settings;
    settings_.doneEvent.reset();
  }
  commandFile_ = command_line.commandFile;
  verbose_ = command_line.verbose;
  const CommandLineSettings keys = settings();
  const bool silent = (keys.modes & modebit::kSilent) != 0;
  if (!silent || verbose_)
    for (const std::string& problem : command_line.problems)
      std::fprintf(stderr, "vesk-configurator: %s\n", problem.c_str());
  if (!command_line.logPath.empty()) PrepareLog(command_line.logPath);
  // SIGTERM and SIGINT ask for an orderly end from here on; an exit event as well.
  if (const int err = exitRequest_.CatchSignals(); err != 0 && err != EBUSY)
    std::fprintf(stderr, "vesk-configurator: sigaction: %s\n", std::strerror(err));
  if (!command_line.exitEventName.empty()) PrepareExitEvent(command_line.exitEventName);
  programDirectory_ = platform::ProgramFolder();  // step 8

  // Reading into the file and writing it at once cannot both be done: taken together, the
  // read would start from an empty configuration, the write would send nothing, and the
  // empty configuration would then be saved over the file.
  const uint32_t read_write = cmdflag::kRead | cmdflag::kWrite;
  if ((keys.flags & read_write) == read_write) {
    Show(kReadWriteConflictText, model::kProgramTitle, link::MsgIcon::Error);
    Fail();
    frontEnd_.DestroySplash();
    return false;
  }

  const FileDecision decision =  // step 9
      DecideFile(keys, commandFile_, &ConfigurationLoadable);
  if (decision == FileDecision::WriteFileMissing) {
    link::exitStatus.store(exitbit::kWriteFileMissing);
    frontEnd_.DestroySplash();
    return false;
  }
  if (!CreateDocument(decision)) {  // step 10
    frontEnd_.DestroySplash();
    return false;
  }
  StartAutomation();                                      // step 11
  if (decision == FileDecision::NewConfigurationForPath)  // step 12
    document_->pathName = commandFile_;
  frontEnd_.DestroySplash();  // step 13
  return true;
}

void CConfiguratorApp::PrepareLog(const std::string& path) {
  logPath_ = path;
  // Created empty now, so that a run without failures leaves an empty log, not an old one.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) {
    const int err = errno;
    Show(std::string(kLogCreateFailedText) + " \"" + path + "\":\n" + std::strerror(err),
         model::kProgramTitle, link::MsgIcon::Error);
    return;
  }
  ::close(fd);
}

void CConfiguratorApp::PrepareExitEvent(const std::string& name) {
  std::string error;
  if (exitRequest_.OpenSemaphore(name, error) != 0)
    Show(std::string(kExitEventFailedText) + " \"" + name + "\":\n" + error, model::kProgramTitle,
         link::MsgIcon::Error);
}

bool CConfiguratorApp::CreateDocument(FileDecision decision) {
  DocumentEnvironment env;
  env.frontEnd = &frontEnd_;
  env.store = store_;
  env.settings = settings();
  env.probeCancel = &exitRequest_.event();
  env.programPath = ProgramPath();
  env.programDirectory = programDirectory_;
  env.accessLevel = accessLevel_;
  document_ = std::make_unique<CTRB6Doc>(std::move(env));

  exchange::ExchangeEngine& engine = document_->engine();
  exchange::ProgressSink* inner = frontEnd_.progress();
  progress_ = std::make_unique<GuardedProgress>(*this, inner ? *inner : engine.headless_progress());
  engine.headless_progress().set_verbose(verbose_);
  engine.set_progress_sink(progress_.get());
  engine.set_log_path(logPath_);
  engine.set_hooks(exchange::EngineHooks{
      .applyRequest =
          [this] {
            frontEnd_.Send([this] {
              exchange::NetworkModeChange(
                  document_->engine(), document_->deviceNet(),
                  [this](exchange::ApplyDialog& d) { return frontEnd_.RunApplyDialog(d); });
            });
          },
      .saveRequest = [this] { frontEnd_.Send([this] { SaveToCommandFile(); }); },
      .updateAllViews = [this] { frontEnd_.UpdateAllViews(); },
  });

  const bool opened = decision == FileDecision::OpenFile ? document_->OnOpenDocument(commandFile_)
                                                         : document_->OnNewDocument();
  if (!opened) {
    // A start refused on purpose (test, or "Выход" of the set-up) reports through the exit
    // status alone; any other refusal is a failed start.
    if (!document_->quitRequested) Fail();
    return false;
  }
  const CommandLineSettings keys = settings();
  if (keys.flags & cmdflag::kCommandLineRun) document_->ApplyPortSettingsToDevice(keys);
  if (!frontEnd_.CreateMainWindow(*document_)) {
    Show(kNoWindowsText, model::kProgramTitle, link::MsgIcon::Error);
    Fail();
    return false;
  }
  // The view's first update starts the exchange thread.
  engine.StartTransmitThread();
  return true;
}

void CConfiguratorApp::StartAutomation() {
  const CommandLineSettings keys = settings();
  frontEnd_.PlaceMainWindow(keys);
  exchange::ExchangeEngine& engine = document_->engine();
  if (keys.converter == kConverterOff)
    engine.port().set_converter_mode(link::kConverterAuto);
  else if (keys.converter == kConverterAuto || keys.converter == kConverterOn)
    engine.port().set_converter_mode(link::kConverterSemiAuto);
  if (keys.modes & modebit::kAutoReadOn) document_->modes().autoRead.store(true);
  if (keys.modes & modebit::kAutoReadOff) document_->modes().autoRead.store(false);

  if (keys.flags & cmdflag::kCommandLineRun) {
    auto done = std::make_shared<platform::Event>(platform::Event::Reset::Auto, true);
    {
      std::lock_guard lock(settingsMutex_);
      settings_.doneEvent = done;
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
    run.doneEvent = done;
    engine.set_unattended(run);
    // The finished task's window lingers for a person to read it; a run that closes
    // afterwards, or has no window, has no one to read it.
    if ((keys.flags & cmdflag::kClose) || !frontEnd_.StaysOpenAfterTask())
      engine.set_linger(std::chrono::milliseconds(0));
    if (command != 0) {
      done->reset();
      frontEnd_.Post([this, command] { RunPostedCommand(command); });
    }
    automationStop_.reset();
    automationWatcher_ = std::thread([this, done] { AutomationWatcher(done); });
  }
  shutdownWatcher_ = std::thread([this] { ShutdownWatcher(); });
}

void CConfiguratorApp::RunPostedCommand(int id) {
  const std::shared_ptr<platform::Event> done = settings().doneEvent;
  bool ran = false;
  if (!exiting_.load() && document_) {
    if (id == cmd::kCalibrate) {
      // Nothing in the program calibrates; the run ends instead of waiting for ever.
      Show(kCalibrationUnsupportedText, model::kProgramTitle, link::MsgIcon::Warning);
      Fail();
    } else {
      ran = document_->OnCommand(id);
      if (!ran) Fail();  // the task could not start (no tree, no exchange thread)
    }
  }
  // A task signals the end itself; without one nothing else would.
  if (!ran && done) done->set();
}

void CConfiguratorApp::AutomationWatcher(std::shared_ptr<platform::Event> done) {
  const int woke = platform::wait_any(
      {platform::waitable(*done), platform::waitable(automationStop_)}, kWaitForever);
  if (woke != 0) return;
  frontEnd_.ClearPlacementLock();
  const CommandLineSettings keys = settings();
  if ((keys.flags & (cmdflag::kClose | cmdflag::kCalibrate)) || !frontEnd_.StaysOpenAfterTask())
    frontEnd_.RequestClose();
  ZeroSettings();
}

void CConfiguratorApp::ZeroSettings() {
  {
    std::lock_guard lock(settingsMutex_);
    settings_.Clear();
  }
  if (document_) {
    document_->engine().set_unattended({});
    document_->engine().set_silent(false);
  }
}

void CConfiguratorApp::ShutdownWatcher() {
  const int woke = platform::wait_any(
      {platform::waitable(shutdownEvent_), platform::waitable(exitRequest_.event())}, kWaitForever);
  const bool exit_requested = woke == 1;
  // Set before looking for a task window; a window that opens later looks at it.
  if (exit_requested) exiting_.store(true);
  if (exit_requested) link::exitStatus.store(exitbit::kCancelled);
  if (document_ && document_->engine().TaskWindowOpen()) document_->engine().cancelEvent.set();
  if (exit_requested) {
    exitRequest_.CloseSemaphore();
    frontEnd_.RequestClose();
  }
}

void CConfiguratorApp::StopAutomationWatcher() {
  automationStop_.set();
  if (automationWatcher_.joinable()) automationWatcher_.join();
}

void CConfiguratorApp::Run() {
  frontEnd_.Run();
}

int CConfiguratorApp::ExitInstance() {
  if (!exited_) {
    exited_ = true;
    shutdownEvent_.set();
    if (shutdownWatcher_.joinable()) shutdownWatcher_.join();
    StopAutomationWatcher();
    // The engine's threads end before the tree goes; the port settings are stored then.
    document_.reset();
    progress_.reset();
    exitRequest_.CloseSemaphore();
    // Whatever the exchange recorded after the request, the run ended because of it.
    if (exitRequest_.source() != ExitSource::None) link::exitStatus.store(exitbit::kCancelled);
  }
  return ChooseExitCode(link::exitStatus.load(), ordinaryExitCode_.load());
}

bool CConfiguratorApp::SaveToCommandFile() {
  // A read cut short by the user or an exit request is not put over the file.
  if (exiting_.load() || (link::exitStatus.load() & exitbit::kCancelled)) return false;
  if (!document_) return false;
  // A read that got no value at all (no device, no port) has nothing to keep; the file
  // stays as it was instead of being replaced by an empty configuration.
  if (!AnyValueRead(document_->root())) return false;
  if (!document_->OnSaveDocument(commandFile_)) {
    Fail();
    return false;
  }
  document_->pathName = commandFile_;
  return true;
}

}  // namespace vesk::app
