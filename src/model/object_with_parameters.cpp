#include "model/object_with_parameters.h"

#include <stdexcept>
#include <string>

#include "link/presenter.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

bool SelectedByMode(const link::Parameter& p, int mode) {
  if (mode > 0) return true;
  if (mode == 0) return p.AnyChanged();
  return !p.initialValue.empty();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

ObjectWithParameters::ObjectWithParameters() = default;
ObjectWithParameters::~ObjectWithParameters() = default;

void ObjectWithParameters::FillParameters() {
  parameters.clear();
}

std::string ObjectWithParameters::GetValue(std::string_view short_name) const {
  const link::Parameter* p = FindParameter(short_name);
  return p ? p->value : std::string();
}

int ObjectWithParameters::SetValue(std::string_view short_name, std::string_view value) {
  link::Parameter* p = FindParameter(short_name);
  if (!p) return 0;
  if (!platform::iequals(p->value, value)) p->valueChanged = true;
  p->value = std::string(value);
  return 1;
}

int ObjectWithParameters::CountForTask(int mode) const {
  int n = 0;
  for (const auto& p : parameters)
    if (SelectedByMode(*p, mode)) ++n;
  return n;
}

int ObjectWithParameters::ShowInView(ViewRows& rows, int parent, int count, bool show_indexes) {
  int shown = 0;
  for (const auto& p : parameters) {
    if (count >= 0 && shown >= count) break;
    AddParameterRow(rows, parent, *p, show_indexes);
    ++shown;
  }
  shownCount = shown;
  return parent;
}

int32_t ObjectWithParameters::GetLinearIndex() {
  if (linearIndex == -1) {
    for (const auto& p : parameters) {
      if (p->indexed) {
        linearIndex = p->linearIndex;
        break;
      }
    }
    return linearIndex;
  }
  for (const auto& p : parameters) {
    if (!p->indexed || p->linearIndex == linearIndex) continue;
    std::string text = "Параметер '" + p->shortName + "' (" + p->caption +
                       ") имеет подозрительный линейный индекс.";
    link::presenter().MessageBox(text, "Предупреждение", link::MsgIcon::Warning);
  }
  return linearIndex;
}

void ObjectWithParameters::SetLinearIndex(int32_t index) {
  linearIndex = index;
  for (auto& p : parameters)
    if (p->indexed) p->linearIndex = index;
}

int ObjectWithParameters::ChangesState() const {
  for (const auto& p : parameters)
    if (p->AnyChanged()) return 2;
  return 0;
}

void ObjectWithParameters::ResetValues() {
  for (auto& p : parameters) p->Reset();
}

link::Parameter* ObjectWithParameters::FindParameter(std::string_view short_name) const {
  for (const auto& p : parameters)
    if (platform::iequals(p->shortName, short_name)) return p.get();
  return nullptr;
}

bool ObjectWithParameters::HasProblems(bool include_differences) const {
  for (const auto& p : parameters) {
    if (p->note.empty()) continue;
    if (!include_differences && StartsWith(p->note, link::kCompareNotePrefix)) continue;
    return true;
  }
  return false;
}

void ObjectWithParameters::ClearChanges() {
  for (auto& p : parameters) p->valueChanged = p->editChanged = p->ownerChanged = false;
}

link::Parameter& ObjectWithParameters::AddParameter(std::unique_ptr<link::Parameter> parameter) {
  if (!parameter) throw std::invalid_argument("AddParameter: no parameter");
  parameters.push_back(std::move(parameter));
  return *parameters.back();
}

}  // namespace vesk::model
