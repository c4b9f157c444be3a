#include "exchange/node_walks.h"

#include <string>

#include "exchange/exchange_engine.h"
#include "exchange/parameter_tasks.h"
#include "model/desc_branch.h"
#include "model/invisible_element.h"

namespace vesk::exchange {

namespace {

using model::WalkCounts;

WalkCounts Sum(WalkCounts a, WalkCounts b) {
  return {a.first + b.first, a.second + b.second};
}

// ---- the node's own parameters

WalkCounts ReadOwn(ExchangeEngine& engine, model::ObjectWithParameters& node) {
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

WalkCounts CompareOwn(ExchangeEngine& engine, model::ObjectWithParameters& node) {
  if (engine.Cancelled()) return {};
  int visited = 0, failures = 0;
  for (auto& p : node.parameters) {
    const int r = CompareParameter(engine, *p);
    engine.progressDone.fetch_add(1);
    ++visited;
    if (r != 0) ++failures;
    if (engine.Cancelled()) break;
  }
  return {visited, failures};
}

WalkCounts WriteOwn(ExchangeEngine& engine, model::ObjectWithParameters& node, int mode) {
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

bool AnyToWrite(const model::ObjectWithParameters& node, int mode) {
  for (const auto& p : node.parameters)
    if (p->writable && SelectedForWrite(*p, mode)) return true;
  return false;
}

// ---- a named element: its name first

WalkCounts ReadElement(ExchangeEngine& engine, model::InvisibleElement& element) {
  if (engine.Cancelled()) return {};
  engine.ProgressLog("Читаем ветвь '" + element.name + "'");
  return ReadOwn(engine, element);
}

WalkCounts CompareElement(ExchangeEngine& engine, model::InvisibleElement& element) {
  if (engine.Cancelled()) return {};
  engine.ProgressLog("Сравниваем ветвь '" + element.name + "'");
  return CompareOwn(engine, element);
}

WalkCounts WriteElement(ExchangeEngine& engine, model::InvisibleElement& element, int mode) {
  if (mode > 0 || AnyToWrite(element, mode))
    engine.ProgressLog("Пишем ветвь '" + element.name + "'");
  return WriteOwn(engine, element, mode);
}

// ---- a description branch: itself, then its children depth first

template <typename Walk>
WalkCounts Descend(ExchangeEngine& engine, model::ObjectWithParameters& node, Walk walk) {
  auto* branch = dynamic_cast<model::DescBranch*>(&node);
  if (!branch) {
    if (auto* element = dynamic_cast<model::InvisibleElement*>(&node))
      return walk.element(*element);
    return walk.own(node);
  }
  if (engine.Cancelled()) return {};
  WalkCounts total = walk.element(*branch);
  for (auto& child : branch->children) total = Sum(total, Descend(engine, *child, walk));
  return total;
}

}  // namespace

bool SelectedForWrite(const link::Parameter& parameter, int mode) {
  if (mode > 0) return true;
  if (mode == 0) return parameter.AnyChanged();
  return !parameter.initialValue.empty();
}

model::WalkCounts ReadNode(ExchangeEngine& engine, model::ObjectWithParameters& node) {
  struct {
    ExchangeEngine& e;
    WalkCounts element(model::InvisibleElement& n) { return ReadElement(e, n); }
    WalkCounts own(model::ObjectWithParameters& n) { return ReadOwn(e, n); }
  } walk{engine};
  return Descend(engine, node, walk);
}

model::WalkCounts WriteNode(ExchangeEngine& engine, model::ObjectWithParameters& node, int mode) {
  struct {
    ExchangeEngine& e;
    int mode;
    WalkCounts element(model::InvisibleElement& n) { return WriteElement(e, n, mode); }
    WalkCounts own(model::ObjectWithParameters& n) { return WriteOwn(e, n, mode); }
  } walk{engine, mode};
  return Descend(engine, node, walk);
}

model::WalkCounts CompareNode(ExchangeEngine& engine, model::ObjectWithParameters& node) {
  struct {
    ExchangeEngine& e;
    WalkCounts element(model::InvisibleElement& n) { return CompareElement(e, n); }
    WalkCounts own(model::ObjectWithParameters& n) { return CompareOwn(e, n); }
  } walk{engine};
  return Descend(engine, node, walk);
}

}  // namespace vesk::exchange
