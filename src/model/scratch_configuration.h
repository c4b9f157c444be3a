#pragma once
// A configuration read outside the document (a check before writing, a file to export or
// compare): the tree its device kind builds, kept only as long as the action needs it.

#include <cstdint>

#include "model/config_file_io.h"
#include "model/description_loader.h"

namespace vesk::model {

class ScratchConfiguration : public ConfigurationTarget {
 public:
  DescriptionBranch* ReloadDescription(int32_t kind) override {
    device_kind = kind;
    LoadDescription(kind, tree);
    return tree.root.get();
  }
  ConfigurationView View() const { return {device_kind, tree.root.get()}; }

  int32_t device_kind = 0;
  DescriptionTree tree;
};

}  // namespace vesk::model
