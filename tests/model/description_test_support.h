#pragma once
// What the description tests share: a presenter that records every message, and a walk
// that finds branches and parameters of a built tree by name.

#include <string>
#include <string_view>
#include <vector>

#include "link/presenter.h"
#include "model/description_branch.h"

namespace vesk::model::testing {

struct Message {
  std::string text;
  std::string caption;
  link::MsgIcon icon;
};

// Installs itself for its lifetime and keeps every message it was shown.
class RecordingPresenter : public link::Presenter {
 public:
  RecordingPresenter() { link::SetPresenter(this); }
  ~RecordingPresenter() override { link::SetPresenter(nullptr); }

  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons) override {
    messages.push_back({std::string(text), std::string(caption), icon});
    return link::MsgAnswer::Ok;
  }

  std::vector<Message> messages;
};

// The first branch of that (built) name in the tree, depth first, or nullptr.
inline DescriptionBranch* FindBranch(DescriptionBranch* tree, std::string_view name) {
  if (!tree) return nullptr;
  if (tree->name == name) return tree;
  for (auto& child : tree->children)
    if (DescriptionBranch* found = FindBranch(child.get(), name)) return found;
  return nullptr;
}

// Every parameter of the tree with that short name, depth first (own parameters first).
inline void CollectParameters(DescriptionBranch& tree, std::string_view short_name,
                              std::vector<link::Parameter*>& out) {
  for (auto& p : tree.parameters)
    if (p->short_name == short_name) out.push_back(p.get());
  for (auto& child : tree.children) CollectParameters(*child, short_name, out);
}

inline std::vector<link::Parameter*> Parameters(DescriptionBranch& tree,
                                                std::string_view short_name) {
  std::vector<link::Parameter*> out;
  CollectParameters(tree, short_name, out);
  return out;
}

inline std::vector<int32_t> LinearIndexes(const std::vector<link::Parameter*>& params) {
  std::vector<int32_t> out;
  for (auto* p : params) out.push_back(p->linear_index);
  return out;
}

}  // namespace vesk::model::testing
