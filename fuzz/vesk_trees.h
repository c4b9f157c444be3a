#pragma once
// The full VESK tree that the configuration targets read into, with an untouched twin that
// puts it back after each input: building the tree anew for every input would cost more
// than the input itself.

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "model/config_file.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "silent_presenter.h"

namespace vesk::fuzz {

// The tree a file is read into, and an untouched twin that puts it back after each input,
// so that no input leaves its values (or the names a file may overwrite) to the next one.
struct Trees {
  model::DescriptionTree working;
  model::DescriptionTree pristine;
};

inline bool LoadVesk(model::DescriptionTree& tree) {
  std::ifstream in(VESK_SOURCE_DIR "/data/vesk.tree.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  if (!text.empty()) return model::BuildDescription(text, tree) == model::DescriptionStatus::Built;
  const char* container = std::getenv(model::kContainerEnvVar);
  return container && *container &&
         model::LoadDescriptionFrom(container, model::kVeskDeviceKind, tree) ==
             model::DescriptionStatus::Built;
}

VESK_FUZZ_UNTRACED inline void Restore(model::DescriptionBranch& to,
                                       const model::DescriptionBranch& from) {
  to.name = from.name;
  to.copy_count = from.copy_count;
  to.copy_number = from.copy_number;
  VESK_FUZZ_CHECK(to.parameters.size() == from.parameters.size());
  for (size_t i = 0; i < to.parameters.size(); ++i) {
    vesk::link::Parameter& p = *to.parameters[i];
    const vesk::link::Parameter& q = *from.parameters[i];
    p.short_name = q.short_name;
    p.value = q.value;
    p.caption = q.caption;
    p.indexed = q.indexed;
    p.linear_index = q.linear_index;
    p.poll_index = q.poll_index;
    p.writable = q.writable;
    p.note = q.note;
    p.value_changed = q.value_changed;
    p.edit_changed = q.edit_changed;
    p.owner_changed = q.owner_changed;
    p.editable = q.editable;
    p.owned_by_firm = q.owned_by_firm;
    p.mark = q.mark;
  }
  VESK_FUZZ_CHECK(to.children.size() == from.children.size());
  for (size_t i = 0; i < to.children.size(); ++i) Restore(*to.children[i], *from.children[i]);
}

// Only the VESK code has a description; the document builds nothing for any other.
class FreshTree : public model::ConfigurationTarget {
 public:
  explicit FreshTree(model::DescriptionBranch* root) : root_(root) {}
  model::DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    kind = device_kind;
    return device_kind == model::kVeskDeviceKind ? root_ : nullptr;
  }
  int32_t kind = -1;

 private:
  model::DescriptionBranch* root_;
};

}  // namespace vesk::fuzz
