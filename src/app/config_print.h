#pragma once
// A configuration file as text, one parameter a line in the order of the tree, so that two
// configurations can be compared with diff.

#include <cstdio>
#include <string>
#include <string_view>

#include "model/description_branch.h"

namespace vesk::app {

// The first line of the listing: the names of the columns.
inline constexpr const char* kPrintHeader =
    "# ветвь\tимя\tиндекс\tзначение\tатрибуты\tпримечание\n";

// The text with backslash, tab, CR and LF written as \\, \t, \r and \n, so that every
// value stays on its line.
std::string EscapeField(std::string_view text);

// One line for every parameter under `root` (the root's own first, then each child branch
// depth first): branch path below the root with "/" between names, short name, linear
// index ("-" when not indexed), value, attributes ("редактируемый,фирма" style texts of
// the view, "-" without attributes) and note, separated by tabs. Begins with kPrintHeader.
std::string ConfigurationListing(const model::DescriptionBranch& root);

// Opens the configuration file at `path` (rebuilding the tree from the description), and
// writes its listing to `out`. Returns 0; 1 when the file could not be read whole or held
// no tree (the reason has gone through the presenter; nothing is written to `out`).
int PrintConfiguration(const std::string& path, std::FILE* out);

}  // namespace vesk::app
