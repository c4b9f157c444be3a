#pragma once
// The real ser2net between a test and a simulator's terminal: a raw TCP accepter and an
// RFC 2217 accepter on ports of 127.0.0.1, both for the same device. The configuration is
// written into the test's folder; the server runs in the foreground and is ended (or
// killed, to play a server that goes) by the test.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vesk::test {

// The ser2net program, or empty when it is not installed.
std::string Ser2netPath();

class Ser2netProcess {
 public:
  // Serves `device` at `line` (ser2net's form, "115200n81") on the given ports, free ones
  // where 0. Returns once both accept connections; check Ok().
  Ser2netProcess(const std::string& folder, const std::string& device, const std::string& line,
                 uint16_t raw_port = 0, uint16_t telnet_port = 0);
  ~Ser2netProcess();
  Ser2netProcess(const Ser2netProcess&) = delete;
  Ser2netProcess& operator=(const Ser2netProcess&) = delete;

  bool Ok() const { return pid_ > 0 && error_.empty(); }
  const std::string& error() const { return error_; }
  uint16_t raw_port() const { return raw_port_; }
  uint16_t telnet_port() const { return telnet_port_; }
  // The port names the configurator takes: "tcp://127.0.0.1:P", "rfc2217://127.0.0.1:P".
  std::string RawName() const;
  std::string Rfc2217Name() const;

  // SIGKILL: the connections drop without a word.
  void Kill();

 private:
  pid_t pid_ = -1;
  uint16_t raw_port_ = 0;
  uint16_t telnet_port_ = 0;
  std::string error_;
};

}  // namespace vesk::test
