#include "model/view_rows.h"

#include "link/parameter.h"

namespace vesk::model {

int AddParameterRow(ViewRows& rows, int parent, link::Parameter& parameter, bool show_indexes) {
  ViewRow row;
  row.kind = RowKind::Parameter;
  row.parent = parent;
  row.parameter = &parameter;
  row.label = parameter.TreeText(show_indexes);
  row.short_name = parameter.NameColumn(show_indexes);
  row.value = parameter.value;
  row.image = parameter.Icon();
  row.selected_image = row.image;
  rows.push_back(std::move(row));
  return static_cast<int>(rows.size()) - 1;
}

std::vector<int> ChildRows(const ViewRows& rows, int parent) {
  std::vector<int> out;
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].parent == parent) out.push_back(static_cast<int>(i));
  return out;
}

}  // namespace vesk::model
