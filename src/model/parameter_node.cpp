#include "model/parameter_node.h"

#include <stdexcept>
#include <string>

#include "link/presenter.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

bool SelectedByMode(const link::Parameter& p, int mode) {
  if (mode > 0) return true;
  if (mode == 0) return p.AnyChanged();
  return !p.initial_value.empty();
}

}  // namespace

ParameterNode::ParameterNode() = default;
ParameterNode::~ParameterNode() = default;

void ParameterNode::FillParameters() {
  parameters.clear();
}

std::string ParameterNode::GetValue(std::string_view short_name) const {
  const link::Parameter* p = FindParameter(short_name);
  return p ? p->value : std::string();
}

int ParameterNode::SetValue(std::string_view short_name, std::string_view value) {
  link::Parameter* p = FindParameter(short_name);
  if (!p) return 0;
  if (!platform::Iequals(p->value, value)) p->value_changed = true;
  p->value = std::string(value);
  return 1;
}

int ParameterNode::CountForTask(int mode) const {
  int n = 0;
  for (const auto& p : parameters)
    if (SelectedByMode(*p, mode)) ++n;
  return n;
}

int ParameterNode::ShowInView(ViewRows& rows, int parent, int count, bool show_indexes) {
  int shown = 0;
  for (const auto& p : parameters) {
    if (count >= 0 && shown >= count) break;
    AddParameterRow(rows, parent, *p, show_indexes);
    ++shown;
  }
  shown_count = shown;
  return parent;
}

int32_t ParameterNode::GetLinearIndex() {
  if (linear_index == -1) {
    for (const auto& p : parameters) {
      if (p->indexed) {
        linear_index = p->linear_index;
        break;
      }
    }
    return linear_index;
  }
  for (const auto& p : parameters) {
    if (!p->indexed || p->linear_index == linear_index) continue;
    std::string text = platform::Tr("Параметер '") + p->short_name + "' (" + p->caption +
                       platform::Tr(") имеет подозрительный линейный индекс.");
    link::presenter().ShowMessage(text, platform::Tr("Предупреждение"), link::MsgIcon::Warning);
  }
  return linear_index;
}

void ParameterNode::SetLinearIndex(int32_t index) {
  linear_index = index;
  for (auto& p : parameters)
    if (p->indexed) p->linear_index = index;
}

int ParameterNode::ChangesState() const {
  for (const auto& p : parameters)
    if (p->AnyChanged()) return 2;
  return 0;
}

void ParameterNode::ResetValues() {
  for (auto& p : parameters) p->Reset();
}

link::Parameter* ParameterNode::FindParameter(std::string_view short_name) const {
  for (const auto& p : parameters)
    if (platform::Iequals(p->short_name, short_name)) return p.get();
  return nullptr;
}

bool ParameterNode::HasProblems(bool include_differences) const {
  for (const auto& p : parameters) {
    if (p->note.empty()) continue;
    if (!include_differences && p->HasCompareNote()) continue;
    return true;
  }
  return false;
}

void ParameterNode::ClearChanges() {
  for (auto& p : parameters) p->value_changed = p->edit_changed = p->owner_changed = false;
}

link::Parameter& ParameterNode::AddParameter(std::unique_ptr<link::Parameter> parameter) {
  if (!parameter) throw std::invalid_argument("AddParameter: no parameter");
  parameters.push_back(std::move(parameter));
  return *parameters.back();
}

}  // namespace vesk::model
