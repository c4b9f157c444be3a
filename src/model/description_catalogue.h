#pragma once
// The English names of the device description: captions of branches and parameters and
// the items of list types, read from the description's catalogue (vesk.tree.en.txt beside
// the description). The tree keeps the description's Russian, which the ".vesk" files and
// the JSON store; only what is shown to a person passes through here. In Russian every
// function gives its text back unchanged.

#include <map>
#include <string>
#include <string_view>

#include "link/parameter.h"

namespace vesk::model {

// The catalogue's file name, beside the description container.
inline constexpr const char* kDescriptionCatalogueName = "vesk.tree.en.txt";

struct DescriptionCatalogue {
  std::map<std::string, std::string, std::less<>> branches;    // base name (blanks) -> English
  std::map<std::string, std::string, std::less<>> parameters;  // short name -> English caption
  std::map<std::string, std::string, std::less<>> items;       // item text (blanks) -> English
};

// Reads the catalogue's text (see data/vesk.tree.en.txt for its lines); lines it does not
// understand are skipped.
DescriptionCatalogue ParseDescriptionCatalogue(std::string_view text);

// A branch's name as the tree builds it ("Вход №3"), in the current language
// ("Input #3"); a name the catalogue lacks goes through the program's own catalogue.
std::string ShownBranchName(std::string_view name);

// The parameter's caption in the current language.
std::string ShownCaption(const link::Parameter& parameter);

// A value of `codec`'s type in the current language: a list item, "Нет данных" and the
// device's own status texts translated; any other value as it is.
std::string ShownValue(const link::ValueCodec& codec, const std::string& value);
inline std::string ShownValue(const link::Parameter& parameter) {
  return ShownValue(parameter, parameter.value);
}

// An item of a list type ("Сухой контакт") in the current language.
std::string ShownItem(const std::string& item);

}  // namespace vesk::model
