#pragma once
// Configurations as text: JSON with one parameter a line in the order of the tree, so that
// version control shows a changed parameter as a changed line and a template can produce
// the configuration of every device. A parameter's line holds what a ".vesk" file keeps of
// it beyond the description: value, attributes, note and changed flags. Going back, the
// tree is rebuilt from the description and each line finds its record by branch path, short
// name and linear index, so saving the result gives the bytes the ".vesk" file had.
//
// {"format":"vesk-configuration","version":1,"device_kind":3,"parameters":[
// {"path":"Входы/Вход №1","name":"FiLt","index":0,"value":"25","editable":true,
//  "owner":"user","note":"","changed":[]},
// ...]}

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/parameter.h"
#include "model/config_file.h"
#include "model/description_branch.h"

namespace vesk::model {

inline constexpr const char* kJsonFormatName = "vesk-configuration";
inline constexpr int kJsonFormatVersion = 1;
inline constexpr const char* kJsonOwnerUser = "user";
inline constexpr const char* kJsonOwnerFirm = "firm";

// The text of `view`, ending with a line feed. Returns false with a message in `error`
// when there is no tree, or a text of the tree is not UTF-8 (JSON cannot hold it).
bool ConfigurationToJson(const ConfigurationView& view, std::string& json, std::string& error);

// Builds the configuration that `json` describes: `target` rebuilds the tree for the
// text's device kind, and every parameter line sets its record's value (taken through the
// record's codec, as an edit in place takes it; "Нет данных" stays as it is), attributes,
// note and changed flags. Records that no line names keep what a fresh tree has. Returns
// the device kind; nullopt with a message in `error` for malformed JSON (with its line and
// column), a wrong format name or version, a missing or mistyped field, a parameter the
// description does not have (or one named twice), or a value the codec refuses. What the
// target holds after a failure is partial and must be discarded.
std::optional<int32_t> ConfigurationFromJson(std::string_view json, ConfigurationTarget& target,
                                             std::string& error);

// True when `bytes` look like a configuration as JSON rather than a ".vesk" archive: the
// first character that is not white space is "{".
bool LooksLikeJson(std::string_view bytes);

// One parameter whose settings differ between two configurations of one description.
struct ConfigurationDifference {
  std::string path;  // branch path below the root, "/" between names
  const link::Parameter* other = nullptr;
  link::Parameter* file = nullptr;
};

// True when the two records hold the same value (exact text) and attributes, which is what
// the compare with the device judges.
bool SameSettings(const link::Parameter& a, const link::Parameter& b);

// The parameters of `file` whose settings differ from the same parameter of `other`, in the
// order of the tree. nullopt when the two trees are not built alike (another description).
std::optional<std::vector<ConfigurationDifference>> DiffConfigurations(
    const DescriptionBranch& other, DescriptionBranch& file);

}  // namespace vesk::model
