#pragma once
// Loading the device description: read the container, interpret the text, build the root
// and pollers trees. The document keeps the result until the next load.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/description_branch.h"
#include "model/parameter_definition.h"
#include "model/tree_builder.h"

namespace vesk::model {

// What a load leaves behind. Not copyable: `outputs` points at the records of the trees.
struct DescriptionTree {
  DescriptionTree() = default;
  ~DescriptionTree() { Clear(); }
  DescriptionTree(const DescriptionTree&) = delete;
  DescriptionTree& operator=(const DescriptionTree&) = delete;

  // Empties the output table and releases both trees, the pointers and the definitions.
  void Clear();

  OutputTable outputs{};
  std::unique_ptr<DescriptionBranch> root;
  std::unique_ptr<DescriptionBranch> pollers;
  // The branch "Сетевые_параметры" inside one of the trees, or nullptr.
  DescriptionBranch* network = nullptr;
  // Every parameter definition the description declared, in declaration order (with the
  // limits and initial values its rule and init lines gave); raw single-parameter access
  // looks names up here, so it also reaches parameters that no branch holds.
  std::vector<ParameterDefinition> definitions;
};

enum class DescriptionStatus {
  Built,           // every line read and a root built
  NoDescription,   // the device kind has no description: nothing read, nothing shown
  ContainerError,  // "Ошибка открытия файла дерева!" shown, nothing built
  TextError,  // empty text or a failing line: "Не удалось создать дерево параметров"
              // shown; whatever was declared before was still built
  NoRoot,  // "Не опредена корневая ветвь" shown; the pollers tree may exist
};

// Interprets `utf8_text` and builds the trees into `tree` (cleared first): the root, then
// the pollers tree, prepared for polling. Every message goes through link::presenter().
// Returns TextError when the text was empty or a line failed (even if no root came of it),
// else NoRoot when no root was declared, else Built.
DescriptionStatus BuildDescription(std::string_view utf8_text, DescriptionTree& tree);

// Loads the description of `device_kind` from the container at `path` into `tree`
// (cleared first). A container that cannot be opened or read shows "Ошибка открытия
// файла дерева!" with the reason appended, leaves the file untouched and builds nothing.
DescriptionStatus LoadDescriptionFrom(const std::string& path, int32_t device_kind,
                                      DescriptionTree& tree);

// As LoadDescriptionFrom with ContainerPath() ($VESK_TREE_DAT, or "vesk.tree.dat" beside
// the program).
DescriptionStatus LoadDescription(int32_t device_kind, DescriptionTree& tree);

}  // namespace vesk::model
