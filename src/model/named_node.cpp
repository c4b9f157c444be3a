#include "model/named_node.h"

#include <utility>

#include "platform/language.h"
#include "platform/text.h"

namespace vesk::model {

NamedNode::NamedNode(std::string name) : name(std::move(name)) {}
NamedNode::~NamedNode() = default;

int NamedNode::SetValue(std::string_view short_name, std::string_view value) {
  if (platform::Iequals(short_name, kNameKey)) {
    name = std::string(value);
    return 1;
  }
  return ParameterNode::SetValue(short_name, value);
}

int NamedNode::ShowInView(ViewRows& rows, int parent, int count, bool show_indexes) {
  ViewRow row;
  row.kind = RowKind::Branch;
  row.parent = parent;
  row.node = this;
  row.label = name;
  row.image = Image();
  row.selected_image = SelectedImage();
  rows.push_back(std::move(row));
  const int own = static_cast<int>(rows.size()) - 1;
  ParameterNode::ShowInView(rows, own, count, show_indexes);
  return own;
}

void NamedNode::ZeroRecord(std::array<int32_t, 4>& record) const {
  record.fill(0);
}
int NamedNode::Image() const {
  return 0;
}
int NamedNode::SelectedImage() const {
  return 0;
}
std::string NamedNode::KindText() const {
  return platform::Tr("Невизуальный элемент");
}
int32_t NamedNode::SpecialCode() const {
  return -999;
}
std::string NamedNode::GroupText() const {
  return platform::Tr("Не относящиеся ко схеме");
}
std::string NamedNode::FullCaption() const {
  return name + " (" + KindText() + ")";
}

}  // namespace vesk::model
