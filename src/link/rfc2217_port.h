#pragma once
// "rfc2217://HOST:PORT": a serial device server reached through Telnet with the
// COM-PORT-OPTION of RFC 2217. Each open sets the remote line to the port's settings (rate,
// data bits, parity, stop bits) and waits for the server to confirm them, so that a rate
// sweep or a change of the device's network settings reaches the remote line as it would
// a local one; then the server drops what the device sent before, as a local port's
// input is flushed when it opens. The server's line error notifications count as line errors.

#include "link/network_port.h"
#include "link/rfc2217_session.h"

namespace vesk::link {

class Rfc2217Port final : public NetworkPort {
 public:
  Rfc2217Port(PortIo& io, platform::Event& stop, platform::Event* cancel = nullptr)
      : NetworkPort(io, stop, cancel) {}

 protected:
  // kOpenFailed with EPROTONOSUPPORT when the server refuses the COM-PORT-OPTION, with
  // ETIMEDOUT when it does not answer in time; kOpenUnsupported when it set the line
  // otherwise than asked.
  int SetUpLine(const PortSettings& settings, bool fresh, int& err) override;
  std::string Encode(std::string_view request) override { return session_.Encode(request); }
  ssize_t Decode(const uint8_t* raw, size_t n, uint8_t* data, bool& line_error) override;

 private:
  // Reads and answers the server until `done` holds, the time is up (ETIMEDOUT) or the stop
  // event is set (ECANCELED). 0 or the errno.
  template <typename Done>
  int Await(Done done);

  Rfc2217Session session_;
};

}  // namespace vesk::link
