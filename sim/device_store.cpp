#include "device_store.h"

#include "link/frame_codec.h"
#include "link/value_codec.h"
#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr const char* kNetworkNameParameter = "CHAr*";
constexpr const char* kNetworkNameCode = "CHAr";
constexpr int kNetworkNameLength = 4;
constexpr double kMaxNameCode = 79;

// The factory network settings, for network parameters the description gives no
// initial value (so that a fresh device is found where the configurator looks first).
std::string_view FactoryValue(std::string_view name) {
  struct Factory {
    const char* name;
    const char* value;
  };
  static constexpr Factory kFactory[] = {{"bPS", "9600"}, {"LEn", "8"},   {"PrtY", "Отсутствует"},
                                         {"Sbit", "1"},   {"A.Len", "8"}, {"Addr", "16"}};
  for (const auto& f : kFactory)
    if (platform::Iequals(name, f.name)) return f.value;
  return {};
}

LiveRole LiveRole(const ParameterSpec& s) {
  if (!s.operative) return LiveRole::None;
  if (platform::Iequals(s.name, "r.cn")) return LiveRole::InputStates;
  if (platform::Iequals(s.name, "r.cou")) return LiveRole::Counter;
  if (platform::Iequals(s.name, "r.oe")) return LiveRole::Output;
  return LiveRole::None;
}

StoredParameter Make(const ParameterSpec& s) {
  StoredParameter p;
  p.name = s.name;
  p.hash = link::NameHash(s.name);
  p.type_text = s.type_text;
  p.format = FormatOf(s.name, s.type_text, s.minimum, s.maximum);
  if (s.indexed) p.format.max_text = kMaxReplyBytes - 2;
  p.has_attributes = s.has_attributes;
  // What the configurator may not write, the device keeps as the maker's read-only value.
  p.attributes = s.writable ? kAttrDefault : 0;
  p.indexed = s.indexed;
  p.index = s.index;
  p.operative = s.operative;
  p.writable = s.writable;
  p.role = LiveRole(s);
  // An output level is a fraction of full power whatever the description says.
  if (p.role == LiveRole::Output && !p.format.HasLimits()) p.format.maximum = 1;
  return p;
}

std::string IndexText(const StoredParameter& p) {
  std::string text;
  if (p.indexed || p.operative) text.append(":").append(std::to_string(p.index));
  return text;
}

}  // namespace

bool IsCommandHash(uint16_t hash) {
  static const uint16_t kCommands[] = {link::NameHash("dev"),  link::NameHash("ver"),
                                       link::NameHash("exit"), link::NameHash("INIT"),
                                       link::kApplyHash,       link::kAttributeHash};
  for (uint16_t h : kCommands)
    if (h == hash) return true;
  return false;
}

bool ValueFromText(const StoredParameter& p, std::string_view text, std::string& stored,
                   std::string& why) {
  if (p.format.kind == ValueKind::Text) {
    std::string bytes = platform::Utf8ToCp1251(text);
    if (bytes.size() > p.format.max_text) {
      why = "longer than " + std::to_string(p.format.max_text) + " characters";
      return false;
    }
    stored = bytes;
    return true;
  }
  link::ValueCodec converter(p.name);
  converter.type_text = p.type_text;
  converter.minimum = p.format.minimum;
  converter.maximum = p.format.maximum;
  uint8_t data[4] = {};
  int count = 0;
  std::string message;
  int r = converter.ConvertToData(text, data, count, &message);
  if (r != 1) {
    why = message.empty() ? "not a value of type \"" + p.type_text + "\"" : message;
    return false;
  }
  uint8_t code = AcceptValue(p.format, data, count, stored);
  if (code != 0) {
    why = code == kErrOutOfLimits   ? "outside the limits"
          : code == kErrUnknownCode ? "not one of the choices"
                                    : "not a value of type \"" + p.type_text + "\"";
    return false;
  }
  return true;
}

std::string ValueToText(const StoredParameter& p, std::string_view stored) {
  link::ValueCodec converter(p.name);
  converter.type_text = p.type_text;
  std::string text;
  int r = converter.ConvertFromData(reinterpret_cast<const uint8_t*>(stored.data()),
                                    static_cast<int>(stored.size()), text);
  return r == 0 ? std::string() : text;
}

DeviceStore DeviceStore::Build(const std::vector<ParameterSpec>& specs,
                               std::vector<std::string>& warnings) {
  DeviceStore store;
  auto add = [&](StoredParameter p, std::string_view initial) {
    std::string why;
    if (initial.empty() || !ValueFromText(p, initial, p.value, why)) {
      if (!initial.empty())
        warnings.push_back("initial value \"" + std::string(initial) + "\" of " + p.name +
                           IndexText(p) + " ignored: " + why);
      p.value = DefaultValue(p.format);
    }
    if (p.operative) {
      auto key = std::make_pair(p.hash, p.index);
      if (store.operative_.count(key)) {
        warnings.push_back("operative parameter " + p.name + IndexText(p) +
                           " repeats an earlier one and is left out");
        return;
      }
      store.operative_[key] = store.parameters_.size();
      store.max_operative_offset_ = std::max(store.max_operative_offset_, p.index);
    } else {
      auto known = store.config_indexed_.find(p.hash);
      auto key = std::make_pair(p.hash, p.indexed ? p.index : -1);
      if ((known != store.config_indexed_.end() && known->second != p.indexed) ||
          store.config_.count(key)) {
        warnings.push_back("parameter " + p.name + IndexText(p) +
                           " repeats the hash of an earlier one and is left out");
        return;
      }
      store.config_indexed_[p.hash] = p.indexed;
      store.config_[key] = store.parameters_.size();
    }
    store.parameters_.push_back(std::move(p));
  };

  for (const ParameterSpec& s : specs) {
    if (!s.operative && platform::Iequals(s.name, kNetworkNameParameter)) {
      link::PackedName codes{78, 78, 78, 78};
      if (!s.initial_value.empty() && !link::PackNetworkName(s.initial_value, codes)) {
        warnings.push_back("initial network name \"" + s.initial_value + "\" ignored");
        codes = {78, 78, 78, 78};
      }
      for (int pos = 0; pos < kNetworkNameLength; ++pos) {
        ParameterSpec code = s;
        code.name = kNetworkNameCode;
        code.type_text = "int";
        code.minimum = 0;
        code.maximum = kMaxNameCode;
        code.indexed = true;
        code.index = s.index + pos;
        add(Make(code), std::to_string(codes[pos]));
      }
      continue;
    }
    if (s.name.empty() || IsCommandHash(link::NameHash(s.name))) continue;
    std::string_view initial = s.initial_value;
    if (initial.empty() && !s.operative) initial = FactoryValue(s.name);
    add(Make(s), initial);
  }
  return store;
}

StoredParameter* DeviceStore::find(uint16_t hash, int32_t index) {
  auto known = config_indexed_.find(hash);
  if (known == config_indexed_.end()) return nullptr;
  auto it = config_.find({hash, known->second ? index : -1});
  return it == config_.end() ? nullptr : &parameters_[it->second];
}

std::optional<bool> DeviceStore::IndexedHash(uint16_t hash) const {
  auto known = config_indexed_.find(hash);
  if (known == config_indexed_.end()) return std::nullopt;
  return known->second;
}

StoredParameter* DeviceStore::FindOperative(uint16_t hash, int32_t offset) {
  auto it = operative_.find({hash, offset});
  return it == operative_.end() ? nullptr : &parameters_[it->second];
}

bool DeviceStore::Knows(uint16_t hash) const {
  return config_indexed_.count(hash) || KnowsOperative(hash);
}

bool DeviceStore::KnowsOperative(uint16_t hash) const {
  auto it = operative_.lower_bound({hash, INT32_MIN});
  return it != operative_.end() && it->first.first == hash;
}

StoredParameter* DeviceStore::FindByName(std::string_view name, int32_t index) {
  for (StoredParameter& p : parameters_)
    if (!p.operative && platform::Iequals(p.name, name) && (index < 0 || p.index == index))
      return &p;
  return nullptr;
}

}  // namespace vesk::sim
