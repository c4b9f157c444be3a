#pragma once
// The device's state apart from the line: its parameters, identity, network settings in
// force, protocol, restart diagnostic and the live inputs, counters and outputs.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device_store.h"
#include "live_inputs.h"
#include "sim_options.h"

namespace vesk::sim {

// The device's own codes in "exit": why it last started.
inline constexpr uint8_t kResetPowerOn = 7;
inline constexpr uint8_t kResetExternal = 6;

// Error codes of the device beyond the value checks of value_format.h.
inline constexpr uint8_t kErrReadOnly = 3;        // "dev", "ver", "exit"
inline constexpr uint8_t kErrOwnedByMaker = 7;    // attributes of the maker's parameter
inline constexpr uint8_t kErrNoAttributes = 8;    // "noattr" parameter
inline constexpr uint8_t kErrUnknownHash = 40;    // no such parameter
inline constexpr uint8_t kErrNotEditable = 51;    // attributes forbid the write
inline constexpr uint8_t kErrIndexTooLarge = 53;  // index beyond the parameter's count
inline constexpr uint8_t kErrCombination = 71;    // network settings that cannot work

// Parity codes of the device ("PrtY"), not the program's port codes.
inline constexpr int kDeviceParityNone = 0;
inline constexpr int kDeviceParityEven = 1;
inline constexpr int kDeviceParityOdd = 2;

struct NetSettings {
  int32_t baud = 9600;
  int32_t stop_bits = 1;
  int32_t data_bits = 8;
  int32_t parity = kDeviceParityNone;
  int32_t address = 16;
  int32_t address_bits = 8;
  bool operator==(const NetSettings&) const = default;
};

class Device {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes the store as built from the description. Nothing is in force before
  // PowerOn, so a state file may be loaded first.
  Device(DeviceStore store, const SimOptions& options, Clock::time_point start);

  // The settings given at start (--bps, --sbit, --addr, --alen, --protocol) are stored
  // into the network parameters; then the stored settings and protocol take effect.
  void PowerOn(const SimOptions& options, Clock::time_point now);

  DeviceStore& store() { return store_; }
  const NetSettings& network() const { return network_; }
  Protocol protocol() const { return protocol_; }
  const std::string& device_name() const { return device_name_; }  // UTF-8
  const std::string& version() const { return version_; }          // UTF-8
  uint8_t reset_code() const { return reset_code_; }

  // The network settings as stored in the parameters (what APLY would put in force).
  NetSettings StoredNetwork() const;
  // The protocol stored in "Prot" (what INIT puts in force); LORN without one.
  Protocol StoredProtocol() const;

  // APLY: the stored network settings take effect at once.
  void ApplyNetwork() { network_ = StoredNetwork(); }

  // INIT: the device restarts as after switching the power off and on, but remembers
  // that the reset came from outside. The stored network settings and protocol take
  // effect, outputs go off and counters start from 0.
  void Restart(Clock::time_point now);

  // The bytes the device answers a read with (index not included); live values are
  // taken at `now`.
  std::string ReadValue(StoredParameter& p, Clock::time_point now);

  // A write of `count` value bytes. Returns 0 with the value stored, or the device's
  // error code: 49 size, 51 not editable, 6 limits, 55 choice, 71 network combination.
  uint8_t WriteValue(StoredParameter& p, const uint8_t* data, int count, Clock::time_point now);

  // Sets a value as loaded from a state file (no editability check, live state kept in
  // step). Returns false when the bytes are not a value of the parameter.
  bool LoadValue(StoredParameter& p, const std::string& stored, Clock::time_point now);

  // Brings live values into the store (counters, input states) for a dump at `now`.
  void Settle(Clock::time_point now);

 private:
  struct CounterBase {
    uint32_t value = 0;
    Clock::time_point since;
  };

  bool Editable(const StoredParameter& p) const;
  // 0, or 71/6 when storing `candidate` into network parameter `p` gives settings that
  // cannot work.
  uint8_t CheckNetwork(const StoredParameter& p, const std::string& candidate) const;
  void ResetLive(Clock::time_point now);
  void StoreNetworkOption(const char* name, double number);
  // The device's code of a network parameter's stored value, if the store has it.
  std::optional<int> StoredCode(const char* name) const;

  DeviceStore store_;
  NetSettings network_;
  Protocol protocol_ = Protocol::Lorn;
  std::string device_name_;
  std::string version_;
  uint8_t reset_code_ = kResetPowerOn;
  LiveInputs inputs_;
  std::map<const StoredParameter*, CounterBase> counters_;
};

}  // namespace vesk::sim
