#pragma once
// vesk-sim as a child process on a pseudo-terminal, for the engine tests: started with
// options, its terminal path taken from its first output line, ended with SIGTERM (which
// writes --dump) or killed outright to play a vanished port.

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vesk::test {

// One line of the simulator's --dump.
struct DumpEntry {
  std::string attributes;  // "-" or the attribute byte in decimal
  std::string value;
};
// Keyed by short name and index ("-" when none).
using Dump = std::map<std::pair<std::string, std::string>, DumpEntry>;

class SimProcess {
 public:
  // Starts vesk-sim with `args` plus --dump and --trace into `folder`. Check Ok().
  SimProcess(const std::string& folder, std::vector<std::string> args);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Ok() const { return pid_ > 0 && !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // SIGTERM and wait; the dump is written then. Returns the exit status (or -1).
  int Stop();
  // SIGKILL: the terminal disappears without a word.
  void Kill();

  // The dump written at Stop.
  Dump ReadDump() const;
  // The trace's lines so far.
  std::vector<std::string> TraceLines() const;
  // Received frames of the trace whose hash is `hash` (four upper-case hex digits).
  int CountReceived(const std::string& hash) const;

  std::string dump_path;
  std::string trace_path;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string path_;
  std::string error_;
};

// The description container of the tests ($VESK_TREE_DAT, else beside the programs).
std::string TreeContainerPath();

// A fresh empty folder under the system's temporary folder.
std::string MakeTempFolder();
// Removes the folder and what it holds.
void RemoveFolder(const std::string& folder);

}  // namespace vesk::test
