#include "device_store.h"

#include "link/frame_codec.h"
#include "link/my_converter.h"
#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr const char* kNetworkNameParameter = "CHAr*";
constexpr const char* kNetworkNameCode = "CHAr";
constexpr int kNetworkNameLength = 4;
constexpr double kMaxNameCode = 79;

// The factory network settings, for network parameters the description gives no
// initial value (so that a fresh device is found where the configurator looks first).
std::string_view factory_value(std::string_view name) {
  struct Factory {
    const char* name;
    const char* value;
  };
  static constexpr Factory kFactory[] = {{"bPS", "9600"}, {"LEn", "8"},   {"PrtY", "Отсутствует"},
                                         {"Sbit", "1"},   {"A.Len", "8"}, {"Addr", "16"}};
  for (const auto& f : kFactory)
    if (platform::iequals(name, f.name)) return f.value;
  return {};
}

LiveRole live_role(const ParameterSpec& s) {
  if (!s.operative) return LiveRole::None;
  if (platform::iequals(s.name, "r.cn")) return LiveRole::InputStates;
  if (platform::iequals(s.name, "r.cou")) return LiveRole::Counter;
  if (platform::iequals(s.name, "r.oe")) return LiveRole::Output;
  return LiveRole::None;
}

StoredParameter make(const ParameterSpec& s) {
  StoredParameter p;
  p.name = s.name;
  p.hash = link::name_hash(s.name);
  p.typeText = s.typeText;
  p.format = value_format(s.name, s.typeText, s.minimum, s.maximum);
  if (s.indexed) p.format.maxText = kMaxReplyBytes - 2;
  p.hasAttributes = s.hasAttributes;
  // What the configurator may not write, the device keeps as the maker's read-only value.
  p.attributes = s.writable ? kAttrDefault : 0;
  p.indexed = s.indexed;
  p.index = s.index;
  p.operative = s.operative;
  p.writable = s.writable;
  p.role = live_role(s);
  // An output level is a fraction of full power whatever the description says.
  if (p.role == LiveRole::Output && !p.format.has_limits()) p.format.maximum = 1;
  return p;
}

std::string index_text(const StoredParameter& p) {
  std::string text;
  if (p.indexed || p.operative) text.append(":").append(std::to_string(p.index));
  return text;
}

}  // namespace

bool is_command_hash(uint16_t hash) {
  static const uint16_t kCommands[] = {link::name_hash("dev"),  link::name_hash("ver"),
                                       link::name_hash("exit"), link::name_hash("INIT"),
                                       link::kApplyHash,        link::kAttributeHash};
  for (uint16_t h : kCommands)
    if (h == hash) return true;
  return false;
}

bool value_from_text(const StoredParameter& p, std::string_view text, std::string& stored,
                     std::string& why) {
  if (p.format.kind == ValueKind::Text) {
    std::string bytes = platform::utf8_to_cp1251(text);
    if (bytes.size() > p.format.maxText) {
      why = "longer than " + std::to_string(p.format.maxText) + " characters";
      return false;
    }
    stored = bytes;
    return true;
  }
  link::MyConverter converter(p.name);
  converter.typeText = p.typeText;
  converter.minimum = p.format.minimum;
  converter.maximum = p.format.maximum;
  uint8_t data[4] = {};
  int count = 0;
  std::string message;
  int r = converter.ConvertToData(text, data, count, &message);
  if (r != 1) {
    why = message.empty() ? "not a value of type \"" + p.typeText + "\"" : message;
    return false;
  }
  uint8_t code = accept_value(p.format, data, count, stored);
  if (code != 0) {
    why = code == kErrOutOfLimits   ? "outside the limits"
          : code == kErrUnknownCode ? "not one of the choices"
                                    : "not a value of type \"" + p.typeText + "\"";
    return false;
  }
  return true;
}

std::string value_to_text(const StoredParameter& p, std::string_view stored) {
  link::MyConverter converter(p.name);
  converter.typeText = p.typeText;
  std::string text;
  int r = converter.ConvertFromData(reinterpret_cast<const uint8_t*>(stored.data()),
                                    static_cast<int>(stored.size()), text);
  return r == 0 ? std::string() : text;
}

DeviceStore DeviceStore::build(const std::vector<ParameterSpec>& specs,
                               std::vector<std::string>& warnings) {
  DeviceStore store;
  auto add = [&](StoredParameter p, std::string_view initial) {
    std::string why;
    if (initial.empty() || !value_from_text(p, initial, p.value, why)) {
      if (!initial.empty())
        warnings.push_back("initial value \"" + std::string(initial) + "\" of " + p.name +
                           index_text(p) + " ignored: " + why);
      p.value = default_value(p.format);
    }
    if (p.operative) {
      auto key = std::make_pair(p.hash, p.index);
      if (store.operative_.count(key)) {
        warnings.push_back("operative parameter " + p.name + index_text(p) +
                           " repeats an earlier one and is left out");
        return;
      }
      store.operative_[key] = store.parameters_.size();
      store.maxOperativeOffset_ = std::max(store.maxOperativeOffset_, p.index);
    } else {
      auto known = store.configIndexed_.find(p.hash);
      auto key = std::make_pair(p.hash, p.indexed ? p.index : -1);
      if ((known != store.configIndexed_.end() && known->second != p.indexed) ||
          store.config_.count(key)) {
        warnings.push_back("parameter " + p.name + index_text(p) +
                           " repeats the hash of an earlier one and is left out");
        return;
      }
      store.configIndexed_[p.hash] = p.indexed;
      store.config_[key] = store.parameters_.size();
    }
    store.parameters_.push_back(std::move(p));
  };

  for (const ParameterSpec& s : specs) {
    if (!s.operative && platform::iequals(s.name, kNetworkNameParameter)) {
      link::PackedName codes{78, 78, 78, 78};
      if (!s.initialValue.empty() && !link::pack_network_name(s.initialValue, codes)) {
        warnings.push_back("initial network name \"" + s.initialValue + "\" ignored");
        codes = {78, 78, 78, 78};
      }
      for (int pos = 0; pos < kNetworkNameLength; ++pos) {
        ParameterSpec code = s;
        code.name = kNetworkNameCode;
        code.typeText = "int";
        code.minimum = 0;
        code.maximum = kMaxNameCode;
        code.indexed = true;
        code.index = s.index + pos;
        add(make(code), std::to_string(codes[pos]));
      }
      continue;
    }
    if (s.name.empty() || is_command_hash(link::name_hash(s.name))) continue;
    std::string_view initial = s.initialValue;
    if (initial.empty() && !s.operative) initial = factory_value(s.name);
    add(make(s), initial);
  }
  return store;
}

StoredParameter* DeviceStore::find(uint16_t hash, int32_t index) {
  auto known = configIndexed_.find(hash);
  if (known == configIndexed_.end()) return nullptr;
  auto it = config_.find({hash, known->second ? index : -1});
  return it == config_.end() ? nullptr : &parameters_[it->second];
}

std::optional<bool> DeviceStore::indexed_hash(uint16_t hash) const {
  auto known = configIndexed_.find(hash);
  if (known == configIndexed_.end()) return std::nullopt;
  return known->second;
}

StoredParameter* DeviceStore::find_operative(uint16_t hash, int32_t offset) {
  auto it = operative_.find({hash, offset});
  return it == operative_.end() ? nullptr : &parameters_[it->second];
}

bool DeviceStore::knows(uint16_t hash) const {
  return configIndexed_.count(hash) || knows_operative(hash);
}

bool DeviceStore::knows_operative(uint16_t hash) const {
  auto it = operative_.lower_bound({hash, INT32_MIN});
  return it != operative_.end() && it->first.first == hash;
}

StoredParameter* DeviceStore::find_by_name(std::string_view name, int32_t index) {
  for (StoredParameter& p : parameters_)
    if (!p.operative && platform::iequals(p.name, name) && (index < 0 || p.index == index))
      return &p;
  return nullptr;
}

}  // namespace vesk::sim
