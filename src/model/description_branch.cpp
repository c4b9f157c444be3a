#include "model/description_branch.h"

#include <cstdio>
#include <utility>

namespace vesk::model {

DescriptionBranch::DescriptionBranch(std::string name, int32_t copy_count, int32_t copy_number,
                                     int32_t image, int32_t selected_image)
    : NamedNode(std::move(name)),
      copy_count(copy_count),
      copy_number(copy_number),
      image(image),
      selected_image(selected_image) {}

DescriptionBranch::~DescriptionBranch() = default;

void DescriptionBranch::FillParameters() {}

int DescriptionBranch::CountForTask(int mode) const {
  int n = ParameterNode::CountForTask(mode);
  for (const auto& child : children) n += child->CountForTask(mode);
  return n;
}

void DescriptionBranch::ResetValues() {
  NamedNode::ResetValues();
  for (auto& child : children) child->ResetValues();
}

int DescriptionBranch::ShowBranchInView(ViewRows& rows, int parent, bool show_indexes) {
  ViewRow row;
  row.kind = RowKind::Branch;
  row.parent = parent;
  row.node = this;
  row.label = name;
  row.short_name = BranchIndexText(GetLinearIndex(), show_indexes);
  row.image = image;
  row.selected_image = selected_image;
  rows.push_back(std::move(row));
  const int own = static_cast<int>(rows.size()) - 1;

  if (name.starts_with(kActuatorBranchPrefix) && copy_number > 8) {
    ViewRow info;
    info.kind = RowKind::Info;
    info.parent = own;
    info.label = kActuatorInfoCaption;
    info.value = kActuatorInfoValue;
    info.image = info.selected_image = kActuatorInfoImage;
    rows.push_back(std::move(info));
  }

  // The member order was written by the description; the arrays may hold fewer entries
  // than it names (a definition the build skipped), so each list is walked with its own
  // bound and leftovers are shown after it.
  size_t next_parameter = 0;
  size_t next_child = 0;
  int shown = 0;
  auto show_child = [&](DescriptionBranch& child) {
    if (child.children.empty() && child.parameters.size() == 1) {
      AddParameterRow(rows, own, *child.parameters.front(), show_indexes);
      ++shown;
    } else {
      child.ShowBranchInView(rows, own, show_indexes);
    }
  };
  for (int32_t member : member_order) {
    if (member == kMemberParameter) {
      if (next_parameter < parameters.size()) {
        AddParameterRow(rows, own, *parameters[next_parameter++], show_indexes);
        ++shown;
      }
    } else if (member == kMemberBranch) {
      if (next_child < children.size()) show_child(*children[next_child++]);
    }
  }
  for (; next_parameter < parameters.size(); ++next_parameter) {
    AddParameterRow(rows, own, *parameters[next_parameter], show_indexes);
    ++shown;
  }
  for (; next_child < children.size(); ++next_child) show_child(*children[next_child]);
  shown_count = shown;
  return own;
}

std::unique_ptr<DescriptionBranch> DescriptionBranch::Clone() const {
  auto copy =
      std::make_unique<DescriptionBranch>(name, copy_count, copy_number, image, selected_image);
  copy->definitions = definitions;
  copy->member_order = member_order;
  copy->children.reserve(children.size());
  for (const auto& child : children) copy->children.push_back(child->Clone());
  return copy;
}

std::string BranchIndexText(int32_t linear_index, bool show_indexes) {
  if (!show_indexes || linear_index < 0) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "(%i)", static_cast<int>(linear_index));
  return buf;
}

}  // namespace vesk::model
