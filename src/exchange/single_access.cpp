#include "exchange/single_access.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "link/frame_codec.h"
#include "link/presenter.h"
#include "link/type_text.h"
#include "model/description_catalogue.h"
#include "model/description_container.h"
#include "model/description_parser.h"
#include "model/tree_builder.h"
#include "platform/language.h"
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

std::string_view WithoutBang(std::string_view name) {
  if (!name.empty() && name.front() == '!') name.remove_prefix(1);
  return name;
}

bool DecimalFormat(std::string_view word) {
  return platform::Iequals(word, "int") || platform::Iequals(word, "CLK_frm") ||
         platform::Iequals(word, "float");
}

// "int:2" and the like name a format with decimal places, not a list to choose from.
int32_t DecimalPlaces(std::string_view type_text) {
  const auto items = link::TypeTextPieces(type_text);
  if (items.size() < 2 || !DecimalFormat(items[0])) return 0;
  return model::ReadInt(items[1]);
}

bool PlainFormat(std::string_view type_text) {
  for (std::string_view w : {"string", "ASCI", "int", "CLK_frm", "float", "name", kUndefinedType,
                             platform::Tr(kUndefinedType)})
    if (platform::Iequals(type_text, w)) return true;
  return DecimalPlaces(type_text) != 0;
}

std::vector<std::string> ChoiceEntries(std::string_view type_text) {
  std::vector<std::string> entries;
  if (PlainFormat(type_text)) return entries;
  for (std::string_view item : link::TypeTextPieces(type_text)) {
    if (item.find(kHiddenItemMark) != std::string_view::npos) continue;
    entries.push_back(model::UnderscoresToBlanks(item));
  }
  return entries;
}

link::Parameter* FindInTree(const model::DescriptionBranch* branch, std::string_view name) {
  if (!branch) return nullptr;
  if (link::Parameter* p = branch->FindParameter(name)) return p;
  for (const auto& child : branch->children)
    if (link::Parameter* p = FindInTree(child.get(), name)) return p;
  return nullptr;
}

// A note may hold line feeds (and end with one); the protocol shows it as lines.
void AddNoteLines(std::vector<std::string>& lines, std::string_view note) {
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
  void Add(std::string line) override { lines_.push_back(std::move(line)); }

 private:
  std::vector<std::string>& lines_;
};

int32_t IndexNumber(std::string_view text) {
  return std::clamp<int32_t>(model::ReadInt(text), 0, kHighestIndex);
}

}  // namespace

std::vector<CommandDescription> DescribeCommands(
    const std::vector<model::ParameterDefinition>& definitions,
    const model::DescriptionTree& tree) {
  std::vector<CommandDescription> out;
  out.reserve(definitions.size());
  for (const model::ParameterDefinition& def : definitions) {
    CommandDescription d{def};
    const std::string_view name = WithoutBang(def.name);
    if (const link::Parameter* p = FindInTree(tree.root.get(), name)) {
      d.indexed = p->indexed;
    } else if (FindInTree(tree.pollers.get(), name)) {
      d.polled = true;
    }
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<CommandDescription> LoadCommandDescriptions(const std::string& path,
                                                        const model::DescriptionTree& tree) {
  const model::ContainerText text =
      model::ReadDescriptionContainer(path, model::StreamNameForKind(model::kVeskDeviceKind));
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
    if (platform::Iequals(d.definition.name, command)) return &d;
  // The names that the device reports but the program never writes carry a "!" in the
  // description; the device knows them without it.
  for (const CommandDescription& d : descriptions_)
    if (platform::Iequals(WithoutBang(d.definition.name), WithoutBang(command))) return &d;
  return nullptr;
}

CommandView SingleAccess::Refresh(std::string_view command) {
  CommandView view;
  char hash[16];
  std::snprintf(hash, sizeof hash, "0x%X", static_cast<unsigned>(link::NameHash(command)));
  view.hash_text = hash;
  if (const CommandDescription* d = Find(command)) {
    view.type_text = d->definition.type_text;
    caption_ = model::UnderscoresToBlanks(d->definition.caption);
    view.index_used = d->indexed;
  } else {
    view.type_text = platform::Tr(kUndefinedType);
  }
  view.caption = caption_;
  view.description_line = caption_ + " (" + view.type_text + ")";
  view.choices = ChoiceEntries(view.type_text);
  return view;
}

ExecuteOutcome SingleAccess::Execute(const SingleAccessFields& fields, bool report) const {
  ExecuteOutcome out;
  const CommandDescription* d = Find(fields.command);
  if (!d) {
    const std::string text =
        platform::Tr("Параметер '") + fields.command + platform::Tr("' не описан!");
    out.lines.push_back(text);
    if (report)
      link::presenter().ShowMessage(text, platform::Tr(model::kProgramTitle), link::MsgIcon::Error);
    return out;
  }
  out.described = true;

  std::unique_ptr<link::Parameter> p = model::MakeParameter(d->definition);
  if (const int32_t places = DecimalPlaces(d->definition.type_text); places != 0) {
    p->type_text = std::string(link::TypeTextPieces(d->definition.type_text)[0]);
    p->decimals = places;
  } else {
    p->type_text = d->definition.type_text;
    p->decimals = 0;
  }

  p->indexed = false;
  if (fields.index_used) {
    const int32_t index = IndexNumber(fields.index);
    if (fields.placement == IndexPlacement::Address) {
      p->poll_index = index;
      out.lines.push_back(platform::Tr(kIndexInAddress));
      if (index > kHighestPlainOffset) out.lines.push_back(platform::Tr(kAddressWarning));
    } else {
      p->indexed = true;
      p->linear_index = index;
      out.lines.push_back(platform::Tr(kIndexInData));
    }
  }
  out.lines.push_back(p->short_name + " (" + model::ShownCaption(*p) + ")");

  const bool write = fields.operation == kSingleWrite;
  if (write) p->value = fields.value;
  OutcomeTrace trace(out.lines);
  out.result = link_.Exchange(write ? link::kOpWrite : link::kOpRead, p.get(), &trace);
  out.value = p->value;
  out.note = p->note;

  if (out.result != link::kExchangeOk) {
    AddNoteLines(out.lines, p->note);
  } else if (!p->note.empty()) {
    out.lines.push_back(platform::Tr(kHadError));
    AddNoteLines(out.lines, p->note);
  } else if (write) {
    out.lines.push_back(platform::Tr("Нет ошибок; записано. Обратно вернулось='") +
                        model::ShownValue(*p) + "'");
  } else {
    out.lines.push_back(platform::Tr(kReadDone));
    out.lines.push_back(model::ShownValue(*p));
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
    fields.index_used = true;
    fields.index = std::to_string(index.value_or(0));
    fields.placement = d->polled ? IndexPlacement::Address : IndexPlacement::DataField;
  }
  return access.Execute(fields, false);
}

}  // namespace vesk::exchange
