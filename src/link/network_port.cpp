#include "link/network_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>

namespace vesk::link {

namespace {

constexpr std::string_view kTcpScheme = "tcp://";

}  // namespace

bool IsNetworkPortName(std::string_view name) {
  return name.starts_with(kTcpScheme);
}

std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view name) {
  if (!name.starts_with(kTcpScheme)) return std::nullopt;
  std::string_view rest = name.substr(kTcpScheme.size());
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = rest.substr(0, colon);
  std::string_view digits = rest.substr(colon + 1);
  if (host.find_first_of("/: \t") != std::string_view::npos) return std::nullopt;
  unsigned port = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || port == 0 ||
      port > 65535)
    return std::nullopt;
  return NetworkEndpoint{std::string(host), static_cast<uint16_t>(port)};
}

int NetworkPort::Connect(std::string_view name, int& err) {
  err = 0;
  // A server that has gone must make a write fail, not end the program.
  ::signal(SIGPIPE, SIG_IGN);
  const auto endpoint = ParseNetworkPortName(name);
  if (!endpoint) {
    err = EINVAL;
    return -1;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(endpoint->port);
  if (::getaddrinfo(endpoint->host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
    err = EHOSTUNREACH;
    return -1;
  }
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      err = errno;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (r < 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      do {
        r = ::poll(&p, 1, kNetworkConnectMs);
      } while (r < 0 && errno == EINTR);
      int so_error = r == 0 ? ETIMEDOUT : 0;
      socklen_t len = sizeof so_error;
      if (r > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len);
      r = so_error == 0 ? 0 : -1;
      errno = so_error;
    }
    if (r < 0) {
      err = errno;
      ::close(fd);
      fd = -1;
      continue;
    }
    const double round_trip_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    allowance_ms_ = static_cast<uint16_t>(std::clamp<double>(
        std::ceil(kNetworkAllowanceRoundTrips * round_trip_ms), kNetworkAllowanceMinMs, 2000));
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ::freeaddrinfo(found);
  return fd;
}

int NetworkPort::DropInput(int fd) {
  char sink[256];
  for (;;) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return EPIPE;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return errno;
  }
}

}  // namespace vesk::link
