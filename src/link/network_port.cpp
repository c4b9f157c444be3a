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
#include <cstring>
#include <memory>
#include <thread>

#include "link/port_write.h"
#include "link/serial_port.h"
#include "platform/wait.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kTcpScheme = "tcp://";
constexpr std::string_view kRfc2217Scheme = "rfc2217://";

std::vector<ResolvedAddress> Addresses(const addrinfo* found) {
  std::vector<ResolvedAddress> out;
  for (const addrinfo* a = found; a; a = a->ai_next)
    out.push_back({a->ai_family, a->ai_socktype, a->ai_protocol,
                   std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)});
  return out;
}

// A name lookup that may outlive its asker: the asker stops waiting at its own bound or at
// the stop event, and the lookup lets its result go when it ends.
struct Lookup {
  platform::Event done;
  std::vector<ResolvedAddress> addresses;
};

// Ready when `fd` can be written: a connect in progress has ended one way or the other.
platform::Waitable Writable(int fd) {
  return platform::Waitable{fd, POLLOUT, nullptr};
}

}  // namespace

std::vector<ResolvedAddress> ResolveEndpoint(const NetworkEndpoint& endpoint, platform::Event& stop,
                                             int& err) {
  err = 0;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  const std::string service = std::to_string(endpoint.port);
  addrinfo* found = nullptr;
  if (::getaddrinfo(endpoint.host.c_str(), service.c_str(), &hints, &found) == 0) {
    std::vector<ResolvedAddress> out = Addresses(found);
    ::freeaddrinfo(found);
    return out;
  }
  auto lookup = std::make_shared<Lookup>();
  hints.ai_flags = AI_NUMERICSERV;
  std::thread([lookup, hints, host = endpoint.host, service] {
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) {
      lookup->addresses = Addresses(found);
      ::freeaddrinfo(found);
    }
    lookup->done.Set();
  }).detach();
  const int r = platform::WaitAny({platform::Signalled(stop), platform::Signalled(lookup->done)},
                                  std::chrono::milliseconds(kNetworkResolveMs));
  if (r == 1) {
    if (lookup->addresses.empty()) err = EHOSTUNREACH;
    return lookup->addresses;
  }
  err = r == 0 ? ECANCELED : ETIMEDOUT;
  return {};
}

bool IsNetworkPortName(std::string_view name) {
  return name.starts_with(kTcpScheme) || name.starts_with(kRfc2217Scheme);
}

std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view name) {
  NetworkEndpoint endpoint;
  std::string_view rest;
  if (name.starts_with(kTcpScheme)) {
    rest = name.substr(kTcpScheme.size());
  } else if (name.starts_with(kRfc2217Scheme)) {
    endpoint.scheme = NetworkScheme::Rfc2217;
    rest = name.substr(kRfc2217Scheme.size());
  } else {
    return std::nullopt;
  }
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = rest.substr(0, colon);
  std::string_view digits = rest.substr(colon + 1);
  if (host.find_first_of(std::string_view("/: \t\0", 5)) != std::string_view::npos)
    return std::nullopt;
  unsigned port = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || port == 0 ||
      port > 65535)
    return std::nullopt;
  endpoint.host = std::string(host);
  endpoint.port = static_cast<uint16_t>(port);
  return endpoint;
}

NetworkPort::~NetworkPort() {
  if (fd_ >= 0) Release();
}

void NetworkPort::Release() {
  ::close(fd_);
  fd_ = -1;
}

int NetworkPort::ConnectSocket(int& err) {
  err = EHOSTUNREACH;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kNetworkConnectMs);
  for (const ResolvedAddress& a : addresses_) {
    const int fd = ::socket(a.family, a.socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.protocol);
    if (fd < 0) {
      err = errno;
      continue;
    }
    const auto start = Clock::now();
    int so_error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(a.address.data()),
                  static_cast<socklen_t>(a.address.size())) < 0) {
      so_error = errno;
      if (so_error == EINPROGRESS) {
        const int r = WaitFor(Writable(fd), deadline);
        socklen_t len = sizeof so_error;
        if (r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len) < 0) so_error = errno;
        if (r == 0) so_error = ECANCELED;
        if (r == platform::kWaitTimeout) so_error = ETIMEDOUT;
        if (r == platform::kWaitError) so_error = errno;
      }
    }
    if (so_error != 0) {
      err = so_error;
      ::close(fd);
      // A stop or the spent time ends the whole connect, not just this address.
      if (so_error == ECANCELED || so_error == ETIMEDOUT) return -1;
      continue;
    }
    const double round_trip_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    allowance_ms_ = static_cast<uint16_t>(std::clamp<double>(
        std::ceil(kNetworkAllowanceRoundTrips * round_trip_ms), kNetworkAllowanceMinMs, 2000));
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    err = 0;
    return fd;
  }
  return -1;
}

int NetworkPort::CheckedSetUpLine(bool fresh, int& err) {
  // The remote side keeps or sets the rates; they are checked all the same, since the
  // line's timing follows from them.
  const int checked = CheckPortSettings(settings_);
  return checked != kOpenOk ? checked : SetUpLine(settings_, fresh, err);
}

int NetworkPort::Connect(int& err) {
  // A server that is still letting the last client go closes the connection at once; it
  // is asked again for a while.
  const auto give_up = Clock::now() + std::chrono::milliseconds(kNetworkConnectMs);
  for (;;) {
    fd_ = ConnectSocket(err);
    if (fd_ < 0) return kOpenFailed;
    const int result = CheckedSetUpLine(true, err);
    if (result == kOpenOk) return result;
    Release();
    if (result != kOpenFailed || err != ECONNRESET || Clock::now() >= give_up) return result;
    if (platform::WaitAny({platform::Signalled(stop_)}, std::chrono::milliseconds(50)) == 0) {
      err = ECANCELED;
      return kOpenFailed;
    }
  }
}

int NetworkPort::Open(const PortSettings& s, int& err) {
  settings_ = s;
  reconnect_tried_ = false;
  if (fd_ >= 0) {
    if (DropPending() == 0) {
      const int result = CheckedSetUpLine(false, err);
      if (result != kOpenOk) Release();
      return result;
    }
    Release();
  }
  const auto endpoint = ParseNetworkPortName(s.port_name);
  if (!endpoint) {
    err = EINVAL;
    return kOpenFailed;
  }
  addresses_ = ResolveEndpoint(*endpoint, stop_, err);
  if (addresses_.empty()) return kOpenFailed;
  return Connect(err);
}

int NetworkPort::Close(int&) {
  if (fd_ >= 0) Release();
  return 0;
}

int NetworkPort::DropPending() {
  uint8_t raw[256];
  uint8_t sink[256];
  for (;;) {
    const ssize_t n = ::recv(fd_, raw, sizeof raw, MSG_DONTWAIT);
    if (n > 0) {
      bool line_error = false;
      const ssize_t taken = Decode(raw, static_cast<size_t>(n), sink, line_error);
      if (taken < 0) return static_cast<int>(-taken);
      continue;
    }
    if (n == 0) return ECONNRESET;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return errno;
  }
}

int NetworkPort::WaitFor(platform::Waitable item, std::chrono::steady_clock::time_point deadline) {
  std::vector<platform::Waitable> waits{platform::Signalled(stop_), item};
  if (cancel_) waits.push_back(platform::Signalled(*cancel_));
  const int r = platform::WaitAnyUntil(waits, deadline);
  return r == 2 ? 0 : r;
}

int NetworkPort::BeginExchange() {
  const int lost = DropPending();
  if (lost == 0) return 0;
  // The server has gone or dropped us: it is connected again once, not before every
  // request of a command that finds it still gone.
  Release();
  if (reconnect_tried_) return lost;
  reconnect_tried_ = true;
  int err = 0;
  if (Connect(err) == kOpenOk) return 0;
  return err == ECANCELED ? err : lost;
}

PortResult NetworkPort::Send(std::string_view request, const SendContext& context) {
  const CommTimeouts& t = context.timing.timeouts;
  // A network line's server drives its own converter: the frame goes in one piece.
  const std::string wire = Encode(request);
  const auto deadline =
      Clock::now() +
      std::chrono::milliseconds(t.write_total_multiplier * request.size() + t.write_total_constant);
  // A server that has gone must make the send fail, not end the program.
  PortResult r = WriteAll(io_, fd_, wire.data(), wire.size(), deadline, context.stop, true);
  if (r.status != PortStatus::Sent) return r;
  return DrainOutput(io_, fd_);
}

ReadOutcome NetworkPort::Read(uint8_t* data, size_t capacity) {
  uint8_t raw[64];
  ssize_t n;
  do {
    n = ::recv(fd_, raw, std::min(capacity, sizeof raw), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return {-errno, false};
  if (n == 0) return {-ECONNRESET, false};
  // The line works again: a later loss may be connected again.
  reconnect_tried_ = false;
  ReadOutcome out;
  out.count = Decode(raw, static_cast<size_t>(n), data, out.line_error);
  if (out.count == 0 && !out.line_error) out.count = -EAGAIN;
  return out;
}

ssize_t NetworkPort::Decode(const uint8_t* raw, size_t n, uint8_t* data, bool&) {
  std::memcpy(data, raw, n);
  return static_cast<ssize_t>(n);
}

int NetworkPort::WriteControl(std::string_view bytes) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kNetworkConnectMs);
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t w = io_.SendOnSocket(fd_, p, left);
    if (w > 0) {
      p += w;
      left -= static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && w != -EAGAIN) return static_cast<int>(-w);
    const auto now = Clock::now();
    if (now >= deadline) return ETIMEDOUT;
    if (WaitFor(Writable(fd_), deadline) == 0) return ECANCELED;
  }
  return 0;
}

}  // namespace vesk::link
