// Tree nodes: look-ups by name, changes, linear indexes, copies and the rows a branch
// shows in the view.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/parameter.h"
#include "link/presenter.h"
#include "model/description_branch.h"
#include "model/device_line_settings.h"
#include "model/named_node.h"
#include "model/program_line_settings.h"
#include "model/service_parameters.h"
#include "platform/settings_store.h"

namespace vesk::model {
namespace {

using link::Parameter;

// Records every message box instead of showing it.
class RecordingPresenter : public link::Presenter {
 public:
  struct Box {
    std::string text, caption;
    link::MsgIcon icon;
  };
  RecordingPresenter() { link::SetPresenter(this); }
  ~RecordingPresenter() override { link::SetPresenter(nullptr); }
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons) override {
    boxes.push_back({std::string(text), std::string(caption), icon});
    return link::MsgAnswer::Ok;
  }
  std::vector<Box> boxes;
};

Parameter& Add(ParameterNode& node, const std::string& short_name,
               const std::string& caption = "cap") {
  auto p = std::make_unique<Parameter>(short_name);
  p->caption = caption;
  return node.AddParameter(std::move(p));
}

Parameter& AddIndexed(ParameterNode& node, const std::string& short_name, int index) {
  Parameter& p = Add(node, short_name, "cap " + short_name);
  p.indexed = true;
  p.linear_index = index;
  return p;
}

// A branch that owns `n` parameters named p1.. and declares them in its member order.
std::unique_ptr<DescriptionBranch> BranchWith(const std::string& name, int n) {
  auto b = std::make_unique<DescriptionBranch>(name, 1, 1, 5, 6);
  for (int i = 1; i <= n; ++i) {
    Add(*b, name + ".p" + std::to_string(i), name + " caption " + std::to_string(i));
    b->member_order.push_back(kMemberParameter);
  }
  return b;
}

DescriptionBranch& AddChild(DescriptionBranch& parent, std::unique_ptr<DescriptionBranch> child) {
  parent.children.push_back(std::move(child));
  parent.member_order.push_back(kMemberBranch);
  return *parent.children.back();
}

// --- look-up and values -------------------------------------------------------------

TEST(NodeValues, FindIgnoresCaseOfLatinAndCyrillicAndTakesTheFirstMatch) {
  ParameterNode node;
  Parameter& first = Add(node, "bPS");
  Add(node, "BPS");
  Parameter& cyr = Add(node, "Счет");
  EXPECT_EQ(node.FindParameter("bps"), &first);
  EXPECT_EQ(node.FindParameter("BpS"), &first);
  EXPECT_EQ(node.FindParameter("СЧЕТ"), &cyr);
  EXPECT_EQ(node.FindParameter("bP"), nullptr);
  EXPECT_EQ(node.FindParameter(""), nullptr);
  EXPECT_EQ(node.GetValue("nope"), "");
}

TEST(NodeValues, SetValueMarksChangeOnlyWhenTheTextDiffersBeyondCase) {
  struct Case {
    const char* old_value;
    const char* new_value;
    bool changed;
  } cases[] = {
      {"Четность", "ЧЕТНОСТЬ", false},
      {"abc", "ABC", false},
      {"abc", "abd", true},
      {link::kNoData, "5", true},
  };
  for (const Case& c : cases) {
    ParameterNode node;
    Parameter& p = Add(node, "x");
    p.value = c.old_value;
    EXPECT_EQ(node.SetValue("X", c.new_value), 1);
    EXPECT_EQ(p.value, c.new_value);
    EXPECT_EQ(p.value_changed, c.changed) << c.old_value << " -> " << c.new_value;
  }
  ParameterNode node;
  EXPECT_EQ(node.SetValue("missing", "1"), 0);
}

TEST(NodeValues, NameKeySetsTheElementNameNotAParameter) {
  NamedNode e("old");
  Parameter& p = Add(e, "Название");
  EXPECT_EQ(e.SetValue("НАЗВАНИЕ", "новое имя"), 1);
  EXPECT_EQ(e.name, "новое имя");
  EXPECT_EQ(p.value, link::kNoData);
  EXPECT_FALSE(p.value_changed);
  // The base node has no name: there the same key is an ordinary parameter name.
  ParameterNode plain;
  Parameter& q = Add(plain, "Название");
  EXPECT_EQ(plain.SetValue("название", "v"), 1);
  EXPECT_EQ(q.value, "v");
}

// --- changes and problems -----------------------------------------------------------

TEST(NodeChanges, ChangesStateSeesEachOfTheThreeFlags) {
  for (int flag = 0; flag < 3; ++flag) {
    ParameterNode node;
    Add(node, "a");
    Parameter& p = Add(node, "b");
    EXPECT_EQ(node.ChangesState(), 0);
    (flag == 0 ? p.value_changed : flag == 1 ? p.edit_changed : p.owner_changed) = true;
    EXPECT_EQ(node.ChangesState(), 2);
    node.ClearChanges();
    EXPECT_EQ(node.ChangesState(), 0);
    EXPECT_FALSE(p.AnyChanged());
  }
}

TEST(NodeChanges, HasProblemsCountsDifferencesOnlyWhenAsked) {
  struct Case {
    const char* note;
    bool with_differences;
    bool without;
  } cases[] = {
      {"", false, false},
      {"Таймаут при передаче данных (нет связи)", true, true},
      {"Знач-е в приборе: '5',Ред-ый,польз.", true, false},
      {"Знач-е в приборе", true, true},  // not the full prefix: an ordinary failure
  };
  for (const Case& c : cases) {
    ParameterNode node;
    Add(node, "a");
    Add(node, "b").note = c.note;
    EXPECT_EQ(node.HasProblems(true), c.with_differences) << c.note;
    EXPECT_EQ(node.HasProblems(false), c.without) << c.note;
  }
}

TEST(NodeChanges, ResetOfABranchReachesEveryDescendantAndKeepsTheDescription) {
  auto root = BranchWith("root", 1);
  DescriptionBranch& child = AddChild(*root, BranchWith("child", 1));
  DescriptionBranch& grandchild = AddChild(child, BranchWith("grand", 2));
  for (Parameter* p :
       {root->parameters[0].get(), child.parameters[0].get(), grandchild.parameters[1].get()}) {
    p->value = "7";
    p->note = "failure";
    p->value_changed = true;
    p->editable = false;
    p->initial_value = "3";
  }
  root->ResetValues();
  for (Parameter* p :
       {root->parameters[0].get(), child.parameters[0].get(), grandchild.parameters[1].get()}) {
    EXPECT_EQ(p->value, link::kNoData);
    EXPECT_TRUE(p->note.empty());
    EXPECT_FALSE(p->value_changed);
    EXPECT_TRUE(p->editable);
    EXPECT_EQ(p->initial_value, "3");
    EXPECT_NE(p->caption, link::kUnknownCaption);
  }
}

TEST(NodeChanges, CountForTaskCoversDescendantsAndIgnoresTheWritableFlag) {
  auto root = BranchWith("root", 2);
  DescriptionBranch& child = AddChild(*root, BranchWith("child", 3));
  root->parameters[0]->edit_changed = true;
  child.parameters[2]->value_changed = true;
  child.parameters[2]->writable = false;
  child.parameters[0]->initial_value = "1";
  EXPECT_EQ(root->CountForTask(1), 5);
  EXPECT_EQ(root->CountForTask(0), 2);
  EXPECT_EQ(root->CountForTask(-1), 1);
  EXPECT_EQ(child.CountForTask(5), 3);
}

// --- linear index -------------------------------------------------------------------

TEST(NodeLinearIndex, FirstIndexedParameterGivesTheIndexWithoutWarning) {
  RecordingPresenter rec;
  ParameterNode node;
  Add(node, "plain").linear_index = 99;
  AddIndexed(node, "a", 4);
  AddIndexed(node, "b", 5);
  EXPECT_EQ(node.GetLinearIndex(), 4);
  EXPECT_EQ(node.linear_index, 4);
  EXPECT_TRUE(rec.boxes.empty());
}

TEST(NodeLinearIndex, DisagreeingParametersWarnOnceEachAndTheFirstValueStays) {
  RecordingPresenter rec;
  ParameterNode node;
  Add(node, "plain").linear_index = 99;  // not indexed: never checked
  AddIndexed(node, "a", 4);
  AddIndexed(node, "b", 5);
  AddIndexed(node, "c", 4);
  AddIndexed(node, "d", 6);
  ASSERT_EQ(node.GetLinearIndex(), 4);
  EXPECT_EQ(node.GetLinearIndex(), 4);
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[0].text, "Параметер 'b' (cap b) имеет подозрительный линейный индекс.");
  EXPECT_EQ(rec.boxes[1].text, "Параметер 'd' (cap d) имеет подозрительный линейный индекс.");
  EXPECT_EQ(rec.boxes[0].caption, "Предупреждение");
  EXPECT_EQ(rec.boxes[0].icon, link::MsgIcon::Warning);
  EXPECT_EQ(node.linear_index, 4);
}

TEST(NodeLinearIndex, SetChangesOnlyIndexedParameters) {
  ParameterNode node;
  Parameter& plain = Add(node, "plain");
  Parameter& idx = AddIndexed(node, "a", 4);
  node.SetLinearIndex(12);
  EXPECT_EQ(node.linear_index, 12);
  EXPECT_EQ(idx.linear_index, 12);
  EXPECT_EQ(plain.linear_index, 0);
}

// --- element texts ------------------------------------------------------------------

TEST(ElementTexts, ImagesKindsAndCaptionsOfEveryClass) {
  platform::SettingsStore store("/proc/vesk-cannot-exist/settings.ini");
  DescriptionBranch branch("Ветвь", 1, 1, 11, 12);
  NamedNode element("Элемент");
  ServiceParameters common(&store);
  DeviceLineSettings net;
  ProgramLineSettings prg(&store);
  struct Case {
    NamedNode* node;
    int image, selected;
    const char* kind;
    const char* caption;
  } cases[] = {
      {&element, 0, 0, "Невизуальный элемент", "Элемент (Невизуальный элемент)"},
      {&branch, 11, 12, "Невизуальный элемент", "Ветвь (Невизуальный элемент)"},
      {&common, 20, 20, "Сервисные параметры программы",
       "Сервисные параметры программы (Сервисные параметры программы)"},
      {&net, 4, 4, "Сеть RS-485", "Сетевые параметры прибора (Сеть RS-485)"},
      {&prg, 19, 19, "Сеть RS-485", "Сетевые параметры программы (Сеть RS-485)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    EXPECT_EQ(c.node->Image(), c.image);
    EXPECT_EQ(c.node->SelectedImage(), c.selected);
    EXPECT_EQ(c.node->KindText(), c.kind);
    EXPECT_EQ(c.node->FullCaption(), c.caption);
    EXPECT_EQ(c.node->GroupText(), "Не относящиеся ко схеме");
    EXPECT_EQ(c.node->SpecialCode(), -999);
    std::array<int32_t, 4> record{1, 2, 3, 4};
    c.node->ZeroRecord(record);
    EXPECT_EQ(record, (std::array<int32_t, 4>{0, 0, 0, 0}));
  }
  EXPECT_EQ(branch.Kind(), NodeKind::Branch);
  EXPECT_EQ(prg.Kind(), NodeKind::ProgramLine);
}

// --- deep copy ----------------------------------------------------------------------

TEST(BranchCopy, CopiesTheDeclarationAndDeepCopiesChildren) {
  DescriptionBranch tmpl("Вход#", 12, 3, 7, 8);
  ParameterDefinition def;
  def.name = "!r.cn";
  def.type_text = "int:2";
  def.initial_value = "1 2";
  def.mark = 2;
  tmpl.definitions.push_back(def);
  tmpl.member_order = {kMemberParameter, kMemberBranch};
  auto child = std::make_unique<DescriptionBranch>("Канал", 2, 1, 1, 2);
  child->definitions.push_back(def);
  child->children.push_back(std::make_unique<DescriptionBranch>("Внук", 1, 1, 3, 4));
  child->member_order = {kMemberParameter, kMemberBranch};
  tmpl.children.push_back(std::move(child));
  Add(tmpl, "built");  // a built record is not part of the declaration
  tmpl.linear_index = 5;

  std::unique_ptr<DescriptionBranch> copy = tmpl.Clone();
  EXPECT_EQ(copy->name, "Вход#");
  EXPECT_EQ(copy->copy_count, 12);
  EXPECT_EQ(copy->copy_number, 3);
  EXPECT_EQ(copy->image, 7);
  EXPECT_EQ(copy->selected_image, 8);
  EXPECT_EQ(copy->definitions, tmpl.definitions);
  EXPECT_EQ(copy->member_order, tmpl.member_order);
  EXPECT_TRUE(copy->parameters.empty());
  EXPECT_EQ(copy->linear_index, -1);
  ASSERT_EQ(copy->children.size(), 1u);
  EXPECT_NE(copy->children[0].get(), tmpl.children[0].get());
  EXPECT_EQ(copy->children[0]->name, "Канал");
  ASSERT_EQ(copy->children[0]->children.size(), 1u);
  EXPECT_EQ(copy->children[0]->children[0]->name, "Внук");
  EXPECT_EQ(copy->children[0]->definitions, tmpl.children[0]->definitions);

  copy->children[0]->children[0]->name = "changed";
  copy->definitions[0].name = "changed";
  EXPECT_EQ(tmpl.children[0]->children[0]->name, "Внук");
  EXPECT_EQ(tmpl.definitions[0].name, "!r.cn");
}

// --- view rows ----------------------------------------------------------------------

// The tree of rows as text, one line per row, indented by depth: "B name [col1]" for a
// branch, "P caption" for a parameter, "I caption = value" for information.
std::string Describe(const ViewRows& rows, int parent = -1, int depth = 0) {
  std::string out;
  for (int i : ChildRows(rows, parent)) {
    const ViewRow& r = rows[i];
    out += std::string(depth * 2, ' ');
    switch (r.kind) {
      case RowKind::Branch:
        out += "B " + r.label + (r.short_name.empty() ? "" : " [" + r.short_name + "]");
        break;
      case RowKind::Parameter:
        out += "P " + r.label;
        break;
      case RowKind::Info:
        out += "I " + r.label + " = " + r.value;
        break;
    }
    out += "\n";
    out += Describe(rows, i, depth + 1);
  }
  return out;
}

TEST(BranchRows, SingleParameterChildShowsItsParameterInItsPlace) {
  DescriptionBranch branch("Ветвь", 1, 1, 2, 3);
  AddChild(branch, BranchWith("one", 1));
  ViewRows rows;
  const int own = branch.ShowBranchInView(rows, -1, false);
  EXPECT_EQ(own, 0);
  EXPECT_EQ(Describe(rows), "B Ветвь\n  P one caption 1\n");
  EXPECT_EQ(rows[0].image, 2);
  EXPECT_EQ(rows[0].selected_image, 3);
  EXPECT_EQ(rows[0].node, &branch);
  EXPECT_EQ(rows[1].parameter, branch.children[0]->parameters[0].get());
}

TEST(BranchRows, MembersFollowTheDeclaredOrder) {
  DescriptionBranch root("root");
  Add(root, "a", "A");
  Add(root, "b", "B");
  root.member_order.push_back(kMemberParameter);
  AddChild(root, BranchWith("two", 2));  // more than one parameter: a branch
  root.member_order.push_back(kMemberParameter);
  DescriptionBranch& nested = AddChild(root, BranchWith("nested", 1));  // has a child: a branch
  AddChild(nested, BranchWith("leaf", 1));
  AddChild(root, BranchWith("empty", 0));  // no parameter at all: a branch
  ViewRows rows;
  root.ShowBranchInView(rows, -1, false);
  EXPECT_EQ(Describe(rows),
            "B root\n"
            "  P A\n"
            "  B two\n"
            "    P two caption 1\n"
            "    P two caption 2\n"
            "  P B\n"
            "  B nested\n"
            "    P nested caption 1\n"
            "    P leaf caption 1\n"
            "  B empty\n");
}

TEST(BranchRows, MembersTheOrderDoesNotNameAreStillShown) {
  DescriptionBranch root("root");
  Add(root, "a", "A");
  Add(root, "b", "B");
  root.member_order = {kMemberParameter, kMemberParameter, kMemberParameter};  // one too many
  root.children.push_back(BranchWith("late", 2));  // not in the member order
  ViewRows rows;
  root.ShowBranchInView(rows, -1, false);
  EXPECT_EQ(Describe(rows),
            "B root\n  P A\n  P B\n  B late\n    P late caption 1\n    P late caption 2\n");
}

TEST(BranchRows, ActuatorInformationAppearsAboveCopyEight) {
  for (int copy : {8, 9}) {
    DescriptionBranch b("ЗКМТ №" + std::to_string(copy), 12, copy, 1, 1);
    ViewRows rows;
    b.ShowBranchInView(rows, -1, false);
    if (copy > 8) {
      EXPECT_EQ(Describe(rows),
                "B ЗКМТ №9\n  I Тип исполнительного механизма = 2 позиционный ИМ\n");
      EXPECT_EQ(rows[1].image, 30);
    } else {
      EXPECT_EQ(Describe(rows), "B ЗКМТ №8\n");
    }
  }
  DescriptionBranch other("Вход", 12, 10, 1, 1);
  ViewRows rows;
  other.ShowBranchInView(rows, -1, false);
  EXPECT_EQ(rows.size(), 1u);
}

TEST(BranchRows, IndexModeLabelsBranchesWithAKnownIndex) {
  DescriptionBranch root("root");
  DescriptionBranch& channel =
      AddChild(root, std::make_unique<DescriptionBranch>("Канал №2", 4, 2, 1, 1));
  AddIndexed(channel, "x", 1);
  AddIndexed(channel, "y", 1);
  channel.member_order = {kMemberParameter, kMemberParameter};
  ViewRows on, off;
  root.ShowBranchInView(on, -1, true);
  root.ShowBranchInView(off, -1, false);
  EXPECT_EQ(Describe(on), "B root\n  B Канал №2 [(1)]\n    P cap x\n    P cap y\n");
  EXPECT_EQ(Describe(off), "B root\n  B Канал №2\n    P cap x\n    P cap y\n");
  EXPECT_EQ(BranchIndexText(0, true), "(0)");
  EXPECT_EQ(BranchIndexText(-1, true), "");
  EXPECT_EQ(BranchIndexText(3, false), "");
}

TEST(BranchRows, RowsGoUnderTheGivenParent) {
  ViewRows rows(2);  // rows the caller made before
  DescriptionBranch b("b");
  Add(b, "a", "A");
  b.member_order = {kMemberParameter};
  const int own = b.ShowBranchInView(rows, 1, false);
  EXPECT_EQ(own, 2);
  EXPECT_EQ(rows[2].parent, 1);
  EXPECT_EQ(rows[3].parent, 2);
}

TEST(ElementRows, ElementShowsItsOwnItemThenTheFirstNParameters) {
  NamedNode e("Элемент");
  Add(e, "a", "A");
  Add(e, "b", "B");
  Add(e, "c", "C");
  for (int count : {-1, 0, 2, 5}) {
    ViewRows rows;
    const int own = e.ShowInView(rows, -1, count, false);
    EXPECT_EQ(own, 0);
    const int expected = count < 0 ? 3 : std::min(count, 3);
    EXPECT_EQ(static_cast<int>(ChildRows(rows, own).size()), expected) << count;
    EXPECT_EQ(e.shown_count, expected);
    EXPECT_EQ(rows[0].label, "Элемент");
  }
}

}  // namespace
}  // namespace vesk::model
