// Arbitrary bytes as a configuration in JSON text, taken into the full VESK tree as
// --import-json and the window's import take it. Whatever is taken must go out as JSON
// again and come back to the same configuration, byte for byte once saved.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/config_file.h"
#include "model/configuration_json.h"
#include "silent_presenter.h"
#include "vesk_trees.h"

namespace {

using namespace vesk::model;
using vesk::fuzz::FreshTree;
using vesk::fuzz::Restore;

vesk::fuzz::Trees* trees = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  trees = new vesk::fuzz::Trees;
  if (!vesk::fuzz::LoadVesk(trees->working) || !vesk::fuzz::LoadVesk(trees->pristine)) {
    std::fprintf(stderr, "fuzz_json: no VESK description (data/vesk.tree.txt or %s)\n",
                 kContainerEnvVar);
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DescriptionBranch& root = *trees->working.root;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FreshTree target(&root);
  std::string error;
  const auto kind = ConfigurationFromJson(text, target, error);
  VESK_FUZZ_CHECK(kind.has_value() != !error.empty());
  VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(error));
  if (kind) {
    VESK_FUZZ_CHECK(*kind == kVeskDeviceKind);
    const std::vector<uint8_t> saved = ConfigurationBytes({*kind, &root});
    std::string json;
    VESK_FUZZ_CHECK(ConfigurationToJson({*kind, &root}, json, error));
    Restore(root, *trees->pristine.root);
    FreshTree again(&root);
    VESK_FUZZ_CHECK(ConfigurationFromJson(json, again, error) == kind);
    VESK_FUZZ_CHECK(ConfigurationBytes({*kind, &root}) == saved);
  }
  Restore(root, *trees->pristine.root);
  return 0;
}
