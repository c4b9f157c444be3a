#include "description_source.h"

#include "model/description_container.h"
#include "model/description_loader.h"

namespace vesk::sim {

namespace {

void Collect(const model::DescriptionBranch& branch, bool operative,
             std::vector<ParameterSpec>& out) {
  for (const auto& p : branch.parameters) {
    ParameterSpec s;
    s.name = p->short_name;
    s.type_text = p->type_text;
    s.minimum = p->minimum;
    s.maximum = p->maximum;
    s.has_attributes = p->has_attributes != 0;
    s.initial_value = p->initial_value;
    s.indexed = !operative && p->indexed;
    s.index = operative ? p->poll_index : p->linear_index;
    s.operative = operative;
    s.writable = p->writable;
    out.push_back(std::move(s));
  }
  for (const auto& child : branch.children) Collect(*child, operative, out);
}

}  // namespace

std::vector<ParameterSpec> SpecsFromTree(const model::DescriptionTree& tree) {
  std::vector<ParameterSpec> specs;
  if (tree.root) Collect(*tree.root, false, specs);
  if (tree.pollers) Collect(*tree.pollers, true, specs);
  return specs;
}

bool LoadSpecs(const std::string& path, std::vector<ParameterSpec>& specs, std::string& error) {
  std::string where = path.empty() ? model::ContainerPath() : path;
  model::DescriptionTree tree;
  model::DescriptionStatus status = model::LoadDescriptionFrom(where, model::kVeskDeviceKind, tree);
  if (status != model::DescriptionStatus::Built || !tree.root) {
    error = "cannot build the device from the description " + where;
    return false;
  }
  specs = SpecsFromTree(tree);
  return true;
}

}  // namespace vesk::sim
