#include "line.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vesk::sim {

std::string SystemError(std::string_view what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

Line::~Line() {
  if (!link_path_.empty()) {
    struct stat st {};
    if (lstat(link_path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link_path_.c_str());
  }
  if (terminal_fd_ >= 0) ::close(terminal_fd_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<Line> Line::OpenPty(const LineParams& params, std::string& error) {
  std::unique_ptr<Line> line(new Line);
  line->fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->fd_ < 0) {
    error = SystemError("cannot open a pseudo-terminal", errno);
    return nullptr;
  }
  if (grantpt(line->fd_) != 0 || unlockpt(line->fd_) != 0) {
    error = SystemError("cannot unlock the pseudo-terminal", errno);
    return nullptr;
  }
  char name[128];
  if (ptsname_r(line->fd_, name, sizeof name) != 0) {
    error = SystemError("cannot name the pseudo-terminal", errno);
    return nullptr;
  }
  line->path_ = name;
  line->terminal_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->terminal_fd_ < 0) {
    error = SystemError(std::string("cannot open ") + name, errno);
    return nullptr;
  }
  if (!SetRawLine(line->terminal_fd_, params)) {
    error = SystemError(std::string("cannot set up ") + name, errno);
    return nullptr;
  }
  return line;
}

std::unique_ptr<Line> Line::OpenSerial(const std::string& path, const LineParams& params,
                                       std::string& error) {
  std::unique_ptr<Line> line(new Line);
  line->path_ = path;
  line->fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->fd_ < 0) {
    error = SystemError("cannot open " + path, errno);
    return nullptr;
  }
  if (!SetRawLine(line->fd_, params)) {
    error = SystemError("cannot set up " + path, errno);
    return nullptr;
  }
  tcflush(line->fd_, TCIOFLUSH);
  return line;
}

std::unique_ptr<Line> Line::ListenTcp(uint16_t port, const LineParams& params, std::string& error) {
  std::unique_ptr<Line> line(new Line);
  line->tcp_params_ = params;
  line->listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (line->listen_fd_ < 0) {
    error = SystemError("cannot open a TCP socket", errno);
    return nullptr;
  }
  int on = 1;
  setsockopt(line->listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(line->listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(line->listen_fd_, 4) != 0) {
    error = SystemError("cannot listen on 127.0.0.1:" + std::to_string(port), errno);
    return nullptr;
  }
  socklen_t len = sizeof addr;
  getsockname(line->listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  line->path_ = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
  return line;
}

bool Line::Accept() {
  int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return false;
  int on = 1;
  // Answers are small and timed; Nagle's delay would add to every reply time.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  fd_ = fd;
  return true;
}

bool Line::PeerParams(LineParams& out) const {
  if (listen_fd_ >= 0) {
    out = tcp_params_;
    return true;
  }
  return ReadLineParams(IsPty() ? terminal_fd_ : fd_, out);
}

bool Line::SetParams(const LineParams& params) {
  if (listen_fd_ >= 0) {
    tcp_params_ = params;
    return true;
  }
  if (IsPty()) return true;
  return SetRawLine(fd_, params);
}

ssize_t Line::ReadSome(char* buffer, size_t capacity) {
  for (;;) {
    if (fd_ < 0) return 0;
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n == 0 && listen_fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    if (n >= 0) return n;
    if (listen_fd_ >= 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      // A client that reset the connection has gone like one that closed it.
      ::close(fd_);
      fd_ = -1;
      return 0;
    }
    if (errno == EINTR) continue;
    // Nothing there; on a pseudo-terminal EIO means nobody has the terminal side open,
    // which cannot last while we hold it ourselves.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO) return 0;
    return -1;
  }
}

bool Line::WriteAll(std::string_view data, int timeout_ms) {
  if (fd_ < 0) {
    // Nobody to answer on a TCP line any more: the answer is lost like on a bare wire.
    return true;
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && listen_fd_ >= 0 && (errno == EPIPE || errno == ECONNRESET)) {
      ::close(fd_);
      fd_ = -1;
      return true;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, timeout_ms);
    if (r == 0) {
      errno = EAGAIN;
      return false;
    }
    if (r < 0 && errno != EINTR) return false;
  }
  return true;
}

void Line::DropUnread() {
  if (IsPty()) tcflush(terminal_fd_, TCIFLUSH);
}

bool Line::MakeLink(const std::string& link_path, std::string& error) {
  struct stat st {};
  if (lstat(link_path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = link_path + " exists and is not a symbolic link; it is left alone";
      return false;
    }
    unlink(link_path.c_str());
  }
  if (symlink(path_.c_str(), link_path.c_str()) != 0) {
    error = SystemError("cannot make the link " + link_path, errno);
    return false;
  }
  link_path_ = link_path;
  return true;
}

}  // namespace vesk::sim
