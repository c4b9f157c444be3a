#include "model/tree_builder.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "link/presenter.h"
#include "model/description_parser.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

int32_t saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The digit of a name suffix such as "*2" or "+3": the name's last character when the
// one before it is `sign` and it is a digit; -1 otherwise.
int suffix_digit(const std::string& name, char sign) {
  if (name.size() < 2 || name[name.size() - 2] != sign) return -1;
  char last = name.back();
  return last >= '0' && last <= '9' ? last - '0' : -1;
}

void replace_all(std::string& text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

void enter_output(link::Parameter& p, OutputTable& outputs) {
  if (p.linearIndex < 0 || p.linearIndex >= kOutputSlots) return;
  link::Parameter*& slot = outputs[static_cast<size_t>(p.linearIndex)];
  // A second record at the same index takes the slot; the first must not clear it later.
  if (slot && slot != &p) slot->outputSlot = nullptr;
  slot = &p;
  p.outputSlot = &slot;
}

}  // namespace

std::unique_ptr<link::Parameter> MakeParameter(const ParameterDefinition& def) {
  std::string name = def.name;
  bool writable = true;
  if (!name.empty() && name.front() == '!') {
    name.erase(0, 1);
    writable = false;
  }
  auto p = std::make_unique<link::Parameter>(std::move(name));
  p->writable = writable;
  p->caption = underscores_to_blanks(def.caption);
  p->typeText = def.typeText;
  p->minimum = def.minimum;
  p->maximum = def.maximum;
  p->hasAttributes = def.hasAttributes;
  p->initialValue = underscores_to_blanks(def.initialValue);
  p->mark = def.mark;
  if (size_t colon = def.typeText.find(':'); colon != std::string::npos) {
    std::string_view format = std::string_view(def.typeText).substr(0, colon);
    std::string_view rest = std::string_view(def.typeText).substr(colon + 1);
    std::string_view places = rest.substr(0, rest.find(':'));
    if ((platform::iequals(format, "int") || platform::iequals(format, "CLK_frm") ||
         platform::iequals(format, "float")) &&
        (places == "1" || places == "2" || places == "3")) {
      p->typeText = std::string(format);
      p->decimals = places[0] - '0';
    }
  }
  return p;
}

int32_t BuildBranch(DescBranch& b, bool indexed, int32_t base, OutputTable& outputs) {
  int64_t l = int64_t{b.copyNumber} + int64_t{b.copyCount} * base - 1;
  if (int n = suffix_digit(b.name, '*'); n >= 0) {
    l *= n;
    b.name.resize(b.name.size() - 2);
  }
  l = saturate(l);
  if (int n = suffix_digit(b.name, '+'); n >= 0) {
    l += n;
    b.name.resize(b.name.size() - 2);
    if (b.name != "K20") b.copyNumber = saturate(int64_t{b.copyNumber} + n);
  }
  const int32_t linear = saturate(l);

  if (b.copyCount > 1) {
    if (b.name.find('#') == std::string::npos) {
      if (platform::iequals(b.name, kAdditionalOutputState))
        b.copyNumber = saturate(int64_t{b.copyNumber} + 8);
      b.name += '#';
    }
    replace_all(b.name, "#", " №" + std::to_string(b.copyNumber));
  }

  const bool children_indexed = indexed || b.copyCount > 1;
  int32_t span = 1;
  for (auto& child : b.children)
    span = std::max(span, BuildBranch(*child, children_indexed, linear, outputs));

  b.name = underscores_to_blanks(b.name);

  const bool params_indexed = indexed || b.copyCount > 1;
  const int32_t param_index = saturate(int64_t{span} * linear);
  for (const ParameterDefinition& def : b.definitions) {
    std::unique_ptr<link::Parameter> p;
    try {
      p = MakeParameter(def);
    } catch (const std::bad_alloc&) {
      link::presenter().MessageBox("Серьезная нехватка памяти", kProgramTitle,
                                   link::MsgIcon::Error);
      continue;
    }
    if (params_indexed) {
      p->indexed = true;
      p->linearIndex = param_index;
    }
    link::Parameter& added = b.AddParameter(std::move(p));
    if (platform::iequals(added.shortName, kOutputParameterName)) enter_output(added, outputs);
  }

  if (b.children.empty() && b.parameters.size() == 1) b.parameters.front()->caption = b.name;
  return saturate(int64_t{span} * b.copyCount);
}

void PrepareForPolling(DescBranch& tree) {
  for (auto& p : tree.parameters) {
    p->pollIndex = p->linearIndex;
    p->indexed = false;
  }
  for (auto& child : tree.children) PrepareForPolling(*child);
}

}  // namespace vesk::model
