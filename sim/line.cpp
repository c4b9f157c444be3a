#include "line.h"

#include <fcntl.h>
#include <poll.h>
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

bool Line::PeerParams(LineParams& out) const {
  return ReadLineParams(IsPty() ? terminal_fd_ : fd_, out);
}

bool Line::SetParams(const LineParams& params) {
  if (IsPty()) return true;
  return SetRawLine(fd_, params);
}

ssize_t Line::ReadSome(char* buffer, size_t capacity) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    // Nothing there; on a pseudo-terminal EIO means nobody has the terminal side open,
    // which cannot last while we hold it ourselves.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO) return 0;
    return -1;
  }
}

bool Line::WriteAll(std::string_view data, int timeout_ms) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
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
