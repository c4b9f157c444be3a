#pragma once
// The application, CConfiguratorApp: start-up (InitInstance), the unattended run that the
// command line asks for, its two watcher threads, saving into the command line's file, and
// shut-down with the exit code (ExitInstance). The same for the window and the headless
// run; the front end shows what there is to show and runs the posted work.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "app/document.h"
#include "app/exit_event.h"
#include "app/front_end.h"
#include "platform/event.h"

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::app {

inline constexpr const char* kNoWindowsText =
    "Не удалось выполнить создание окон.\nПрограмме не хватает ресурсов!";
inline constexpr const char* kCalibrationUnsupportedText =
    "Калибровка (ключ calibrate) конфигуратором прибора ВЕСК не выполняется.";
inline constexpr const char* kReadWriteConflictText =
    "Ключи read и write несовместимы: задание не выполнено.";
inline constexpr const char* kLogCreateFailedText = "Не удалось создать журнал ошибок";
inline constexpr const char* kExitEventFailedText =
    "Не удалось открыть семафор завершения (exitevent)";

// The exit code of an outcome that no exit status bit reports: a start that failed, a
// command-line task that could not run, a save into the named file that failed.
inline constexpr int kExitFailure = 1;

// How a command-line run's file is treated at start-up (step 9).
enum class FileDecision {
  NewConfiguration,         // start with a new configuration
  OpenFile,                 // open the named file
  NewConfigurationForPath,  // new configuration that takes the named (missing) path
  WriteFileMissing,         // `write` with a missing, empty or unusable file: exit 200
};

// Step 9 for the keys and the file as they are now. With `write`, a file that exists but
// cannot be opened whole as a configuration counts as missing (nothing half-read is ever
// written into a device); `loadable` tells that (it is asked only then).
FileDecision DecideFile(const CommandLineSettings& settings, const std::string& command_file,
                        bool (*loadable)(const std::string& path));

// True when the file at `path` opens whole as a configuration with a tree (messages of a
// failure go through the presenter).
bool ConfigurationLoadable(const std::string& path);

// True when some parameter under `node` holds a value and no failure note (a read got it).
bool AnyValueRead(const model::DescBranch* node);

class CConfiguratorApp {
 public:
  // `store`: where the settings live (nullptr: the default store).
  explicit CConfiguratorApp(FrontEnd& front_end, platform::SettingsStore* store = nullptr);
  // Ends what still runs (as ExitInstance does).
  ~CConfiguratorApp();
  CConfiguratorApp(const CConfiguratorApp&) = delete;
  CConfiguratorApp& operator=(const CConfiguratorApp&) = delete;

  // Start-up, steps 1-13, for the parsed command line. Returns true when the program goes
  // on to Run; false when start-up ended (code 200 for a missing file with `write`, a
  // refused new configuration, a file that could not be opened, no main window).
  bool InitInstance(const CommandLine& command_line);

  // Runs the front end's loop until the main window closes.
  void Run();

  // Shut-down: ends the watchers, releases the document (and with it the engine and the
  // port), and returns the exit code chosen from the exit status, or the ordinary one.
  int ExitInstance();

  // The save request of an unattended read: saves the document into commandFile, whole or
  // not at all. A read that was cancelled, or that got no value at all, is not saved over
  // the file. Returns true when saved; a failed save has been reported and makes the
  // ordinary exit code a failure.
  bool SaveToCommandFile();

  CTRB6Doc* document() { return document_.get(); }
  // A copy of the command-line settings as they stand now (zeroed once the task is done).
  CommandLineSettings settings() const;
  const std::string& commandFile() const { return commandFile_; }
  const std::string& logPath() const { return logPath_; }
  const std::string& programDirectory() const { return programDirectory_; }
  ExitRequest& exitRequest() { return exitRequest_; }
  platform::Event& shutdownEvent() { return shutdownEvent_; }
  int accessLevel() const { return accessLevel_; }
  bool extFlag() const { return ext_; }
  int ordinaryExitCode() const { return ordinaryExitCode_.load(); }

 private:
  class GuardedProgress;

  void PrepareLog(const std::string& path);
  void PrepareExitEvent(const std::string& name);
  bool CreateDocument(FileDecision decision);
  void StartAutomation();
  void RunPostedCommand(int id);
  void AutomationWatcher(std::shared_ptr<platform::Event> done);
  void ShutdownWatcher();
  void StopAutomationWatcher();
  void ZeroSettings();
  void Fail() { ordinaryExitCode_.store(kExitFailure); }

  FrontEnd& frontEnd_;
  platform::SettingsStore* store_;

  mutable std::mutex settingsMutex_;
  CommandLineSettings settings_;
  std::string commandFile_;
  std::string logPath_;
  std::string programDirectory_;
  bool ext_ = false;
  bool verbose_ = false;
  int accessLevel_ = 0;
  std::atomic<int> ordinaryExitCode_{0};

  ExitRequest exitRequest_;
  platform::Event shutdownEvent_{platform::Event::Reset::Manual};
  // Set once an exit has been requested: no task starts any more, a started one stops.
  std::atomic<bool> exiting_{false};

  std::unique_ptr<CTRB6Doc> document_;
  std::unique_ptr<GuardedProgress> progress_;

  platform::Event automationStop_{platform::Event::Reset::Manual};
  std::thread automationWatcher_;
  std::thread shutdownWatcher_;
  bool exited_ = false;
};

}  // namespace vesk::app
