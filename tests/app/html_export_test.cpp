#include "app/html_export.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "link/frame_codec.h"
#include "model/description_loader.h"
#include "platform/text.h"
#include "process_support.h"

namespace vesk::app {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

link::Parameter& AddParameter(model::DescriptionBranch& branch, const std::string& name,
                              const std::string& type, int32_t index = -1) {
  auto p = std::make_unique<link::Parameter>(name);
  p->caption = "Параметр " + name;
  p->type_text = type;
  p->has_attributes = 1;
  if (index >= 0) {
    p->indexed = true;
    p->linear_index = index;
  }
  return branch.AddParameter(std::move(p));
}

model::DescriptionBranch& AddChild(model::DescriptionBranch& parent, const std::string& name) {
  parent.children.push_back(std::make_unique<model::DescriptionBranch>(name));
  return *parent.children.back();
}

TEST(HtmlExportCells, ListTitle) {
  const struct {
    const char* name;
    const char* title;
  } cases[] = {
      {"Вход №1", "Вход №..."},
      {"Вход №12", "Вход №..."},
      {"Канал №3 ШИМ", "Канал №... ШИМ"},
      {"№2", "№..."},
      {"Сетевые параметры", "Сетевые параметры"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ListTitle(c.name), c.title) << c.name;
}

TEST(HtmlExportCells, TypeCell) {
  EXPECT_EQ(TypeCell("float"), "float");
  EXPECT_EQ(TypeCell("INT"), "INT");          // compared without regard to case, shown as written
  EXPECT_EQ(TypeCell("CLK_frm"), "CLK_frm");  // a format word is matched as written
  EXPECT_EQ(TypeCell("stored_dot"), "stored_dot");
  EXPECT_EQ(TypeCell("string:x"), "string");
  EXPECT_EQ(TypeCell("Выкл:Вкл"), "\n\t<ol start=0>\n\t\t<li> Выкл\n\t\t<li> Вкл\n\t</ol>");
  EXPECT_EQ(TypeCell("a<b:c>d:По_фронту"),
            "\n\t<ol start=0>\n\t\t<li> a&lt;b\n\t\t<li> c&gt;d\n\t\t<li> По фронту\n\t</ol>");
  // The first non-empty piece decides; in a list an empty piece keeps its place (its code).
  EXPECT_EQ(TypeCell(":int"), "int");
  EXPECT_EQ(TypeCell("Один::Три"),
            "\n\t<ol start=0>\n\t\t<li> Один\n\t\t<li> \n\t\t<li> Три\n\t</ol>");
  EXPECT_EQ(TypeCell(""), "\n\t<ol start=0>\n\t</ol>");
}

TEST(HtmlExportCells, IndexRangeAttributes) {
  EXPECT_EQ(IndexCell(false, 0, 0), "без индекса");
  EXPECT_EQ(IndexCell(true, 0, 0), "без индекса");
  EXPECT_EQ(IndexCell(true, 0, 11), "0,0..11");
  EXPECT_EQ(IndexCell(true, 1, 15), "0,1..15");
  EXPECT_EQ(RangeCell(0, 0), "нет ограничений");
  EXPECT_EQ(RangeCell(5, 5), "нет ограничений");
  EXPECT_EQ(RangeCell(10, 1), "нет ограничений");
  EXPECT_EQ(RangeCell(1, 10), "от 1.000 до 10.000");
  EXPECT_EQ(RangeCell(-0.5, 0.0015), "от -0.500 до 0.002");
  EXPECT_EQ(AttributesCell(1), "обычн. атрибуты");
  EXPECT_EQ(AttributesCell(0), "нет атрибутов");
  // The "c" of "индекcов" is the Latin one.
  EXPECT_EQ(AttributesCell(4), "дерево атр-ов обрезано (кратность индек\x63ов 4)");
}

TEST(HtmlExportCells, ParameterRowExactly) {
  link::Parameter p("A.Len");
  p.caption = "Длина <адреса> №1";
  p.type_text = "8:11";
  p.minimum = 1;
  p.maximum = 10;
  p.has_attributes = 0;
  EXPECT_EQ(ParameterRow(p, 7, "без индекса"),
            "<tr>\n\t<td>7\t</td>\n"
            "\t<td>A.Len\t</td>\n"
            "\t<td>1ED2\t</td>\n"
            "\t<td>Длина &lt;адреса&gt; №...\t</td>\n"
            "\t<td>\n\t<ol start=0>\n\t\t<li> 8\n\t\t<li> 11\n\t</ol>\t</td>\n"
            "\t<td>без индекса\t</td>\n"
            "\t<td>от 1.000 до 10.000\t</td>\n"
            "\t<td>нет атрибутов\t</td>\n</tr>\n");
}

TEST(HtmlExportPage, NoTreeGivesHeadFragmentAndTail) {
  const std::string page = ParameterListPage(nullptr, "<p>FRAGMENT</p>\n");
  EXPECT_EQ(page.rfind("<html>\n<head>\n<meta HTTP-EQUIV=\"Content-Type\"", 0), 0u);
  EXPECT_NE(page.find("<table border=1 width=\"100%\" style=\"font-size=12px\">\n</table>\n\n"
                      "<br>\n<p>FRAGMENT</p>\n</TABLE>\n</body>\n</html>"),
            std::string::npos);
  EXPECT_EQ(page.substr(page.size() - 7), "</html>");
}

TEST(HtmlExportPage, IndexedGroupsOnceWithPathsAndBounds) {
  model::DescriptionBranch root("Корень");
  AddParameter(root, "own", "int");  // the root's own parameters are not listed
  model::DescriptionBranch& common = AddChild(root, "Общие");
  AddParameter(common, "a", "int");
  AddParameter(common, "b", "float");
  for (int k = 0; k < 3; ++k) {
    model::DescriptionBranch& input = AddChild(root, "Вход №" + std::to_string(k + 1));
    AddParameter(input, "x", "int", k);
    AddParameter(input, "z", "int", k);
    for (int c = 0; c < 2; ++c) {
      model::DescriptionBranch& channel = AddChild(input, "Канал №" + std::to_string(c + 1));
      AddParameter(channel, "y", "int", k * 2 + c);
    }
  }
  model::DescriptionBranch& single = AddChild(root, "Одиночный");
  AddParameter(single, "s", "int");

  const std::string page = ParameterListPage(&root, "");
  EXPECT_EQ(Count(page, "bgColor=\"#ffffaa\""), 2u);
  EXPECT_NE(page.find("<b>Общие</b>"), std::string::npos);
  EXPECT_NE(page.find("<b>Вход №...</b>"), std::string::npos);
  EXPECT_EQ(page.find("Вход №2"), std::string::npos);
  EXPECT_EQ(page.find("<td>own\t"), std::string::npos);
  // One row of each parameter of the first group element, "y" of its first channel only.
  EXPECT_EQ(Count(page, "\t<td>x\t</td>"), 1u);
  EXPECT_EQ(Count(page, "\t<td>y\t</td>"), 1u);
  // Bounds: the first and the last element of the groups around the parameter.
  char hash[16];
  std::snprintf(hash, sizeof hash, "\t<td>%04X\t</td>", link::NameHash("x"));
  EXPECT_NE(page.find(std::string("\t<td>x\t</td>\n") + hash), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,0..2\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,0..5\t</td>"), std::string::npos);
  // Single-parameter branches add their row, numbered 1, under the previous header.
  const size_t y_row = page.find("\t<td>y\t</td>");
  ASSERT_GE(y_row, 18u);
  EXPECT_EQ(page.substr(y_row - 18, 18), "<tr>\n\t<td>1\t</td>\n");
  EXPECT_EQ(Count(page, "<td><strong><b>Команда</b></strong></td>"), 2u);
  EXPECT_NE(page.find("\t<td>s\t</td>"), std::string::npos);
}

TEST(HtmlExportPage, NestedGroupTitleKeepsPath) {
  model::DescriptionBranch root("Корень");
  model::DescriptionBranch& outer = AddChild(root, "Выходы");
  for (int k = 0; k < 2; ++k) {
    model::DescriptionBranch& out = AddChild(outer, "Выход №" + std::to_string(k + 1));
    AddParameter(out, "m", "int", k);
    AddParameter(out, "n", "int", k);
  }
  const std::string page = ParameterListPage(&root, "");
  EXPECT_NE(page.find("<b>Выходы\\Выход №...</b>"), std::string::npos);
  EXPECT_EQ(page.find("<b>Выходы</b>"), std::string::npos);  // no parameters of its own
}

TEST(HtmlExportFile, Cp1251WithCrLf) {
  const std::string bytes = PageFileBytes("а\nб\n");
  EXPECT_EQ(bytes, std::string("\xE0\r\n\xE1\r\n"));
}

TEST(HtmlExportFile, VeskDescriptionAsWritten) {
  model::DescriptionTree tree;
  ASSERT_EQ(model::LoadDescriptionFrom(test::TreePath(), 3, tree), model::DescriptionStatus::Built);
  test::TempDir dir;
  test::WriteFile(dir / "fragment.html", "<h4>Список оперативных параметров</h4>\r\n<p>x</p>\r\n");
  std::string error;
  ASSERT_TRUE(
      ExportParameterList(dir / "parlist.html", tree.root.get(), dir / "fragment.html", error))
      << error;
  const std::string bytes = test::ReadFile(dir / "parlist.html");
  // Every line feed is written as CR LF, and no CR stands alone.
  EXPECT_EQ(Count(bytes, "\n"), Count(bytes, "\r\n"));
  EXPECT_EQ(Count(bytes, "\r"), Count(bytes, "\r\n"));
  std::string page = platform::Cp1251ToUtf8(bytes);
  for (size_t at = page.find("\r\n"); at != std::string::npos; at = page.find("\r\n", at))
    page.erase(at, 1);
  EXPECT_NE(page.find("<title>Список параметров прибора ВЕСК</title>"), std::string::npos);
  EXPECT_NE(page.find("<b>Входы\\Вход №...</b>"), std::string::npos);
  EXPECT_NE(page.find("<b>Выходы\\Выход №...</b>"), std::string::npos);
  EXPECT_EQ(page.find("Вход №2"), std::string::npos);
  EXPECT_EQ(Count(page, "\t<td>FiLt\t</td>"), 1u);
  EXPECT_EQ(Count(page, "\t<td>Cn.SP\t</td>"), 1u);
  EXPECT_EQ(Count(page, "\t<td>clb.k\t</td>"), 2u);  // the lower and the upper point
  EXPECT_NE(page.find("\t<td>FiLt\t</td>\n\t<td>B15D\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,0..11\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,0..23\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,0..14\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>0,1..15\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t<td>от 0.000 до 1000.000\t</td>"), std::string::npos);
  EXPECT_NE(page.find("\t\t<li> Сухой контакт\n"), std::string::npos);
  // The fragment stands once, between the table and the tail.
  const size_t fragment = page.find("<h4>Список оперативных параметров</h4>\n<p>x</p>\n</TABLE>");
  EXPECT_NE(fragment, std::string::npos);
  EXPECT_EQ(page.substr(page.size() - 24), "</TABLE>\n</body>\n</html>");
}

TEST(HtmlExportFile, MissingFragmentStillCompleteAndUnwritableFolderFails) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(ExportParameterList(dir / "p.html", nullptr, dir / "none.html", error));
  EXPECT_NE(test::ReadFile(dir / "p.html").find("<br>\r\n</TABLE>"), std::string::npos);
  EXPECT_FALSE(ExportParameterList(dir / "no/such/p.html", nullptr, dir / "none.html", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vesk::app
