#include "app/document.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "link/exit_status.h"
#include "model/device_line_settings.h"
#include "platform/language.h"
#include "platform/settings_store.h"
#include "process_support.h"

namespace vesk::app {
namespace {

struct Shown {
  std::string text, caption;
  link::MsgIcon icon;
  link::MsgButtons buttons;
};

class RecordingPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override {
    shown.push_back({std::string(text), std::string(caption), icon, buttons});
    return buttons == link::MsgButtons::Ok ? link::MsgAnswer::Ok : answer;
  }
  bool Saw(const std::string& text) const {
    for (const Shown& s : shown)
      if (s.text == text) return true;
    return false;
  }
  std::vector<Shown> shown;
  link::MsgAnswer answer = link::MsgAnswer::No;
};

// A front end that records what the document asks of it and opens nothing.
class RecordingFrontEnd : public FrontEnd {
 public:
  link::Presenter& presenter() override { return presenter_; }
  bool CreateMainWindow(Document&) override { return true; }
  bool HasMainWindow() const override { return true; }
  bool StaysOpenAfterTask() const override { return true; }
  void Post(std::function<void()> work) override { work(); }
  void Send(std::function<void()> work) override { work(); }
  void RequestClose() override { ++close_requests; }
  void Run() override {}
  void RefreshViews() override { ++view_updates; }
  SetupOutcome RunSetupCarrier(exchange::ExchangeEngine&, bool offline_allowed) override {
    setup_offered.push_back(offline_allowed);
    return setup_outcome;
  }
  int OpenDocumentFile(const std::string& path) override {
    opened.push_back(path);
    return test::FileExists(path) ? 0 : ENOENT;
  }

  RecordingPresenter presenter_;
  int close_requests = 0, view_updates = 0;
  std::vector<bool> setup_offered;
  SetupOutcome setup_outcome = SetupOutcome::Exit;
  std::vector<std::string> opened;
};

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", test::TreePath().c_str(), 1);
    // No test may reach a serial port of the machine.
    store.WriteText(platform::kSettingsKey, model::kPortPathValue, dir / "no-such-tty");
    link::SetPresenter(&fe.presenter_);
    link::exit_status.store(0);
  }
  void TearDown() override { link::SetPresenter(nullptr); }

  // A silent command-line run: no port is ever opened.
  CommandLineSettings Silent(uint32_t more_flags = 0) {
    CommandLineSettings s;
    s.flags = cmdflag::kCommandLineRun | more_flags;
    s.modes = modebit::kSilent | modebit::kAutoReadOff | modebit::kAutoWriteOff;
    return s;
  }

  std::unique_ptr<Document> Make(const CommandLineSettings& settings,
                                 const std::string& program_path = "") {
    DocumentEnvironment env;
    env.front_end = &fe;
    env.store = &store;
    env.list_ports = [] { return std::string("COM1"); };
    env.settings = settings;
    env.program_path = program_path.empty() ? dir / "vesk-configurator" : program_path;
    env.program_directory = dir.path() + "/";
    return std::make_unique<Document>(std::move(env));
  }

  test::TempDir dir;
  platform::SettingsStore store{dir / "settings.ini"};
  RecordingFrontEnd fe;
};

TEST_F(DocumentTest, FreshStartModesAndInstallationValues) {
  auto doc = Make(Silent());
  EXPECT_TRUE(doc->IsChecked(cmd::kAutoRead));
  EXPECT_FALSE(doc->IsChecked(cmd::kShowIndexes));
  EXPECT_FALSE(doc->IsChecked(cmd::kImmediateWrite));
  EXPECT_FALSE(doc->IsChecked(cmd::kNoAttributes));
  EXPECT_EQ(store.ReadText(platform::kDevicesKey, kDevicesValue), "ВЕСК");
  EXPECT_EQ(store.ReadText(platform::kDevicesKey, "name"), "VESK");
  EXPECT_FALSE(store.ReadText(platform::kDevicesKey, kApplicationValue).has_value());
  EXPECT_TRUE(fe.presenter_.shown.empty());
}

TEST_F(DocumentTest, SeveralConfiguratorsQuestion) {
  const std::string other = dir / "other-configurator";
  test::WriteFile(other, "x");
  const std::string registered = "\"" + other + "\"";
  store.WriteText(platform::kDevicesKey, kApplicationValue, registered);
  {
    auto doc = Make(Silent());  // the question is asked in command-line runs too
    ASSERT_EQ(fe.presenter_.shown.size(), 1u);
    const Shown& q = fe.presenter_.shown[0];
    EXPECT_EQ(q.buttons, link::MsgButtons::YesNo);
    EXPECT_EQ(q.icon, link::MsgIcon::Information);
    EXPECT_EQ(q.text, SeveralConfiguratorsText(dir / "vesk-configurator", other));
    EXPECT_EQ(store.ReadText(platform::kDevicesKey, kApplicationValue), registered);
  }
  fe.presenter_.answer = link::MsgAnswer::Yes;
  auto doc = Make(Silent());
  EXPECT_EQ(fe.presenter_.shown.size(), 2u);  // asked again: No left the value as it was
  EXPECT_EQ(store.ReadText(platform::kDevicesKey, kApplicationValue),
            "\"" + (dir / "vesk-configurator") + "\"");
}

TEST_F(DocumentTest, NoQuestionForTheRunningProgramOrAMissingOne) {
  const std::string self = dir / "self";
  test::WriteFile(self, "x");
  for (const std::string& value : {"\"" + self + "\"", std::string("/no/such/program")}) {
    store.WriteText(platform::kDevicesKey, kApplicationValue, value);
    auto doc = Make(Silent(), self);
    EXPECT_TRUE(fe.presenter_.shown.empty()) << value;
  }
  const std::string text = SeveralConfiguratorsText("A", "B");
  EXPECT_NE(text.find("(\"A\")\nкак основной"), std::string::npos);
  EXPECT_NE(text.find("\n(\"B\")?"), std::string::npos);
}

TEST_F(DocumentTest, SilentRunOpensNoPortAndRecordsTheFailedCheck) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->engine().port().IsOpen());
  EXPECT_FALSE(doc->link_checked());
  EXPECT_EQ(link::exit_status.load(), 0x40u);
  EXPECT_TRUE(fe.setup_offered.empty());  // no set-up dialog in a command-line run
  ASSERT_TRUE(doc->NewDocument());
  EXPECT_FALSE(doc->engine().port().IsOpen());
  ASSERT_NE(doc->Root(), nullptr);
  EXPECT_EQ(doc->description_version, 3);
}

TEST_F(DocumentTest, InteractiveFailedCheckOffersTheSetUp) {
  for (SetupOutcome outcome : {SetupOutcome::Exit, SetupOutcome::Connected}) {
    fe.setup_outcome = outcome;
    fe.setup_offered.clear();
    auto doc = Make(CommandLineSettings{});
    ASSERT_EQ(fe.setup_offered.size(), 1u);
    EXPECT_TRUE(fe.setup_offered[0]);  // offline allowed at start-up
    // The port could not be opened: its own bit stays beside the check's.
    EXPECT_EQ(link::exit_status.load(), 0x42u);
    EXPECT_EQ(doc->quit_requested, outcome == SetupOutcome::Exit);
    EXPECT_EQ(doc->NewDocument(), outcome != SetupOutcome::Exit);
  }
}

TEST_F(DocumentTest, TestKeyRefusesTheNewConfiguration) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->quit_requested);
  CommandLineSettings s = Silent();
  s.modes |= modebit::kTest;
  auto tested = Make(s);
  EXPECT_TRUE(tested->quit_requested);
  EXPECT_FALSE(tested->NewDocument());
  EXPECT_EQ(tested->Root(), nullptr);
}

TEST_F(DocumentTest, PortKeysGoIntoTheProgramsSettings) {
  CommandLineSettings s = Silent(cmdflag::kPortSettings);
  s.port = 3;
  s.baud = 9600;
  s.parity = kParityEven;
  s.address = "17";
  s.stop_bits = "2";
  auto doc = Make(s);
  model::ProgramLineSettings& net = doc->engine().program_line();
  EXPECT_EQ(net.GetValue("Port"), "COM3");
  EXPECT_EQ(net.GetValue("bPS"), "9600");
  EXPECT_EQ(net.GetValue("PrtY"), "Четность");
  EXPECT_EQ(net.GetValue("Addr"), "17");
  EXPECT_EQ(net.GetValue("Sbit"), "2");
  EXPECT_EQ(net.GetValue("LEn"), "8");  // not given: as stored
  EXPECT_EQ(doc->engine().port().settings().port_name, "COM3");
  EXPECT_EQ(doc->engine().port().settings().baud_rate, 9600);
  EXPECT_FALSE(doc->engine().port().IsOpen());

  // Without aply the device's network branch is left alone.
  ASSERT_TRUE(doc->NewDocument());
  EXPECT_EQ(doc->ApplyPortSettingsToDevice(s), 0);
  EXPECT_EQ(doc->DeviceNet()->GetValue("bPS"), link::kNoData);
}

TEST_F(DocumentTest, PortPathAndAplyReachTheDeviceBranch) {
  CommandLineSettings s = Silent(cmdflag::kPortSettings | cmdflag::kAply);
  s.port_path = "/dev/ttyUSB7";
  s.port = 4;
  s.baud = 19200;
  auto doc = Make(s);
  EXPECT_EQ(doc->engine().program_line().GetValue("Port"), "/dev/ttyUSB7");
  ASSERT_TRUE(doc->NewDocument());
  EXPECT_EQ(doc->ApplyPortSettingsToDevice(s), 1);
  EXPECT_EQ(doc->DeviceNet()->GetValue("bPS"), "19200");
  EXPECT_TRUE(doc->DeviceNet()->FindParameter("bPS")->value_changed);
  EXPECT_EQ(doc->DeviceNet()->FindParameter("Port"), nullptr);

  // prty with an unknown value withdrew the port keys: nothing is applied.
  CommandLineSettings none = Silent();
  none.port = 4;
  EXPECT_EQ(doc->ApplyPortSettings(none), 0);
}

TEST_F(DocumentTest, CommandsWithoutTreeOrBranch) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->RunCommand(cmd::kReadAll));
  EXPECT_TRUE(fe.presenter_.Saw("Дерево не определено"));
  EXPECT_EQ(fe.presenter_.shown.back().caption, "Операция невозможна");
  fe.presenter_.shown.clear();
  ASSERT_TRUE(doc->NewDocument());
  // A parameter node that is no description branch is no branch either.
  doc->current_branch = &doc->service_parameters();
  for (int id :
       {cmd::kReadBranch, cmd::kWriteBranch, cmd::kWriteBranchChanged, cmd::kCompareBranch}) {
    fe.presenter_.shown.clear();
    EXPECT_FALSE(doc->RunCommand(id));
    ASSERT_EQ(fe.presenter_.shown.size(), 1u) << id;
    EXPECT_EQ(fe.presenter_.shown[0].text, "Ветвь не определена");
    EXPECT_EQ(fe.presenter_.shown[0].icon, link::MsgIcon::Error);
  }
  // Without the exchange thread no task window opens (nothing would close it).
  fe.presenter_.shown.clear();
  EXPECT_FALSE(doc->RunCommand(cmd::kReadAll));
  EXPECT_TRUE(fe.presenter_.shown.empty());
}

TEST_F(DocumentTest, ModeToggles) {
  auto doc = Make(Silent());
  for (int round = 0; round < 2; ++round) {
    fe.presenter_.shown.clear();
    doc->RunCommand(cmd::kImmediateWrite);
    EXPECT_TRUE(doc->IsChecked(cmd::kImmediateWrite));
    ASSERT_EQ(fe.presenter_.shown.size(), 1u);
    EXPECT_EQ(fe.presenter_.shown[0].text, kImmediateWriteText);
    doc->RunCommand(cmd::kImmediateWrite);
    EXPECT_FALSE(doc->IsChecked(cmd::kImmediateWrite));
    EXPECT_EQ(fe.presenter_.shown.size(), 1u);  // nothing when switched off
  }
  fe.presenter_.shown.clear();
  doc->RunCommand(cmd::kNoAttributes);
  EXPECT_TRUE(doc->IsChecked(cmd::kNoAttributes));
  EXPECT_FALSE(doc->engine().attribute_transfer());
  EXPECT_TRUE(fe.presenter_.Saw(kNoAttributesText));
  doc->RunCommand(cmd::kNoAttributes);
  EXPECT_TRUE(doc->engine().attribute_transfer());
  EXPECT_EQ(fe.presenter_.shown.size(), 1u);

  const int updates = fe.view_updates;
  doc->RunCommand(cmd::kShowIndexes);
  EXPECT_TRUE(doc->IsChecked(cmd::kShowIndexes));
  EXPECT_EQ(fe.view_updates, updates + 1);
  doc->RunCommand(cmd::kAutoRead);
  EXPECT_FALSE(doc->IsChecked(cmd::kAutoRead));

  doc->RunCommand(cmd::kConverterAuto);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterAuto));
  EXPECT_FALSE(doc->IsChecked(cmd::kConverterSemiAuto));
  doc->RunCommand(cmd::kConverterSemiAuto);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterSemiAuto));

  // The driver's RS-485 mode: a closed port takes it; an open one whose driver lacks it
  // (a pseudo-terminal) refuses it with a message and keeps the mode it had.
  const size_t messages = fe.presenter_.shown.size();
  doc->RunCommand(cmd::kConverterKernel);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterKernel));
  EXPECT_FALSE(doc->IsChecked(cmd::kConverterAuto));
  doc->RunCommand(cmd::kConverterAuto);
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
  doc->engine().port().settings().port_name = ::ptsname(master);
  ASSERT_EQ(doc->engine().port().Open(), link::kOpenOk);
  doc->RunCommand(cmd::kConverterKernel);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterAuto));
  ASSERT_EQ(fe.presenter_.shown.size(), messages + 1);
  EXPECT_NE(fe.presenter_.shown.back().text.find("RS-485"), std::string::npos);
  doc->engine().port().Close();
  ::close(master);
}

TEST_F(DocumentTest, HelpOpensTheManualBesideTheProgram) {
  auto doc = Make(Silent());
  EXPECT_EQ(doc->ShowHelp(), ENOENT);
  EXPECT_TRUE(fe.presenter_.Saw(kHelpMissingText));
  ASSERT_EQ(fe.opened.size(), 1u);
  EXPECT_EQ(fe.opened[0], dir.path() + "/docs/help/index.html");

  std::filesystem::create_directories(dir / "docs/help");
  test::WriteFile(dir / "docs/help/index.html", "<html></html>");
  fe.presenter_.shown.clear();
  doc->RunCommand(cmd::kHelpButton);
  EXPECT_TRUE(fe.presenter_.shown.empty());
  EXPECT_EQ(fe.opened.size(), 2u);
}

TEST_F(DocumentTest, HelpOpensTheManualOfTheLanguageSpoken) {
  auto doc = Make(Silent());
  const std::string russian = dir / kHelpFile, english = dir / kEnglishHelpFile;
  const struct {
    platform::Language language;
    bool english_there;
    std::string opened;
  } cases[] = {{platform::Language::Russian, true, russian},
               {platform::Language::English, true, english},
               {platform::Language::English, false, russian}};
  std::filesystem::create_directories(dir / "docs/help");
  test::WriteFile(russian, "<html></html>");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opened);
    std::filesystem::remove(english);
    if (c.english_there) test::WriteFile(english, "<html></html>");
    platform::UseLanguage(c.language, dir.path());
    fe.opened.clear();
    EXPECT_EQ(doc->ShowHelp(), 0);
    platform::UseLanguage(platform::Language::Russian, dir.path());
    EXPECT_EQ(fe.opened, std::vector<std::string>{c.opened});
  }
}

TEST_F(DocumentTest, WindowExportGoesToTheCacheFolder) {
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  auto doc = Make(Silent());
  ASSERT_TRUE(doc->NewDocument());
  EXPECT_FALSE(doc->RunCommand(cmd::kExportHtml));
  const std::string path = dir / "cache/LORN/parlist.html";
  ASSERT_EQ(fe.opened.size(), 1u);
  EXPECT_EQ(fe.opened[0], path);
  EXPECT_NE(test::ReadFile(path).find("<td>FiLt\t</td>"), std::string::npos);

  // A cache folder that cannot be made: the reason is shown, nothing is opened.
  test::WriteFile(dir / "blocked", "");
  setenv("XDG_CACHE_HOME", (dir / "blocked").c_str(), 1);
  EXPECT_FALSE(doc->ExportParameterList());
  EXPECT_EQ(fe.opened.size(), 1u);
  ASSERT_FALSE(fe.presenter_.shown.empty());
  EXPECT_EQ(fe.presenter_.shown.back().text.rfind(kExportFailedText, 0), 0u);
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(DocumentTest, SaveAndOpenAgain) {
  auto doc = Make(Silent());
  ASSERT_TRUE(doc->NewDocument());
  doc->DeviceNet()->SetValue("Addr", "42");
  const std::string file = dir / "a.vesk";
  ASSERT_TRUE(doc->SaveDocument(file));
  EXPECT_FALSE(doc->modified);

  auto other = Make(Silent());
  ASSERT_TRUE(other->OpenDocument(file));
  EXPECT_EQ(other->last_load_outcome(), model::LoadOutcome::Loaded);
  EXPECT_EQ(other->path_name, file);
  EXPECT_EQ(other->DeviceNet()->GetValue("Addr"), "42");
}

TEST_F(DocumentTest, ForeignFiles) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->OpenDocument(dir / "missing.vesk"));
  EXPECT_EQ(doc->last_load_outcome(), model::LoadOutcome::Unreadable);

  // Text is malformed archive data: reported once, and the open configuration stays as it
  // was (name, values, unsaved mark), so that Save cannot overwrite the bad file with it.
  ASSERT_TRUE(doc->NewDocument());
  doc->DeviceNet()->SetValue("Addr", "42");
  doc->modified = true;
  test::WriteFile(dir / "text.vesk", "this is not a configuration\n");
  fe.presenter_.shown.clear();
  EXPECT_FALSE(doc->OpenDocument(dir / "text.vesk"));
  EXPECT_TRUE(model::IsArchiveFailure(doc->last_load_outcome()));
  EXPECT_EQ(fe.presenter_.shown.size(), 1u);
  EXPECT_TRUE(doc->path_name.empty());
  EXPECT_TRUE(doc->modified);
  ASSERT_NE(doc->DeviceNet(), nullptr);
  EXPECT_EQ(doc->DeviceNet()->GetValue("Addr"), "42");

  // A silent automatic run does not go on with half a configuration.
  auto silent_write = Make(Silent(cmdflag::kWrite));
  EXPECT_TRUE(silent_write->OpenDocument(dir / "text.vesk"));
  EXPECT_EQ(silent_write->Root(), nullptr);
  EXPECT_EQ(silent_write->description_version, 19);
}

}  // namespace
}  // namespace vesk::app
