// Arbitrary text as the device description, through the interpreter and the build of the
// root and pollers trees, as a container's "vesk.tree" stream would deliver it.

#include <cstdint>
#include <set>
#include <string_view>

#include "model/description_branch.h"
#include "model/description_loader.h"
#include "model/description_parser.h"
#include "model/tree_builder.h"
#include "platform/text.h"
#include "silent_presenter.h"

namespace {

using namespace vesk::model;

// Walks a built tree: every record it holds must be a whole one and every name valid text.
// The records are gathered into `records`.
VESK_FUZZ_UNTRACED void CheckBranch(const DescriptionBranch& branch,
                                    std::set<const vesk::link::Parameter*>& records, int depth) {
  VESK_FUZZ_CHECK(depth <= kMaxBranchDepth + 2);
  VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(branch.name));
  for (const auto& p : branch.parameters) {
    VESK_FUZZ_CHECK(p != nullptr);
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->short_name));
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->value));
    VESK_FUZZ_CHECK(vesk::fuzz::ValidUtf8(p->caption));
    records.insert(p.get());
  }
  for (const auto& child : branch.children) {
    VESK_FUZZ_CHECK(child != nullptr);
    CheckBranch(*child, records, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The container's text is cp1251, turned into UTF-8 before it is read; arbitrary bytes
  // take the same road so that every byte value reaches the interpreter as some letter.
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string text = vesk::platform::Cp1251ToUtf8(raw);

  DescriptionTree tree;
  const DescriptionStatus status = BuildDescription(text, tree);
  VESK_FUZZ_CHECK(status == DescriptionStatus::Built || status == DescriptionStatus::TextError ||
                  status == DescriptionStatus::NoRoot);
  if (status == DescriptionStatus::Built) VESK_FUZZ_CHECK(tree.root != nullptr);
  std::set<const vesk::link::Parameter*> records;
  if (tree.root) CheckBranch(*tree.root, records, 0);
  if (tree.pollers) CheckBranch(*tree.pollers, records, 0);
  // Every slot that is filled points at a record the trees still own.
  for (vesk::link::Parameter* p : tree.outputs)
    if (p != nullptr) VESK_FUZZ_CHECK(records.count(p) == 1);
  // The table is emptied with the trees.
  tree.Clear();
  for (vesk::link::Parameter* p : tree.outputs) VESK_FUZZ_CHECK(p == nullptr);
  return 0;
}
