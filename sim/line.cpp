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

std::string system_error(std::string_view what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

Line::~Line() {
  if (!linkPath_.empty()) {
    struct stat st {};
    if (lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(linkPath_.c_str());
  }
  if (terminalFd_ >= 0) ::close(terminalFd_);
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<Line> Line::open_pty(const LineParams& params, std::string& error) {
  std::unique_ptr<Line> line(new Line);
  line->fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->fd_ < 0) {
    error = system_error("cannot open a pseudo-terminal", errno);
    return nullptr;
  }
  if (grantpt(line->fd_) != 0 || unlockpt(line->fd_) != 0) {
    error = system_error("cannot unlock the pseudo-terminal", errno);
    return nullptr;
  }
  char name[128];
  if (ptsname_r(line->fd_, name, sizeof name) != 0) {
    error = system_error("cannot name the pseudo-terminal", errno);
    return nullptr;
  }
  line->path_ = name;
  line->terminalFd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->terminalFd_ < 0) {
    error = system_error(std::string("cannot open ") + name, errno);
    return nullptr;
  }
  if (!set_raw_line(line->terminalFd_, params)) {
    error = system_error(std::string("cannot set up ") + name, errno);
    return nullptr;
  }
  return line;
}

std::unique_ptr<Line> Line::open_serial(const std::string& path, const LineParams& params,
                                        std::string& error) {
  std::unique_ptr<Line> line(new Line);
  line->path_ = path;
  line->fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line->fd_ < 0) {
    error = system_error("cannot open " + path, errno);
    return nullptr;
  }
  if (!set_raw_line(line->fd_, params)) {
    error = system_error("cannot set up " + path, errno);
    return nullptr;
  }
  tcflush(line->fd_, TCIOFLUSH);
  return line;
}

bool Line::peer_params(LineParams& out) const {
  return read_line_params(is_pty() ? terminalFd_ : fd_, out);
}

bool Line::set_params(const LineParams& params) {
  if (is_pty()) return true;
  return set_raw_line(fd_, params);
}

ssize_t Line::read_some(char* buffer, size_t capacity) {
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

bool Line::write_all(std::string_view data, int timeout_ms) {
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

void Line::drop_unread() {
  if (is_pty()) tcflush(terminalFd_, TCIFLUSH);
}

bool Line::make_link(const std::string& link_path, std::string& error) {
  struct stat st {};
  if (lstat(link_path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = link_path + " exists and is not a symbolic link; it is left alone";
      return false;
    }
    unlink(link_path.c_str());
  }
  if (symlink(path_.c_str(), link_path.c_str()) != 0) {
    error = system_error("cannot make the link " + link_path, errno);
    return false;
  }
  linkPath_ = link_path;
  return true;
}

}  // namespace vesk::sim
