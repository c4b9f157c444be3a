#include "model/tree_builder.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "link/presenter.h"
#include "model/description_parser.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The digit of a name suffix such as "*2" or "+3": the name's last character when the
// one before it is `sign` and it is a digit; -1 otherwise.
int SuffixDigit(const std::string& name, char sign) {
  if (name.size() < 2 || name[name.size() - 2] != sign) return -1;
  char last = name.back();
  return last >= '0' && last <= '9' ? last - '0' : -1;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

void EnterOutput(link::Parameter& p, OutputTable& outputs) {
  if (p.linear_index < 0 || p.linear_index >= kOutputSlots) return;
  // A second record at the same index takes the slot.
  outputs[static_cast<size_t>(p.linear_index)] = &p;
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
  p->caption = UnderscoresToBlanks(def.caption);
  p->type_text = def.type_text;
  p->minimum = def.minimum;
  p->maximum = def.maximum;
  p->has_attributes = def.has_attributes;
  p->initial_value = UnderscoresToBlanks(def.initial_value);
  p->mark = def.mark;
  if (size_t colon = def.type_text.find(':'); colon != std::string::npos) {
    std::string_view format = std::string_view(def.type_text).substr(0, colon);
    std::string_view rest = std::string_view(def.type_text).substr(colon + 1);
    std::string_view places = rest.substr(0, rest.find(':'));
    if ((platform::Iequals(format, "int") || platform::Iequals(format, "CLK_frm") ||
         platform::Iequals(format, "float")) &&
        (places == "1" || places == "2" || places == "3")) {
      p->type_text = std::string(format);
      p->decimals = places[0] - '0';
    }
  }
  return p;
}

int32_t BuildBranch(DescriptionBranch& b, bool indexed, int32_t base, OutputTable& outputs) {
  int64_t l = int64_t{b.copy_number} + int64_t{b.copy_count} * base - 1;
  if (int n = SuffixDigit(b.name, '*'); n >= 0) {
    l *= n;
    b.name.resize(b.name.size() - 2);
  }
  l = Saturate(l);
  if (int n = SuffixDigit(b.name, '+'); n >= 0) {
    l += n;
    b.name.resize(b.name.size() - 2);
    if (b.name != "K20") b.copy_number = Saturate(int64_t{b.copy_number} + n);
  }
  const int32_t linear = Saturate(l);

  if (b.copy_count > 1) {
    if (b.name.find('#') == std::string::npos) {
      if (platform::Iequals(b.name, kAdditionalOutputState))
        b.copy_number = Saturate(int64_t{b.copy_number} + 8);
      b.name += '#';
    }
    ReplaceAll(b.name, "#", " №" + std::to_string(b.copy_number));
  }

  const bool children_indexed = indexed || b.copy_count > 1;
  int32_t span = 1;
  for (auto& child : b.children)
    span = std::max(span, BuildBranch(*child, children_indexed, linear, outputs));

  b.name = UnderscoresToBlanks(b.name);

  const bool params_indexed = indexed || b.copy_count > 1;
  const int32_t param_index = Saturate(int64_t{span} * linear);
  for (const ParameterDefinition& def : b.definitions) {
    std::unique_ptr<link::Parameter> p;
    try {
      p = MakeParameter(def);
    } catch (const std::bad_alloc&) {
      link::presenter().ShowMessage(platform::Tr("Серьезная нехватка памяти"),
                                    platform::Tr(kProgramTitle), link::MsgIcon::Error);
      continue;
    }
    if (params_indexed) {
      p->indexed = true;
      p->linear_index = param_index;
    }
    link::Parameter& added = b.AddParameter(std::move(p));
    if (platform::Iequals(added.short_name, kOutputParameterName)) EnterOutput(added, outputs);
  }

  if (b.children.empty() && b.parameters.size() == 1) b.parameters.front()->caption = b.name;
  return Saturate(int64_t{span} * b.copy_count);
}

void PrepareForPolling(DescriptionBranch& tree) {
  for (auto& p : tree.parameters) {
    p->poll_index = p->linear_index;
    p->indexed = false;
  }
  for (auto& child : tree.children) PrepareForPolling(*child);
}

}  // namespace vesk::model
