#include "link/serial_port.h"

namespace vesk::link {

int PortResult::code() const {
  switch (status) {
    case PortStatus::Received:
      return 0;
    case PortStatus::Timeout:
      return 2;
    case PortStatus::LineError:
    case PortStatus::SystemError:
      return 3;
    case PortStatus::Stopped:
    case PortStatus::Closed:
      return -1;
  }
  return -1;
}

std::string PortResult::reason() const {
  return {};
}

LineTiming line_timing(const PortSettings&) {
  return {};
}
bool baud_rate_supported(int32_t) {
  return false;
}
std::string device_path(std::string_view port_name) {
  return std::string(port_name);
}
std::string open_failure_message(std::string_view, int) {
  return {};
}

SerialPort::SerialPort() = default;
SerialPort::~SerialPort() = default;
int SerialPort::open() {
  return kOpenFailed;
}
int SerialPort::close() {
  return -2;
}
PortResult SerialPort::send_receive(std::string_view, Reply& reply, FrameEnd) {
  reply = Reply{};
  return {PortStatus::Closed, 0};
}

}  // namespace vesk::link
