#include "device.h"

#include <cmath>

#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr int32_t kBauds[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int32_t kBroadcastAddress = 255;
constexpr int32_t kMaxAddress11 = 2047;

int baud_code(int32_t baud) {
  for (int i = 0; i < 9; ++i)
    if (kBauds[i] == baud) return i;
  return -1;
}

}  // namespace

Device::Device(DeviceStore store, const SimOptions& options, Clock::time_point start)
    : store_(std::move(store)),
      deviceName_(options.deviceName),
      version_(options.version),
      inputs_(start, options.inputHalfPeriodMs) {
  reset_live(start);
}

void Device::power_on(const SimOptions& options, Clock::time_point now) {
  if (options.baud) store_network_option("bPS", baud_code(*options.baud));
  if (options.stopBits) store_network_option("Sbit", *options.stopBits - 1);
  if (options.addressBits) store_network_option("A.Len", *options.addressBits == 11 ? 1 : 0);
  if (options.address) store_network_option("Addr", *options.address);
  if (options.protocol) store_network_option("Prot", static_cast<int>(*options.protocol));
  network_ = stored_network();
  // Settings the description has no parameter for still hold.
  if (options.baud) network_.baud = *options.baud;
  if (options.stopBits) network_.stopBits = *options.stopBits;
  if (options.addressBits) network_.addressBits = *options.addressBits;
  if (options.address) network_.address = *options.address;
  protocol_ = options.protocol && !stored_code("Prot") ? *options.protocol : stored_protocol();
  resetCode_ = kResetPowerOn;
  (void)now;
}

void Device::store_network_option(const char* name, double number) {
  if (StoredParameter* p = store_.find_by_name(name)) p->value = number_value(p->format, number);
}

std::optional<int> Device::stored_code(const char* name) const {
  for (const StoredParameter& p : store_.parameters())
    if (!p.operative && platform::iequals(p.name, name))
      return static_cast<int>(value_number(p.format, p.value));
  return std::nullopt;
}

NetSettings Device::stored_network() const {
  NetSettings s = network_;
  if (auto c = stored_code("bPS"); c && *c >= 0 && *c < 9) s.baud = kBauds[*c];
  if (auto c = stored_code("LEn")) s.dataBits = *c == 0 ? 7 : 8;
  if (auto c = stored_code("PrtY")) s.parity = *c;
  if (auto c = stored_code("Sbit")) s.stopBits = *c == 0 ? 1 : 2;
  if (auto c = stored_code("A.Len")) s.addressBits = *c == 0 ? 8 : 11;
  if (auto c = stored_code("Addr")) s.address = *c;
  return s;
}

Protocol Device::stored_protocol() const {
  auto c = stored_code("Prot");
  if (!c) return protocol_;
  switch (*c) {
    case 1:
      return Protocol::ModbusRtu;
    case 2:
      return Protocol::ModbusAscii;
    case 3:
      return Protocol::Dcon;
    default:
      return Protocol::Lorn;
  }
}

void Device::restart(Clock::time_point now) {
  resetCode_ = kResetExternal;
  apply_network();
  protocol_ = stored_protocol();
  reset_live(now);
}

void Device::reset_live(Clock::time_point now) {
  counters_.clear();
  for (StoredParameter& p : store_.parameters()) {
    if (p.role == LiveRole::Counter) {
      counters_[&p] = CounterBase{0, now};
      p.value = number_value(p.format, 0);
    } else if (p.role == LiveRole::Output) {
      p.value = number_value(p.format, 0);
    }
  }
}

std::string Device::read_value(StoredParameter& p, Clock::time_point now) {
  switch (p.role) {
    case LiveRole::InputStates:
      p.value = number_value(p.format, inputs_.states(now));
      break;
    case LiveRole::Counter: {
      CounterBase& base = counters_[&p];
      uint64_t edges = inputs_.rising_edges(p.index, base.since, now);
      p.value = number_value(p.format, static_cast<double>((base.value + edges) & 0xFFFF));
      break;
    }
    default:
      break;
  }
  return p.value;
}

bool Device::editable(const StoredParameter& p) const {
  if (p.role == LiveRole::InputStates) return false;
  return p.hasAttributes ? (p.attributes & kAttrEditable) != 0 : p.writable;
}

uint8_t Device::check_network(const StoredParameter& p, const std::string& candidate) const {
  static constexpr const char* kNetworkNames[] = {"bPS",   "LEn",  "PrtY", "Sbit",
                                                  "A.Len", "Addr", "Prot"};
  bool network = false;
  for (const char* n : kNetworkNames) network = network || platform::iequals(p.name, n);
  if (!network || p.operative) return 0;
  NetSettings s = stored_network();
  int c = static_cast<int>(value_number(p.format, candidate));
  if (platform::iequals(p.name, "LEn")) s.dataBits = c == 0 ? 7 : 8;
  if (platform::iequals(p.name, "PrtY")) s.parity = c;
  if (platform::iequals(p.name, "Sbit")) s.stopBits = c == 0 ? 1 : 2;
  if (platform::iequals(p.name, "A.Len")) s.addressBits = c == 0 ? 8 : 11;
  if (platform::iequals(p.name, "Addr")) s.address = c;
  int protocol = platform::iequals(p.name, "Prot") ? c : stored_code("Prot").value_or(0);
  if (s.address > kMaxAddress11) return kErrOutOfLimits;
  // The other protocols have 8-bit addresses only.
  if ((s.addressBits == 8 || protocol != 0) && s.address > kBroadcastAddress)
    return kErrCombination;
  if (s.parity != kDeviceParityNone && s.dataBits == 8 && s.stopBits == 2) return kErrCombination;
  return 0;
}

uint8_t Device::write_value(StoredParameter& p, const uint8_t* data, int count,
                            Clock::time_point now) {
  std::string candidate;
  uint8_t code = accept_value(p.format, data, count, candidate);
  if (code == kErrWrongSize) return code;
  if (!editable(p)) return kErrNotEditable;
  if (code != 0) return code;
  if (uint8_t c = check_network(p, candidate); c != 0) return c;
  return load_value(p, candidate, now) ? 0 : kErrWrongSize;
}

bool Device::load_value(StoredParameter& p, const std::string& stored, Clock::time_point now) {
  std::string checked;
  if (accept_value(p.format, reinterpret_cast<const uint8_t*>(stored.data()),
                   static_cast<int>(stored.size()), checked) != 0)
    return false;
  p.value = checked;
  if (p.role == LiveRole::Counter)
    counters_[&p] = CounterBase{static_cast<uint32_t>(value_number(p.format, checked)), now};
  return true;
}

void Device::settle(Clock::time_point now) {
  for (StoredParameter& p : store_.parameters())
    if (p.role == LiveRole::InputStates || p.role == LiveRole::Counter) read_value(p, now);
}

}  // namespace vesk::sim
