#pragma once
// The device's parameters from the description container, loaded exactly as the
// configurator loads it, so the simulator and the configurator always agree.

#include <string>
#include <vector>

#include "device_store.h"

namespace vesk::model {
struct DescriptionTree;
}

namespace vesk::sim {

// The parameters of both trees: the root's with their linear indexes, the pollers'
// (operative) with their polling index as address offset.
std::vector<ParameterSpec> SpecsFromTree(const model::DescriptionTree& tree);

// Loads the container at `path` (empty: $VESK_TREE_DAT, else beside the program or in
// ../share/vesk).
// Returns false with the reason in `error` when no root tree could be built.
bool LoadSpecs(const std::string& path, std::vector<ParameterSpec>& specs, std::string& error);

}  // namespace vesk::sim
