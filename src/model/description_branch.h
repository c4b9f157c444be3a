#pragma once
// A branch of the tree declared by the description: copies, member order, parameter
// definitions and child branches.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/named_node.h"
#include "model/parameter_definition.h"

namespace vesk::model {

inline constexpr const char* kActuatorBranchPrefix = "ЗКМТ";
inline constexpr const char* kActuatorInfoCaption = "Тип исполнительного механизма";
inline constexpr const char* kActuatorInfoValue = "2 позиционный ИМ";
inline constexpr int kActuatorInfoImage = 30;

// Entries of the member order: which list the next member comes from.
inline constexpr int32_t kMemberParameter = 0;
inline constexpr int32_t kMemberBranch = 1;

class DescriptionBranch : public NamedNode {
 public:
  explicit DescriptionBranch(std::string name = {}, int32_t copy_count = 1, int32_t copy_number = 1,
                             int32_t image = 0, int32_t selected_image = 0);
  ~DescriptionBranch() override;

  NodeKind Kind() const override { return NodeKind::Branch; }

  // A branch keeps the parameters its build made; refilling does not apply.
  void FillParameters() override;

  // Own parameters, then every child, counts summed.
  int CountForTask(int mode) const override;

  // Resets the own parameters and those of every descendant.
  void ResetValues() override;

  int Image() const override { return image; }
  int SelectedImage() const override { return selected_image; }

  // Adds the branch item and its members as the view shows them: parameters in member
  // order; a child with no children of its own and exactly one parameter shows that
  // parameter in its place; "ЗКМТ" branches above copy 8 get the actuator information
  // item; in the index mode a branch with a known linear index shows "(%i)" in column 1.
  // Returns the branch's row.
  virtual int ShowBranchInView(ViewRows& rows, int parent, bool show_indexes);

  // A copy of the declaration: name, copy count and number, images, definitions, member
  // order and deep copies of the children. Parameters and the linear index are not
  // copied (a template has none yet).
  std::unique_ptr<DescriptionBranch> Clone() const;

  int32_t copy_count = 1;
  int32_t copy_number = 1;
  int32_t image = 0;
  int32_t selected_image = 0;
  std::vector<ParameterDefinition> definitions;
  std::vector<std::unique_ptr<DescriptionBranch>> children;
  std::vector<int32_t> member_order;
};

// Column 1 of a branch row: "(%i)" with the index when the view shows indexes and the
// index is not negative, else empty.
std::string BranchIndexText(int32_t linear_index, bool show_indexes);

}  // namespace vesk::model
