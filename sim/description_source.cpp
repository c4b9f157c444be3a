#include "description_source.h"

#include "model/description_container.h"
#include "model/description_loader.h"

namespace vesk::sim {

namespace {

void collect(const model::DescBranch& branch, bool operative, std::vector<ParameterSpec>& out) {
  for (const auto& p : branch.parameters) {
    ParameterSpec s;
    s.name = p->shortName;
    s.typeText = p->typeText;
    s.minimum = p->minimum;
    s.maximum = p->maximum;
    s.hasAttributes = p->hasAttributes != 0;
    s.initialValue = p->initialValue;
    s.indexed = !operative && p->indexed;
    s.index = operative ? p->pollIndex : p->linearIndex;
    s.operative = operative;
    s.writable = p->writable;
    out.push_back(std::move(s));
  }
  for (const auto& child : branch.children) collect(*child, operative, out);
}

}  // namespace

std::vector<ParameterSpec> specs_from_tree(const model::DescriptionTree& tree) {
  std::vector<ParameterSpec> specs;
  if (tree.root) collect(*tree.root, false, specs);
  if (tree.scanners) collect(*tree.scanners, true, specs);
  return specs;
}

bool load_specs(const std::string& path, std::vector<ParameterSpec>& specs, std::string& error) {
  std::string where = path.empty() ? model::container_path() : path;
  model::DescriptionTree tree;
  model::DescriptionStatus status = model::LoadDescriptionFrom(where, model::kVeskDeviceKind, tree);
  if (status != model::DescriptionStatus::Built || !tree.root) {
    error = "cannot build the device from the description " + where;
    return false;
  }
  specs = specs_from_tree(tree);
  return true;
}

}  // namespace vesk::sim
