#pragma once
// Running the configurator and the simulator as processes for the shell's tests: each
// test gets a folder of its own, and every process it starts sees that folder as its home
// and configuration home (no test touches the user's settings) and no display.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vesk::app::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// The built programs and the description container.
std::string BinPath(const std::string& program);
std::string TreePath();

struct RunResult {
  int exit_code = -1;  // -1: killed after the time limit (a hang), or not started
  bool timed_out = false;
  std::string out;
  std::string err;
  std::chrono::milliseconds elapsed{0};
};

// Environment of a started process: the test's folder as HOME and XDG_CONFIG_HOME, the
// description container, no display, the C locale (the program speaks Russian). An entry
// of `changes` ("NAME=VALUE") replaces the variable of that name, "NAME" alone removes it.
std::vector<std::string> ChildEnvironment(const std::string& home,
                                          const std::vector<std::string>& changes = {});

// A started process; `Wait` ends it by SIGKILL when it outlives the limit.
class Process {
 public:
  // Starts `program` with `args` in the folder `cwd`, stdout and stderr into files there.
  Process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
          const std::string& tag, const std::vector<std::string>& environment_changes = {});
  ~Process();
  pid_t pid() const { return pid_; }
  void Signal(int sig);
  const std::string& out_path() const { return out_path_; }
  RunResult Wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  std::string out_path_, err_path_;
  std::chrono::steady_clock::time_point start_;
  bool waited_ = false;
};

// Runs the configurator in `dir` with `args` and waits for it (at most `limit`).
RunResult RunConfigurator(const TempDir& dir, const std::vector<std::string>& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(30),
                          const std::vector<std::string>& environment_changes = {});

// The simulator on a pseudo-terminal, ended (SIGTERM) when destroyed. It is given the
// build's description container unless `args` name one (--tree).
class Simulator {
 public:
  Simulator(const TempDir& dir, const std::vector<std::string>& args);
  ~Simulator();
  const std::string& pty() const { return pty_; }
  // Ends it and waits; files it writes at exit (--dump) are complete afterwards.
  int Stop();

 private:
  Process* process_ = nullptr;
  std::string pty_;
};

}  // namespace vesk::app::test
