#pragma once
// Every parameter the device holds, built from the same description as the
// configurator: the configuration parameters of the root tree, keyed by name hash and
// linear index, and the operative parameters of the pollers tree, keyed by name hash and
// address offset (the configurator reads them at base address + index).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "value_format.h"

namespace vesk::sim {

// One parameter as the description declares it, after the tree build.
struct ParameterSpec {
  std::string name;  // short name, "!" already removed
  std::string type_text;
  double minimum = 0;
  double maximum = 0;
  bool has_attributes = true;
  std::string initial_value;  // UTF-8; empty when none is given
  bool indexed = false;
  int32_t index = 0;       // linear index; for an operative parameter its address offset
  bool operative = false;  // from the pollers tree
  bool writable = true;    // false for names that began with "!"
};

// The device's commands ("dev", "ver", "exit", "INIT", "APLY", "M.s.t.r."): answered by
// the device itself, never kept as parameters even where the description lists them.
bool IsCommandHash(uint16_t hash);

// What an operative parameter stands for in the device's inputs and outputs.
enum class LiveRole { None, InputStates, Counter, Output };

// Attribute byte on the wire: bit 0 editable, bit 1 set = owned by the user.
inline constexpr uint8_t kAttrEditable = 0x01;
inline constexpr uint8_t kAttrUser = 0x02;
inline constexpr uint8_t kAttrDefault = kAttrEditable | kAttrUser;

struct StoredParameter {
  std::string name;
  uint16_t hash = 0;
  std::string type_text;
  ValueFormat format;
  bool has_attributes = true;
  uint8_t attributes = kAttrDefault;
  bool indexed = false;
  int32_t index = 0;
  bool operative = false;
  bool writable = true;
  LiveRole role = LiveRole::None;
  std::string value;  // the bytes the device answers with (index not included)
};

class DeviceStore {
 public:
  // Builds the store. A "CHAr*" parameter becomes the four indexed codes "CHAr" at its
  // linear index + 0 ... 3. Network parameters without an initial value start with the
  // factory settings (9600 baud, 8 data bits, no parity, 1 stop bit, 8-bit address 16). An initial
  // value that does not fit its parameter, and a parameter that repeats an earlier one (same hash
  // and index), are left out of the store's values with a line in `warnings`.
  static DeviceStore Build(const std::vector<ParameterSpec>& specs,
                           std::vector<std::string>& warnings);

  // The configuration parameter with this hash; for an indexed one at this linear index.
  StoredParameter* find(uint16_t hash, int32_t index);
  // Whether configuration parameters with this hash exist, and whether they are indexed.
  std::optional<bool> IndexedHash(uint16_t hash) const;
  // The operative parameter with this hash at this address offset.
  StoredParameter* FindOperative(uint16_t hash, int32_t offset);
  // Whether any parameter (either tree) has this hash.
  bool Knows(uint16_t hash) const;
  // Whether an operative parameter has this hash.
  bool KnowsOperative(uint16_t hash) const;
  // The largest address offset of an operative parameter (0 when there is none).
  int32_t max_operative_offset() const { return max_operative_offset_; }

  // The first configuration parameter with this short name (case ignored), index first.
  StoredParameter* FindByName(std::string_view name, int32_t index = -1);

  std::vector<StoredParameter>& parameters() { return parameters_; }
  const std::vector<StoredParameter>& parameters() const { return parameters_; }

 private:
  std::vector<StoredParameter> parameters_;
  std::map<std::pair<uint16_t, int32_t>, size_t> config_;     // index -1: not indexed
  std::map<std::pair<uint16_t, int32_t>, size_t> operative_;  // by address offset
  std::map<uint16_t, bool> config_indexed_;
  int32_t max_operative_offset_ = 0;
};

// The bytes for a value text as the configurator's converter encodes it, checked as the
// device checks a write. Returns false with the reason when the text does not fit.
bool ValueFromText(const StoredParameter& p, std::string_view text, std::string& stored,
                   std::string& why);
// The text the configurator shows after reading the value.
std::string ValueToText(const StoredParameter& p, std::string_view stored);

}  // namespace vesk::sim
