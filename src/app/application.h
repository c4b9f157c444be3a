#pragma once
// The application, Application: start-up (Start), the unattended run that the
// command line asks for, its two watcher threads, saving into the command line's file, and
// shut-down with the exit code (Shutdown). The same for the window and the headless
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
#include "app/line_watch.h"
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
bool AnyValueRead(const model::DescriptionBranch* node);

class Application {
 public:
  // `store`: where the settings live (nullptr: the default store).
  explicit Application(FrontEnd& front_end, platform::SettingsStore* store = nullptr);
  // Ends what still runs (as Shutdown does).
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Start-up, steps 1-13, for the parsed command line. Returns true when the program goes
  // on to Run; false when start-up ended (code 200 for a missing file with `write`, a
  // refused new configuration, a file that could not be opened, no main window).
  bool Start(const CommandLine& command_line);

  // Runs the front end's loop until the main window closes.
  void Run();

  // Shut-down: ends the watchers, releases the document (and with it the engine and the
  // port), and returns the exit code chosen from the exit status, or the ordinary one.
  int Shutdown();

  // The save request of an unattended read: saves the document into command_file, whole or
  // not at all. A read that was cancelled, or that got no value at all, is not saved over
  // the file. Returns true when saved; a failed save has been reported and makes the
  // ordinary exit code a failure.
  bool SaveToCommandFile();

  Document* document() { return document_.get(); }
  // A copy of the command-line settings as they stand now (zeroed once the task is done).
  CommandLineSettings settings() const;
  const std::string& command_file() const { return command_file_; }
  const std::string& log_path() const { return log_path_; }
  const std::string& program_directory() const { return program_directory_; }
  ExitRequest& exit_request() { return exit_request_; }
  platform::Event& shutdown_event() { return shutdown_event_; }
  int access_level() const { return access_level_; }
  bool ExtFlag() const { return ext_; }
  int ordinary_exit_code() const { return ordinary_exit_code_.load(); }

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
  void Fail() { ordinary_exit_code_.store(kExitFailure); }

  FrontEnd& front_end_;
  platform::SettingsStore* store_;

  mutable std::mutex settings_mutex_;
  CommandLineSettings settings_;
  std::string command_file_;
  std::string log_path_;
  std::string program_directory_;
  bool ext_ = false;
  bool verbose_ = false;
  int access_level_ = 0;
  std::atomic<int> ordinary_exit_code_{0};

  ExitRequest exit_request_;
  platform::Event shutdown_event_{platform::Event::Reset::Manual};
  // Set once an exit has been requested: no task starts any more, a started one stops.
  std::atomic<bool> exiting_{false};

  // Declared before the document: the link's observers outlive the link.
  LineWatch line_watch_;
  std::unique_ptr<Document> document_;
  std::unique_ptr<GuardedProgress> progress_;

  platform::Event automation_stop_{platform::Event::Reset::Manual};
  std::thread automation_watcher_;
  std::thread shutdown_watcher_;
  bool exited_ = false;
};

}  // namespace vesk::app
