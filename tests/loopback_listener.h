#pragma once
// A TCP server on 127.0.0.1 that never says a word: the kernel completes the connections
// and they wait in its backlog unless a test accepts them. The far end of a network line
// that has gone quiet, for every test program that needs one.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace vesk::test {

class LoopbackListener {
 public:
  explicit LoopbackListener(int backlog = 64) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at = Loopback(0);
    socklen_t size = sizeof at;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd_, backlog) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &size) != 0)
      return;
    port_ = ntohs(at.sin_port);
  }
  ~LoopbackListener() {
    if (filler_ >= 0) ::close(filler_);
    Close();
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool Ok() const { return port_ != 0; }
  int fd() const { return fd_; }
  // "127.0.0.1:PORT", for a "tcp://" or "rfc2217://" port name.
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Takes the one place of a backlog of 0, so that a connect to it is never answered.
  void FillBacklog() {
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in at = Loopback(port_);
    ::connect(filler_, reinterpret_cast<const sockaddr*>(&at), sizeof at);
  }
  // Stops listening: a connect is refused from now on.
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(port);
    return at;
  }

  int fd_ = -1;
  int filler_ = -1;
  uint16_t port_ = 0;
};

}  // namespace vesk::test
