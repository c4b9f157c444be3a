#pragma once
// The line and addressing settings that every part of the link reads. They are copied
// from the program's own port settings node each time the port is opened.

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::link {

// The program's own parity codes, as stored in settings and files.
constexpr int32_t kParityNone = 3;  // 0 means none as well
constexpr int32_t kParityEven = 1;
constexpr int32_t kParityMark = 2;
constexpr int32_t kParityOdd = 4;
constexpr int32_t kParitySpace = 5;

// Port names are stored in a field of this many characters. The port itself accepts
// longer names, since stable Linux paths (/dev/serial/by-id/...) do not fit.
constexpr size_t kPortNameMax = 31;

// How the port driver switches the line's direction in the kernel's RS-485 mode.
struct KernelRs485 {
  bool rts_on_send = true;       // RTS high while sending (else low while sending)
  uint32_t delay_before_ms = 0;  // RTS switched this long before the first character
  uint32_t delay_after_ms = 0;   // and back this long after the last one
};

// Whether the converter gives every request back before the reply ("Преобразователь
// повторяет посланное"): found out at each open, or set.
enum class EchoMode : uint8_t { Auto, On, Off };

struct PortSettings {
  std::string port_name = "COM1";
  int32_t baud_rate = 9600;
  int32_t parity = kParityNone;
  int32_t stop_bits = 1;
  int32_t byte_size = 8;
  int32_t address_length = 8;  // bits of the device address: 8 or 11
  int32_t device_address = 16;
  KernelRs485 kernel_rs485;
  EchoMode echo = EchoMode::Auto;
};

// Parity code for a "PrtY" text ("Отсутствует" 3, "Четность" 1, "Нечетность" 4, case
// ignored); any other text returns `current` unchanged.
int32_t ParityCodeFromText(std::string_view text, int32_t current);

// Applies one value of the port settings node by its key ("Port", "bPS", "Addr", "A.Len",
// "LEn", "Sbit", "PrtY"). Returns false, leaving the settings as they were, for an unknown
// key or a number that does not parse; range checks are left to the port's open.
bool ApplyPortSetting(PortSettings& settings, std::string_view key, std::string_view value);

}  // namespace vesk::link
