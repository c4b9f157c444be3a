#include "model/invisible_element.h"

#include <utility>

#include "platform/text.h"

namespace vesk::model {

InvisibleElement::InvisibleElement(std::string name) : name(std::move(name)) {}
InvisibleElement::~InvisibleElement() = default;

int InvisibleElement::SetValue(std::string_view short_name, std::string_view value) {
  if (platform::iequals(short_name, kNameKey)) {
    name = std::string(value);
    return 1;
  }
  return ObjectWithParameters::SetValue(short_name, value);
}

int InvisibleElement::ShowInView(ViewRows& rows, int parent, int count, bool show_indexes) {
  ViewRow row;
  row.kind = RowKind::Branch;
  row.parent = parent;
  row.node = this;
  row.label = name;
  row.image = Image();
  row.selectedImage = SelectedImage();
  rows.push_back(std::move(row));
  const int own = static_cast<int>(rows.size()) - 1;
  ObjectWithParameters::ShowInView(rows, own, count, show_indexes);
  return own;
}

void InvisibleElement::ZeroRecord(std::array<int32_t, 4>& record) const {
  record.fill(0);
}
int InvisibleElement::Image() const {
  return 0;
}
int InvisibleElement::SelectedImage() const {
  return 0;
}
std::string InvisibleElement::KindText() const {
  return "Невизуальный элемент";
}
int32_t InvisibleElement::SpecialCode() const {
  return -999;
}
std::string InvisibleElement::GroupText() const {
  return "Не относящиеся ко схеме";
}
std::string InvisibleElement::FullCaption() const {
  return name + " (" + KindText() + ")";
}

}  // namespace vesk::model
