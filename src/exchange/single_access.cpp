#include "exchange/single_access.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "link/frame_codec.h"
#include "link/presenter.h"
#include "model/description_container.h"
#include "model/description_parser.h"
#include "model/tree_builder.h"
#include "platform/text.h"

namespace vesk::exchange {

namespace {

constexpr const char* kIndexInAddress = "Индекс передается в поле адреса запроса";
constexpr const char* kAddressWarning = "Предупреждение: адрес увеличен более чем на 7!";
constexpr const char* kIndexInData = "Индекс передается в посылке запроса";
constexpr const char* kHadError = "Имеет место ошибка:";
constexpr const char* kReadDone = "Нет ошибок; строковая нотация ответа:";
constexpr int kHighestPlainOffset = 7;
// The index travels as 16 bits in the data field; an address offset beyond that has no
// device to reach either.
constexpr int32_t kHighestIndex = 0xFFFF;

std::string_view without_bang(std::string_view name) {
  if (!name.empty() && name.front() == '!') name.remove_prefix(1);
  return name;
}

std::vector<std::string_view> split_items(std::string_view type_text) {
  std::vector<std::string_view> items;
  size_t start = 0;
  for (;;) {
    const size_t colon = type_text.find(':', start);
    items.push_back(type_text.substr(start, colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  return items;
}

bool decimal_format(std::string_view word) {
  return platform::iequals(word, "int") || platform::iequals(word, "CLK_frm") ||
         platform::iequals(word, "float");
}

// "int:2" and the like name a format with decimal places, not a list to choose from.
int32_t decimal_places(std::string_view type_text) {
  const auto items = split_items(type_text);
  if (items.size() < 2 || !decimal_format(items[0])) return 0;
  return model::read_int(items[1]);
}

bool plain_format(std::string_view type_text) {
  for (std::string_view w : {"string", "ASCI", "int", "CLK_frm", "float", "name", kUndefinedType})
    if (platform::iequals(type_text, w)) return true;
  return decimal_places(type_text) != 0;
}

std::vector<std::string> choice_entries(std::string_view type_text) {
  std::vector<std::string> entries;
  if (plain_format(type_text)) return entries;
  for (std::string_view item : split_items(type_text)) {
    if (item.find(kHiddenItemMark) != std::string_view::npos) continue;
    entries.push_back(model::underscores_to_blanks(item));
  }
  return entries;
}

link::Parameter* find_in_tree(const model::DescBranch* branch, std::string_view name) {
  if (!branch) return nullptr;
  if (link::Parameter* p = branch->FindParameter(name)) return p;
  for (const auto& child : branch->children)
    if (link::Parameter* p = find_in_tree(child.get(), name)) return p;
  return nullptr;
}

// A note may hold line feeds (and end with one); the protocol shows it as lines.
void add_note_lines(std::vector<std::string>& lines, std::string_view note) {
  while (!note.empty()) {
    const size_t lf = note.find('\n');
    lines.emplace_back(note.substr(0, lf));
    if (lf == std::string_view::npos) break;
    note.remove_prefix(lf + 1);
  }
}

class OutcomeTrace : public link::TraceList {
 public:
  explicit OutcomeTrace(std::vector<std::string>& lines) : lines_(lines) {}
  void add(std::string line) override { lines_.push_back(std::move(line)); }

 private:
  std::vector<std::string>& lines_;
};

int32_t index_number(std::string_view text) {
  return std::clamp<int32_t>(model::read_int(text), 0, kHighestIndex);
}

}  // namespace

std::vector<CommandDescription> DescribeCommands(
    const std::vector<model::ParameterDefinition>& definitions,
    const model::DescriptionTree& tree) {
  std::vector<CommandDescription> out;
  out.reserve(definitions.size());
  for (const model::ParameterDefinition& def : definitions) {
    CommandDescription d{def};
    const std::string_view name = without_bang(def.name);
    if (const link::Parameter* p = find_in_tree(tree.root.get(), name)) {
      d.indexed = p->indexed;
    } else if (find_in_tree(tree.scanners.get(), name)) {
      d.polled = true;
    }
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<CommandDescription> LoadCommandDescriptions(const std::string& path,
                                                        const model::DescriptionTree& tree) {
  const model::ContainerText text =
      model::read_description_container(path, model::stream_name_for_kind(model::kVeskDeviceKind));
  if (text.status != model::ContainerStatus::Ok) return {};
  model::DescriptionInterpreter interpreter;
  interpreter.InterpretText(text.text);
  return DescribeCommands(interpreter.definitions(), tree);
}

SingleAccess::SingleAccess(link::DeviceLink& link, std::vector<CommandDescription> descriptions)
    : link_(link), descriptions_(std::move(descriptions)) {}

std::vector<std::string> SingleAccess::CommandNames() const {
  std::vector<std::string> names;
  names.reserve(descriptions_.size());
  for (const CommandDescription& d : descriptions_) names.push_back(d.definition.name);
  return names;
}

const CommandDescription* SingleAccess::Find(std::string_view command) const {
  for (const CommandDescription& d : descriptions_)
    if (platform::iequals(d.definition.name, command)) return &d;
  // The names that the device reports but the program never writes carry a "!" in the
  // description; the device knows them without it.
  for (const CommandDescription& d : descriptions_)
    if (platform::iequals(without_bang(d.definition.name), without_bang(command))) return &d;
  return nullptr;
}

CommandView SingleAccess::Refresh(std::string_view command) {
  CommandView view;
  char hash[16];
  std::snprintf(hash, sizeof hash, "0x%X", static_cast<unsigned>(link::name_hash(command)));
  view.hashText = hash;
  if (const CommandDescription* d = Find(command)) {
    view.typeText = d->definition.typeText;
    caption_ = model::underscores_to_blanks(d->definition.caption);
    view.indexUsed = d->indexed;
  } else {
    view.typeText = kUndefinedType;
  }
  view.caption = caption_;
  view.descriptionLine = caption_ + " (" + view.typeText + ")";
  view.choices = choice_entries(view.typeText);
  return view;
}

ExecuteOutcome SingleAccess::Execute(const SingleAccessFields& fields, bool report) {
  ExecuteOutcome out;
  const CommandDescription* d = Find(fields.command);
  if (!d) {
    const std::string text = "Параметер '" + fields.command + "' не описан!";
    out.lines.push_back(text);
    if (report) link::presenter().MessageBox(text, model::kProgramTitle, link::MsgIcon::Error);
    return out;
  }
  out.described = true;

  std::unique_ptr<link::Parameter> p = model::MakeParameter(d->definition);
  if (const int32_t places = decimal_places(d->definition.typeText); places != 0) {
    p->typeText = std::string(split_items(d->definition.typeText)[0]);
    p->decimals = places;
  } else {
    p->typeText = d->definition.typeText;
    p->decimals = 0;
  }

  p->indexed = false;
  if (fields.indexUsed) {
    const int32_t index = index_number(fields.index);
    if (fields.placement == IndexPlacement::Address) {
      p->pollIndex = index;
      out.lines.push_back(kIndexInAddress);
      if (index > kHighestPlainOffset) out.lines.push_back(kAddressWarning);
    } else {
      p->indexed = true;
      p->linearIndex = index;
      out.lines.push_back(kIndexInData);
    }
  }
  out.lines.push_back(p->shortName + " (" + p->caption + ")");

  const bool write = fields.operation == kSingleWrite;
  if (write) p->value = fields.value;
  OutcomeTrace trace(out.lines);
  out.result = link_.exchange(write ? link::kOpWrite : link::kOpRead, p.get(), &trace);
  out.value = p->value;
  out.note = p->note;

  if (out.result != link::kExchangeOk) {
    add_note_lines(out.lines, p->note);
  } else if (!p->note.empty()) {
    out.lines.push_back(kHadError);
    add_note_lines(out.lines, p->note);
  } else if (write) {
    out.lines.push_back("Нет ошибок; записано. Обратно вернулось='" + p->value + "'");
  } else {
    out.lines.push_back(kReadDone);
    out.lines.push_back(p->value);
  }
  return out;
}

ExecuteOutcome AccessOneParameter(link::DeviceLink& link,
                                  const std::vector<CommandDescription>& descriptions, bool write,
                                  std::string_view name, std::optional<uint32_t> index,
                                  std::string_view value) {
  SingleAccess access(link, descriptions);
  SingleAccessFields fields;
  fields.command = std::string(name);
  fields.operation = write ? kSingleWrite : kSingleRead;
  fields.value = std::string(value);
  const CommandDescription* d = access.Find(name);
  if (d && (index || d->indexed)) {
    fields.indexUsed = true;
    fields.index = std::to_string(index.value_or(0));
    fields.placement = d->polled ? IndexPlacement::Address : IndexPlacement::DataField;
  }
  return access.Execute(fields, false);
}

}  // namespace vesk::exchange
