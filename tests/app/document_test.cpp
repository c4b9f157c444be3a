#include "app/document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "link/exit_status.h"
#include "model/net_rs485.h"
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
  link::MsgAnswer MessageBox(std::string_view text, std::string_view caption, link::MsgIcon icon,
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
  bool CreateMainWindow(CTRB6Doc&) override { return true; }
  bool HasMainWindow() const override { return true; }
  bool StaysOpenAfterTask() const override { return true; }
  void Post(std::function<void()> work) override { work(); }
  void Send(std::function<void()> work) override { work(); }
  void RequestClose() override { ++closeRequests; }
  void Run() override {}
  void UpdateAllViews() override { ++viewUpdates; }
  SetupOutcome RunSetupCarrier(exchange::ExchangeEngine&, bool offline_allowed) override {
    setupOffered.push_back(offline_allowed);
    return setupOutcome;
  }
  int OpenDocumentFile(const std::string& path) override {
    opened.push_back(path);
    return test::FileExists(path) ? 0 : ENOENT;
  }

  RecordingPresenter presenter_;
  int closeRequests = 0, viewUpdates = 0;
  std::vector<bool> setupOffered;
  SetupOutcome setupOutcome = SetupOutcome::Exit;
  std::vector<std::string> opened;
};

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    if (!std::getenv("VESK_TREE_DAT")) setenv("VESK_TREE_DAT", test::TreePath().c_str(), 1);
    // No test may reach a serial port of the machine.
    store.WriteText(platform::kSettingsKey, model::kPortPathValue, dir / "no-such-tty");
    link::set_presenter(&fe.presenter_);
    link::exitStatus.store(0);
  }
  void TearDown() override { link::set_presenter(nullptr); }

  // A silent command-line run: no port is ever opened.
  CommandLineSettings Silent(uint32_t more_flags = 0) {
    CommandLineSettings s;
    s.flags = cmdflag::kCommandLineRun | more_flags;
    s.modes = modebit::kSilent | modebit::kAutoReadOff | modebit::kAutoWriteOff;
    return s;
  }

  std::unique_ptr<CTRB6Doc> Make(const CommandLineSettings& settings,
                                 const std::string& program_path = "") {
    DocumentEnvironment env;
    env.frontEnd = &fe;
    env.store = &store;
    env.listPorts = [] { return std::string("COM1"); };
    env.settings = settings;
    env.programPath = program_path.empty() ? dir / "vesk-configurator" : program_path;
    env.programDirectory = dir.path() + "/";
    return std::make_unique<CTRB6Doc>(std::move(env));
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
  EXPECT_FALSE(doc->engine().port().is_open());
  EXPECT_FALSE(doc->linkChecked());
  EXPECT_EQ(link::exitStatus.load(), 0x40u);
  EXPECT_TRUE(fe.setupOffered.empty());  // no set-up dialog in a command-line run
  ASSERT_TRUE(doc->OnNewDocument());
  EXPECT_FALSE(doc->engine().port().is_open());
  ASSERT_NE(doc->root(), nullptr);
  EXPECT_EQ(doc->descriptionVersion, 3);
}

TEST_F(DocumentTest, InteractiveFailedCheckOffersTheSetUp) {
  for (SetupOutcome outcome : {SetupOutcome::Exit, SetupOutcome::Connected}) {
    fe.setupOutcome = outcome;
    fe.setupOffered.clear();
    auto doc = Make(CommandLineSettings{});
    ASSERT_EQ(fe.setupOffered.size(), 1u);
    EXPECT_TRUE(fe.setupOffered[0]);  // offline allowed at start-up
    // The port could not be opened: its own bit stays beside the check's.
    EXPECT_EQ(link::exitStatus.load(), 0x42u);
    EXPECT_EQ(doc->quitRequested, outcome == SetupOutcome::Exit);
    EXPECT_EQ(doc->OnNewDocument(), outcome != SetupOutcome::Exit);
  }
}

TEST_F(DocumentTest, TestKeyRefusesTheNewConfiguration) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->quitRequested);
  CommandLineSettings s = Silent();
  s.modes |= modebit::kTest;
  auto tested = Make(s);
  EXPECT_TRUE(tested->quitRequested);
  EXPECT_FALSE(tested->OnNewDocument());
  EXPECT_EQ(tested->root(), nullptr);
}

TEST_F(DocumentTest, PortKeysGoIntoTheProgramsSettings) {
  CommandLineSettings s = Silent(cmdflag::kPortSettings);
  s.port = 3;
  s.baud = 9600;
  s.parity = kParityEven;
  s.address = "17";
  s.stopBits = "2";
  auto doc = Make(s);
  model::NetRS485prg& net = doc->engine().programNet();
  EXPECT_EQ(net.GetValue("Port"), "COM3");
  EXPECT_EQ(net.GetValue("bPS"), "9600");
  EXPECT_EQ(net.GetValue("PrtY"), "Четность");
  EXPECT_EQ(net.GetValue("Addr"), "17");
  EXPECT_EQ(net.GetValue("Sbit"), "2");
  EXPECT_EQ(net.GetValue("LEn"), "8");  // not given: as stored
  EXPECT_EQ(doc->engine().port().settings().port_name, "COM3");
  EXPECT_EQ(doc->engine().port().settings().baud_rate, 9600);
  EXPECT_FALSE(doc->engine().port().is_open());

  // Without aply the device's network branch is left alone.
  ASSERT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(doc->ApplyPortSettingsToDevice(s), 0);
  EXPECT_EQ(doc->deviceNet()->GetValue("bPS"), link::kNoData);
}

TEST_F(DocumentTest, PortPathAndAplyReachTheDeviceBranch) {
  CommandLineSettings s = Silent(cmdflag::kPortSettings | cmdflag::kAply);
  s.portPath = "/dev/ttyUSB7";
  s.port = 4;
  s.baud = 19200;
  auto doc = Make(s);
  EXPECT_EQ(doc->engine().programNet().GetValue("Port"), "/dev/ttyUSB7");
  ASSERT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(doc->ApplyPortSettingsToDevice(s), 1);
  EXPECT_EQ(doc->deviceNet()->GetValue("bPS"), "19200");
  EXPECT_TRUE(doc->deviceNet()->FindParameter("bPS")->valueChanged);
  EXPECT_EQ(doc->deviceNet()->FindParameter("Port"), nullptr);

  // prty with an unknown value withdrew the port keys: nothing is applied.
  CommandLineSettings none = Silent();
  none.port = 4;
  EXPECT_EQ(doc->ApplyPortSettings(none), 0);
}

TEST_F(DocumentTest, CommandsWithoutTreeOrBranch) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->OnCommand(cmd::kReadAll));
  EXPECT_TRUE(fe.presenter_.Saw("Дерево не определено"));
  EXPECT_EQ(fe.presenter_.shown.back().caption, "Операция невозможна");
  fe.presenter_.shown.clear();
  ASSERT_TRUE(doc->OnNewDocument());
  // A parameter node that is no description branch is no branch either.
  doc->currentBranch = &doc->commonParams();
  for (int id :
       {cmd::kReadBranch, cmd::kWriteBranch, cmd::kWriteBranchChanged, cmd::kCompareBranch}) {
    fe.presenter_.shown.clear();
    EXPECT_FALSE(doc->OnCommand(id));
    ASSERT_EQ(fe.presenter_.shown.size(), 1u) << id;
    EXPECT_EQ(fe.presenter_.shown[0].text, "Ветвь не определена");
    EXPECT_EQ(fe.presenter_.shown[0].icon, link::MsgIcon::Error);
  }
  // Without the exchange thread no task window opens (nothing would close it).
  fe.presenter_.shown.clear();
  EXPECT_FALSE(doc->OnCommand(cmd::kReadAll));
  EXPECT_TRUE(fe.presenter_.shown.empty());
}

TEST_F(DocumentTest, ModeToggles) {
  auto doc = Make(Silent());
  for (int round = 0; round < 2; ++round) {
    fe.presenter_.shown.clear();
    doc->OnCommand(cmd::kImmediateWrite);
    EXPECT_TRUE(doc->IsChecked(cmd::kImmediateWrite));
    ASSERT_EQ(fe.presenter_.shown.size(), 1u);
    EXPECT_EQ(fe.presenter_.shown[0].text, kImmediateWriteText);
    doc->OnCommand(cmd::kImmediateWrite);
    EXPECT_FALSE(doc->IsChecked(cmd::kImmediateWrite));
    EXPECT_EQ(fe.presenter_.shown.size(), 1u);  // nothing when switched off
  }
  fe.presenter_.shown.clear();
  doc->OnCommand(cmd::kNoAttributes);
  EXPECT_TRUE(doc->IsChecked(cmd::kNoAttributes));
  EXPECT_FALSE(doc->engine().attribute_transfer());
  EXPECT_TRUE(fe.presenter_.Saw(kNoAttributesText));
  doc->OnCommand(cmd::kNoAttributes);
  EXPECT_TRUE(doc->engine().attribute_transfer());
  EXPECT_EQ(fe.presenter_.shown.size(), 1u);

  const int updates = fe.viewUpdates;
  doc->OnCommand(cmd::kShowIndexes);
  EXPECT_TRUE(doc->IsChecked(cmd::kShowIndexes));
  EXPECT_EQ(fe.viewUpdates, updates + 1);
  doc->OnCommand(cmd::kAutoRead);
  EXPECT_FALSE(doc->IsChecked(cmd::kAutoRead));

  doc->OnCommand(cmd::kConverterAuto);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterAuto));
  EXPECT_FALSE(doc->IsChecked(cmd::kConverterSemiAuto));
  doc->OnCommand(cmd::kConverterSemiAuto);
  EXPECT_TRUE(doc->IsChecked(cmd::kConverterSemiAuto));
}

TEST_F(DocumentTest, HelpOpensTheManualBesideTheProgram) {
  auto doc = Make(Silent());
  EXPECT_EQ(doc->OnHelp(), ENOENT);
  EXPECT_TRUE(fe.presenter_.Saw(kHelpMissingText));
  ASSERT_EQ(fe.opened.size(), 1u);
  EXPECT_EQ(fe.opened[0], dir.path() + "/docs/help/index.html");

  std::filesystem::create_directories(dir / "docs/help");
  test::WriteFile(dir / "docs/help/index.html", "<html></html>");
  fe.presenter_.shown.clear();
  doc->OnCommand(cmd::kHelpButton);
  EXPECT_TRUE(fe.presenter_.shown.empty());
  EXPECT_EQ(fe.opened.size(), 2u);
}

TEST_F(DocumentTest, WindowExportGoesToTheCacheFolder) {
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  auto doc = Make(Silent());
  ASSERT_TRUE(doc->OnNewDocument());
  EXPECT_FALSE(doc->OnCommand(cmd::kExportHtml));
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
  ASSERT_TRUE(doc->OnNewDocument());
  doc->deviceNet()->SetValue("Addr", "42");
  const std::string file = dir / "a.vesk";
  ASSERT_TRUE(doc->OnSaveDocument(file));
  EXPECT_FALSE(doc->modified);

  auto other = Make(Silent());
  ASSERT_TRUE(other->OnOpenDocument(file));
  EXPECT_EQ(other->lastLoadOutcome(), model::LoadOutcome::Loaded);
  EXPECT_EQ(other->pathName, file);
  EXPECT_EQ(other->deviceNet()->GetValue("Addr"), "42");
}

TEST_F(DocumentTest, ForeignFiles) {
  auto doc = Make(Silent());
  EXPECT_FALSE(doc->OnOpenDocument(dir / "missing.vesk"));
  EXPECT_EQ(doc->lastLoadOutcome(), model::LoadOutcome::Unreadable);

  // Text is malformed archive data: reported, and what was read stays.
  test::WriteFile(dir / "text.vesk", "this is not a configuration\n");
  fe.presenter_.shown.clear();
  EXPECT_TRUE(doc->OnOpenDocument(dir / "text.vesk"));
  EXPECT_TRUE(model::IsArchiveFailure(doc->lastLoadOutcome()));
  EXPECT_FALSE(fe.presenter_.shown.empty());

  // A silent automatic run does not go on with half a configuration.
  auto silent_write = Make(Silent(cmdflag::kWrite));
  EXPECT_TRUE(silent_write->OnOpenDocument(dir / "text.vesk"));
  EXPECT_EQ(silent_write->root(), nullptr);
  EXPECT_EQ(silent_write->descriptionVersion, 19);
}

}  // namespace
}  // namespace vesk::app
