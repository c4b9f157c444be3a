#pragma once
// The simulator's end of the wire: the controlling side of a pseudo-terminal whose
// terminal side the configurator opens, or a real serial port.

#include <sys/types.h>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "line_params.h"

namespace vesk::sim {

class Line {
 public:
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Opens a pseudo-terminal and puts its terminal side into raw mode with `params`. The
  // simulator keeps the terminal side open itself, so the configurator may close and
  // reopen it without the simulator seeing a hang-up. Returns nullptr with the reason
  // (and the system's text) in `error`.
  static std::unique_ptr<Line> OpenPty(const LineParams& params, std::string& error);

  // Opens a serial device in raw mode with `params`. Returns nullptr with the reason in
  // `error`.
  static std::unique_ptr<Line> OpenSerial(const std::string& path, const LineParams& params,
                                          std::string& error);

  // Listens on 127.0.0.1:`port` (0: a free one) for one client at a time; the line's
  // format is then whatever the device last set. Returns nullptr with the reason.
  static std::unique_ptr<Line> ListenTcp(uint16_t port, const LineParams& params,
                                         std::string& error);

  // The listening socket of a TCP line while no client is connected, else -1: when it
  // becomes readable, Accept takes the client.
  int listen_fd() const { return listen_fd_ >= 0 && fd_ < 0 ? listen_fd_ : -1; }
  // Takes a waiting client. Returns false with errno when there was none after all.
  bool Accept();

  // The descriptor to read requests from and write answers to (non-blocking); -1 on a
  // TCP line without a client.
  int fd() const { return fd_; }
  // The path the configurator opens.
  const std::string& path() const { return path_; }
  bool IsPty() const { return terminal_fd_ >= 0; }

  // The character format the configurator's side is set to: for a pseudo-terminal what
  // the configurator set on its side; for a serial port the port's own. Returns false
  // with errno set when it cannot be read.
  bool PeerParams(LineParams& out) const;

  // Sets the line's own format. A serial port takes it; a pseudo-terminal is left as the
  // configurator set it (its format is shared by both sides). Returns false with errno.
  bool SetParams(const LineParams& params);

  // Reads what has arrived. Returns the count, 0 when nothing is there, -1 with errno on
  // failure. A TCP client that left is let go, so the next one may come.
  ssize_t ReadSome(char* buffer, size_t capacity);

  // Writes all of `data`, waiting at most `timeout_ms` for room. Returns false with errno
  // when it could not (nobody reads the terminal: its queue is full).
  bool WriteAll(std::string_view data, int timeout_ms);

  // Drops what waits unread on the terminal side (answers nobody collected).
  void DropUnread();

  // Makes a symbolic link at `link_path` to the terminal, replacing an earlier link
  // there (never a file of another kind). Removed again when the line closes. Returns
  // false with the reason in `error`.
  bool MakeLink(const std::string& link_path, std::string& error);

 private:
  Line() = default;

  int fd_ = -1;
  int terminal_fd_ = -1;  // our own hold on the terminal side of a pseudo-terminal
  int listen_fd_ = -1;    // a TCP line's listening socket
  LineParams tcp_params_{};
  std::string path_;
  std::string link_path_;
};

// "what: reason" with the system's text for `err`.
std::string SystemError(std::string_view what, int err);

}  // namespace vesk::sim
