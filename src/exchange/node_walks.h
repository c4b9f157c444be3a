#pragma once
// The read, write and compare walks over a node of the parameter tree. They dispatch on
// the node's class here rather than through virtual operations of the nodes, so that the
// model knows nothing of tasks, cancelling and logging: a plain node walks its own
// parameters; a named element (NamedNode and its subclasses) first logs its name; a
// description branch (DescriptionBranch) then descends into its children, depth first.
//
// Each walk returns a pair of counts: read (stopped at / parameters, failed
// reads), write (written, failed writes), compare (visited, failed reads). The cancel
// event (or the stop event) ends a walk between parameters.

#include "model/parameter_node.h"

namespace vesk::exchange {

class ExchangeEngine;

model::WalkCounts ReadNode(ExchangeEngine& engine, model::ParameterNode& node);
model::WalkCounts WriteNode(ExchangeEngine& engine, model::ParameterNode& node, int mode);
model::WalkCounts CompareNode(ExchangeEngine& engine, model::ParameterNode& node);

// Whether a write in `mode` selects the parameter (the writable flag aside): above 0 all,
// 0 those with a changed flag, below 0 those with an initial value.
bool SelectedForWrite(const link::Parameter& parameter, int mode);

}  // namespace vesk::exchange
