#include "ser2net_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace vesk::test {

namespace {

// A port of 127.0.0.1 that nobody listens on just now.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

// Whether something listens on 127.0.0.1:`port`, told by the kernel's table rather than
// by a connect: a connection makes ser2net open the device, and while it lets the device
// go again, a client of the other accepter is turned away.
bool Listening(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

std::string Ser2netPath() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
    if (::access(path, X_OK) == 0) return path;
  return {};
}

Ser2netProcess::Ser2netProcess(const std::string& folder, const std::string& device,
                               const std::string& line, uint16_t raw_port, uint16_t telnet_port)
    : raw_port_(raw_port ? raw_port : FreePort()),
      telnet_port_(telnet_port ? telnet_port : FreePort()) {
  const std::string program = Ser2netPath();
  if (program.empty() || !raw_port_ || !telnet_port_) {
    error_ = "no ser2net or no free port";
    return;
  }
  const std::string config = folder + "/ser2net.yaml";
  {
    std::ofstream out(config, std::ios::trunc);
    // The gateway settings the product recommends (ansible/examples/ser2net.yaml): no
    // Nagle on the socket and no wait after each character.
    const std::string connector = "  connector: serialdev," + device + "," + line +
                                  ",local\n  options:\n    chardelay: false\n";
    out << "%YAML 1.1\n---\n"
        << "connection: &raw\n  accepter: tcp(nodelay),127.0.0.1," << raw_port_ << "\n"
        << connector << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,"
        << telnet_port_ << "\n"
        << connector;
  }
  // -n: in the foreground; -d: its log on stdout; -u: no UUCP lock files left behind.
  std::vector<std::string> args{program, "-n", "-d", "-u", "-c", config};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = folder + "/ser2net.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    error_ = "ser2net did not start";
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(Listening(raw_port_) && Listening(telnet_port_))) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "ser2net ended at start, see " + log;
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      error_ = "ser2net does not accept connections, see " + log;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

Ser2netProcess::~Ser2netProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      Kill();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Ser2netProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string Ser2netProcess::RawName() const {
  return "tcp://127.0.0.1:" + std::to_string(raw_port_);
}

std::string Ser2netProcess::Rfc2217Name() const {
  return "rfc2217://127.0.0.1:" + std::to_string(telnet_port_);
}

}  // namespace vesk::test
