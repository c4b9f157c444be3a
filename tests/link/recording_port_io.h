#pragma once
// A stand-in for the port's line calls: it passes writes and drains on to the system (so
// a pseudo-terminal peer still hears the frame) and records every call in order, while it
// plays the controls a pseudo-terminal lacks: modem lines, the line status register and
// the kernel's RS-485 mode.

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/port_io.h"

namespace vesk::test {

class RecordingPortIo : public link::PortIo {
 public:
  ssize_t Write(int fd, const void* data, size_t count) override {
    Record("write");
    return link::SystemPortIo().Write(fd, data, count);
  }
  int Drain(int fd) override {
    std::this_thread::sleep_for(drain_takes);  // a long frame on a slow line
    Record("drain");
    return link::SystemPortIo().Drain(fd);
  }
  int ModemLines(int, int lines, bool raise) override {
    if (lines & TIOCM_RTS) Record(raise ? "rts+" : "rts-");
    return 0;
  }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    switch (request) {
      case TIOCSERGETLSR:
        Record("lsr");
        if (!lsr_supported) return ENOTTY;
        *static_cast<unsigned int*>(arg) = busy_lsr_polls-- > 0 ? 0u : TIOCSER_TEMT;
        return 0;
      case TIOCGRS485:
        if (!rs485_supported) return ENOTTY;
        *static_cast<serial_rs485*>(arg) = rs485;
        return 0;
      case TIOCSRS485:
        Record(static_cast<serial_rs485*>(arg)->flags & SER_RS485_ENABLED ? "rs485 on"
                                                                          : "rs485 off");
        if (!rs485_supported) return ENOTTY;
        rs485 = *static_cast<serial_rs485*>(arg);
        return 0;
      default:
        return link::SystemPortIo().Ioctl(fd, request, arg);
    }
  }

  // The calls so far, a run of the same call shown once with its count ("write*14").
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    size_t run = 0;
    for (size_t i = 0; i < calls_.size(); ++i) {
      ++run;
      if (i + 1 < calls_.size() && calls_[i + 1] == calls_[i]) continue;
      out.push_back(run > 1 ? calls_[i] + "*" + std::to_string(run) : calls_[i]);
      run = 0;
    }
    return out;
  }
  void Forget() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

  std::chrono::milliseconds drain_takes{0};
  bool lsr_supported = true;
  int busy_lsr_polls = 0;
  bool rs485_supported = false;
  serial_rs485 rs485{};

 private:
  void Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace vesk::test
