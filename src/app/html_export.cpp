#include "app/html_export.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <vector>

#include "link/frame_codec.h"
#include "link/number_text.h"
#include "link/type_text.h"
#include "model/config_file_io.h"
#include "model/description_catalogue.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vesk::app {
namespace {

constexpr std::string_view kNumberSign = "№";
constexpr std::string_view kEllipsisNumber = "№...";

constexpr std::string_view kHead =
    "<html>\n<head>\n<meta HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
    "charset=windows-1251\">\n\t<title>Список параметров прибора ВЕСК</title>\n</head>\n\n"
    "<body>\n<h4>Список обычных (неоперативных) параметров</h4>\n<table border=1 "
    "width=\"100%\" style=\"font-size=12px\">\n";
constexpr std::string_view kTableEnd = "</table>\n\n<br>\n";
constexpr std::string_view kTail = "</TABLE>\n</body>\n</html>";

constexpr std::string_view kColumnHeader =
    "<tr>\n"
    "<td><strong><b>№</b></strong></td>\n"
    "<td><strong><b>Команда</b></strong></td>\n"
    "<td><strong><b>Хеш</b></strong></td>\n"
    "<td><strong><b>Описание</b></strong></td>\n"
    "<td><strong><b>Тип</b></strong></td>\n"
    "<td><strong><b>Индексация</b></strong></td>\n"
    "<td><strong><b>Диапазон значений</b></strong></td>\n"
    "<td><strong><b>Атрибуты</b></strong></td>\n"
    "</tr>\n";

constexpr std::string_view kFormatWords[] = {"STORED_DOT", "DEC_dot", "CLK_frm", "string",
                                             "ASCI",       "name",    "int",     "float"};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The first piece with text in it, or an empty one.
std::string_view FirstFilledPiece(const std::vector<std::string_view>& pieces) {
  for (std::string_view piece : pieces)
    if (!piece.empty()) return piece;
  return {};
}

std::string Blanks(std::string text) {
  for (char& c : text)
    if (c == '_') c = ' ';
  return text;
}

bool IsFormatWord(std::string_view piece) {
  for (std::string_view word : kFormatWords)
    if (platform::Iequals(piece, word)) return true;
  return false;
}

std::string Cell(std::string_view content) {
  std::string cell = "\t<td>";
  cell += content;
  cell += "\t</td>\n";
  return cell;
}

// Writes the sections of the children of `node`. `last` is the element that stands where
// `node` stands in the last element of every enclosing indexed group (`node` itself
// outside any group); its parameters give the last index bounds.
void WriteChildren(std::string& out, const model::DescriptionBranch& node,
                   const model::DescriptionBranch& last, const std::string& path) {
  const auto& children = node.children;
  std::string previous;
  for (size_t i = 0; i < children.size(); ++i) {
    const model::DescriptionBranch& child = *children[i];
    const std::string title = ListTitle(child.name);
    if (i > 0 && title == previous) continue;  // the next element of the same indexed group
    previous = title;

    size_t group_end = i;
    while (group_end + 1 < children.size() && ListTitle(children[group_end + 1]->name) == title)
      ++group_end;
    const model::DescriptionBranch* last_child = &child;
    if (group_end < last.children.size() && last.children[group_end])
      last_child = last.children[group_end].get();

    if (!child.parameters.empty()) {
      if (!(child.parameters.size() == 1 && child.children.empty())) {
        out += "<tr><td colspan=8 bgColor=\"#ffffaa\"><b>";
        out += path;
        out += model::ShownBranchName(title);
        out += "</b></td></tr>\n";
        out += platform::Tr(kColumnHeader.data());
      }
      for (size_t k = 0; k < child.parameters.size(); ++k) {
        const link::Parameter& p = *child.parameters[k];
        int32_t last_index = p.linear_index;
        if (k < last_child->parameters.size() &&
            last_child->parameters[k]->short_name == p.short_name)
          last_index = last_child->parameters[k]->linear_index;
        out += ParameterRow(p, static_cast<int>(k) + 1,
                            IndexCell(p.indexed, p.linear_index, last_index));
      }
    }
    WriteChildren(out, child, *last_child, path + model::ShownBranchName(title) + "\\");
  }
}

}  // namespace

std::string ListTitle(std::string_view name) {
  const size_t sign = name.find(kNumberSign);
  if (sign == std::string_view::npos) return std::string(name);
  std::string title(name.substr(0, sign));
  title += kEllipsisNumber;
  const size_t blank = name.find(' ', sign + kNumberSign.size());
  if (blank != std::string_view::npos) title += name.substr(blank);
  return title;
}

std::string EscapeAngles(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string TypeCell(std::string_view type_text) {
  // A list item's place is its device code, so an empty item keeps its place.
  const std::vector<std::string_view> pieces = link::TypeTextPieces(type_text);
  // The format words are recognised as written ("CLK_frm"); only the named values show
  // "_" as a blank.
  if (const std::string_view first = FirstFilledPiece(pieces); IsFormatWord(first))
    return EscapeAngles(first);
  std::string list = "\n\t<ol start=0>\n";
  for (std::string_view piece : pieces) {
    list += "\t\t<li> ";
    list += EscapeAngles(model::ShownItem(Blanks(std::string(piece))));
    list += "\n";
  }
  list += "\t</ol>";
  return list;
}

std::string IndexCell(bool indexed, int32_t first, int32_t last) {
  if (!indexed || last == 0) return platform::Tr("без индекса");
  return "0," + std::to_string(first) + ".." + std::to_string(last);
}

std::string RangeCell(double minimum, double maximum) {
  if (!(maximum > minimum)) return platform::Tr("нет ограничений");
  return platform::Tr("от ") + link::FormatFixed3(minimum) + platform::Tr(" до ") +
         link::FormatFixed3(maximum);
}

std::string AttributesCell(uint8_t attribute_count) {
  if (attribute_count == 1) return platform::Tr("обычн. атрибуты");
  if (attribute_count == 0) return platform::Tr("нет атрибутов");
  // The "c" of "индекcов" is a Latin letter, as the page has always had it.
  return platform::Tr("дерево атр-ов обрезано (кратность индекcов ") +
         std::to_string(attribute_count) + ")";
}

std::string ParameterRow(const link::Parameter& parameter, int row, std::string_view index_cell) {
  std::string out = "<tr>\n\t<td>" + std::to_string(row) + "\t</td>\n";
  out += Cell(parameter.short_name);
  char hash[8];
  std::snprintf(hash, sizeof hash, "%04X", link::NameHash(parameter.short_name));
  out += Cell(hash);
  std::string caption = EscapeAngles(model::ShownCaption(parameter));
  ReplaceAll(caption, "№1", kEllipsisNumber);
  ReplaceAll(caption, "#1", kEllipsisNumber);
  out += Cell(caption);
  out += Cell(TypeCell(parameter.type_text));
  out += Cell(index_cell);
  out += Cell(RangeCell(parameter.minimum, parameter.maximum));
  out += "\t<td>" + AttributesCell(parameter.has_attributes) + "\t</td>\n</tr>\n";
  return out;
}

std::string ParameterListPage(const model::DescriptionBranch* root, std::string_view fragment) {
  std::string page(platform::Tr(kHead.data()));
  if (root) WriteChildren(page, *root, *root, "");
  page += kTableEnd;
  page += fragment;
  page += kTail;
  return page;
}

std::string ParameterListFragmentPath(const std::string& program_folder) {
  auto path = [&](const char* name) {
    return platform::ProgramFile(program_folder, name,
                                 std::string(platform::kInstalledDataFolder) + name);
  };
  if (platform::CurrentLanguage() == platform::Language::English) {
    const std::string english = path(kEnglishFragmentName);
    if (::access(english.c_str(), R_OK) == 0) return english;
  }
  return path(kParameterListFragmentName);
}

std::string ReadFragment(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  ReplaceAll(text, "\r\n", "\n");
  return text;
}

std::string PageFileBytes(std::string_view page_utf8) {
  const std::string cp1251 = platform::Utf8ToCp1251(page_utf8);
  std::string bytes;
  bytes.reserve(cp1251.size() + cp1251.size() / 16);
  for (char c : cp1251) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

std::string CachedParameterListPath() {
  const std::string cache = platform::UserCacheDir();
  if (cache.empty()) return {};
  const std::string folder = cache + "/LORN";
  if (!platform::MakeDirectories(folder)) return {};
  return folder + "/" + kParameterListFileName;
}

bool ExportParameterList(const std::string& path, const model::DescriptionBranch* root,
                         const std::string& fragment_path, std::string& error) {
  const std::string bytes = PageFileBytes(ParameterListPage(root, ReadFragment(fragment_path)));
  return model::ReplaceFileContents(
      path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), error);
}

}  // namespace vesk::app
