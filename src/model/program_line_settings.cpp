#include "model/program_line_settings.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "link/network_settings.h"
#include "link/parameter.h"
#include "link/port_list.h"
#include "link/port_settings.h"
#include "model/remote_ports.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

constexpr uint32_t kDefaultAddress = 16;
constexpr uint32_t kDefaultAddressLength = 8;
constexpr uint32_t kDefaultBaudRate = 9600;
constexpr uint32_t kDefaultByteSize = 8;
constexpr uint32_t kDefaultStopBits = 1;
constexpr uint32_t kDefaultParity = 3;
constexpr uint32_t kNoPortNumber = 0;  // "COM0" names no port

// The numeric settings: value name in the store and short name of the parameter.
struct NumberSetting {
  const char* value_name;
  const char* short_name;
  uint32_t fallback;
};
constexpr NumberSetting kNumbers[] = {
    {kAddressValue, link::kAddressName, kDefaultAddress},
    {kAddressLengthValue, link::kAddressLengthName, kDefaultAddressLength},
    {kBaudRateValue, link::kBaudName, kDefaultBaudRate},
    {kByteSizeValue, link::kByteSizeName, kDefaultByteSize},
    {kStopBitsValue, link::kStopBitsName, kDefaultStopBits},
};

std::string FormatInt(long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld", value);
  return buf;
}

// The stored number as "%i" prints a DWORD.
std::string StoredNumberText(uint32_t value) {
  return FormatInt(static_cast<int32_t>(value));
}

std::string RemoveAll(std::string text, std::string_view what) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.erase(at, what.size());
  return text;
}

// A number the store can hold (a DWORD), or nullopt.
std::optional<uint32_t> AsDword(std::optional<long> number) {
  if (!number || *number < 0 || *number > static_cast<long>(UINT32_MAX)) return std::nullopt;
  return static_cast<uint32_t>(*number);
}

}  // namespace

std::optional<int> ParityCodeFromText(std::string_view text) {
  if (platform::Iequals(text, kParityNone)) return 3;
  if (platform::Iequals(text, kParityEven)) return 1;
  if (platform::Iequals(text, kParityOdd)) return 4;
  return std::nullopt;
}

std::optional<std::string> ParityTextFromCode(int code) {
  switch (code) {
    case 0:
    case 3:
      return std::string(kParityNone);
    case 1:
      return std::string(kParityEven);
    case 4:
      return std::string(kParityOdd);
    default:
      return std::nullopt;
  }
}

ProgramLineSettings::ProgramLineSettings(platform::SettingsStore* store,
                                         std::function<std::string()> list_ports)
    : DeviceLineSettings(kNetProgramName), store_(store), list_ports_(std::move(list_ports)) {}

ProgramLineSettings::~ProgramLineSettings() {
  if (!filled_) return;
  try {
    SaveSettings();
  } catch (...) {
    // Nothing can be reported from a destructor; the stored settings stay as they were.
  }
}

void ProgramLineSettings::FillParameters() {
  DeviceLineSettings::FillParameters();
  platform::SettingsStore& store = store_ ? *store_ : platform::SettingsStore::Default();
  using platform::kSettingsKey;

  for (const NumberSetting& s : kNumbers)
    SetValue(s.short_name,
             StoredNumberText(store.ReadDword(kSettingsKey, s.value_name, s.fallback)));

  const uint32_t parity = store.ReadDword(kSettingsKey, kParityValue, kDefaultParity);
  switch (parity) {
    case 1:
      SetValue(link::kParityName, kParityEven);
      break;
    case 3:
      SetValue(link::kParityName, kParityNone);
      break;
    case 4:
      SetValue(link::kParityName, kParityOdd);
      break;
    default:
      SetValue(link::kParityName, kBadParityText);
      break;
  }

  auto port = std::make_unique<link::Parameter>("Port");
  port->caption = "Порт компьютера";
  port->type_text = list_ports_ ? list_ports_() : link::SerialPortList();
  std::optional<std::string> path = store.ReadText(kSettingsKey, kPortPathValue);
  if (path && !path->empty()) {
    port->value = *path;
  } else if (const uint32_t number = store.ReadDword(kSettingsKey, kPortNumberValue, kNoPortNumber);
             number != kNoPortNumber) {
    port->value = "COM" + StoredNumberText(number);
  } else {
    // Nothing chosen yet: the adapter that is plugged in, not a COM1 the machine may lack.
    port->value = link::DefaultPortName(port->type_text);
    if (port->value.empty()) port->value = kNoSerialPortText;
  }
  AddParameter(std::move(port));

  const uint32_t echo = store.ReadDword(kSettingsKey, kConverterEchoValue, 0);
  echo_.store(echo == 1   ? link::EchoMode::On
              : echo == 2 ? link::EchoMode::Off
                          : link::EchoMode::Auto);

  ClearChanges();
  filled_ = true;
}

platform::SettingsStore& ProgramLineSettings::store() const {
  return store_ ? *store_ : platform::SettingsStore::Default();
}

int ProgramLineSettings::SaveSettings() {
  const auto lock = LockValues();
  platform::SettingsStore& store = this->store();
  using platform::kSettingsKey;
  int failures = 0;

  // A value that holds no number (no data yet, a bad text) leaves the stored setting as
  // it was instead of replacing it with 0.
  for (const NumberSetting& s : kNumbers) {
    const link::Parameter* p = FindParameter(s.short_name);
    if (!p) continue;
    if (std::optional<uint32_t> n = AsDword(LeadingNumber(p->value)))
      failures += store.WriteDword(kSettingsKey, s.value_name, *n) != 0;
  }

  if (const link::Parameter* p = FindParameter(link::kParityName)) {
    if (std::optional<int> code = ParityCodeFromText(p->value))
      failures += store.WriteDword(kSettingsKey, kParityValue, static_cast<uint32_t>(*code)) != 0;
  }
  failures +=
      store.WriteDword(kSettingsKey, kConverterEchoValue, static_cast<uint32_t>(echo_.load())) != 0;

  if (const link::Parameter* p = FindParameter("Port")) {
    if (std::optional<uint32_t> n = AsDword(LeadingNumber(RemoveAll(p->value, "COM")))) {
      failures += store.WriteDword(kSettingsKey, kPortNumberValue, *n) != 0;
      failures += store.RemoveValue(kSettingsKey, kPortPathValue) != 0;
    } else if (!p->value.empty() && p->value != link::kNoData && p->value != kNoSerialPortText) {
      failures += store.WriteText(kSettingsKey, kPortPathValue, p->value) != 0;
      failures += RememberRemotePort(store, p->value);
    }
  }
  return failures;
}

void ProgramLineSettings::ToPortSettings(link::PortSettings& settings) const {
  const auto lock = LockValues();
  if (const link::Parameter* p = FindParameter("Port")) settings.port_name = p->value;
  // The address and the stop bits may be typed as text (the command line's keys); like
  // the rest they are read as a decimal number, and a text without one gives 0.
  auto number = [this](const char* short_name, int32_t& field, bool text_is_zero) {
    const link::Parameter* p = FindParameter(short_name);
    if (!p) return;
    std::optional<long> n = LeadingNumber(p->value);
    if (!n && text_is_zero && p->value != link::kNoData) n = 0;
    if (n && *n >= INT32_MIN && *n <= INT32_MAX) field = static_cast<int32_t>(*n);
  };
  number(link::kBaudName, settings.baud_rate, false);
  number(link::kAddressName, settings.device_address, true);
  number(link::kAddressLengthName, settings.address_length, false);
  number(link::kByteSizeName, settings.byte_size, false);
  number(link::kStopBitsName, settings.stop_bits, true);
  if (const link::Parameter* p = FindParameter(link::kParityName))
    if (std::optional<int> code = ParityCodeFromText(p->value)) settings.parity = *code;

  platform::SettingsStore& store = store_ ? *store_ : platform::SettingsStore::Default();
  using platform::kSettingsKey;
  if (std::string stamp = store.Stamp(); stamp != rs485_stamp_) {
    rs485_.rts_on_send = store.ReadDword(kSettingsKey, kRs485RtsOnSendValue, 1) != 0;
    rs485_.delay_before_ms = store.ReadDword(kSettingsKey, kRs485DelayBeforeValue, 0);
    rs485_.delay_after_ms = store.ReadDword(kSettingsKey, kRs485DelayAfterValue, 0);
    rs485_stamp_ = std::move(stamp);
  }
  settings.kernel_rs485 = rs485_;
  settings.echo = echo_.load();
}

void ProgramLineSettings::FromPortSettings(const link::PortSettings& settings) {
  const auto lock = LockValues();
  SetValue(link::kBaudName, FormatInt(settings.baud_rate));
  SetValue(link::kByteSizeName, FormatInt(settings.byte_size));
  if (std::optional<std::string> parity = ParityTextFromCode(settings.parity))
    SetValue(link::kParityName, *parity);
  SetValue(link::kStopBitsName, FormatInt(settings.stop_bits));
  SetValue(link::kAddressLengthName, FormatInt(settings.address_length));
  SetValue(link::kAddressName, FormatInt(settings.device_address));
  SetValue("Port", settings.port_name);
}

}  // namespace vesk::model
