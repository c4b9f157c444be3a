#include "link/rfc2217_port.h"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/serial_port.h"
#include "platform/wait.h"

namespace vesk::link {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

template <typename Done>
int Rfc2217Port::Await(Done done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kNetworkConnectMs);
  uint8_t raw[256];
  std::string data, reply;
  while (!done()) {
    const auto now = Clock::now();
    if (now >= deadline) return ETIMEDOUT;
    const int r = WaitFor(platform::Readable(fd_), deadline);
    if (r == 0) return ECANCELED;
    if (r == platform::kWaitError) return errno;
    if (r < 0) continue;
    const ssize_t n = ::recv(fd_, raw, sizeof raw, MSG_DONTWAIT);
    if (n == 0) return ECONNRESET;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return errno;
    }
    // Whatever the line carried before it was set up belongs to nobody.
    data.clear();
    reply.clear();
    session_.Feed(raw, static_cast<size_t>(n), data, reply);
    if (!reply.empty())
      if (int err = WriteControl(reply)) return err;
  }
  return 0;
}

int Rfc2217Port::SetUpLine(const PortSettings& s, bool fresh, int& err) {
  if (fresh) {
    session_ = Rfc2217Session{};
    if ((err = WriteControl(session_.Offer()))) return kOpenFailed;
    if ((err = Await([&] { return session_.com_port() != Rfc2217Session::ComPort::Pending; })))
      return kOpenFailed;
  }
  if (session_.com_port() != Rfc2217Session::ComPort::Accepted) {
    err = EPROTONOSUPPORT;
    return kOpenFailed;
  }
  RemoteLine line;
  line.baud = static_cast<uint32_t>(s.baud_rate);
  line.data_size = static_cast<uint8_t>(s.byte_size);
  line.parity = Rfc2217Parity(s.parity);
  line.stop_size = static_cast<uint8_t>(s.stop_bits);
  if ((err = WriteControl(session_.SetLine(line)))) return kOpenFailed;
  if ((err = Await([&] { return session_.LineAcked(); }))) return kOpenFailed;
  if (!session_.LineAsAsked(line)) return kOpenUnsupported;
  // The purge runs on the server in its own time; a request sent before it is done could
  // lose its answer to it.
  if ((err = WriteControl(session_.PurgeInput()))) return kOpenFailed;
  if ((err = Await([&] { return session_.purge_acked(); }))) return kOpenFailed;
  return kOpenOk;
}

ssize_t Rfc2217Port::Decode(const uint8_t* raw, size_t n, uint8_t* data, bool& line_error) {
  std::string got, reply;
  session_.Feed(raw, n, got, reply);
  if (!reply.empty())
    if (int err = WriteControl(reply)) return -err;
  if (session_.TakeLineError()) line_error = true;
  std::memcpy(data, got.data(), got.size());
  return static_cast<ssize_t>(got.size());
}

}  // namespace vesk::link
