#pragma once
// The description language: lines of words, each line one command that declares a
// constant, a type, a parameter definition, its limits or initial value, or a branch
// template made of earlier definitions and templates. The interpreter keeps the
// declarations; the tree build (tree_builder.h) turns the root and pollers templates
// into parameter records.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/description_branch.h"
#include "model/parameter_definition.h"

namespace vesk::model {

inline constexpr const char* kNetworkBranchName = "Сетевые_параметры";

// Caption of the messages about the text of the description.
inline constexpr const char* kDescriptionErrorCaption = "Ошибка в описателе";

// Bounds that keep a hostile description from exhausting memory, time or stack. The
// linear index travels as 16 bits on the wire and in files, so more copies of one branch
// could not be told apart anyway; the totals count everything made while reading (copies
// that are later discarded too), which bounds the work as well as the memory.
inline constexpr int32_t kMaxCopies = 65535;
inline constexpr int kMaxBranchDepth = 32;
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr size_t kMaxBranchNodes = 65536;
inline constexpr size_t kMaxDefinitionCopies = 65536;
// Text held by definitions and branch names (a branch name counted with the room its
// numbers will take): one long caption or type copied into many places must not
// multiply a small description into gigabytes.
inline constexpr size_t kMaxTextBytes = 16u << 20;
#else
// A fuzzer reaches the same bounds through the same code with totals a sixteenth as large,
// so that an input that hits them costs milliseconds rather than most of a second; the
// device's own description stays far inside either set.
inline constexpr size_t kMaxBranchNodes = 4096;
inline constexpr size_t kMaxDefinitionCopies = 4096;
inline constexpr size_t kMaxTextBytes = 1u << 20;
#endif

// What a definition and a branch name count against kMaxTextBytes.
size_t TextCost(const ParameterDefinition& definition);
size_t TextCost(const DescriptionBranch& branch);

// The lines of a text: split at every run of CR and LF, so no line is empty.
std::vector<std::string_view> SplitLines(std::string_view text);
// The words of a line: split at every run of blanks and tabs.
std::vector<std::string_view> SplitWords(std::string_view line);

// The leading decimal floating-point number of a word (sign, digits, point, exponent),
// regardless of the locale; 0 when the word starts with no number or the number is not
// finite.
double ReadDouble(std::string_view word);
// The leading decimal integer of a word (optional sign, digits); 0 when there is none;
// saturated at the limits of int32.
int32_t ReadInt(std::string_view word);
// The text with every "_" turned into a blank.
std::string UnderscoresToBlanks(std::string_view text);

struct ConstantEntry {
  std::string name;
  double value = 0;
  std::string value_text;
};

struct TypeEntry {
  std::string name;
  std::string type_text;
};

// The declarations of one description while its text is read. Every failing command
// shows its message through link::presenter() and returns false; nothing declared before
// is undone.
class DescriptionInterpreter {
 public:
  DescriptionInterpreter();
  ~DescriptionInterpreter();
  DescriptionInterpreter(const DescriptionInterpreter&) = delete;
  DescriptionInterpreter& operator=(const DescriptionInterpreter&) = delete;

  // Performs one line. Returns true to go on (also for ignored lines: fewer than two
  // words, or a lone ";" or "'" comment sign), false when the line was a description
  // error (its message has been shown) and reading must stop.
  bool InterpretLine(std::string_view line);

  // Performs every line of `text` in order until one fails. Returns false when one failed.
  bool InterpretText(std::string_view text);

  // Defines a constant with the number at the start of `value_text`. Returns false, after
  // the message "Константа '...' уже определена!", when the name is taken.
  bool DefineConstant(std::string_view name, std::string_view value_text);
  // The value of the constant of that name (case ignored), if there is one.
  std::optional<double> FindConstant(std::string_view name) const;

  const std::vector<ConstantEntry>& constants() const { return constants_; }
  const std::vector<TypeEntry>& types() const { return types_; }
  const std::vector<ParameterDefinition>& definitions() const { return definitions_; }
  const std::vector<std::unique_ptr<DescriptionBranch>>& templates() const { return templates_; }
  DescriptionBranch* root() const { return root_; }
  DescriptionBranch* pollers() const { return pollers_; }
  // The branch "Сетевые_параметры", where it now lies (a template or a copy inside one).
  DescriptionBranch* network() const { return network_; }

  // Hands over the root and pollers templates and the parameter definitions (raw access
  // to one parameter works on them), and discards every other declaration. The network
  // branch pointer survives only when it lies inside one of the two trees.
  struct Trees {
    std::unique_ptr<DescriptionBranch> root;
    std::unique_ptr<DescriptionBranch> pollers;
    DescriptionBranch* network = nullptr;
    std::vector<ParameterDefinition> definitions;
  };
  Trees TakeTrees();

 private:
  enum class BranchRole { Branch, Root, Pollers };

  bool Fail(std::string_view text, std::string_view caption, bool warning = false);
  bool TooFewWords(std::string_view line);
  bool LimitExceeded(std::string_view what, size_t limit, std::string_view line);
  bool CommandConst(const std::vector<std::string_view>& w, std::string_view line);
  bool CommandType(const std::vector<std::string_view>& w);
  bool CommandParameter(const std::vector<std::string_view>& w, std::string_view line);
  bool CommandRule(const std::vector<std::string_view>& w, std::string_view line);
  bool CommandInit(const std::vector<std::string_view>& w, std::string_view line);
  bool CommandBranch(const std::vector<std::string_view>& w, std::string_view line,
                     BranchRole role);
  // Adds the members named from word 6 on to a new copy. Returns false after a message.
  bool FillCopy(DescriptionBranch& made, const std::vector<std::string_view>& w,
                std::string_view line);
  ParameterDefinition* FirstDefinition(std::string_view name);

  std::vector<ConstantEntry> constants_;
  std::vector<TypeEntry> types_;
  std::vector<ParameterDefinition> definitions_;
  std::vector<std::unique_ptr<DescriptionBranch>> templates_;
  // Lookups by name folded to lower case: constant, last type, every definition and
  // every template of that name (indexes into the lists above, in declaration order).
  std::unordered_map<std::string, size_t> constant_by_name_;
  std::unordered_map<std::string, size_t> type_by_name_;
  std::unordered_map<std::string, std::vector<size_t>> definitions_by_name_;
  std::unordered_map<std::string, std::vector<size_t>> templates_by_name_;
  DescriptionBranch* root_ = nullptr;
  DescriptionBranch* pollers_ = nullptr;
  DescriptionBranch* network_ = nullptr;
  size_t branch_nodes_made_ = 0;
  size_t definitions_copied_ = 0;
  size_t text_bytes_made_ = 0;
};

}  // namespace vesk::model
