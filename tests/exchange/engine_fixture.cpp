#include "engine_fixture.h"

#include <chrono>

#include "link/exit_status.h"
#include "link/serial_port.h"
#include "model/description_branch.h"

namespace vesk::test {

link::MsgAnswer RecordingPresenter::ShowMessage(std::string_view text, std::string_view caption,
                                                link::MsgIcon icon, link::MsgButtons buttons) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(text), std::string(caption), icon});
  if (buttons == link::MsgButtons::Ok) return link::MsgAnswer::Ok;
  if (!answers_.empty()) {
    const link::MsgAnswer a = answers_.front();
    answers_.erase(answers_.begin());
    return a;
  }
  return link::MsgAnswer::No;
}

std::vector<ShownMessage> RecordingPresenter::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void RecordingPresenter::QueueAnswers(std::vector<link::MsgAnswer> answers) {
  std::lock_guard lock(mutex_);
  answers_ = std::move(answers);
}

bool RecordingProgress::Run(int code, std::string_view caption, int range,
                            const std::function<void()>& opened) {
  {
    std::lock_guard lock(mutex_);
    ++runs;
    last_code = code;
    last_range = range;
    last_caption = std::string(caption);
    ended_ = false;
  }
  opened();
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return ended_; });
  return true;
}

void RecordingProgress::Log(const exchange::ProgressLine& line) {
  {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  if (on_line) on_line(line);
}

bool RecordingProgress::Close() {
  std::lock_guard lock(mutex_);
  ++closes;
  return true;
}

void RecordingProgress::TaskEnded() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  cv_.notify_all();
}

std::vector<exchange::ProgressLine> RecordingProgress::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> RecordingProgress::Texts() const {
  std::vector<std::string> out;
  for (const auto& l : lines()) out.push_back(l.text);
  return out;
}

std::vector<std::string> RecordingProgress::TextsStarting(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& l : lines())
    if (l.text.rfind(prefix, 0) == 0) out.push_back(l.text);
  return out;
}

void RecordingProgress::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

void EngineTest::SetUp() {
  link::exit_status = 0;
  folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  store = std::make_unique<platform::SettingsStore>(folder + "/settings.ini");
  exchange::EngineOptions options;
  options.store = store.get();
  options.list_ports = [] { return std::string(); };
  engine = std::make_unique<exchange::ExchangeEngine>(options);
  engine->SetLinger(std::chrono::milliseconds(10));
  engine->SetProgressSink(&progress);
  link::SetPresenter(&messages);
}

void EngineTest::TearDown() {
  if (engine) engine->StopThreads();
  engine.reset();
  sim.reset();
  link::SetPresenter(nullptr);
  tree.Clear();
  RemoveFolder(folder);
}

void EngineTest::StartSim(std::vector<std::string> args) {
  bool baud_given = false;
  for (const auto& a : args) baud_given = baud_given || a == "--bps";
  int baud = 115200;
  if (!baud_given) {
    args.insert(args.begin(), {"--bps", "115200"});
  } else {
    for (size_t i = 0; i + 1 < args.size(); ++i)
      if (args[i] == "--bps") baud = std::stoi(args[i + 1]);
  }
  sim = std::make_unique<SimProcess>(folder, args);
  ASSERT_TRUE(sim->Ok()) << sim->error();
  OpenPort(baud);
  ASSERT_EQ(engine->StartTransmitThread(), 0);
}

void EngineTest::OpenPort(int baud) {
  engine->program_line().SetValue("Port", sim->path());
  engine->program_line().SetValue("bPS", std::to_string(baud));
  engine->port().set_converter_mode(link::kConverterAuto);
  ASSERT_EQ(engine->OpenPort(false), link::kOpenOk);
}

void EngineTest::LoadTree() {
  ASSERT_EQ(model::LoadDescriptionFrom(TreeContainerPath(), 3, tree),
            model::DescriptionStatus::Built);
  ASSERT_TRUE(tree.root);
}

namespace {
void Collect(model::ParameterNode& node, std::vector<link::Parameter*>& out) {
  for (auto& p : node.parameters) out.push_back(p.get());
  if (auto* branch = dynamic_cast<model::DescriptionBranch*>(&node))
    for (auto& child : branch->children) Collect(*child, out);
}
}  // namespace

std::vector<link::Parameter*> EngineTest::AllParameters() {
  std::vector<link::Parameter*> out;
  if (tree.root) Collect(*tree.root, out);
  return out;
}

link::Parameter* EngineTest::Find(const std::string& name, int index) {
  for (link::Parameter* p : AllParameters())
    if (p->short_name == name && (index < 0 || p->linear_index == index)) return p;
  return nullptr;
}

}  // namespace vesk::test
