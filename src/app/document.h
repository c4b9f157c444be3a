#pragma once
// The single document of the program, Document: the exchange engine with its serial link,
// the service parameters, the parameter tree built from the description, the selected
// branch, and the commands of the "Прибор", "Режимы программы" and "Справка" menus.
// Configuration files are its serialisation.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "exchange/exchange_engine.h"
#include "exchange/modes.h"
#include "model/config_file.h"
#include "model/description_loader.h"
#include "model/service_parameters.h"

namespace vesk::platform {
class Event;
class SettingsStore;
}  // namespace vesk::platform

namespace vesk::app {

class FrontEnd;
enum class SetupOutcome;

// Command identifiers of the menus, the toolbar and the accelerators.
namespace cmd {
constexpr int kAutoRead = 134;
constexpr int kCheckLink = 138;
constexpr int kReadAll = 139;
constexpr int kWriteAll = 140;
constexpr int kSinglePoint = 141;
constexpr int kShowIndexes = 145;
constexpr int kReadBranch = 150;
constexpr int kWriteBranch = 151;
constexpr int kWriteBranchChanged = 152;
constexpr int kCompareBranch = 153;
constexpr int kWriteChanged = 256;
constexpr int kCompare = 257;
constexpr int kAply = 265;
constexpr int kImmediateWrite = 268;
constexpr int kInitialiseDevice = 269;
constexpr int kNoAttributes = 294;
constexpr int kInit = 301;
constexpr int kCalibrate = 303;
constexpr int kConverterAuto = 32798;
constexpr int kConverterSemiAuto = 32799;
constexpr int kConverterKernel = 32830;
// "Преобразователь повторяет посланное": found out at each open, yes, no.
constexpr int kEchoAuto = 32840;
constexpr int kEchoOn = 32841;
constexpr int kEchoOff = 32842;
constexpr int kPortSetup = 32819;
constexpr int kExportHtml = 32804;
constexpr int kStateInOut = 32821;
constexpr int kHelp = 57667;
constexpr int kHelpButton = 57670;
}  // namespace cmd

// Texts of the document.
inline constexpr const char* kDevicesValue = "devices";
inline constexpr const char* kDevicesText = "ВЕСК";
inline constexpr const char* kApplicationValue = "application";
inline constexpr const char* kSeveralConfiguratorsQuestion =
    "Вероятно, на вашем компьютере установлено несколько конфигураторов этого прибора,\n"
    "что не рекомендуется, но допускается.\n\n"
    "Установить запущенный конфигуратор (\"%s\")\n"
    "как основной или оставить ссылку на конфигуратор прибора ВЕСК как она сейчас есть\n"
    "(\"%s\")?";
inline constexpr const char* kImmediateWriteText =
    "В режиме 'Моментальная запись' введеные значения\nавтоматически записываются в прибор\n"
    "сразу после ввода (без нажатия на 'Записать измененные')\nЭто ускоряет работу, но снижает "
    "надежность\nи увеличивает вероятность ошибок.\nРежим 'Моментальная запись' не "
    "записывает\nизмененные атрибуты доступа.";
inline constexpr const char* kNoAttributesText =
    "В режиме 'Не передавать атрибуты' обмен информацией\nоб индивидуальных защитных атрибутах "
    "параметров\nне производится.\nЭто ускоряет работу, но не дает возможность "
    "предварительно\nконтролировать доступность параметров на запись\nсо стороны компьютера "
    "(программы-конфигуратора).\nПри попытке записи защищенного параметра запрос записи\nбудет "
    "отвергнут прибором с соответствующим сообщением\nкак ошибка записи.\nЗапись измененных "
    "атрибутов принадлежности в режиме\n'Не передавать атрибуты' также не производится.";
inline constexpr const char* kHelpMissingText = "Файл справки не найден!";
// Logged after the count when a configuration is saved with parameters whose read failed;
// the file's path follows.
inline constexpr const char* kUnreadSavedText = " параметров не прочитаны, файл сохранён с ними: ";
// No program opens the file (the desktop has no opener for it): the path follows.
inline constexpr const char* kNoOpenerText =
    "Не удалось открыть файл: нет программы для него. Файл находится здесь:\n";
inline constexpr const char* kExportFailedText = "Не удалось создать файл списка параметров";
// The manual, relative to the program's folder in a build folder; installed, it is
// kManualFileName in PREFIX/share/doc/vesk/. The English manual lies beside it.
inline constexpr const char* kHelpFile = "docs/help/index.html";
inline constexpr const char* kManualFileName = "index.html";
inline constexpr const char* kEnglishHelpFile = "docs/help/index.en.html";
inline constexpr const char* kEnglishManualFileName = "index.en.html";

// The manual of a program in `program_folder`, as the two layouts place it, in the current
// language; the Russian one where the English one is missing.
std::string ManualPath(const std::string& program_folder);

// What the document takes from the application when it is constructed.
struct DocumentEnvironment {
  FrontEnd* front_end = nullptr;  // required
  // Where the settings live; nullptr: the default store.
  platform::SettingsStore* store = nullptr;
  // The serial ports for the type text of "Port"; empty: the system's.
  std::function<std::string()> list_ports;
  // The run's keys; the document reads them only while it is constructed and opened.
  CommandLineSettings settings;
  // When set, ends the start-up link check between two exchanges (an exit request).
  platform::Event* probe_cancel = nullptr;
  // The running executable's full path and its folder (with a trailing "/").
  std::string program_path;
  std::string program_directory;
  int access_level = 2;
  // Called once the link exists, before its first exchange (observers of the line).
  std::function<void(link::DeviceLink&)> on_link;
};

class Document : public model::ConfigurationTarget {
 public:
  // Construction steps 1-7: service parameters, stored port settings, the installation
  // values "devices" and "application" (with the several-configurators question), the
  // command line's port keys, the link check (and the connection set-up when it fails
  // outside a command-line run), and the quit request of `test`.
  explicit Document(DocumentEnvironment environment);
  // Stops the engine's threads, has the front end destroy the main window, then releases
  // the trees and the engine (the program's port settings are stored back then).
  ~Document() override;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // A new configuration: the tree from the description, the port opened. Returns false
  // when quit_requested is set or the description cannot be loaded (its message shown).
  bool NewDocument();
  // Opens a configuration file into a fresh tree. Returns false (after the message) when
  // the file could not be read; a file read only in part still opens (values read so far
  // stay), see last_load_outcome().
  bool OpenDocument(const std::string& path);
  // Saves the configuration at `path`, replacing the file whole. Returns false after the
  // message (no tree, or the system's reason). Parameters whose read failed are saved as
  // they are; their count is logged on stderr (nothing in a silent run).
  bool SaveDocument(const std::string& path);
  // The parameters of the tree whose last read failed: a failure noted on a value that
  // was not edited. The window asks before it saves them.
  int UnreadCount() const;
  // Whether a read of `branch` (nullptr: the whole tree) from the device at `address` (-1:
  // the program line's) would replace edits not yet saved. A read of another device than
  // the one the tree's values came from replaces the whole tree.
  bool ReadReplacesEdits(const model::ParameterNode* branch, int32_t address = -1) const;
  // Puts every value of the tree back into its reset state.
  void DeleteContents();

  // The loader's call while a file is opened: a new configuration for `device_kind`.
  model::DescriptionBranch* ReloadDescription(int32_t device_kind) override;

  // Runs a command of the document's menus (nothing for an identifier it does not
  // handle). Returns true when the command ran a task through the progress window, so
  // that the task's end (FinishTask) has come when it returns.
  bool RunCommand(int id);
  // Whether the document handles `id`.
  static bool HandlesCommand(int id);

  // The check state of a mode item (134, 145, 268, 294) or a converter item.
  bool IsChecked(int id) const;

  // The command line's port keys (flags 0x02) written into the program's port settings.
  // Returns the number of values written; the port is re-opened once when it is above 0.
  int ApplyPortSettings(const CommandLineSettings& settings);
  // With `aply` as well, the same network values (not the port) written into the device's
  // network branch, so that the next write sends them. The tree exists only after a new
  // configuration or a file has been made, so this comes then, once. Returns the count.
  int ApplyPortSettingsToDevice(const CommandLineSettings& settings);

  // The help command: opens the manual beside the program, or shows "Файл справки не
  // найден!". Returns what the front end's opener returned.
  int ShowHelp();

  // The window's "Экспорт списка параметров в HTML" (32804): the list of the tree into
  // CachedParameterListPath(), then opened by the front end. Returns false when there is
  // no place for it or it could not be written (a message with the reason is shown).
  bool ExportParameterList();

  exchange::ExchangeEngine& engine() { return *engine_; }
  FrontEnd& front_end() { return *env_.front_end; }
  exchange::ExchangeModes& modes() { return modes_; }
  model::ServiceParameters& service_parameters() { return service_parameters_; }
  model::DescriptionTree& tree() { return tree_; }
  model::DescriptionBranch* Root() { return tree_.root.get(); }
  // The device's network branch ("Сетевые параметры"), or nullptr.
  model::ParameterNode* DeviceNet() { return tree_.network; }
  // The result of the last OpenDocument.
  model::LoadOutcome last_load_outcome() const { return last_load_outcome_; }
  // Whether the construction's link check reached the device.
  bool link_checked() const { return link_checked_; }

  // The selected node of the view, or none.
  model::ParameterNode* current_branch = nullptr;
  // 3 for a tree from the description "vesk.tree", 19 for a file of the older layout.
  int32_t description_version = 0;
  // Set while constructed (`test`, or "Выход" of the set-up); refuses new configurations.
  bool quit_requested = false;
  // The document's file and modified flag (the framework's part of a document).
  std::string path_name;
  bool modified = false;

 private:
  void RegisterInstallation();
  void CheckLinkAtStart();
  // The set-up dialog; the settings it ends connected with are stored at once.
  SetupOutcome RunPortSetup(bool offline_allowed);
  // The file could not be opened (`error`: the opener's errno, ENOEXEC for none): says where
  // it is.
  void ShowWhereFileIs(const std::string& path, int error);
  // The device a read goes to: the port and `address` (-1: the program line's).
  struct DeviceOrigin {
    std::string port;  // empty: the port is not known (values from a file)
    int32_t address = -1;
    bool operator==(const DeviceOrigin&) const = default;
  };
  DeviceOrigin ReadTarget(int32_t address) const;
  // Whether the tree's values came from another device than `target`.
  bool FromAnotherDevice(const DeviceOrigin& target) const;
  // Before a read: a tree of another device starts empty, so that a parameter whose read
  // fails shows "Нет данных", never that device's value.
  void PrepareRead();
  bool TreeCommand(int code);
  bool BranchCommand(int code);
  void ToggleImmediateWrite();
  void ToggleNoAttributes();
  void RefreshViews();
  bool CommandLineRun() const;

  DocumentEnvironment env_;
  exchange::ExchangeModes modes_;
  std::unique_ptr<exchange::ExchangeEngine> engine_;
  model::ServiceParameters service_parameters_;
  model::DescriptionTree tree_;
  model::LoadOutcome last_load_outcome_ = model::LoadOutcome::Loaded;
  // The device the tree was last read from; none while its values come from a file or the
  // description.
  std::optional<DeviceOrigin> read_from_;
  bool link_checked_ = false;
};

// The warning of a start with port keys at which the device did not answer on `port`.
std::string NoLinkAtStartText(const std::string& port);

// Replaces the first two "%s" of the several-configurators question with the two paths.
std::string SeveralConfiguratorsText(const std::string& running, const std::string& registered);

}  // namespace vesk::app
