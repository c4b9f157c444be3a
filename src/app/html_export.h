#pragma once
// The reference list of the description's ordinary parameters, "parlist.html": one
// section per branch (an indexed group once), a row per parameter, then the fixed
// fragment about the operative parameters and the data formats. Built as UTF-8 text with
// line feeds; written as cp1251 with CR LF.

#include <cstdint>
#include <string>
#include <string_view>

#include "link/parameter.h"
#include "model/description_branch.h"

namespace vesk::app {

inline constexpr const char* kParameterListFileName = "parlist.html";
// The fixed fragment, kept with the program's data (UTF-8 there, like every text of ours).
inline constexpr const char* kParameterListFragmentName = "parlist_fragment.html";
// Its English, beside it.
inline constexpr const char* kEnglishFragmentName = "parlist_fragment.en.html";

// The fragment of a program in `program_folder`, in the current language where there is
// one: beside it, or in PREFIX/share/vesk/.
std::string ParameterListFragmentPath(const std::string& program_folder);

// The title a branch has in the list: a name holding "№" becomes the text before it,
// "№..." and the rest of the name from the first blank after "№" ("Вход №3" gives
// "Вход №..."); any other name is its own title.
std::string ListTitle(std::string_view branch_name);

// The text with "<" and ">" written as "&lt;" and "&gt;".
std::string EscapeAngles(std::string_view text);

// The Тип cell's content: the format word when the first non-empty piece of the type
// text (cut at ":") is one (case ignored), otherwise the named values, "_" shown as a
// blank, as an ordered list numbered from 0.
std::string TypeCell(std::string_view type_text);

// The Индексация cell's content: "0,first..last", or "без индекса" for a parameter that is
// not indexed or whose last index is 0. The bounds are the linear indexes the parameter
// has in the first and in the last element of its indexed group (nested groups included).
std::string IndexCell(bool indexed, int32_t first, int32_t last);

// The Диапазон значений cell: "нет ограничений" unless maximum > minimum, else
// "от %.3f до %.3f".
std::string RangeCell(double minimum, double maximum);

// The Атрибуты cell for an attribute count (has-attributes field).
std::string AttributesCell(uint8_t attribute_count);

// One parameter row, numbered `row`, with the Индексация cell given by the caller.
std::string ParameterRow(const link::Parameter& parameter, int row, std::string_view index_cell);

// The whole page (UTF-8, line feeds). `root` may be null: the page then holds the head,
// the end of the table, the fragment and the tail. `fragment` goes in as it is.
std::string ParameterListPage(const model::DescriptionBranch* root, std::string_view fragment);

// The fragment file's text, with any CR before a LF dropped; empty when the file cannot be
// read (the page is then complete without it).
std::string ReadFragment(const std::string& path);

// Writes the page for `root` to `path` in cp1251 with CR LF line ends, replacing the file
// whole (never a half-written one). The fragment is read from `fragment_path`. Returns
// true; false with the system's text in `error` when the file could not be written.
bool ExportParameterList(const std::string& path, const model::DescriptionBranch* root,
                         const std::string& fragment_path, std::string& error);

// Where the window's export command puts the list: "$XDG_CACHE_HOME/LORN/parlist.html"
// (the folder is created when missing). Empty when there is no cache folder or it cannot
// be created.
std::string CachedParameterListPath();

// The page's bytes as they go into the file: cp1251, every LF as CR LF.
std::string PageFileBytes(std::string_view page_utf8);

}  // namespace vesk::app
