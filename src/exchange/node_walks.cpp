#include "exchange/node_walks.h"

#include <string>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "model/description_branch.h"
#include "model/description_catalogue.h"
#include "model/named_node.h"
#include "platform/language.h"

namespace vesk::exchange {

namespace {

using model::WalkCounts;

WalkCounts Sum(WalkCounts a, WalkCounts b) {
  return {a.first + b.first, a.second + b.second};
}

// ---- the node's own parameters

WalkCounts ReadOwn(ExchangeEngine& engine, model::ParameterNode& node) {
  if (engine.Cancelled()) return {};
  int i = 0, failures = 0;
  const int n = static_cast<int>(node.parameters.size());
  for (; i < n; ++i) {
    // A read that succeeds goes straight on; only a failure looks for a cancel.
    if (ReadParameter(engine, *node.parameters[i], true) != 0) {
      ++failures;
      if (engine.Cancelled()) break;
    }
  }
  return {i, failures};
}

WalkCounts CompareOwn(ExchangeEngine& engine, model::ParameterNode& node) {
  if (engine.Cancelled()) return {};
  int visited = 0, failures = 0;
  for (auto& p : node.parameters) {
    const int r = CompareParameter(engine, *p);
    engine.progress_done.fetch_add(1);
    ++visited;
    if (r != 0) ++failures;
    if (engine.Cancelled()) break;
  }
  return {visited, failures};
}

WalkCounts WriteOwn(ExchangeEngine& engine, model::ParameterNode& node, int mode) {
  if (engine.Cancelled()) return {};
  int written = 0, failures = 0;
  for (auto& p : node.parameters) {
    if (!p->writable || !SelectedForWrite(*p, mode)) continue;
    ++written;
    if (WriteParameter(engine, *p, mode) != 0) ++failures;
    if (engine.Cancelled()) break;
  }
  return {written, failures};
}

bool AnyToWrite(const model::ParameterNode& node, int mode) {
  for (const auto& p : node.parameters)
    if (p->writable && SelectedForWrite(*p, mode)) return true;
  return false;
}

// ---- a named element: its name first

WalkCounts ReadElement(ExchangeEngine& engine, model::NamedNode& element) {
  if (engine.Cancelled()) return {};
  engine.ProgressLog(platform::Tr("Читаем ветвь '") + model::ShownBranchName(element.name) + "'");
  return ReadOwn(engine, element);
}

WalkCounts CompareElement(ExchangeEngine& engine, model::NamedNode& element) {
  if (engine.Cancelled()) return {};
  engine.ProgressLog(platform::Tr("Сравниваем ветвь '") + model::ShownBranchName(element.name) +
                     "'");
  return CompareOwn(engine, element);
}

WalkCounts WriteElement(ExchangeEngine& engine, model::NamedNode& element, int mode) {
  if (mode > 0 || AnyToWrite(element, mode))
    engine.ProgressLog(platform::Tr("Пишем ветвь '") + model::ShownBranchName(element.name) + "'");
  return WriteOwn(engine, element, mode);
}

// ---- a description branch: itself, then its children depth first

template <typename Walk>
WalkCounts Descend(ExchangeEngine& engine, model::ParameterNode& node, Walk walk) {
  auto* branch = dynamic_cast<model::DescriptionBranch*>(&node);
  if (!branch) {
    if (auto* element = dynamic_cast<model::NamedNode*>(&node)) return walk.Element(*element);
    return walk.Own(node);
  }
  if (engine.Cancelled()) return {};
  WalkCounts total = walk.Element(*branch);
  for (auto& child : branch->children) total = Sum(total, Descend(engine, *child, walk));
  return total;
}

}  // namespace

bool SelectedForWrite(const link::Parameter& parameter, int mode) {
  if (mode > 0) return true;
  if (mode == 0) return parameter.AnyChanged();
  return !parameter.initial_value.empty();
}

model::WalkCounts ReadNode(ExchangeEngine& engine, model::ParameterNode& node) {
  struct {
    ExchangeEngine& e;
    WalkCounts Element(model::NamedNode& n) { return ReadElement(e, n); }
    WalkCounts Own(model::ParameterNode& n) { return ReadOwn(e, n); }
  } walk{engine};
  return Descend(engine, node, walk);
}

model::WalkCounts WriteNode(ExchangeEngine& engine, model::ParameterNode& node, int mode) {
  struct {
    ExchangeEngine& e;
    int mode;
    WalkCounts Element(model::NamedNode& n) { return WriteElement(e, n, mode); }
    WalkCounts Own(model::ParameterNode& n) { return WriteOwn(e, n, mode); }
  } walk{engine, mode};
  return Descend(engine, node, walk);
}

model::WalkCounts CompareNode(ExchangeEngine& engine, model::ParameterNode& node) {
  struct {
    ExchangeEngine& e;
    WalkCounts Element(model::NamedNode& n) { return CompareElement(e, n); }
    WalkCounts Own(model::ParameterNode& n) { return CompareOwn(e, n); }
  } walk{engine};
  return Descend(engine, node, walk);
}

}  // namespace vesk::exchange
