#pragma once
// A line reached over the network instead of a local serial device: "tcp://HOST:PORT",
// a raw TCP socket to a serial device server (ser2net's raw mode, a device server in
// TCP-server mode). The rates and framing are the remote side's; the reply wait grows by
// the network's allowance.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::link {

struct NetworkEndpoint {
  std::string host;
  uint16_t port = 0;
};

// True for a port name of a network line ("tcp://...").
bool IsNetworkPortName(std::string_view name);

// The host and port of "tcp://HOST:PORT" (HOST a name or an IPv4 address, PORT 1 ...
// 65535); nullopt for anything else.
std::optional<NetworkEndpoint> ParseNetworkPortName(std::string_view name);

// Added to the reply wait of a network line, at least: a server forwards what it gets
// in its own time, and the network adds its round trip on top.
inline constexpr int kNetworkAllowanceMinMs = 20;
// How many connect round trips the allowance covers, at least kNetworkAllowanceMinMs.
inline constexpr int kNetworkAllowanceRoundTrips = 4;
// How long a connect may take.
inline constexpr int kNetworkConnectMs = 3000;

class NetworkPort {
 public:
  // Connects to the endpoint of `name`. Returns the socket (non-blocking, no Nagle
  // delay), or -1 with the errno in `err` (EINVAL for a name that does not parse,
  // ETIMEDOUT when the connect took too long).
  int Connect(std::string_view name, int& err);

  // The allowance for the reply wait, from the connect's round trip.
  uint16_t AllowanceMs() const { return allowance_ms_; }

  // Drops what waits unread on `fd` (a late answer). Returns 0, or the errno of a
  // connection that has gone (ECONNRESET, EPIPE; 0 bytes at its end count as EPIPE).
  static int DropInput(int fd);

 private:
  uint16_t allowance_ms_ = kNetworkAllowanceMinMs;
};

}  // namespace vesk::link
