#include "model/description_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "link/presenter.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

using link::MsgIcon;

constexpr const char* kUndefinedCaption = "Ошибка описателя";

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}
bool is_line_end(char c) {
  return c == '\r' || c == '\n';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

std::string key(std::string_view name) {
  return platform::fold_lower(name);
}

// A line as our own messages quote it: long enough to find it, short enough to read.
std::string quoted(std::string_view line) {
  constexpr size_t kShown = 200;
  if (platform::utf8_length(line) <= kShown) return std::string(line);
  return platform::utf8_prefix(line, kShown) + "...";
}

// Size, depth and the place of one node inside a template, found in one walk.
struct Subtree {
  size_t nodes = 0;
  size_t definitions = 0;
  size_t text = 0;
  int depth = 0;
  bool holdsTarget = false;
  std::vector<size_t> targetPath;  // child indexes from the template down to the target
};

void survey(const DescBranch& node, const DescBranch* target, Subtree& info, int level,
            std::vector<size_t>& path) {
  ++info.nodes;
  info.definitions += node.definitions.size();
  info.text += text_cost(node);
  for (const ParameterDefinition& d : node.definitions) info.text += text_cost(d);
  if (level > info.depth) info.depth = level;
  if (&node == target) {
    info.holdsTarget = true;
    info.targetPath = path;
  }
  for (size_t i = 0; i < node.children.size(); ++i) {
    path.push_back(i);
    survey(*node.children[i], target, info, level + 1, path);
    path.pop_back();
  }
}

Subtree survey(const DescBranch& node, const DescBranch* target) {
  Subtree info;
  std::vector<size_t> path;
  survey(node, target, info, 1, path);
  return info;
}

bool lies_within(const DescBranch* tree, const DescBranch* node) {
  if (!tree || !node) return false;
  if (tree == node) return true;
  for (const auto& child : tree->children)
    if (lies_within(child.get(), node)) return true;
  return false;
}

}  // namespace

size_t text_cost(const ParameterDefinition& d) {
  return d.name.size() + d.typeText.size() + d.caption.size() + d.initialValue.size();
}

size_t text_cost(const DescBranch& b) {
  // Every "#" (and the one a repeated branch appends) becomes " №" and a number.
  constexpr size_t kNumberRoom = sizeof(" №2147483647");
  return b.name.size() + kNumberRoom * (std::count(b.name.begin(), b.name.end(), '#') + 1);
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_line_end(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !is_line_end(text[i])) ++i;
    if (i > start) lines.push_back(text.substr(start, i - start));
  }
  return lines;
}

std::vector<std::string_view> split_words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !is_blank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

double read_double(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  // Only plain decimal notation: from_chars would also take "inf" and "nan".
  if (i >= word.size() || !(is_digit(word[i]) || word[i] == '.')) return 0;
  double value = 0;
  auto [end, ec] = std::from_chars(word.data() + i, word.data() + word.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return 0;
  if (ec != std::errc() || end == word.data() + i || !std::isfinite(value)) return 0;
  return negative ? -value : value;
}

int32_t read_int(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < word.size() && is_digit(word[i]); ++i) {
    value = value * 10 + (word[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

std::string underscores_to_blanks(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '_') c = ' ';
  return out;
}

DescriptionInterpreter::DescriptionInterpreter() = default;
DescriptionInterpreter::~DescriptionInterpreter() = default;

bool DescriptionInterpreter::Fail(std::string_view text, std::string_view caption, bool warning) {
  link::presenter().MessageBox(text, caption, warning ? MsgIcon::Warning : MsgIcon::Error);
  return false;
}

bool DescriptionInterpreter::TooFewWords(std::string_view line) {
  return Fail("Недостаточно слов в команде описателя '" + quoted(line) + "'",
              kDescriptionErrorCaption);
}

bool DescriptionInterpreter::LimitExceeded(std::string_view what, size_t limit,
                                           std::string_view line) {
  return Fail(std::string(what) + " (больше " + std::to_string(limit) + "): '" + quoted(line) + "'",
              kDescriptionErrorCaption);
}

bool DescriptionInterpreter::InterpretText(std::string_view text) {
  for (std::string_view line : split_lines(text))
    if (!InterpretLine(line)) return false;
  return true;
}

bool DescriptionInterpreter::InterpretLine(std::string_view line) {
  std::vector<std::string_view> w = split_words(line);
  if (w.size() < 2) return true;
  if (w[0] == ";" || w[0] == "'") return true;
  const std::string command = key(w[0]);
  if (command == "const") return CommandConst(w, line);
  if (command == "type") return CommandType(w);
  if (command == "parameter") return CommandParameter(w, line);
  if (command == "rule") return CommandRule(w, line);
  if (command == "init") return CommandInit(w, line);
  if (command == "branch") return CommandBranch(w, line, BranchRole::Branch);
  if (command == "root") return CommandBranch(w, line, BranchRole::Root);
  if (command == "scanners") return CommandBranch(w, line, BranchRole::Scanners);
  return Fail("Непонятная команда в описателе '" + std::string(line) + "'",
              kDescriptionErrorCaption);
}

bool DescriptionInterpreter::DefineConstant(std::string_view name, std::string_view value_text) {
  std::string k = key(name);
  if (constantByName_.count(k))
    return Fail("Константа '" + std::string(name) + "' уже определена!", kDescriptionErrorCaption);
  constantByName_.emplace(std::move(k), constants_.size());
  constants_.push_back({std::string(name), read_double(value_text), std::string(value_text)});
  return true;
}

std::optional<double> DescriptionInterpreter::FindConstant(std::string_view name) const {
  auto it = constantByName_.find(key(name));
  if (it == constantByName_.end()) return std::nullopt;
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
  typeByName_[key(w[1])] = types_.size();
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
  auto type = typeByName_.find(key(w[2]));
  def.typeText = type != typeByName_.end() ? types_[type->second].typeText : std::string(w[2]);
  def.caption = std::string(w[3]);
  if (w.size() >= 5) {
    if (platform::iequals(w[4], "noattr")) {
      def.hasAttributes = 0;
    } else if (w.size() >= 6) {
      def.tableArgument = read_int(w[5]);
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
        if (platform::iequals(attr, kTables[t])) def.tableNumber = t + 1;
    }
  }
  // A declared type's text is copied into the definition: count it.
  textBytesMade_ += text_cost(def);
  if (textBytesMade_ > kMaxTextBytes)
    return LimitExceeded("Слишком много текста в описателе", kMaxTextBytes, line);
  definitionsByName_[key(def.name)].push_back(definitions_.size());
  definitions_.push_back(std::move(def));
  return true;
}

ParameterDefinition* DescriptionInterpreter::FirstDefinition(std::string_view name) {
  auto it = definitionsByName_.find(key(name));
  if (it == definitionsByName_.end() || it->second.empty()) return nullptr;
  return &definitions_[it->second.front()];
}

bool DescriptionInterpreter::CommandRule(const std::vector<std::string_view>& w,
                                         std::string_view line) {
  if (w.size() < 4) return TooFewWords(line);
  ParameterDefinition* def = FirstDefinition(w[1]);
  if (!def)
    return Fail("Параметр '" + std::string(w[1]) + "' не определен.", kUndefinedCaption, true);
  def->minimum = read_double(w[2]);
  def->maximum = read_double(w[3]);
  return true;
}

bool DescriptionInterpreter::CommandInit(const std::vector<std::string_view>& w,
                                         std::string_view line) {
  if (w.size() < 3) return TooFewWords(line);
  ParameterDefinition* def = FirstDefinition(w[1]);
  if (!def)
    return Fail("Параметр '" + std::string(w[1]) + "' не определен.", kUndefinedCaption, true);
  def->initialValue = underscores_to_blanks(w[2]);
  return true;
}

bool DescriptionInterpreter::CommandBranch(const std::vector<std::string_view>& w,
                                           std::string_view line, BranchRole role) {
  if (w.size() < 5) return TooFewWords(line);
  const std::string_view name = w[1];
  int64_t count = read_int(w[2]);
  if (count == 0) {
    if (std::optional<double> value = FindConstant(w[2])) {
      double v = std::trunc(*value);
      count = v > kMaxCopies ? int64_t{kMaxCopies} + 1 : v < 0 ? 0 : static_cast<int64_t>(v);
    }
  }
  if (count <= 0) return true;
  if (count > kMaxCopies)
    return LimitExceeded("Слишком много копий ветви '" + std::string(name) + "'", kMaxCopies, line);
  const int32_t image = read_int(w[3]);
  const int32_t selected = read_int(w[4]);
  const bool is_network = role == BranchRole::Branch && platform::iequals(name, kNetworkBranchName);

  for (int32_t k = 1; k <= count; ++k) {
    if (branchNodesMade_ >= kMaxBranchNodes)
      return LimitExceeded("Слишком много ветвей в описателе", kMaxBranchNodes, line);
    auto copy = std::make_unique<DescBranch>(std::string(name), static_cast<int32_t>(count), k,
                                             image, selected);
    ++branchNodesMade_;
    textBytesMade_ += text_cost(*copy);
    if (textBytesMade_ > kMaxTextBytes)
      return LimitExceeded("Слишком много текста в описателе", kMaxTextBytes, line);
    DescBranch* made = copy.get();
    // The copy joins the list (and becomes root or scanners) only when it is complete; a
    // copy whose member fails is dropped.
    DescBranch* const network_before = network_;
    if (is_network) network_ = made;
    if (!FillCopy(*made, w, line)) {
      network_ = network_before;  // it may lie inside the copy that is dropped now
      return false;
    }
    templatesByName_[key(name)].push_back(templates_.size());
    templates_.push_back(std::move(copy));
    if (role == BranchRole::Root) root_ = made;
    if (role == BranchRole::Scanners) scanners_ = made;
  }
  return true;
}

bool DescriptionInterpreter::FillCopy(DescBranch& made, const std::vector<std::string_view>& w,
                                      std::string_view line) {
  for (size_t m = 5; m < w.size(); ++m) {
    const std::string word_key = key(w[m]);
    bool matched = false;
    if (auto defs = definitionsByName_.find(word_key); defs != definitionsByName_.end()) {
      for (size_t index : defs->second) {
        if (definitionsCopied_ >= kMaxDefinitionCopies)
          return LimitExceeded("Слишком много параметров в описателе", kMaxDefinitionCopies, line);
        textBytesMade_ += text_cost(definitions_[index]);
        if (textBytesMade_ > kMaxTextBytes)
          return LimitExceeded("Слишком много текста в описателе", kMaxTextBytes, line);
        made.definitions.push_back(definitions_[index]);
        made.memberOrder.push_back(kMemberParameter);
        ++definitionsCopied_;
        matched = true;
      }
    }
    if (auto tpls = templatesByName_.find(word_key); tpls != templatesByName_.end()) {
      for (size_t index : tpls->second) {
        const DescBranch& source = *templates_[index];
        Subtree info = survey(source, network_);
        if (info.depth + 1 > kMaxBranchDepth)
          return LimitExceeded("Слишком глубокая вложенность ветвей в описателе", kMaxBranchDepth,
                               line);
        if (branchNodesMade_ + info.nodes > kMaxBranchNodes)
          return LimitExceeded("Слишком много ветвей в описателе", kMaxBranchNodes, line);
        if (definitionsCopied_ + info.definitions > kMaxDefinitionCopies)
          return LimitExceeded("Слишком много параметров в описателе", kMaxDefinitionCopies, line);
        if (textBytesMade_ + info.text > kMaxTextBytes)
          return LimitExceeded("Слишком много текста в описателе", kMaxTextBytes, line);
        std::unique_ptr<DescBranch> clone = source.Clone();
        branchNodesMade_ += info.nodes;
        definitionsCopied_ += info.definitions;
        textBytesMade_ += info.text;
        if (info.holdsTarget) {
          // The network branch follows its newest copy, wherever it lies in it.
          DescBranch* target = clone.get();
          for (size_t step : info.targetPath) target = target->children[step].get();
          network_ = target;
        }
        made.children.push_back(std::move(clone));
        made.memberOrder.push_back(kMemberBranch);
        matched = true;
      }
    }
    if (!matched)
      return Fail("Что такое '" + std::string(w[m]) + "', не ясно!", kDescriptionErrorCaption);
  }
  return true;
}

DescriptionInterpreter::Trees DescriptionInterpreter::TakeTrees() {
  Trees trees;
  for (auto& t : templates_) {
    if (t.get() == root_)
      trees.root = std::move(t);
    else if (t.get() == scanners_)
      trees.scanners = std::move(t);
  }
  if (lies_within(trees.root.get(), network_) || lies_within(trees.scanners.get(), network_))
    trees.network = network_;
  trees.definitions = std::move(definitions_);
  constants_.clear();
  types_.clear();
  definitions_.clear();
  templates_.clear();
  constantByName_.clear();
  typeByName_.clear();
  definitionsByName_.clear();
  templatesByName_.clear();
  root_ = scanners_ = network_ = nullptr;
  return trees;
}

}  // namespace vesk::model
