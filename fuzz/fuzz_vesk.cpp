// Arbitrary bytes as a ".vesk" configuration file, read into the full VESK tree as opening
// a file does: the document header, the device-kind code, then every branch and record.
// Whatever was read is then saved again, and the saved bytes must open again: a
// configuration that the program writes is never lost.

#include <cstdint>
#include <cstdio>
#include <span>

#include "model/archive.h"
#include "model/config_file.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "silent_presenter.h"
#include "vesk_trees.h"

namespace {

using namespace vesk::model;
using vesk::fuzz::FreshTree;
using vesk::fuzz::LoadVesk;
using vesk::fuzz::Restore;
using vesk::fuzz::Trees;

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
