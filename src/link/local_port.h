#pragma once
// A local serial device under the RS-485 converter: opened exclusively in raw mode with
// line errors marked in the data, the transmitter driven through RTS for a semi-automatic
// converter or by the driver in the kernel's RS-485 mode.

#include <cstdint>
#include <string>

#include "link/line_marks.h"
#include "link/port_kind.h"

namespace vesk::link {

class LocalPort final : public PortKind {
 public:
  explicit LocalPort(PortIo& io) : io_(io) {}
  ~LocalPort() override;

  // The settings are checked (CheckPortSettings) only once the device is open, so that a
  // missing device is told before a bad setting, as it always was.
  int Open(const PortSettings& settings, int& err) override;
  int Close(int& err) override;
  int fd() const override { return fd_; }
  int BeginExchange() override;
  // In the semi-automatic converter mode RTS is raised for the send, each character is
  // paced by one character time, and RTS is lowered only once the transmitter is empty;
  // when stopped during that send, RTS stays raised until the next send. In the kernel
  // mode the driver is asked to switch RTS itself before the frame goes out in one write.
  PortResult Send(std::string_view request, const SendContext& context) override;
  ReadOutcome Read(uint8_t* data, size_t capacity) override;
  bool ModemLines() const override { return modem_lines_; }
  bool KernelRs485Supported() const override { return kernel_rs485_supported_; }
  int LatencyTimerMs() const override { return latency_timer_ms_; }
  bool LowLatencyRefused() const override { return low_latency_refused_; }

 private:
  // Opens `path` exclusively, a terminal and nobody else's. Returns 0, or the errno with
  // nothing left open.
  int OpenDevice(const std::string& path);
  // Puts settings_ on the line and lowers the modem lines. Returns 0 or the errno.
  int SetUpLine();
  // Asks for low latency and notes the latency timer and the kernel's RS-485 mode.
  void AskDriverFeatures(const std::string& path);
  // 0 or the errno; a device without modem lines is remembered and skipped.
  int SetRts(bool raised);
  // Switches the driver's RS-485 mode on with the settings, or back off: 0 or the errno.
  int SetKernelRs485(bool on);
  // Waits, where the driver tells it (TIOCSERGETLSR), until the last character has left
  // the transmitter's shift register.
  void WaitTransmitterEmpty(float char_time_ms, platform::Event& stop);
  // Sum of the driver's line error counters, or -1 where the driver keeps none.
  int64_t LineErrorCount();
  void Release();  // closes the descriptor without purging

  PortIo& io_;
  PortSettings settings_;
  int fd_ = -1;
  bool modem_lines_ = true;
  bool have_icount_ = true;
  bool rts_raised_ = false;
  bool have_lsr_ = true;
  bool kernel_rs485_supported_ = false;
  bool kernel_rs485_on_ = false;
  int latency_timer_ms_ = 0;
  bool low_latency_refused_ = false;
  int64_t errors_before_ = -1;  // the error counters when the request went out
  LineMarkDecoder marks_;
};

}  // namespace vesk::link
