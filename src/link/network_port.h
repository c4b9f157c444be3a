#pragma once
// A line reached over the network instead of a local serial device: "tcp://HOST:PORT", a
// raw TCP socket to a serial device server (ser2net's raw mode, a device server in
// TCP-server mode), whose rates and framing are the remote side's; and the base of
// "rfc2217://HOST:PORT", which sets them there. The reply wait grows by the network's
// allowance.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_kind.h"
#include "platform/event.h"
#include "platform/wait.h"

namespace vesk::link {

enum class NetworkScheme { RawTcp, Rfc2217 };

struct NetworkEndpoint {
  NetworkScheme scheme = NetworkScheme::RawTcp;
  std::string host;
  uint16_t port = 0;
};

// True for a port name of a network line ("tcp://..." or "rfc2217://...").
bool IsNetworkPortName(std::string_view name);

// The scheme, host and port of "tcp://HOST:PORT" or "rfc2217://HOST:PORT" (HOST a name or
// an IPv4 address, PORT 1 ... 65535); nullopt for anything else.
std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view name);

// Added to the reply wait of a network line, at least: a server forwards what it gets
// in its own time, and the network adds its round trip on top.
inline constexpr int kNetworkAllowanceMinMs = 20;
// How many connect round trips the allowance covers, at least kNetworkAllowanceMinMs.
inline constexpr int kNetworkAllowanceRoundTrips = 4;
// How long a connect may take, and a remote side's answers while the line is set up.
inline constexpr int kNetworkConnectMs = 3000;
// How long a host name may take to resolve; the lookup itself cannot be cut short, so it is
// left to finish on its own beyond that.
inline constexpr int kNetworkResolveMs = 3000;

// The addresses of an endpoint, resolved once per open so that a connection lost later is
// made again without asking the name service.
struct ResolvedAddress {
  int family = 0;
  int socktype = 0;
  int protocol = 0;
  std::string address;  // the sockaddr's bytes
};

// The addresses of `endpoint`: a numeric host at once, a name within kNetworkResolveMs.
// Empty with the errno in `err`: EHOSTUNREACH when it does not resolve, ETIMEDOUT when the
// name service took too long, ECANCELED when `stop` was set first.
std::vector<ResolvedAddress> ResolveEndpoint(const NetworkEndpoint& endpoint, platform::Event& stop,
                                             int& err);

// The raw TCP kind; what comes in is the line's data as it is. Every wait of the connect and
// of setting the line up ends when the port's stop event is set: the open then fails with
// ECANCELED.
class NetworkPort : public PortKind {
 public:
  // `cancel` (may be null) ends the waits as `stop` does.
  NetworkPort(PortIo& io, platform::Event& stop, platform::Event* cancel = nullptr)
      : io_(io), stop_(stop), cancel_(cancel) {}
  ~NetworkPort() override;

  // Checks the settings (the timing follows from them), then connects. While connected,
  // the connection stays and only the line is set up again: a server lets its device go
  // only a while after a client leaves, and turns the next one away until then.
  int Open(const PortSettings& settings, int& err) override;
  bool Keeps(std::string_view port_name) const override {
    return fd_ >= 0 && port_name == settings_.port_name;
  }
  // Always 0: there is nothing to purge.
  int Close(int& err) override;
  int fd() const override { return fd_; }
  // Drops what waits unread (a late answer). A server that has gone or dropped us is
  // connected again here, once per open; when that fails or was tried already, the errno
  // of the loss.
  int BeginExchange() override;
  PortResult Send(std::string_view request, const SendContext& context) override;
  // The end of the stream is the loss of the line: -ECONNRESET.
  ReadOutcome Read(uint8_t* data, size_t capacity) override;
  uint16_t AllowanceMs() const override { return allowance_ms_; }

 protected:
  // Sets the line up on the remote side, after a connect (`fresh`) or again over a
  // connection. Returns kOpenOk, or an open failure with the errno in `err`.
  virtual int SetUpLine(const PortSettings&, bool /*fresh*/, int&) { return kOpenOk; }
  // What goes on the wire for the request's bytes.
  virtual std::string Encode(std::string_view request) { return std::string(request); }
  // Turns received bytes into data (no more than `n` bytes) and tells a line error.
  // Returns the data count, or -errno when answering the remote side failed.
  virtual ssize_t Decode(const uint8_t* raw, size_t n, uint8_t* data, bool& line_error);

  // Writes the port's own signalling (small) within the connect time. 0 or the errno.
  int WriteControl(std::string_view bytes);

  // Waits for `item` until `deadline`: 0 when the stop or the cancel came first, 1 when the
  // item is ready, else platform::kWaitTimeout or kWaitError.
  int WaitFor(platform::Waitable item, std::chrono::steady_clock::time_point deadline);

  PortIo& io_;
  platform::Event& stop_;
  platform::Event* cancel_;
  int fd_ = -1;

 private:
  // Reads what waits unread and lets it go. Returns 0, or the errno of a connection that
  // has gone (ECONNRESET at its end).
  int DropPending();
  // Connects to the first of addresses_ that answers. Returns the socket (non-blocking, no
  // Nagle delay), or -1 with the errno in `err` (ETIMEDOUT when it took too long,
  // ECANCELED when stopped).
  int ConnectSocket(int& err);
  // CheckPortSettings, then SetUpLine: kOpenOk, a bad setting's result, or an open
  // failure with the errno in `err`.
  int CheckedSetUpLine(bool fresh, int& err);
  // ConnectSocket and CheckedSetUpLine: kOpenOk, or an open failure with nothing left open.
  int Connect(int& err);
  void Release();

  PortSettings settings_;
  std::vector<ResolvedAddress> addresses_;
  bool reconnect_tried_ = false;
  uint16_t allowance_ms_ = kNetworkAllowanceMinMs;
};

}  // namespace vesk::link
