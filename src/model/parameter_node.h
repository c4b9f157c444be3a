#pragma once
// A node of the parameter tree: an ordered array of owned parameter records and the
// operations performed on a group of parameters. Behaviour of a node kind is chosen
// through the virtual operations; the subclasses add names, children and fixed sets.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/parameter.h"
#include "model/view_rows.h"

namespace vesk::model {

// The concrete class of a node, for the code that stores nodes in files and dispatches on
// the class (a `ProgramLineSettings` keeps its own values when a file is read, for example).
enum class NodeKind { Plain, Named, Branch, Service, DeviceLine, ProgramLine };

// The two counts a device walk returns (their meaning depends on the walk).
struct WalkCounts {
  int first = 0;
  int second = 0;
  bool operator==(const WalkCounts&) const = default;
};

class ParameterNode {
 public:
  ParameterNode();
  virtual ~ParameterNode();
  ParameterNode(const ParameterNode&) = delete;
  ParameterNode& operator=(const ParameterNode&) = delete;

  virtual NodeKind Kind() const { return NodeKind::Plain; }

  // Deletes every parameter; the fixed-set subclasses then create theirs.
  virtual void FillParameters();

  // The value text of the first parameter whose short name matches (case ignored), or
  // empty text when none does.
  virtual std::string GetValue(std::string_view short_name) const;

  // Sets the value of the first matching parameter, marking it changed when the text
  // differs (case ignored) from the old one. Returns 1, or 0 when no parameter matches.
  virtual int SetValue(std::string_view short_name, std::string_view value);

  // The device walks (read, write, compare) are the exchange engine's: they dispatch on
  // Kind(), so that the model needs no notion of tasks, cancelling or logging.

  // Number of parameters of this node and every descendant that a task of `mode` covers
  // (> 0 all, 0 those with a changed flag, < 0 those with an initial value). The writable
  // flag is not consulted.
  virtual int CountForTask(int mode) const;

  // Appends rows for the parameters under `parent` (all of them, or the first `count`
  // when count >= 0) and records how many were shown. Returns the row the parameters went
  // under (`parent` here; the element's own row in the subclasses).
  virtual int ShowInView(ViewRows& rows, int parent, int count, bool show_indexes);

  // The common linear index of the indexed parameters: taken from the first indexed
  // parameter while still -1; otherwise every indexed parameter that disagrees is reported
  // through the presenter ("Предупреждение") and the stored index is returned unchanged.
  virtual int32_t GetLinearIndex();
  // Sets the linear index of the node and of every indexed parameter.
  virtual void SetLinearIndex(int32_t index);

  // 2 when any parameter has a changed flag, else 0.
  virtual int ChangesState() const;

  // Puts every parameter into its reset state (value "Нет данных", no note, no changes).
  virtual void ResetValues();

  // The first parameter whose short name matches without regard to case, or nullptr.
  link::Parameter* FindParameter(std::string_view short_name) const;

  // True when some parameter has a note; with include_differences clear, notes of a
  // comparison ("Знач-е в приборе:...") do not count.
  bool HasProblems(bool include_differences) const;

  // Clears the three changed flags of every parameter.
  void ClearChanges();

  // Appends a parameter and returns it; std::invalid_argument for a null one.
  link::Parameter& AddParameter(std::unique_ptr<link::Parameter> parameter);

  std::vector<std::unique_ptr<link::Parameter>> parameters;
  void* reserved = nullptr;
  int32_t linear_index = -1;
  int32_t shown_count = 0;
};

}  // namespace vesk::model
