#include "device.h"

#include <cmath>

#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr int32_t kBauds[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int32_t kBroadcastAddress = 255;
constexpr int32_t kMaxAddress11 = 2047;

int BaudCode(int32_t baud) {
  for (int i = 0; i < 9; ++i)
    if (kBauds[i] == baud) return i;
  return -1;
}

}  // namespace

Device::Device(DeviceStore store, const SimOptions& options, Clock::time_point start)
    : store_(std::move(store)),
      device_name_(options.device_name),
      version_(options.version),
      inputs_(start, options.input_half_period_ms) {
  ResetLive(start);
}

void Device::PowerOn(const SimOptions& options, Clock::time_point now) {
  if (options.baud) StoreNetworkOption("bPS", BaudCode(*options.baud));
  if (options.stop_bits) StoreNetworkOption("Sbit", *options.stop_bits - 1);
  if (options.address_bits) StoreNetworkOption("A.Len", *options.address_bits == 11 ? 1 : 0);
  if (options.address) StoreNetworkOption("Addr", *options.address);
  if (options.protocol) StoreNetworkOption("Prot", static_cast<int>(*options.protocol));
  network_ = StoredNetwork();
  // Settings the description has no parameter for still hold.
  if (options.baud) network_.baud = *options.baud;
  if (options.stop_bits) network_.stop_bits = *options.stop_bits;
  if (options.address_bits) network_.address_bits = *options.address_bits;
  if (options.address) network_.address = *options.address;
  protocol_ = options.protocol && !StoredCode("Prot") ? *options.protocol : StoredProtocol();
  reset_code_ = kResetPowerOn;
  (void)now;
}

void Device::StoreNetworkOption(const char* name, double number) {
  if (StoredParameter* p = store_.FindByName(name)) p->value = NumberValue(p->format, number);
}

std::optional<int> Device::StoredCode(const char* name) const {
  for (const StoredParameter& p : store_.parameters())
    if (!p.operative && platform::Iequals(p.name, name))
      return static_cast<int>(ValueNumber(p.format, p.value));
  return std::nullopt;
}

NetSettings Device::StoredNetwork() const {
  NetSettings s = network_;
  if (auto c = StoredCode("bPS"); c && *c >= 0 && *c < 9) s.baud = kBauds[*c];
  if (auto c = StoredCode("LEn")) s.data_bits = *c == 0 ? 7 : 8;
  if (auto c = StoredCode("PrtY")) s.parity = *c;
  if (auto c = StoredCode("Sbit")) s.stop_bits = *c == 0 ? 1 : 2;
  if (auto c = StoredCode("A.Len")) s.address_bits = *c == 0 ? 8 : 11;
  if (auto c = StoredCode("Addr")) s.address = *c;
  return s;
}

Protocol Device::StoredProtocol() const {
  auto c = StoredCode("Prot");
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

void Device::Restart(Clock::time_point now) {
  reset_code_ = kResetExternal;
  ApplyNetwork();
  protocol_ = StoredProtocol();
  ResetLive(now);
}

void Device::ResetLive(Clock::time_point now) {
  counters_.clear();
  for (StoredParameter& p : store_.parameters()) {
    if (p.role == LiveRole::Counter) {
      counters_[&p] = CounterBase{0, now};
      p.value = NumberValue(p.format, 0);
    } else if (p.role == LiveRole::Output) {
      p.value = NumberValue(p.format, 0);
    }
  }
}

std::string Device::ReadValue(StoredParameter& p, Clock::time_point now) {
  switch (p.role) {
    case LiveRole::InputStates:
      p.value = NumberValue(p.format, inputs_.States(now));
      break;
    case LiveRole::Counter: {
      CounterBase& base = counters_[&p];
      uint64_t edges = inputs_.RisingEdges(p.index, base.since, now);
      p.value = NumberValue(p.format, static_cast<double>((base.value + edges) & 0xFFFF));
      break;
    }
    default:
      break;
  }
  return p.value;
}

bool Device::Editable(const StoredParameter& p) const {
  if (p.role == LiveRole::InputStates) return false;
  return p.has_attributes ? (p.attributes & kAttrEditable) != 0 : p.writable;
}

uint8_t Device::CheckNetwork(const StoredParameter& p, const std::string& candidate) const {
  static constexpr const char* kNetworkNames[] = {"bPS",   "LEn",  "PrtY", "Sbit",
                                                  "A.Len", "Addr", "Prot"};
  bool network = false;
  for (const char* n : kNetworkNames) network = network || platform::Iequals(p.name, n);
  if (!network || p.operative) return 0;
  NetSettings s = StoredNetwork();
  int c = static_cast<int>(ValueNumber(p.format, candidate));
  if (platform::Iequals(p.name, "LEn")) s.data_bits = c == 0 ? 7 : 8;
  if (platform::Iequals(p.name, "PrtY")) s.parity = c;
  if (platform::Iequals(p.name, "Sbit")) s.stop_bits = c == 0 ? 1 : 2;
  if (platform::Iequals(p.name, "A.Len")) s.address_bits = c == 0 ? 8 : 11;
  if (platform::Iequals(p.name, "Addr")) s.address = c;
  int protocol = platform::Iequals(p.name, "Prot") ? c : StoredCode("Prot").value_or(0);
  if (s.address > kMaxAddress11) return kErrOutOfLimits;
  // The other protocols have 8-bit addresses only.
  if ((s.address_bits == 8 || protocol != 0) && s.address > kBroadcastAddress)
    return kErrCombination;
  if (s.parity != kDeviceParityNone && s.data_bits == 8 && s.stop_bits == 2) return kErrCombination;
  return 0;
}

uint8_t Device::WriteValue(StoredParameter& p, const uint8_t* data, int count,
                           Clock::time_point now) {
  std::string candidate;
  uint8_t code = AcceptValue(p.format, data, count, candidate);
  if (code == kErrWrongSize) return code;
  if (!Editable(p)) return kErrNotEditable;
  if (code != 0) return code;
  if (uint8_t c = CheckNetwork(p, candidate); c != 0) return c;
  return LoadValue(p, candidate, now) ? 0 : kErrWrongSize;
}

bool Device::LoadValue(StoredParameter& p, const std::string& stored, Clock::time_point now) {
  std::string checked;
  if (AcceptValue(p.format, reinterpret_cast<const uint8_t*>(stored.data()),
                  static_cast<int>(stored.size()), checked) != 0)
    return false;
  p.value = checked;
  if (p.role == LiveRole::Counter)
    counters_[&p] = CounterBase{static_cast<uint32_t>(ValueNumber(p.format, checked)), now};
  return true;
}

void Device::Settle(Clock::time_point now) {
  for (StoredParameter& p : store_.parameters())
    if (p.role == LiveRole::InputStates || p.role == LiveRole::Counter) ReadValue(p, now);
}

}  // namespace vesk::sim
