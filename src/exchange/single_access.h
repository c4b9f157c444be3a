#pragma once
// Raw access to one device parameter by its short name, as the service dialog "Single
// Point" offers it: the parameter is taken from the description (not from the tree), read
// or written once with an optional index in the data field or in the address, and the
// exchange is shown as a protocol of text lines. The window only shows what this yields.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_link.h"
#include "model/description_loader.h"
#include "model/parameter_definition.h"

namespace vesk::exchange {

inline constexpr const char* kInitialCommand = "!vEr";
inline constexpr const char* kUndefinedType = "<тип неопределен>";
inline constexpr const char* kDescriptionPlaceholder = "Описание параметра";
inline constexpr const char* kHiddenItemMark = "<hide>";

// The dialog's operation buttons.
inline constexpr int kSingleRead = 0;
inline constexpr int kSingleWrite = 1;

enum class IndexPlacement {
  DataField = 0,  // "Индекс в поле данных": two bytes behind the value
  Address = 1,    // "Индекс в адресе (3 бит)": added to the device address
};

// One command the dialog can name: a definition of the description, with where its
// index travels as the built trees show it.
struct CommandDescription {
  model::ParameterDefinition definition;
  bool indexed = false;  // built inside a repeated branch: the index goes in the data field
  bool polled = false;   // an operative parameter of the pollers tree: index in the address
};

// The definitions in declaration order, each flagged from the first record of the same
// name (a leading "!" ignored) in the root tree, else in the pollers tree.
std::vector<CommandDescription> DescribeCommands(
    const std::vector<model::ParameterDefinition>& definitions, const model::DescriptionTree& tree);

// The tree load keeps no definitions, so they are read again from the container at `path`
// (device kind 3). Returns them flagged from `tree`; an unreadable container gives an empty
// list, and a description error (shown through the presenter) the definitions before it.
std::vector<CommandDescription> LoadCommandDescriptions(const std::string& path,
                                                        const model::DescriptionTree& tree);

// The dialog's fields as the user left them.
struct SingleAccessFields {
  std::string command = kInitialCommand;
  int operation = kSingleRead;
  bool index_used = false;
  std::string index = "0";  // decimal text; what is not a number reads as 0
  IndexPlacement placement = IndexPlacement::DataField;
  std::string value;  // the text to write
};

// What the dialog shows about the command text.
struct CommandView {
  std::string hash_text;         // "0x%X" of the name hash
  std::string type_text;         // the description's, or "<тип неопределен>"
  std::string caption;           // of the last command that had a description
  std::string description_line;  // caption + " (" + type text + ")"
  // The index check box as the description has it; unset when the command is not described
  // (the box then keeps its state).
  std::optional<bool> index_used;
  // Entries of the value box for a choice list ("_" shown as a blank, "<hide>" items left
  // out); empty for a format word.
  std::vector<std::string> choices;
};

// The protocol of one execution.
struct ExecuteOutcome {
  bool described = false;                  // false: no description of that name, nothing was sent
  int result = link::kExchangePortClosed;  // the exchange's result when described
  std::string value;                       // the parameter's value after the exchange
  std::string note;                        // the parameter's note after the exchange
  std::vector<std::string> lines;          // the protocol list, first line first

  // True when the exchange succeeded and left no error text.
  bool Ok() const { return described && result == link::kExchangeOk && note.empty(); }
};

class SingleAccess {
 public:
  SingleAccess(link::DeviceLink& link, std::vector<CommandDescription> descriptions);

  // The short names of every description, in list order (the command box's entries).
  std::vector<std::string> CommandNames() const;

  // The description of that name (case ignored; a leading "!" on either side is not
  // required to match), or nullptr.
  const CommandDescription* Find(std::string_view command) const;

  // The refresh of the dialog after the command text changed. Remembers the caption, which
  // an undescribed command leaves as it was.
  CommandView Refresh(std::string_view command);

  // Executes the fields: one read or write of a temporary parameter made from the
  // description. An undescribed command gives described = false and the line
  // "Параметер '...' не описан!", which with `report` is also shown in a message box.
  // Nothing in the trees changes.
  // Touches nothing that Refresh changes, so it may run on another thread meanwhile.
  ExecuteOutcome Execute(const SingleAccessFields& fields, bool report = true) const;

 private:
  link::DeviceLink& link_;
  std::vector<CommandDescription> descriptions_;
  std::string caption_;
};

// One read (write = false) or write of one parameter for the command line's --get/--set.
// With an index, it travels in the address for an operative parameter and in the data
// field otherwise; without one, an indexed parameter is sent with index 0. Returns the
// protocol; Ok() tells success. No message box is shown.
ExecuteOutcome AccessOneParameter(link::DeviceLink& link,
                                  const std::vector<CommandDescription>& descriptions, bool write,
                                  std::string_view name, std::optional<uint32_t> index,
                                  std::string_view value);

}  // namespace vesk::exchange
