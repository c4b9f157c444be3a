#include "app/document.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/device_actions.h"
#include "app/front_end.h"
#include "app/html_export.h"
#include "app/port_keys.h"
#include "exchange/device_commands.h"
#include "exchange/link_probe.h"
#include "exchange/polling.h"
#include "exchange/task_codes.h"
#include "exchange/task_commands.h"
#include "link/exit_status.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "model/tree_builder.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace vesk::app {
namespace {

constexpr uint32_t kStatusPortOpen = 0x02;
constexpr uint32_t kStatusLinkCheck = 0x40;

constexpr const char* kKernelRs485Caption = "RS-485 средствами драйвера порта";
constexpr const char* kKernelRs485RefusedText =
    "Драйвер порта не поддерживает режим RS-485 (TIOCSRS485). Преобразователь остается "
    "прежним: выберите автоматический или полуавтоматический.";

link::MsgAnswer Show(std::string_view text, std::string_view caption, link::MsgIcon icon,
                     link::MsgButtons buttons = link::MsgButtons::Ok) {
  return link::presenter().ShowMessage(text, caption, icon, buttons);
}

std::string_view TrimQuotes(std::string_view v) {
  while (!v.empty() && v.front() == '"') v.remove_prefix(1);
  while (!v.empty() && v.back() == '"') v.remove_suffix(1);
  return v;
}

// Whether two names lead to one file (links and relative names included).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The polling timers go with the records they belong to; the threads have ended.
void ClearTree(model::DescriptionTree& tree) {
  exchange::ReleasePolling(tree.pollers.get());
  tree.Clear();
}

}  // namespace

std::string SeveralConfiguratorsText(const std::string& running, const std::string& registered) {
  std::string text = platform::Tr(kSeveralConfiguratorsQuestion);
  const std::string* values[] = {&running, &registered};
  size_t from = 0;
  for (const std::string* value : values) {
    const size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, *value);
    from = at + value->size();
  }
  return text;
}

// ---------------------------------------------------------------- construction

Document::Document(DocumentEnvironment environment)
    : env_(std::move(environment)), service_parameters_(env_.store) {
  exchange::EngineOptions options;
  options.store = env_.store;
  options.list_ports = env_.list_ports;
  options.modes = &modes_;
  options.access_level = env_.access_level;
  // Step 2 (second half): the engine's port-settings node loads the stored settings.
  engine_ = std::make_unique<exchange::ExchangeEngine>(std::move(options));
  engine_->set_silent((env_.settings.modes & modebit::kSilent) != 0);
  engine_->set_command_line_run(CommandLineRun());
  if (env_.on_link) env_.on_link(*engine_);
  // The modes start as the menu resource has them, whatever the previous run chose.
  modes_.show_indexes.store(false);
  modes_.auto_read.store(true);
  modes_.immediate_write.store(false);
  engine_->set_attribute_transfer(true);

  service_parameters_.FillParameters();  // step 2: version, copyright, system; "name", "version"
  RegisterInstallation();                // steps 3 and 4
  if (CommandLineRun()) ApplyPortSettings(env_.settings);           // step 5
  CheckLinkAtStart();                                               // step 6
  if (env_.settings.modes & modebit::kTest) quit_requested = true;  // step 7
}

Document::~Document() {
  // The exchange thread may be working on the tree: it ends before the tree goes.
  engine_->StopThreads();
  // The window watches the link and shows the tree: it goes while both are still there.
  if (env_.front_end) env_.front_end->DestroyMainWindow();
  ClearTree(tree_);
}

std::string NoLinkAtStartText(const std::string& port) {
  return platform::Tr("Нет связи с прибором через порт ") + port +
         platform::Tr(".\nПроверьте подключение или выберите \"Прибор\" - \"Настройка порта\".");
}

bool Document::CommandLineRun() const {
  return (env_.settings.flags & cmdflag::kCommandLineRun) != 0;
}

void Document::RegisterInstallation() {
  platform::SettingsStore& store = env_.store ? *env_.store : platform::SettingsStore::Default();
  // Failing writes are of no consequence to this run.
  store.WriteText(platform::kDevicesKey, kDevicesValue, kDevicesText);
  const std::optional<std::string> registered =
      store.ReadText(platform::kDevicesKey, kApplicationValue);
  if (!registered) return;
  const std::string other(TrimQuotes(*registered));
  if (!FileExists(other) || env_.program_path.empty() || SameFile(other, env_.program_path)) return;
  if (Show(SeveralConfiguratorsText(env_.program_path, other), platform::Tr(model::kProgramTitle),
           link::MsgIcon::Information, link::MsgButtons::YesNo) == link::MsgAnswer::Yes)
    store.WriteText(platform::kDevicesKey, kApplicationValue, "\"" + env_.program_path + "\"");
}

void Document::CheckLinkAtStart() {
  link_checked_ = exchange::ProbeLink(*engine_, env_.probe_cancel);
  if (link_checked_) return;
  // The port's own bit stays: a port that could not be opened is the better explanation.
  link::exit_status.store((link::exit_status.load() & kStatusPortOpen) | kStatusLinkCheck);
  if (CommandLineRun()) {
    // Port keys without a task start the window for someone to work in: say what the
    // set-up dialog would have said. A task or a silent run goes on unattended.
    const CommandLineSettings& s = env_.settings;
    const bool task = s.flags & (cmdflag::kRead | cmdflag::kWrite | cmdflag::kCalibrate);
    if (!task && !(s.modes & (modebit::kSilent | modebit::kTest)) &&
        env_.front_end->StaysOpenAfterTask())
      Show(NoLinkAtStartText(engine_->port().settings().port_name),
           platform::Tr(model::kProgramTitle), link::MsgIcon::Warning);
    return;
  }
  env_.front_end->DestroySplash();
  if (RunPortSetup(true) == SetupOutcome::Exit) quit_requested = true;
}

SetupOutcome Document::RunPortSetup(bool offline_allowed) {
  const SetupOutcome outcome = env_.front_end->RunSetupCarrier(*engine_, offline_allowed);
  // Settings that made the link are kept at once, not only at the exit.
  if (outcome == SetupOutcome::Connected) engine_->program_line().SaveSettings();
  return outcome;
}

int Document::ApplyPortSettings(const CommandLineSettings& settings) {
  if (!(settings.flags & cmdflag::kPortSettings)) return 0;
  int written;
  {
    const auto values = engine_->program_line().LockValues();
    written = WriteProgramPortKeys(engine_->program_line(), settings);
  }
  if (written > 0) engine_->OpenPort(true);
  return written;
}

int Document::ApplyPortSettingsToDevice(const CommandLineSettings& settings) {
  const uint32_t wanted = cmdflag::kPortSettings | cmdflag::kAply;
  if ((settings.flags & wanted) != wanted || !tree_.network) return 0;
  return WriteNetworkKeys(*tree_.network, settings);
}

// ---------------------------------------------------------------- configurations

bool Document::NewDocument() {
  engine_->StopThreads();
  ClearTree(tree_);
  read_from_.reset();
  current_branch = nullptr;
  if (quit_requested) return false;
  path_name.clear();
  modified = false;
  description_version = model::kVeskDeviceKind;
  if (model::LoadDescription(description_version, tree_) != model::DescriptionStatus::Built)
    return false;
  engine_->program_line().ClearChanges();
  engine_->OpenPort(true);
  return true;
}

model::DescriptionBranch* Document::ReloadDescription(int32_t device_kind) {
  engine_->StopThreads();
  ClearTree(tree_);
  read_from_.reset();
  current_branch = nullptr;
  description_version = device_kind;
  model::LoadDescription(device_kind, tree_);
  engine_->program_line().ClearChanges();
  return tree_.root.get();
}

namespace {

// A tree of its own that a file is first read into, so that a file which fails part-way
// leaves the open configuration as it was.
class TrialTarget : public model::ConfigurationTarget {
 public:
  model::DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    tree_.Clear();
    model::LoadDescription(device_kind, tree_);
    return tree_.root.get();
  }

 private:
  model::DescriptionTree tree_;
};

}  // namespace

bool Document::OpenDocument(const std::string& path) {
  // A silent automatic run goes on with a reset tree after a bad file (below); any other
  // run keeps what it had, the loader's message having said why.
  const CommandLineSettings& s = env_.settings;
  const bool silent_task =
      (s.flags & (cmdflag::kRead | cmdflag::kWrite)) && (s.modes & modebit::kSilent);
  if (!silent_task) {
    TrialTarget trial;
    last_load_outcome_ = model::LoadConfiguration(path, trial);
    if (last_load_outcome_ != model::LoadOutcome::Loaded) return false;
  }
  engine_->StopThreads();
  last_load_outcome_ = model::LoadConfiguration(path, *this);
  switch (last_load_outcome_) {
    case model::LoadOutcome::Loaded:
      break;
    case model::LoadOutcome::FormatError:
    case model::LoadOutcome::Truncated:
      // A silent automatic run must not go on with half a configuration.
      if (silent_task) ReloadDescription(model::kOldLayoutDeviceKind);
      break;
    default:
      // The file was not opened; whatever the document held is kept as the loader left it.
      return false;
  }
  path_name = path;
  modified = false;
  engine_->OpenPort(true);
  return true;
}

bool Document::SaveDocument(const std::string& path) {
  if (!model::SaveConfiguration(path, {description_version, tree_.root.get()})) return false;
  modified = false;
  if (const int unread = UnreadCount(); unread > 0 && !(env_.settings.modes & modebit::kSilent))
    std::fprintf(stderr, "vesk-configurator: %d%s%s\n", unread, platform::Tr(kUnreadSavedText),
                 path.c_str());
  return true;
}

namespace {

// Every value of `branch` and below back to "Нет данных"; the polled ones belong to the
// poller thread and stay.
void ResetReadValues(model::DescriptionBranch& branch) {
  for (auto& p : branch.parameters)
    if (!p->IsPolled()) p->Reset();
  for (auto& child : branch.children) ResetReadValues(*child);
}

int CountUnread(const model::DescriptionBranch* branch) {
  if (!branch) return 0;
  int count = 0;
  for (const auto& p : branch->parameters)
    if (!p->note.empty() && !p->HasCompareNote() && !p->AnyChanged()) ++count;
  for (const auto& child : branch->children) count += CountUnread(child.get());
  return count;
}

bool AnyEdited(const model::ParameterNode* node) {
  if (!node) return false;
  for (const auto& p : node->parameters)
    if (p->AnyChanged()) return true;
  if (const auto* branch = dynamic_cast<const model::DescriptionBranch*>(node))
    for (const auto& child : branch->children)
      if (AnyEdited(child.get())) return true;
  return false;
}

}  // namespace

int Document::UnreadCount() const {
  return CountUnread(tree_.root.get());
}

Document::DeviceOrigin Document::ReadTarget(int32_t address) const {
  link::PortSettings line;
  engine_->program_line().ToPortSettings(line);
  return {line.port_name, address >= 0 ? address : line.device_address};
}

bool Document::FromAnotherDevice(const DeviceOrigin& target) const {
  if (read_from_) return !(*read_from_ == target);
  // Values from a file: the device's own address, as the file holds it.
  const link::Parameter* own = tree_.network ? tree_.network->FindParameter("Addr") : nullptr;
  if (!own || own->value == link::kNoData || own->AnyChanged()) return false;
  int32_t address = -1;
  const std::string& text = own->value;
  if (std::from_chars(text.data(), text.data() + text.size(), address).ec != std::errc())
    return false;
  return address != target.address;
}

bool Document::ReadReplacesEdits(const model::ParameterNode* branch, int32_t address) const {
  if (!modified) return false;
  if (!branch || FromAnotherDevice(ReadTarget(address))) return AnyEdited(tree_.root.get());
  return AnyEdited(branch);
}

void Document::PrepareRead() {
  const DeviceOrigin target = ReadTarget(-1);
  if (tree_.root && FromAnotherDevice(target)) ResetReadValues(*tree_.root);
  read_from_ = target;
}

void Document::DeleteContents() {
  if (tree_.root) tree_.root->ResetValues();
}

// ---------------------------------------------------------------- commands

bool Document::HandlesCommand(int id) {
  switch (id) {
    case cmd::kReadAll:
    case cmd::kWriteAll:
    case cmd::kWriteChanged:
    case cmd::kCompare:
    case cmd::kReadBranch:
    case cmd::kWriteBranch:
    case cmd::kWriteBranchChanged:
    case cmd::kCompareBranch:
    case cmd::kCheckLink:
    case cmd::kSinglePoint:
    case cmd::kAply:
    case cmd::kInit:
    case cmd::kInitialiseDevice:
    case cmd::kConverterAuto:
    case cmd::kConverterSemiAuto:
    case cmd::kConverterKernel:
    case cmd::kEchoAuto:
    case cmd::kEchoOn:
    case cmd::kEchoOff:
    case cmd::kPortSetup:
    case cmd::kStateInOut:
    case cmd::kExportHtml:
    case cmd::kShowIndexes:
    case cmd::kAutoRead:
    case cmd::kImmediateWrite:
    case cmd::kNoAttributes:
    case cmd::kHelp:
    case cmd::kHelpButton:
      return true;
    default:
      return false;
  }
}

bool Document::RunCommand(int id) {
  FrontEnd& fe = *env_.front_end;
  switch (id) {
    case cmd::kReadAll:
      return TreeCommand(exchange::kTaskReadAll);
    case cmd::kWriteAll:
      return TreeCommand(exchange::kTaskWriteAll);
    case cmd::kWriteChanged:
      return TreeCommand(exchange::kTaskWriteChanged);
    case cmd::kCompare:
      return TreeCommand(exchange::kTaskCompare);
    case cmd::kReadBranch:
      return BranchCommand(exchange::kTaskReadAll);
    case cmd::kWriteBranch:
      return BranchCommand(exchange::kTaskWriteAll);
    case cmd::kWriteBranchChanged:
      return BranchCommand(exchange::kTaskWriteChanged);
    case cmd::kCompareBranch:
      return BranchCommand(exchange::kTaskCompare);
    case cmd::kCheckLink:
      StartLinkCheck(fe, *engine_);
      return false;
    case cmd::kSinglePoint:
      fe.ShowSinglePoint(*this);
      return false;
    case cmd::kAply:
      StartNetworkModeChange(fe, *engine_, DeviceNet());
      return false;
    case cmd::kInit:
      StartInit(fe, *engine_);
      return false;
    case cmd::kInitialiseDevice:
      return exchange::InitialiseDevice(*engine_, Root(), [&fe, this] { StartInit(fe, *engine_); });
    case cmd::kConverterAuto:
      engine_->port().set_converter_mode(link::kConverterAuto);
      return false;
    case cmd::kConverterSemiAuto:
      engine_->port().set_converter_mode(link::kConverterSemiAuto);
      return false;
    case cmd::kConverterKernel:
      // An open port tells at once whether its driver can; a closed one when it opens.
      if (engine_->port().IsOpen() && !engine_->port().kernel_rs485_supported())
        Show(platform::Tr(kKernelRs485RefusedText), platform::Tr(kKernelRs485Caption),
             link::MsgIcon::Warning);
      else
        engine_->port().set_converter_mode(link::kConverterKernel);
      return false;
    case cmd::kEchoAuto:
    case cmd::kEchoOn:
    case cmd::kEchoOff: {
      const auto mode = static_cast<link::EchoMode>(id - cmd::kEchoAuto);
      engine_->program_line().set_echo(mode);
      engine_->port().set_echo_mode(mode);
      return false;
    }
    case cmd::kPortSetup:
      RunPortSetup(false);
      return false;
    case cmd::kStateInOut:
      fe.ShowStateInOut(*this);
      return false;
    case cmd::kExportHtml:
      ExportParameterList();
      return false;
    case cmd::kShowIndexes:
      modes_.show_indexes.store(!modes_.show_indexes.load());
      RefreshViews();
      return false;
    case cmd::kAutoRead:
      modes_.auto_read.store(!modes_.auto_read.load());
      return false;
    case cmd::kImmediateWrite:
      ToggleImmediateWrite();
      return false;
    case cmd::kNoAttributes:
      ToggleNoAttributes();
      return false;
    case cmd::kHelp:
    case cmd::kHelpButton:
      ShowHelp();
      return false;
    default:
      return false;
  }
}

bool Document::IsChecked(int id) const {
  switch (id) {
    case cmd::kShowIndexes:
      return modes_.show_indexes.load();
    case cmd::kAutoRead:
      return modes_.auto_read.load();
    case cmd::kImmediateWrite:
      return modes_.immediate_write.load();
    case cmd::kNoAttributes:
      return !engine_->attribute_transfer();
    case cmd::kConverterAuto:
      return engine_->port().converter_mode() == link::kConverterAuto;
    case cmd::kConverterSemiAuto:
      return engine_->port().converter_mode() == link::kConverterSemiAuto;
    case cmd::kConverterKernel:
      return engine_->port().converter_mode() == link::kConverterKernel;
    case cmd::kEchoAuto:
    case cmd::kEchoOn:
    case cmd::kEchoOff:
      return engine_->program_line().echo() == static_cast<link::EchoMode>(id - cmd::kEchoAuto);
    default:
      return false;
  }
}

bool Document::TreeCommand(int code) {
  if (code == exchange::kTaskReadAll) PrepareRead();
  env_.front_end->BeginWaitCursor();
  const bool ran = exchange::RunTreeCommand(*engine_, Root(), code);
  env_.front_end->EndWaitCursor();
  return ran;
}

bool Document::BranchCommand(int code) {
  env_.front_end->BeginWaitCursor();
  bool ran = false;
  if (code == exchange::kTaskCompare) {
    // The compare has its own report, but the branch must be a description branch too.
    if (!dynamic_cast<model::DescriptionBranch*>(current_branch))
      Show(platform::Tr(exchange::kNoBranchText), platform::Tr(exchange::kImpossibleCaption),
           link::MsgIcon::Error);
    else if ((ran = exchange::CompareCommand(*engine_, current_branch)))
      engine_->RefreshViews();
  } else {
    if (code == exchange::kTaskReadAll && dynamic_cast<model::DescriptionBranch*>(current_branch))
      PrepareRead();
    ran = exchange::RunBranchCommand(*engine_, current_branch, code);
  }
  env_.front_end->EndWaitCursor();
  return ran;
}

void Document::ToggleImmediateWrite() {
  if (modes_.immediate_write.load()) {
    modes_.immediate_write.store(false);
    return;
  }
  modes_.immediate_write.store(true);
  Show(platform::Tr(kImmediateWriteText), platform::Tr(model::kProgramTitle),
       link::MsgIcon::Information);
}

void Document::ToggleNoAttributes() {
  if (!engine_->attribute_transfer()) {
    engine_->set_attribute_transfer(true);
    return;
  }
  engine_->set_attribute_transfer(false);
  Show(platform::Tr(kNoAttributesText), platform::Tr(model::kProgramTitle),
       link::MsgIcon::Information);
}

void Document::RefreshViews() {
  env_.front_end->RefreshViews();
}

bool Document::ExportParameterList() {
  FrontEnd& fe = *env_.front_end;
  const std::string path = CachedParameterListPath();
  std::string error = path.empty() ? std::strerror(errno) : std::string();
  fe.BeginWaitCursor();
  const bool written =
      !path.empty() && app::ExportParameterList(
                           path, Root(), ParameterListFragmentPath(env_.program_directory), error);
  fe.EndWaitCursor();
  if (!written) {
    Show(std::string(platform::Tr(kExportFailedText)) + " \"" +
             (path.empty() ? kParameterListFileName : path) + "\":\n" + error,
         platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
    return false;
  }
  if (const int rc = fe.OpenDocumentFile(path); rc != 0) ShowWhereFileIs(path, rc);
  return true;
}

void Document::ShowWhereFileIs(const std::string& path, int error) {
  std::string text = std::string(platform::Tr(kNoOpenerText)) + path;
  // A reason of the system's own is added; "no opener" is what the text already says.
  if (error != ENOEXEC) text += "\n" + std::string(std::strerror(error));
  Show(text, platform::Tr(model::kProgramTitle), link::MsgIcon::Warning);
}

std::string ManualPath(const std::string& program_folder) {
  if (platform::CurrentLanguage() == platform::Language::English) {
    std::string english =
        platform::ProgramFile(program_folder, kEnglishHelpFile,
                              std::string(platform::kInstalledDocFolder) + kEnglishManualFileName);
    if (::access(english.c_str(), F_OK) == 0) return english;
  }
  return platform::ProgramFile(program_folder, kHelpFile,
                               std::string(platform::kInstalledDocFolder) + kManualFileName);
}

int Document::ShowHelp() {
  FrontEnd& fe = *env_.front_end;
  fe.BeginWaitCursor();
  const int rc = fe.OpenDocumentFile(ManualPath(env_.program_directory));
  fe.EndWaitCursor();
  if (rc == ENOENT)
    Show(platform::Tr(kHelpMissingText), platform::Tr(model::kProgramTitle),
         link::MsgIcon::Warning);
  else if (rc != 0)
    ShowWhereFileIs(ManualPath(env_.program_directory), rc);
  return rc;
}

}  // namespace vesk::app
