// Arbitrary bytes as a ".vesk" configuration file, read into the full VESK tree as opening
// a file does: the document header, the device-kind code, then every branch and record.
// Whatever was read is then saved again, and the saved bytes must open again: a
// configuration that the program writes is never lost.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "model/archive.h"
#include "model/config_file.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "silent_presenter.h"

namespace {

using namespace vesk::model;

// The tree a file is read into, and an untouched twin that puts it back after each input,
// so that no input leaves its values (or the names a file may overwrite) to the next one.
struct Trees {
  DescriptionTree working;
  DescriptionTree pristine;
};

bool LoadVesk(DescriptionTree& tree) {
  std::ifstream in(VESK_SOURCE_DIR "/data/vesk.tree.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  if (!text.empty()) return BuildDescription(text, tree) == DescriptionStatus::Built;
  const char* container = std::getenv(kContainerEnvVar);
  return container && *container &&
         LoadDescriptionFrom(container, kVeskDeviceKind, tree) == DescriptionStatus::Built;
}

VESK_FUZZ_UNTRACED void Restore(DescriptionBranch& to, const DescriptionBranch& from) {
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
class FreshTree : public ConfigurationTarget {
 public:
  explicit FreshTree(DescriptionBranch* root) : root_(root) {}
  DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    kind = device_kind;
    return device_kind == kVeskDeviceKind ? root_ : nullptr;
  }
  int32_t kind = -1;

 private:
  DescriptionBranch* root_;
};

VESK_FUZZ_UNTRACED void CheckTexts(const DescriptionBranch& branch) {
  VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(branch.name));
  for (const auto& p : branch.parameters) {
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->short_name));
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->value));
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->caption));
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->note));
  }
  for (const auto& child : branch.children) CheckTexts(*child);
}

Trees* trees = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  trees = new Trees;
  if (!LoadVesk(trees->working) || !LoadVesk(trees->pristine)) {
    std::fprintf(stderr, "fuzz_vesk: no VESK description (data/vesk.tree.txt or %s)\n",
                 kContainerEnvVar);
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DescriptionBranch& root = *trees->working.root;
  FreshTree target(&root);
  ArchiveReader archive(std::span<const uint8_t>(data, size));
  const LoadOutcome outcome = LoadConfiguration(archive, target);
  VESK_FUZZ_CHECK(archive.Position() <= size);

  if (target.kind == kVeskDeviceKind) {
    CheckTexts(root);

    // What was read is saved again; the saved file must open whole.
    if (outcome == LoadOutcome::Loaded) {
      const std::vector<uint8_t> saved = ConfigurationBytes({kVeskDeviceKind, &root});
      Restore(root, *trees->pristine.root);
      FreshTree again(&root);
      ArchiveReader reread(saved);
      VESK_FUZZ_CHECK(LoadConfiguration(reread, again) == LoadOutcome::Loaded);
    }
  }
  Restore(root, *trees->pristine.root);
  return 0;
}
