#include "model/configuration_json.h"

#include <algorithm>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "link/value_refusal.h"
#include "platform/language.h"

namespace vesk::model {
namespace {

using Json = nlohmann::ordered_json;

// Deeper than a configuration ever nests (object, array, object, array); refused before it
// is built, so no input can make the parser or the value's destruction recurse without end.
constexpr int kMaxJsonDepth = 8;

// A refusal of the text, with the message for the user.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& text) : std::runtime_error(text) {}
};

std::string ChildPath(const std::string& path, const DescriptionBranch& child) {
  return path.empty() ? child.name : path + "/" + child.name;
}

std::string IndexText(bool indexed, int64_t index) {
  return indexed ? ":" + std::to_string(index) : std::string();
}

// "Входы/Вход №1 FiLt:0", or the name alone for a parameter of the root.
std::string ParameterReference(const std::string& path, const std::string& name, bool indexed,
                               int64_t index) {
  std::string text = path.empty() ? name : path + " " + name;
  return text + IndexText(indexed, index);
}

std::string ParameterLine(const std::string& path, const link::Parameter& p) {
  Json line;
  line["path"] = path;
  line["name"] = p.short_name;
  line["index"] = p.indexed ? Json(p.linear_index) : Json(nullptr);
  line["value"] = p.value;
  line["editable"] = p.editable;
  line["owner"] = p.owned_by_firm ? kJsonOwnerFirm : kJsonOwnerUser;
  line["note"] = p.note;
  Json changed = Json::array();
  if (p.value_changed) changed.push_back("value");
  if (p.edit_changed) changed.push_back("editable");
  if (p.owner_changed) changed.push_back("owner");
  line["changed"] = std::move(changed);
  return line.dump();  // strict: a text that is not UTF-8 throws rather than changes
}

void AppendBranch(std::string& out, const DescriptionBranch& branch, const std::string& path,
                  bool& first) {
  for (const auto& p : branch.parameters) {
    out += first ? "\n    " : ",\n    ";
    first = false;
    try {
      out += ParameterLine(path, *p);
    } catch (const Json::type_error&) {
      throw Refusal(platform::Tr("Текст параметра ") +
                    ParameterReference(path, p->short_name, p->indexed, p->linear_index) +
                    platform::Tr(" не в кодировке UTF-8, его нельзя записать в JSON."));
    }
  }
  for (const auto& child : branch.children)
    if (child) AppendBranch(out, *child, ChildPath(path, *child), first);
}

// Line and column (in characters) of the byte at `offset`, both counted from 1.
std::string Position(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  size_t line = 1, column = 1;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return platform::Tr("строка ") + std::to_string(line) + platform::Tr(", столбец ") +
         std::to_string(column);
}

Json Parse(std::string_view text) {
  const Json::parser_callback_t limit_depth = [](int depth, Json::parse_event_t, Json&) {
    if (depth > kMaxJsonDepth)
      throw Refusal(platform::Tr("Неверный JSON: слишком глубокая вложенность."));
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), limit_depth);
  } catch (const Json::parse_error& e) {
    // The library counts the bytes read, the failing one included.
    const size_t offset = e.byte > 0 ? e.byte - 1 : 0;
    throw Refusal(platform::Tr("Неверный JSON: ") + Position(text, offset) + ".");
  }
}

// Field access with the messages of a missing or mistyped field; `where` names the object
// ("" for the whole text, "параметр №5 ..." for a line).
class Fields {
 public:
  Fields(const Json& object, std::string where) : object_(object), where_(std::move(where)) {}

  const Json& Get(const char* name) const {
    const auto it = object_.find(name);
    if (it == object_.end()) throw Refusal(Prefix() + platform::Tr("нет поля \"") + name + "\".");
    return *it;
  }
  bool Has(const char* name) const { return object_.contains(name); }
  const std::string& Text(const char* name) const {
    const Json& v = Get(name);
    if (!v.is_string()) throw Mistyped(name, platform::Tr("строкой"));
    return v.get_ref<const std::string&>();
  }
  bool Flag(const char* name) const {
    const Json& v = Get(name);
    if (!v.is_boolean())
      throw Mistyped(name, platform::Tr("логическим значением (true или false)"));
    return v.get<bool>();
  }
  int32_t Integer(const char* name) const { return IntegerOf(Get(name), name); }
  int32_t IntegerOf(const Json& v, const char* name) const {
    if (v.is_number_unsigned() && v.get<uint64_t>() <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(v.get<uint64_t>());
    if (v.is_number_integer() && !v.is_number_unsigned() &&
        v.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
        v.get<int64_t>() <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(v.get<int64_t>());
    throw Mistyped(name, platform::Tr("целым числом"));
  }
  Refusal Mistyped(const char* name, const char* what) const {
    return Refusal(Prefix() + platform::Tr("поле \"") + name + platform::Tr("\" должно быть ") +
                   what + ".");
  }
  std::string Prefix() const { return where_.empty() ? std::string() : where_ + ": "; }

 private:
  const Json& object_;
  std::string where_;
};

// The records of the tree by path, name and index; a key several records share (the same
// definition named twice in a branch) hands them out in order, as file loading does.
class RecordIndex {
 public:
  explicit RecordIndex(DescriptionBranch& root) { Add(root, ""); }

  link::Parameter* Take(const std::string& path, const std::string& name, bool indexed,
                        int32_t index, bool& repeated) {
    repeated = false;
    const auto it = slots_.find(Key(path, name, indexed, index));
    if (it == slots_.end()) return nullptr;
    Slot& slot = it->second;
    if (slot.next == slot.records.size()) {
      repeated = true;
      return nullptr;
    }
    return slot.records[slot.next++];
  }

 private:
  struct Slot {
    std::vector<link::Parameter*> records;
    size_t next = 0;
  };
  static std::string Key(const std::string& path, const std::string& name, bool indexed,
                         int32_t index) {
    std::string key = path;
    key += '\0';
    key += name;
    key += '\0';
    if (indexed) key += std::to_string(index);
    return key;
  }
  void Add(DescriptionBranch& branch, const std::string& path) {
    for (const auto& p : branch.parameters)
      slots_[Key(path, p->short_name, p->indexed, p->linear_index)].records.push_back(p.get());
    for (const auto& child : branch.children)
      if (child) Add(*child, ChildPath(path, *child));
  }
  std::map<std::string, Slot> slots_;
};

void ApplyChanged(const Fields& fields, link::Parameter& p) {
  p.value_changed = p.edit_changed = p.owner_changed = false;
  if (!fields.Has("changed")) return;
  const Json& changed = fields.Get("changed");
  if (!changed.is_array()) throw fields.Mistyped("changed", platform::Tr("списком"));
  for (const Json& item : changed) {
    const std::string* what = item.is_string() ? item.get_ptr<const std::string*>() : nullptr;
    if (what && *what == "value")
      p.value_changed = true;
    else if (what && *what == "editable")
      p.edit_changed = true;
    else if (what && *what == "owner")
      p.owner_changed = true;
    else
      throw Refusal(
          fields.Prefix() +
          platform::Tr("в поле \"changed\" допустимы только \"value\", \"editable\" и \"owner\"."));
  }
}

void ApplyLine(const Json& line, size_t number, RecordIndex& records) {
  const std::string where = platform::Tr("параметр №") + std::to_string(number);
  if (!line.is_object()) throw Refusal(where + platform::Tr(": ожидается объект JSON."));
  Fields fields(line, where);
  const std::string& path = fields.Text("path");
  const std::string& name = fields.Text("name");
  const Json& index_field = fields.Get("index");
  const bool indexed = !index_field.is_null();
  const int32_t index = indexed ? fields.IntegerOf(index_field, "index") : 0;
  const std::string& value = fields.Text("value");
  const bool editable = fields.Flag("editable");
  const std::string& owner = fields.Text("owner");
  if (owner != kJsonOwnerUser && owner != kJsonOwnerFirm)
    throw Refusal(where + platform::Tr(": поле \"owner\" должно быть \"user\" или \"firm\"."));
  const std::string& note = fields.Text("note");

  const std::string reference = ParameterReference(path, name, indexed, index);
  bool repeated = false;
  link::Parameter* p = records.Take(path, name, indexed, index, repeated);
  if (repeated)
    throw Refusal(where + platform::Tr(": параметр ") + reference +
                  platform::Tr(" задан повторно."));
  if (!p)
    throw Refusal(where + platform::Tr(": в описании прибора нет параметра ") + reference + ".");
  if (value == link::kNoData) {
    p->value = value;
  } else if (!p->IsChoiceOf(value) || !p->SetValueFromText(value)) {
    // A list's item is taken only as the list shows it: a near miss (case, a look-alike
    // letter) would be refused by the encoder only at the write, or sent as another item.
    throw Refusal(where + ":\n" + link::ValueRefusedText(*p, value));
  }
  p->editable = editable;
  p->owned_by_firm = owner == kJsonOwnerFirm;
  p->note = note;
  ApplyChanged(fields, *p);
}

bool DiffBranch(const DescriptionBranch& other, DescriptionBranch& file, const std::string& path,
                std::vector<ConfigurationDifference>& out) {
  if (other.parameters.size() != file.parameters.size() ||
      other.children.size() != file.children.size())
    return false;
  for (size_t i = 0; i < file.parameters.size(); ++i) {
    const link::Parameter& a = *other.parameters[i];
    link::Parameter& b = *file.parameters[i];
    if (a.short_name != b.short_name || a.indexed != b.indexed || a.linear_index != b.linear_index)
      return false;
    if (!SameSettings(a, b)) out.push_back({path, &a, &b});
  }
  for (size_t i = 0; i < file.children.size(); ++i) {
    if (!other.children[i] || !file.children[i]) return false;
    if (!DiffBranch(*other.children[i], *file.children[i], ChildPath(path, *file.children[i]), out))
      return false;
  }
  return true;
}

}  // namespace

bool ConfigurationToJson(const ConfigurationView& view, std::string& json, std::string& error) {
  if (view.root == nullptr) {
    error = platform::Tr(kNoTreeText);
    return false;
  }
  std::string out = "{\n  \"format\": " + Json(kJsonFormatName).dump() +
                    ",\n  \"version\": " + std::to_string(kJsonFormatVersion) +
                    ",\n  \"device_kind\": " + std::to_string(view.device_kind) +
                    ",\n  \"parameters\": [";
  bool first = true;
  try {
    AppendBranch(out, *view.root, "", first);
  } catch (const Refusal& e) {
    error = e.what();
    return false;
  }
  out += first ? "]\n}\n" : "\n  ]\n}\n";
  json = std::move(out);
  return true;
}

std::optional<int32_t> ConfigurationFromJson(std::string_view json, ConfigurationTarget& target,
                                             std::string& error) {
  try {
    const Json document = Parse(json);
    if (!document.is_object())
      throw Refusal(
          platform::Tr("Неверный формат: ожидается объект JSON с полями \"format\", \"version\", "
                       "\"device_kind\" и \"parameters\"."));
    const Fields fields(document, "");
    if (fields.Text("format") != kJsonFormatName)
      throw Refusal(
          std::string(platform::Tr("Это не конфигурация ВЕСК: поле \"format\" должно быть \"")) +
          kJsonFormatName + "\".");
    const Json& version = fields.Get("version");
    if (!version.is_number_integer() || version.get<int64_t>() != kJsonFormatVersion)
      throw Refusal(platform::Tr("Неподдерживаемая версия формата: ") + version.dump() +
                    platform::Tr(" (поддерживается ") + std::to_string(kJsonFormatVersion) + ").");
    const int32_t device_kind = fields.Integer("device_kind");
    const Json& lines = fields.Get("parameters");
    if (!lines.is_array()) throw fields.Mistyped("parameters", platform::Tr("списком"));

    DescriptionBranch* root = target.ReloadDescription(device_kind);
    if (root == nullptr) throw Refusal(platform::Tr(kNoTreeText));
    RecordIndex records(*root);
    size_t number = 0;
    for (const Json& line : lines) ApplyLine(line, ++number, records);
    return device_kind;
  } catch (const Refusal& e) {
    error = e.what();
  } catch (const Json::exception& e) {
    // Every access is checked above; this is the library's own word on anything missed.
    error = std::string(platform::Tr("Неверный JSON: ")) + e.what();
  }
  return std::nullopt;
}

bool LooksLikeJson(std::string_view bytes) {
  const size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '{';
}

bool SameSettings(const link::Parameter& a, const link::Parameter& b) {
  return a.value == b.value && a.editable == b.editable && a.owned_by_firm == b.owned_by_firm;
}

std::optional<std::vector<ConfigurationDifference>> DiffConfigurations(
    const DescriptionBranch& other, DescriptionBranch& file) {
  std::vector<ConfigurationDifference> out;
  if (!DiffBranch(other, file, "", out)) return std::nullopt;
  return out;
}

}  // namespace vesk::model
