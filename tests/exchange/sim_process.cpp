#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace vesk::test {

namespace {

std::string SimBinary() {
  return std::string(VESK_BIN_DIR) + "/vesk-sim";
}

std::string ReadFirstLine(int fd, int timeout_ms) {
  std::string line;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return {};
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) return {};
    if (c == '\n') return line;
    line += c;
  }
}

}  // namespace

std::string TreeContainerPath() {
  if (const char* env = std::getenv("VESK_TREE_DAT"); env && *env) return env;
  return std::string(VESK_BIN_DIR) + "/vesk.tree.dat";
}

std::string MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vesk-engine-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

SimProcess::SimProcess(const std::string& folder, std::vector<std::string> args) {
  dump_path = folder + "/dump.txt";
  trace_path = folder + "/trace.txt";
  args.insert(args.end(),
              {"--dump", dump_path, "--trace", trace_path, "--tree", TreeContainerPath()});
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    return;
  }
  std::vector<std::string> all{SimBinary()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // The simulator must not outlive a test process that dies (or forks for a death
    // test): an orphan would keep the test's output pipe open for ever.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
  }
  const int spawn_errno = errno;
  ::close(pipe_fds[1]);
  out_ = pipe_fds[0];
  if (pid_ < 0) {
    error_ = std::string("fork: ") + std::strerror(spawn_errno);
    return;
  }
  path_ = ReadFirstLine(out_, 10000);
  if (path_.empty()) error_ = "vesk-sim printed no terminal path";
}

SimProcess::~SimProcess() {
  Stop();
  if (out_ >= 0) ::close(out_);
}

int SimProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SimProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

Dump SimProcess::ReadDump() const {
  Dump dump;
  std::ifstream in(dump_path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, index, hash, attributes, value;
    std::getline(fields, name, '\t');
    std::getline(fields, index, '\t');
    std::getline(fields, hash, '\t');
    std::getline(fields, attributes, '\t');
    std::getline(fields, value);
    dump[{name, index}] = DumpEntry{attributes, value};
  }
  return dump;
}

std::vector<std::string> SimProcess::TraceLines() const {
  std::vector<std::string> lines;
  std::ifstream in(trace_path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

int SimProcess::CountReceived(const std::string& hash) const {
  int n = 0;
  for (const std::string& line : TraceLines())
    if (line.find(" RX ") != std::string::npos && line.find("hash=" + hash) != std::string::npos)
      ++n;
  return n;
}

}  // namespace vesk::test
