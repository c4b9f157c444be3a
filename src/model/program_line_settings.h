#pragma once
// The program's own port settings: the device's six network parameters plus the port,
// loaded from the settings store when filled and written back when the node is destroyed
// (or when asked).
//
// Threads. The set-up worker writes the values during a rate sweep, the window's thread
// writes them on an edit, and every thread that (re)opens the port reads them. So every
// writer holds LockValues() while it writes, and every reader off the window's thread reads
// under it: ToPortSettings, FromPortSettings and SaveSettings take it themselves, and a
// reader that needs more than one value at a time takes a snapshot with ToPortSettings.
// The window's thread may read a single value without it only while no set-up worker runs.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "link/port_settings.h"
#include "model/device_line_settings.h"

namespace vesk::platform {
class SettingsStore;
}
namespace vesk::link {
struct PortSettings;
}

namespace vesk::model {

inline constexpr const char* kNetProgramName = "Сетевые параметры программы";
inline constexpr const char* kBadParityText = "<неверное значние>";

// Value names under the settings key.
inline constexpr const char* kAddressValue = "address";
inline constexpr const char* kAddressLengthValue = "address_length";
inline constexpr const char* kBaudRateValue = "baud_rate";
inline constexpr const char* kByteSizeValue = "byte_size";
inline constexpr const char* kStopBitsValue = "stop_bits";
inline constexpr const char* kParityValue = "parity_scheme";
inline constexpr const char* kPortNumberValue = "port_number";
// A port that is not "COMn" (a device path) is kept as text under this name.
inline constexpr const char* kPortPathValue = "port_path";
// The port's value when nothing is stored and the system has no serial port.
inline constexpr const char* kNoSerialPortText = "<нет последовательного порта>";
// How the port driver switches the direction in the kernel's RS-485 mode: RTS high while
// sending (1) or low (0), and the delays in milliseconds before and after sending.
inline constexpr const char* kRs485RtsOnSendValue = "rs485_rts_on_send";
inline constexpr const char* kRs485DelayBeforeValue = "rs485_delay_before_send";
inline constexpr const char* kRs485DelayAfterValue = "rs485_delay_after_send";
// "Преобразователь повторяет посланное": 0 found out at each open, 1 yes, 2 no.
inline constexpr const char* kConverterEchoValue = "converter_echo";

class ProgramLineSettings : public DeviceLineSettings {
 public:
  // Settings come from and go to `store` (nullptr: the default store). `list_ports` gives
  // the names of the serial ports joined by ':' for the type text of "Port"; without it
  // the system's serial ports are listed.
  explicit ProgramLineSettings(platform::SettingsStore* store = nullptr,
                               std::function<std::string()> list_ports = {});
  // Writes the current values back to the store (when the node was filled).
  ~ProgramLineSettings() override;

  NodeKind Kind() const override { return NodeKind::ProgramLine; }

  // The six network parameters with their stored values (defaults when missing), then
  // "Port"; no parameter counts as changed afterwards.
  void FillParameters() override;

  // The store the settings come from and go to.
  platform::SettingsStore& store() const;

  // Held while the values are written, and by readers off the window's thread (see above).
  std::unique_lock<std::mutex> LockValues() const { return std::unique_lock(values_mutex_); }

  int Image() const override { return 19; }
  int SelectedImage() const override { return 19; }

  // Writes the values back: numbers only where the value begins with one, parity only for
  // the three known texts, the port as "port_number" for "COMn" or "port_path" otherwise
  // (a network port also joins the recent list of model/remote_ports.h).
  // Returns the number of values that could not be written.
  int SaveSettings();

  // The port-settings record built from the values: texts that do not convert leave the
  // record's field as it was, except the address and stop bits, which read as 0. The
  // kernel RS-485 settings come from the store, whose file is read again only when it has
  // changed (it is asked twice a second). A snapshot, taken under LockValues().
  void ToPortSettings(link::PortSettings& settings) const;
  // Puts a record's fields into the values (marked changed where they differ).
  void FromPortSettings(const link::PortSettings& settings);

  // Whether the converter gives the request back, saved with the other settings.
  link::EchoMode echo() const { return echo_.load(); }
  void set_echo(link::EchoMode mode) { echo_.store(mode); }

 private:
  mutable std::mutex values_mutex_;
  platform::SettingsStore* store_;
  std::function<std::string()> list_ports_;
  bool filled_ = false;
  std::atomic<link::EchoMode> echo_{link::EchoMode::Auto};
  // The kernel RS-485 settings as last read, and the stamp of the file they came from;
  // under LockValues().
  mutable link::KernelRs485 rs485_;
  mutable std::string rs485_stamp_;
};

// The program's parity code for a "PrtY" text (case ignored): 3, 1, 4; nullopt otherwise.
std::optional<int> ParityCodeFromText(std::string_view text);
// The "PrtY" text for a program parity code (0 and 3 none, 1 even, 4 odd); nullopt for
// the codes that have no text (mark, space, unknown).
std::optional<std::string> ParityTextFromCode(int code);

}  // namespace vesk::model
