#pragma once
// A named node that the tree-list view shows as an item of its own.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/parameter_node.h"

namespace vesk::model {

inline constexpr const char* kNameKey = "Название";

class NamedNode : public ParameterNode {
 public:
  explicit NamedNode(std::string name = {});
  ~NamedNode() override;

  NodeKind Kind() const override { return NodeKind::Named; }

  // The key "Название" (case ignored) sets the element's name and returns 1; other names
  // as the base.
  int SetValue(std::string_view short_name, std::string_view value) override;

  // Adds the element's own item (name, image, selected image) under `parent`, then the
  // parameters under it. Returns the element's row.
  int ShowInView(ViewRows& rows, int parent, int count, bool show_indexes) override;

  // Fills the four fields with zeros.
  virtual void ZeroRecord(std::array<int32_t, 4>& record) const;
  // Image index of the element's item, and when selected.
  virtual int Image() const;
  virtual int SelectedImage() const;
  // What kind of element this is, as the user reads it.
  virtual std::string KindText() const;
  // Always -999.
  virtual int32_t SpecialCode() const;
  // "Не относящиеся ко схеме".
  virtual std::string GroupText() const;
  // Name, " (", kind text, ")".
  virtual std::string FullCaption() const;

  std::string name;
};

}  // namespace vesk::model
