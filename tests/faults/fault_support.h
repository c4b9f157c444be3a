#pragma once
// What the fault tests share: the simulator as a process with its state, trace and dump
// files, two device states whose values differ from copy to copy, the tree's parameters in
// the order the tasks walk them, and the configuration files read back.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/process_support.h"
#include "exchange/parameter_tasks.h"
#include "link/parameter.h"
#include "link/presenter.h"

namespace vesk::faults {

using app::test::BinPath;
using app::test::Process;
using app::test::ReadFile;
using app::test::RunResult;
using app::test::TempDir;
using app::test::TreePath;
using app::test::WriteFile;

inline constexpr int kTestBaud = 115200;
inline constexpr const char* kNoData = link::kNoData;
inline constexpr const char* kTimeoutNote = exchange::kTimeoutNote;

// ---------------------------------------------------------------- the simulator's files

// One line of a --dump or --state file.
struct DumpEntry {
  std::string hash;
  std::string attributes;  // "-" or the attribute byte in decimal
  std::string value;
};
// Keyed by short name and index ("-" when none).
using DumpKey = std::pair<std::string, std::string>;
using Dump = std::map<DumpKey, DumpEntry>;

Dump ParseDump(const std::string& text);
std::string FormatDump(const Dump& dump);

// The two device states of the tests: every value of a copy differs from the other
// copies' and from the other state's, attributes alternate, and the line settings are
// the simulator's defaults. `state` 0 is the device's ("A"), 1 the file's ("B").
Dump MarkedState(const Dump& defaults, int state);

// vesk-sim as a process in `dir` at 115200 Bd with its inputs still, a state file, a
// dump and a trace, plus `extra` options. The first line of its output names the
// terminal; the constructor waits for it (check Ok()).
class SimRun {
 public:
  SimRun(const TempDir& dir, const std::string& state_file, const std::vector<std::string>& extra);
  ~SimRun();
  SimRun(const SimRun&) = delete;
  SimRun& operator=(const SimRun&) = delete;

  bool Ok() const { return !pty_.empty(); }
  const std::string& pty() const { return pty_; }
  pid_t Pid() const { return process_ ? process_->pid() : -1; }
  // SIGTERM and wait: the dump and the state are written then.
  int Stop();
  // SIGKILL: the terminal vanishes without a word and nothing is written.
  void Kill();
  // Received frames in the trace so far.
  int Received() const;

  std::string dump_path, trace_path;
  std::string errors;  // what it wrote to stderr, once stopped

 private:
  std::unique_ptr<Process> process_;
  std::chrono::steady_clock::time_point started_;
  std::string pty_;
};

// The configurator started headless in `dir` on the simulator's terminal with `keys` (one
// argument of keys, e.g. "/read/close") and the configuration file after "--".
std::unique_ptr<Process> StartConfigurator(const TempDir& dir, const std::string& pty,
                                           const std::string& keys, const std::string& file);

// ---------------------------------------------------------------- the tree

// One parameter of the configuration tree, as a file holds it.
struct TreeEntry {
  std::string name;
  int index = -1;  // -1: not indexed
  bool has_attributes = false;
  bool writable = true;
  std::string value;
  std::string note;
  bool editable = true;
  bool owned_by_firm = false;

  // "FiLt:3" or "dev", as the error log writes it.
  std::string Key() const;
  // The key of its line in the simulator's dump.
  DumpKey Dump() const;
  // The attribute byte of the dump: bit 0 editable, bit 1 the user's.
  std::string AttributeText() const;
};

// The root's parameters in the order the read and write tasks walk them (own parameters,
// then each child branch, depth first). Empty when the description cannot be built.
std::vector<TreeEntry> FreshTree();

// A configuration file read back through the archive reader, every message it would have
// shown kept instead.
struct SavedConfiguration {
  bool loaded = false;
  std::vector<std::string> messages;
  std::vector<TreeEntry> entries;
};
SavedConfiguration LoadSaved(const std::string& path);

// Keeps every message instead of showing it, for as long as it lives.
class RecordingPresenter : public link::Presenter {
 public:
  RecordingPresenter();
  ~RecordingPresenter() override;
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override;
  std::vector<std::string> messages;
};

}  // namespace vesk::faults
