#include "process_support.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace vesk::app::test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_counter{0};

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vesk-app-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

std::string BinPath(const std::string& program) {
  return std::string(VESK_BIN_DIR) + "/" + program;
}

std::string TreePath() {
  const char* env = std::getenv("VESK_TREE_DAT");
  return env && *env ? env : BinPath("vesk.tree.dat");
}

std::vector<std::string> ChildEnvironment(const std::string& home,
                                          const std::vector<std::string>& changes) {
  std::vector<std::string> env{"HOME=" + home,
                               "XDG_CONFIG_HOME=" + home + "/config",
                               "XDG_CACHE_HOME=" + home + "/cache",
                               "VESK_TREE_DAT=" + TreePath(),
                               "PATH=/usr/bin:/bin",
                               "LANG=C.UTF-8"};
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('='));
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name + "="); });
    if (change.find('=') != std::string::npos) env.push_back(change);
  }
  return env;
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd, const std::string& tag,
                 const std::vector<std::string>& environment_changes) {
  const int n = g_counter.fetch_add(1);
  out_path_ = cwd + "/" + tag + "-" + std::to_string(n) + ".out";
  err_path_ = cwd + "/" + tag + "-" + std::to_string(n) + ".err";

  std::vector<std::string> argv_s{program};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s = ChildEnvironment(cwd, environment_changes);
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  // The child starts in the test's folder, so relative names mean that folder.
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  start_ = std::chrono::steady_clock::now();
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
}

Process::~Process() {
  if (pid_ > 0 && !waited_) {
    ::kill(pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
  }
}

void Process::Signal(int sig) {
  if (pid_ > 0 && !waited_) ::kill(pid_, sig);
}

RunResult Process::Wait(std::chrono::milliseconds limit) {
  RunResult r;
  if (pid_ <= 0) return r;
  const auto deadline = start_ + limit;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      r.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  waited_ = true;
  r.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start_);
  if (!r.timed_out && WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  r.out = ReadFile(out_path_);
  r.err = ReadFile(err_path_);
  return r;
}

RunResult RunConfigurator(const TempDir& dir, const std::vector<std::string>& args,
                          std::chrono::milliseconds limit,
                          const std::vector<std::string>& environment_changes) {
  Process p(BinPath("vesk-configurator"), args, dir.path(), "configurator", environment_changes);
  return p.Wait(limit);
}

Simulator::Simulator(const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> all;
  if (std::find(args.begin(), args.end(), "--tree") == args.end()) all = {"--tree", TreePath()};
  all.insert(all.end(), args.begin(), args.end());
  process_ = new Process(BinPath("vesk-sim"), all, dir.path(), "sim");
  // The first line of its output names the terminal.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  const std::string out = process_->out_path();
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = ReadFile(out);
    const size_t eol = text.find('\n');
    if (eol != std::string::npos) {
      pty_ = text.substr(0, eol);
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  if (pty_.empty()) throw std::runtime_error("vesk-sim did not name its terminal");
}

Simulator::~Simulator() {
  Stop();
}

int Simulator::Stop() {
  if (!process_) return -1;
  process_->Signal(SIGTERM);
  const int code = process_->Wait(10s).exit_code;
  delete process_;
  process_ = nullptr;
  return code;
}

}  // namespace vesk::app::test
