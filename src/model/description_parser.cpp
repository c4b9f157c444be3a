#include "model/description_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "link/presenter.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

using link::MsgIcon;

constexpr const char* kUndefinedCaption = "Ошибка описателя";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Key(std::string_view name) {
  return platform::FoldLower(name);
}

// A line as our own messages quote it: long enough to find it, short enough to read.
std::string Quoted(std::string_view line) {
  constexpr size_t kShown = 200;
  if (platform::Utf8Length(line) <= kShown) return std::string(line);
  return platform::Utf8Prefix(line, kShown) + "...";
}

// Size, depth and the place of one node inside a template, found in one walk.
struct Subtree {
  size_t nodes = 0;
  size_t definitions = 0;
  size_t text = 0;
  int depth = 0;
  bool holds_target = false;
  std::vector<size_t> target_path;  // child indexes from the template down to the target
};

void Survey(const DescriptionBranch& node, const DescriptionBranch* target, Subtree& info,
            int level, std::vector<size_t>& path) {
  ++info.nodes;
  info.definitions += node.definitions.size();
  info.text += TextCost(node);
  for (const ParameterDefinition& d : node.definitions) info.text += TextCost(d);
  if (level > info.depth) info.depth = level;
  if (&node == target) {
    info.holds_target = true;
    info.target_path = path;
  }
  for (size_t i = 0; i < node.children.size(); ++i) {
    path.push_back(i);
    Survey(*node.children[i], target, info, level + 1, path);
    path.pop_back();
  }
}

Subtree Survey(const DescriptionBranch& node, const DescriptionBranch* target) {
  Subtree info;
  std::vector<size_t> path;
  Survey(node, target, info, 1, path);
  return info;
}

bool LiesWithin(const DescriptionBranch* tree, const DescriptionBranch* node) {
  if (!tree || !node) return false;
  if (tree == node) return true;
  for (const auto& child : tree->children)
    if (LiesWithin(child.get(), node)) return true;
  return false;
}

}  // namespace

size_t TextCost(const ParameterDefinition& d) {
  return d.name.size() + d.type_text.size() + d.caption.size() + d.initial_value.size();
}

size_t TextCost(const DescriptionBranch& b) {
  // Every "#" (and the one a repeated branch appends) becomes " №" and a number.
  constexpr size_t kNumberRoom = sizeof(" №2147483647");
  return b.name.size() + kNumberRoom * (std::count(b.name.begin(), b.name.end(), '#') + 1);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsLineEnd(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsLineEnd(text[i])) ++i;
    if (i > start) lines.push_back(text.substr(start, i - start));
  }
  return lines;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

double ReadDouble(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  // Only plain decimal notation: from_chars would also take "inf" and "nan".
  if (i >= word.size() || !(IsDigit(word[i]) || word[i] == '.')) return 0;
  double value = 0;
  auto [end, ec] = std::from_chars(word.data() + i, word.data() + word.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return 0;
  if (ec != std::errc() || end == word.data() + i || !std::isfinite(value)) return 0;
  return negative ? -value : value;
}

int32_t ReadInt(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < word.size() && IsDigit(word[i]); ++i) {
    value = value * 10 + (word[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

std::string UnderscoresToBlanks(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '_') c = ' ';
  return out;
}

DescriptionInterpreter::DescriptionInterpreter() = default;
DescriptionInterpreter::~DescriptionInterpreter() = default;

bool DescriptionInterpreter::Fail(std::string_view text, std::string_view caption, bool warning) {
  link::presenter().ShowMessage(text, caption, warning ? MsgIcon::Warning : MsgIcon::Error);
  return false;
}

bool DescriptionInterpreter::TooFewWords(std::string_view line) {
  return Fail(platform::Tr("Недостаточно слов в команде описателя '") + Quoted(line) + "'",
              platform::Tr(kDescriptionErrorCaption));
}

bool DescriptionInterpreter::LimitExceeded(std::string_view what, size_t limit,
                                           std::string_view line) {
  return Fail(std::string(what) + platform::Tr(" (больше ") + std::to_string(limit) + "): '" +
                  Quoted(line) + "'",
              platform::Tr(kDescriptionErrorCaption));
}

bool DescriptionInterpreter::InterpretText(std::string_view text) {
  for (std::string_view line : SplitLines(text))
    if (!InterpretLine(line)) return false;
  return true;
}

bool DescriptionInterpreter::InterpretLine(std::string_view line) {
  std::vector<std::string_view> w = SplitWords(line);
  if (w.size() < 2) return true;
  if (w[0] == ";" || w[0] == "'") return true;
  const std::string command = Key(w[0]);
  if (command == "const") return CommandConst(w, line);
  if (command == "type") return CommandType(w);
  if (command == "parameter") return CommandParameter(w, line);
  if (command == "rule") return CommandRule(w, line);
  if (command == "init") return CommandInit(w, line);
  if (command == "branch") return CommandBranch(w, line, BranchRole::Branch);
  if (command == "root") return CommandBranch(w, line, BranchRole::Root);
  if (command == "scanners") return CommandBranch(w, line, BranchRole::Pollers);
  return Fail(platform::Tr("Непонятная команда в описателе '") + std::string(line) + "'",
              platform::Tr(kDescriptionErrorCaption));
}

bool DescriptionInterpreter::DefineConstant(std::string_view name, std::string_view value_text) {
  std::string k = Key(name);
  if (constant_by_name_.count(k))
    return Fail(platform::Tr("Константа '") + std::string(name) + platform::Tr("' уже определена!"),
                platform::Tr(kDescriptionErrorCaption));
  constant_by_name_.emplace(std::move(k), constants_.size());
  constants_.push_back({std::string(name), ReadDouble(value_text), std::string(value_text)});
  return true;
}

std::optional<double> DescriptionInterpreter::FindConstant(std::string_view name) const {
  auto it = constant_by_name_.find(Key(name));
  if (it == constant_by_name_.end()) return std::nullopt;
  return constants_[it->second].value;
}

bool DescriptionInterpreter::CommandConst(const std::vector<std::string_view>& w,
                                          std::string_view line) {
  if (w.size() < 3) return TooFewWords(line);
  return DefineConstant(w[1], w[2]);
}

bool DescriptionInterpreter::CommandType(const std::vector<std::string_view>& w) {
  std::string text;
  for (size_t i = 2; i < w.size(); ++i) {
    if (i > 2) text += ':';
    text += w[i];
  }
  type_by_name_[Key(w[1])] = types_.size();
  types_.push_back({std::string(w[1]), std::move(text)});
  return true;
}

bool DescriptionInterpreter::CommandParameter(const std::vector<std::string_view>& w,
                                              std::string_view line) {
  if (w.size() < 4) return TooFewWords(line);
  ParameterDefinition def;
  std::string_view name = w[1];
  if (!name.empty() && name.front() == '@') name.remove_prefix(1);
  def.name = std::string(name);
  auto type = type_by_name_.find(Key(w[2]));
  def.type_text = type != type_by_name_.end() ? types_[type->second].type_text : std::string(w[2]);
  def.caption = std::string(w[3]);
  if (w.size() >= 5) {
    if (platform::Iequals(w[4], "noattr")) {
      def.has_attributes = 0;
    } else if (w.size() >= 6) {
      def.table_argument = ReadInt(w[5]);
      std::string_view attr = w[4];
      if (!attr.empty() && attr.back() == '+') {
        def.mark = 1;
        attr.remove_suffix(1);
      } else if (!attr.empty() && attr.back() == '*') {
        def.mark = 2;
        attr.remove_suffix(1);
      }
      static constexpr const char* kTables[] = {"table1", "table2", "table3", "table4", "table5"};
      for (int t = 0; t < 5; ++t)
        if (platform::Iequals(attr, kTables[t])) def.table_number = t + 1;
    }
  }
  // A declared type's text is copied into the definition: count it.
  text_bytes_made_ += TextCost(def);
  if (text_bytes_made_ > kMaxTextBytes)
    return LimitExceeded(platform::Tr("Слишком много текста в описателе"), kMaxTextBytes, line);
  definitions_by_name_[Key(def.name)].push_back(definitions_.size());
  definitions_.push_back(std::move(def));
  return true;
}

ParameterDefinition* DescriptionInterpreter::FirstDefinition(std::string_view name) {
  auto it = definitions_by_name_.find(Key(name));
  if (it == definitions_by_name_.end() || it->second.empty()) return nullptr;
  return &definitions_[it->second.front()];
}

bool DescriptionInterpreter::CommandRule(const std::vector<std::string_view>& w,
                                         std::string_view line) {
  if (w.size() < 4) return TooFewWords(line);
  ParameterDefinition* def = FirstDefinition(w[1]);
  if (!def)
    return Fail(platform::Tr("Параметр '") + std::string(w[1]) + platform::Tr("' не определен."),
                platform::Tr(kUndefinedCaption), true);
  def->minimum = ReadDouble(w[2]);
  def->maximum = ReadDouble(w[3]);
  return true;
}

bool DescriptionInterpreter::CommandInit(const std::vector<std::string_view>& w,
                                         std::string_view line) {
  if (w.size() < 3) return TooFewWords(line);
  ParameterDefinition* def = FirstDefinition(w[1]);
  if (!def)
    return Fail(platform::Tr("Параметр '") + std::string(w[1]) + platform::Tr("' не определен."),
                platform::Tr(kUndefinedCaption), true);
  def->initial_value = UnderscoresToBlanks(w[2]);
  return true;
}

bool DescriptionInterpreter::CommandBranch(const std::vector<std::string_view>& w,
                                           std::string_view line, BranchRole role) {
  if (w.size() < 5) return TooFewWords(line);
  const std::string_view name = w[1];
  int64_t count = ReadInt(w[2]);
  if (count == 0) {
    if (std::optional<double> value = FindConstant(w[2])) {
      double v = std::trunc(*value);
      count = v > kMaxCopies ? int64_t{kMaxCopies} + 1 : v < 0 ? 0 : static_cast<int64_t>(v);
    }
  }
  if (count <= 0) return true;
  if (count > kMaxCopies)
    return LimitExceeded(platform::Tr("Слишком много копий ветви '") + std::string(name) + "'",
                         kMaxCopies, line);
  const int32_t image = ReadInt(w[3]);
  const int32_t selected = ReadInt(w[4]);
  const bool is_network = role == BranchRole::Branch && platform::Iequals(name, kNetworkBranchName);

  for (int32_t k = 1; k <= count; ++k) {
    if (branch_nodes_made_ >= kMaxBranchNodes)
      return LimitExceeded(platform::Tr("Слишком много ветвей в описателе"), kMaxBranchNodes, line);
    auto copy = std::make_unique<DescriptionBranch>(std::string(name), static_cast<int32_t>(count),
                                                    k, image, selected);
    ++branch_nodes_made_;
    text_bytes_made_ += TextCost(*copy);
    if (text_bytes_made_ > kMaxTextBytes)
      return LimitExceeded(platform::Tr("Слишком много текста в описателе"), kMaxTextBytes, line);
    DescriptionBranch* made = copy.get();
    // The copy joins the list (and becomes root or pollers) only when it is complete; a
    // copy whose member fails is dropped.
    DescriptionBranch* const network_before = network_;
    if (is_network) network_ = made;
    if (!FillCopy(*made, w, line)) {
      network_ = network_before;  // it may lie inside the copy that is dropped now
      return false;
    }
    templates_by_name_[Key(name)].push_back(templates_.size());
    templates_.push_back(std::move(copy));
    if (role == BranchRole::Root) root_ = made;
    if (role == BranchRole::Pollers) pollers_ = made;
  }
  return true;
}

bool DescriptionInterpreter::FillCopy(DescriptionBranch& made,
                                      const std::vector<std::string_view>& w,
                                      std::string_view line) {
  for (size_t m = 5; m < w.size(); ++m) {
    const std::string word_key = Key(w[m]);
    bool matched = false;
    if (auto defs = definitions_by_name_.find(word_key); defs != definitions_by_name_.end()) {
      for (size_t index : defs->second) {
        if (definitions_copied_ >= kMaxDefinitionCopies)
          return LimitExceeded(platform::Tr("Слишком много параметров в описателе"),
                               kMaxDefinitionCopies, line);
        text_bytes_made_ += TextCost(definitions_[index]);
        if (text_bytes_made_ > kMaxTextBytes)
          return LimitExceeded(platform::Tr("Слишком много текста в описателе"), kMaxTextBytes,
                               line);
        made.definitions.push_back(definitions_[index]);
        made.member_order.push_back(kMemberParameter);
        ++definitions_copied_;
        matched = true;
      }
    }
    if (auto tpls = templates_by_name_.find(word_key); tpls != templates_by_name_.end()) {
      for (size_t index : tpls->second) {
        const DescriptionBranch& source = *templates_[index];
        Subtree info = Survey(source, network_);
        if (info.depth + 1 > kMaxBranchDepth)
          return LimitExceeded(platform::Tr("Слишком глубокая вложенность ветвей в описателе"),
                               kMaxBranchDepth, line);
        if (branch_nodes_made_ + info.nodes > kMaxBranchNodes)
          return LimitExceeded(platform::Tr("Слишком много ветвей в описателе"), kMaxBranchNodes,
                               line);
        if (definitions_copied_ + info.definitions > kMaxDefinitionCopies)
          return LimitExceeded(platform::Tr("Слишком много параметров в описателе"),
                               kMaxDefinitionCopies, line);
        if (text_bytes_made_ + info.text > kMaxTextBytes)
          return LimitExceeded(platform::Tr("Слишком много текста в описателе"), kMaxTextBytes,
                               line);
        std::unique_ptr<DescriptionBranch> clone = source.Clone();
        branch_nodes_made_ += info.nodes;
        definitions_copied_ += info.definitions;
        text_bytes_made_ += info.text;
        if (info.holds_target) {
          // The network branch follows its newest copy, wherever it lies in it.
          DescriptionBranch* target = clone.get();
          for (size_t step : info.target_path) target = target->children[step].get();
          network_ = target;
        }
        made.children.push_back(std::move(clone));
        made.member_order.push_back(kMemberBranch);
        matched = true;
      }
    }
    if (!matched)
      return Fail(platform::Tr("Что такое '") + std::string(w[m]) + platform::Tr("', не ясно!"),
                  platform::Tr(kDescriptionErrorCaption));
  }
  return true;
}

DescriptionInterpreter::Trees DescriptionInterpreter::TakeTrees() {
  Trees trees;
  for (auto& t : templates_) {
    if (t.get() == root_)
      trees.root = std::move(t);
    else if (t.get() == pollers_)
      trees.pollers = std::move(t);
  }
  if (LiesWithin(trees.root.get(), network_) || LiesWithin(trees.pollers.get(), network_))
    trees.network = network_;
  trees.definitions = std::move(definitions_);
  constants_.clear();
  types_.clear();
  definitions_.clear();
  templates_.clear();
  constant_by_name_.clear();
  type_by_name_.clear();
  definitions_by_name_.clear();
  templates_by_name_.clear();
  root_ = pollers_ = network_ = nullptr;
  return trees;
}

}  // namespace vesk::model
