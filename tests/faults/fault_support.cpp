#include "fault_support.h"

#include <signal.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "model/config_file.h"
#include "model/description_branch.h"
#include "model/description_container.h"
#include "model/description_loader.h"

namespace vesk::faults {

namespace {

using namespace std::chrono_literals;

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

// A value of `name` at copy `index` in `state`, different from every other copy's and
// from the other state's; nullopt keeps the simulator's own.
std::optional<std::string> MarkedValue(const std::string& name, int index, int state) {
  const int i = index < 0 ? 0 : index;
  auto cycle = [&](std::vector<const char*> items) {
    return std::string(items[static_cast<size_t>(i + state) % items.size()]);
  };
  if (name == "FiLt") return std::to_string(100 + 7 * i + state);
  if (name == "Cn.K") return std::to_string(i + 1 + state) + ".125";
  if (name == "Cn.SP") return std::to_string(1000 + 37 * i + state);
  if (name == "tHP") return std::to_string(200 + 150 * i + state);
  if (name == "tP.H") return std::to_string(11 + 3 * i + state);
  if (name == "clb.k") return std::to_string(100 + 61 * i + state);
  if (name == "Alr.t") return state == 0 ? "01:23" : "02:34";
  if (name == "in.tP") return cycle({"Сухой контакт", "Потенциальный"});
  if (name == "inv") return cycle({"Нет", "Да"});
  if (name == "Cn.Md") return cycle({"Выключен", "По фронту", "По спаду", "По обоим фронтам"});
  if (name == "OUt.M") return cycle({"Дискретный", "ШИМ"});
  if (name == "SAF.S") return cycle({"Сохранять состояние", "Выключить", "Включить"});
  if (name == "POUt") return cycle({"Выключен", "Включен"});
  // The network name, one packed code a copy: "VESK" and "ABCD".
  if (name == "CHAr" && i < 4) {
    static constexpr int kCodes[2][4] = {{62, 28, 56, 40}, {20, 22, 24, 26}};
    return std::to_string(kCodes[state][i]);
  }
  return std::nullopt;
}

void Flatten(const model::DescriptionBranch& branch, std::vector<TreeEntry>& out) {
  for (const auto& p : branch.parameters) {
    TreeEntry e;
    e.name = p->short_name;
    e.index = p->indexed ? p->linear_index : -1;
    e.has_attributes = p->has_attributes != 0;
    e.writable = p->writable;
    e.value = p->value;
    e.note = p->note;
    e.editable = p->editable;
    e.owned_by_firm = p->owned_by_firm;
    out.push_back(std::move(e));
  }
  for (const auto& child : branch.children) Flatten(*child, out);
}

class Target : public model::ConfigurationTarget {
 public:
  model::DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    model::LoadDescriptionFrom(TreePath(), device_kind, tree);
    return tree.root.get();
  }
  model::DescriptionTree tree;
};

}  // namespace

// ---------------------------------------------------------------- the simulator's files

Dump ParseDump(const std::string& text) {
  Dump dump;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, index, hash, attributes, value;
    std::getline(fields, name, '\t');
    std::getline(fields, index, '\t');
    std::getline(fields, hash, '\t');
    std::getline(fields, attributes, '\t');
    std::getline(fields, value);
    dump[{name, index}] = DumpEntry{hash, attributes, Unescape(value)};
  }
  return dump;
}

std::string FormatDump(const Dump& dump) {
  std::string out;
  for (const auto& [key, e] : dump)
    out += key.first + "\t" + key.second + "\t" + e.hash + "\t" + e.attributes + "\t" +
           Escape(e.value) + "\n";
  return out;
}

Dump MarkedState(const Dump& defaults, int state) {
  Dump out;
  int with_attributes = 0;
  for (const auto& [key, entry] : defaults) {
    if (key.first == "CHAr*") continue;  // derived from the "CHAr" codes
    DumpEntry e = entry;
    const int index = key.second == "-" ? -1 : std::stoi(key.second);
    if (auto v = MarkedValue(key.first, index, state)) e.value = *v;
    // The network name's codes take the attributes of the one record that holds the
    // name, and the device refuses to give the firm's code to the user: they stay the
    // user's.
    if (e.attributes != "-" && key.first != "CHAr") {
      // Editable everywhere, so that every value can be written; owned by the firm here
      // and there. What state 0 gives the firm, state 1 does too: the device refuses to
      // hand a parameter of the firm to the user.
      const int k = ++with_attributes % 4;
      e.attributes = (k == 1 || (state == 1 && k == 2)) ? "1" : "3";
    }
    out[key] = e;
  }
  return out;
}

SimRun::SimRun(const TempDir& dir, const std::string& state_file,
               const std::vector<std::string>& extra) {
  dump_path = dir / "dump.txt";
  trace_path = dir / "trace.txt";
  std::vector<std::string> args{"--tree",     TreePath(), "--bps",   std::to_string(kTestBaud),
                                "--input-ms", "0",        "--state", state_file,
                                "--dump",     dump_path,  "--trace", trace_path};
  args.insert(args.end(), extra.begin(), extra.end());
  started_ = std::chrono::steady_clock::now();
  process_ = std::make_unique<Process>(BinPath("vesk-sim"), args, dir.path(), "sim");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = ReadFile(process_->out_path());
    if (const size_t eol = text.find('\n'); eol != std::string::npos) {
      pty_ = text.substr(0, eol);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
}

SimRun::~SimRun() {
  Stop();
}

int SimRun::Stop() {
  if (!process_) return -1;
  process_->Signal(SIGTERM);
  // Process::Wait counts its limit from the start of the process.
  const auto lived = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  const RunResult r = process_->Wait(lived + 10s);
  process_.reset();
  errors = r.err;
  return r.exit_code;
}

void SimRun::Kill() {
  if (!process_) return;
  process_->Signal(SIGKILL);
  process_->Wait(std::chrono::hours(1));
  process_.reset();
}

int SimRun::Received() const {
  const std::string text = ReadFile(trace_path);
  int n = 0;
  for (size_t at = text.find(" RX "); at != std::string::npos; at = text.find(" RX ", at + 1)) ++n;
  return n;
}

std::unique_ptr<Process> StartConfigurator(const TempDir& dir, const std::string& pty,
                                           const std::string& keys, const std::string& file) {
  return std::make_unique<Process>(
      BinPath("vesk-configurator"),
      std::vector<std::string>{"--no-gui", "--port=" + pty, "--bps=" + std::to_string(kTestBaud),
                               keys, "--", file},
      dir.path(), "configurator");
}

// ---------------------------------------------------------------- the tree

std::string TreeEntry::Key() const {
  return index < 0 ? name : name + ":" + std::to_string(index);
}

DumpKey TreeEntry::Dump() const {
  return {name, index < 0 ? "-" : std::to_string(index)};
}

std::string TreeEntry::AttributeText() const {
  return std::to_string((editable ? 1 : 0) | (owned_by_firm ? 0 : 2));
}

std::vector<TreeEntry> FreshTree() {
  model::DescriptionTree tree;
  std::vector<TreeEntry> out;
  if (model::LoadDescriptionFrom(TreePath(), model::kVeskDeviceKind, tree) ==
          model::DescriptionStatus::Built &&
      tree.root)
    Flatten(*tree.root, out);
  return out;
}

SavedConfiguration LoadSaved(const std::string& path) {
  SavedConfiguration saved;
  RecordingPresenter presenter;
  Target target;
  saved.loaded = model::LoadConfiguration(path, target) == model::LoadOutcome::Loaded &&
                 target.tree.root != nullptr;
  if (target.tree.root) Flatten(*target.tree.root, saved.entries);
  saved.messages = presenter.messages;
  return saved;
}

RecordingPresenter::RecordingPresenter() {
  link::SetPresenter(this);
}

RecordingPresenter::~RecordingPresenter() {
  link::SetPresenter(nullptr);
}

link::MsgAnswer RecordingPresenter::ShowMessage(std::string_view text, std::string_view caption,
                                                link::MsgIcon, link::MsgButtons) {
  messages.push_back(std::string(caption) + ": " + std::string(text));
  return link::MsgAnswer::No;
}

}  // namespace vesk::faults
