#pragma once
// The rows the tree-list view shows for a node, decided here as a plain list so that the
// window only draws them and a test can check them.

#include <string>
#include <vector>

namespace vesk::link {
class Parameter;
}

namespace vesk::model {

class ParameterNode;

enum class RowKind {
  Branch,     // a node's own item (branch or element)
  Parameter,  // one parameter record
  Info,       // a fixed information item with no record behind it
};

struct ViewRow {
  RowKind kind = RowKind::Branch;
  int parent = -1;  // index of the parent row in the list; -1 = under the caller's item
  ParameterNode* node = nullptr;         // Branch rows
  link::Parameter* parameter = nullptr;  // Parameter rows
  std::string label;                     // column 0 (tree text)
  std::string short_name;                // column 1
  std::string value;                     // column 2
  int image = 0;
  int selected_image = 0;
};

using ViewRows = std::vector<ViewRow>;

// Appends a row for one parameter under `parent` and returns its index. The texts are the
// record's own display texts (caption, short name with ":%i" in the index mode, value).
int AddParameterRow(ViewRows& rows, int parent, link::Parameter& parameter, bool show_indexes);

// Indexes of the rows whose parent is `parent`, in list order (what a test walks).
std::vector<int> ChildRows(const ViewRows& rows, int parent);

}  // namespace vesk::model
