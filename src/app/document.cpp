#include "app/document.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/front_end.h"
#include "app/html_export.h"
#include "app/port_keys.h"
#include "exchange/device_commands.h"
#include "exchange/link_probe.h"
#include "exchange/task_codes.h"
#include "exchange/task_commands.h"
#include "link/exit_status.h"
#include "link/presenter.h"
#include "model/description_container.h"
#include "model/tree_builder.h"
#include "platform/settings_store.h"

namespace vesk::app {
namespace {

constexpr uint32_t kStatusPortOpen = 0x02;
constexpr uint32_t kStatusLinkCheck = 0x40;

link::MsgAnswer Show(std::string_view text, std::string_view caption, link::MsgIcon icon,
                     link::MsgButtons buttons = link::MsgButtons::Ok) {
  return link::presenter().MessageBox(text, caption, icon, buttons);
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

}  // namespace

std::string SeveralConfiguratorsText(const std::string& running, const std::string& registered) {
  std::string text = kSeveralConfiguratorsQuestion;
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

CTRB6Doc::CTRB6Doc(DocumentEnvironment environment)
    : env_(std::move(environment)), commonParams_(env_.store) {
  exchange::EngineOptions options;
  options.store = env_.store;
  options.listPorts = env_.listPorts;
  options.modes = &modes_;
  options.accessLevel = env_.accessLevel;
  // Step 2 (second half): the engine's port-settings node loads the stored settings.
  engine_ = std::make_unique<exchange::ExchangeEngine>(std::move(options));
  engine_->set_silent((env_.settings.modes & modebit::kSilent) != 0);
  engine_->set_command_line_run(CommandLineRun());
  // The modes start as the menu resource has them, whatever the previous run chose.
  modes_.showIndexes.store(false);
  modes_.autoRead.store(true);
  modes_.immediateWrite.store(false);
  engine_->set_attribute_transfer(true);

  commonParams_.FillParameters();  // step 2: version, copyright, system; "name", "version"
  RegisterInstallation();          // steps 3 and 4
  if (CommandLineRun()) ApplyPortSettings(env_.settings);          // step 5
  CheckLinkAtStart();                                              // step 6
  if (env_.settings.modes & modebit::kTest) quitRequested = true;  // step 7
}

CTRB6Doc::~CTRB6Doc() {
  // The exchange thread may be working on the tree: it ends before the tree goes.
  engine_->StopThreads();
  tree_.Clear();
}

bool CTRB6Doc::CommandLineRun() const {
  return (env_.settings.flags & cmdflag::kCommandLineRun) != 0;
}

void CTRB6Doc::RegisterInstallation() {
  platform::SettingsStore& store = env_.store ? *env_.store : platform::SettingsStore::Default();
  // Failing writes are of no consequence to this run.
  store.WriteText(platform::kDevicesKey, kDevicesValue, kDevicesText);
  const std::optional<std::string> registered =
      store.ReadText(platform::kDevicesKey, kApplicationValue);
  if (!registered) return;
  const std::string other(TrimQuotes(*registered));
  if (!FileExists(other) || env_.programPath.empty() || SameFile(other, env_.programPath)) return;
  if (Show(SeveralConfiguratorsText(env_.programPath, other), model::kProgramTitle,
           link::MsgIcon::Information, link::MsgButtons::YesNo) == link::MsgAnswer::Yes)
    store.WriteText(platform::kDevicesKey, kApplicationValue, "\"" + env_.programPath + "\"");
}

void CTRB6Doc::CheckLinkAtStart() {
  linkChecked_ = exchange::ProbeLink(*engine_, env_.probeCancel);
  if (linkChecked_) return;
  // The port's own bit stays: a port that could not be opened is the better explanation.
  link::exitStatus.store((link::exitStatus.load() & kStatusPortOpen) | kStatusLinkCheck);
  if (CommandLineRun()) return;
  env_.frontEnd->DestroySplash();
  if (env_.frontEnd->RunSetupCarrier(*engine_, true) == SetupOutcome::Exit) quitRequested = true;
}

int CTRB6Doc::ApplyPortSettings(const CommandLineSettings& settings) {
  if (!(settings.flags & cmdflag::kPortSettings)) return 0;
  const int written = WriteProgramPortKeys(engine_->programNet(), settings);
  if (written > 0) engine_->open_port(true);
  return written;
}

int CTRB6Doc::ApplyPortSettingsToDevice(const CommandLineSettings& settings) {
  const uint32_t wanted = cmdflag::kPortSettings | cmdflag::kAply;
  if ((settings.flags & wanted) != wanted || !tree_.network) return 0;
  return WriteNetworkKeys(*tree_.network, settings);
}

// ---------------------------------------------------------------- configurations

bool CTRB6Doc::OnNewDocument() {
  engine_->StopThreads();
  tree_.Clear();
  currentBranch = nullptr;
  if (quitRequested) return false;
  pathName.clear();
  modified = false;
  descriptionVersion = model::kVeskDeviceKind;
  if (model::LoadDescription(descriptionVersion, tree_) != model::DescriptionStatus::Built)
    return false;
  engine_->programNet().ClearChanges();
  engine_->open_port(true);
  return true;
}

model::DescBranch* CTRB6Doc::ReloadDescription(int32_t device_kind) {
  engine_->StopThreads();
  tree_.Clear();
  currentBranch = nullptr;
  descriptionVersion = device_kind;
  model::LoadDescription(device_kind, tree_);
  engine_->programNet().ClearChanges();
  return tree_.root.get();
}

bool CTRB6Doc::OnOpenDocument(const std::string& path) {
  engine_->StopThreads();
  lastLoadOutcome_ = model::LoadConfiguration(path, *this);
  switch (lastLoadOutcome_) {
    case model::LoadOutcome::Loaded:
      break;
    case model::LoadOutcome::FormatError:
    case model::LoadOutcome::Truncated: {
      // A silent automatic run must not go on with half a configuration.
      const CommandLineSettings& s = env_.settings;
      if ((s.flags & (cmdflag::kRead | cmdflag::kWrite)) && (s.modes & modebit::kSilent))
        ReloadDescription(model::kOldLayoutDeviceKind);
      break;
    }
    default:
      // The file was not opened; whatever the document held is kept as the loader left it.
      return false;
  }
  pathName = path;
  modified = false;
  engine_->open_port(true);
  return true;
}

bool CTRB6Doc::OnSaveDocument(const std::string& path) {
  if (!model::SaveConfiguration(path, {descriptionVersion, tree_.root.get()})) return false;
  modified = false;
  return true;
}

void CTRB6Doc::DeleteContents() {
  if (tree_.root) tree_.root->ResetValues();
}

// ---------------------------------------------------------------- commands

bool CTRB6Doc::HandlesCommand(int id) {
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

bool CTRB6Doc::OnCommand(int id) {
  FrontEnd& fe = *env_.frontEnd;
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
      exchange::CheckLink(*engine_, true);
      return false;
    case cmd::kSinglePoint:
      fe.ShowSinglePoint(*this);
      return false;
    case cmd::kAply:
      exchange::NetworkModeChange(*engine_, deviceNet(), [&fe](exchange::ApplyDialog& dialog) {
        return fe.RunApplyDialog(dialog);
      });
      return false;
    case cmd::kInit:
      exchange::SendInitCommand(*engine_);
      return false;
    case cmd::kInitialiseDevice:
      return exchange::InitialiseDevice(*engine_, root());
    case cmd::kConverterAuto:
      engine_->port().set_converter_mode(link::kConverterAuto);
      return false;
    case cmd::kConverterSemiAuto:
      engine_->port().set_converter_mode(link::kConverterSemiAuto);
      return false;
    case cmd::kPortSetup:
      fe.RunSetupCarrier(*engine_, false);
      return false;
    case cmd::kStateInOut:
      fe.ShowStateInOut(*this);
      return false;
    case cmd::kExportHtml:
      ExportParameterList();
      return false;
    case cmd::kShowIndexes:
      modes_.showIndexes.store(!modes_.showIndexes.load());
      UpdateAllViews();
      return false;
    case cmd::kAutoRead:
      modes_.autoRead.store(!modes_.autoRead.load());
      return false;
    case cmd::kImmediateWrite:
      ToggleImmediateWrite();
      return false;
    case cmd::kNoAttributes:
      ToggleNoAttributes();
      return false;
    case cmd::kHelp:
    case cmd::kHelpButton:
      OnHelp();
      return false;
    default:
      return false;
  }
}

bool CTRB6Doc::IsChecked(int id) const {
  switch (id) {
    case cmd::kShowIndexes:
      return modes_.showIndexes.load();
    case cmd::kAutoRead:
      return modes_.autoRead.load();
    case cmd::kImmediateWrite:
      return modes_.immediateWrite.load();
    case cmd::kNoAttributes:
      return !engine_->attribute_transfer();
    case cmd::kConverterAuto:
      return engine_->port().converter_mode() == link::kConverterAuto;
    case cmd::kConverterSemiAuto:
      return engine_->port().converter_mode() == link::kConverterSemiAuto;
    default:
      return false;
  }
}

bool CTRB6Doc::TreeCommand(int code) {
  env_.frontEnd->BeginWaitCursor();
  const bool ran = exchange::RunTreeCommand(*engine_, root(), code);
  env_.frontEnd->EndWaitCursor();
  return ran;
}

bool CTRB6Doc::BranchCommand(int code) {
  env_.frontEnd->BeginWaitCursor();
  bool ran = false;
  if (code == exchange::kTaskCompare) {
    // The compare has its own report, but the branch must be a description branch too.
    if (!dynamic_cast<model::DescBranch*>(currentBranch))
      Show(exchange::kNoBranchText, exchange::kImpossibleCaption, link::MsgIcon::Error);
    else if ((ran = exchange::CompareCommand(*engine_, currentBranch)))
      engine_->UpdateAllViews();
  } else {
    ran = exchange::RunBranchCommand(*engine_, currentBranch, code);
  }
  env_.frontEnd->EndWaitCursor();
  return ran;
}

void CTRB6Doc::ToggleImmediateWrite() {
  if (modes_.immediateWrite.load()) {
    modes_.immediateWrite.store(false);
    return;
  }
  modes_.immediateWrite.store(true);
  Show(kImmediateWriteText, model::kProgramTitle, link::MsgIcon::Information);
}

void CTRB6Doc::ToggleNoAttributes() {
  if (!engine_->attribute_transfer()) {
    engine_->set_attribute_transfer(true);
    return;
  }
  engine_->set_attribute_transfer(false);
  Show(kNoAttributesText, model::kProgramTitle, link::MsgIcon::Information);
}

void CTRB6Doc::UpdateAllViews() {
  env_.frontEnd->UpdateAllViews();
}

bool CTRB6Doc::ExportParameterList() {
  FrontEnd& fe = *env_.frontEnd;
  const std::string path = CachedParameterListPath();
  std::string error = path.empty() ? std::strerror(errno) : std::string();
  fe.BeginWaitCursor();
  const bool written =
      !path.empty() && app::ExportParameterList(
                           path, root(), env_.programDirectory + kParameterListFragmentName, error);
  fe.EndWaitCursor();
  if (!written) {
    Show(std::string(kExportFailedText) + " \"" + (path.empty() ? kParameterListFileName : path) +
             "\":\n" + error,
         model::kProgramTitle, link::MsgIcon::Error);
    return false;
  }
  fe.OpenDocumentFile(path);  // an opener that fails is not reported
  return true;
}

int CTRB6Doc::OnHelp() {
  FrontEnd& fe = *env_.frontEnd;
  fe.BeginWaitCursor();
  const int rc = fe.OpenDocumentFile(env_.programDirectory + kHelpFile);
  fe.EndWaitCursor();
  if (rc == ENOENT) Show(kHelpMissingText, model::kProgramTitle, link::MsgIcon::Warning);
  return rc;
}

}  // namespace vesk::app
