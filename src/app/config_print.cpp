#include "app/config_print.h"

#include "link/presenter.h"
#include "model/config_file.h"
#include "model/description_catalogue.h"
#include "model/description_loader.h"
#include "platform/language.h"

namespace vesk::app {
namespace {

class PrintTarget : public model::ConfigurationTarget {
 public:
  model::DescriptionBranch* ReloadDescription(int32_t device_kind) override {
    model::LoadDescription(device_kind, tree);
    return tree.root.get();
  }
  model::DescriptionTree tree;
};

std::string AttributesField(const link::Parameter& p) {
  if (p.has_attributes == 0) return "-";
  return p.EditableText() + "," + p.OwnerText();
}

void ListBranch(std::string& out, const model::DescriptionBranch& branch, const std::string& path) {
  for (const auto& p : branch.parameters) {
    out += EscapeField(path);
    out += '\t';
    out += EscapeField(p->short_name);
    out += '\t';
    out += p->indexed ? std::to_string(p->linear_index) : std::string("-");
    out += '\t';
    out += EscapeField(model::ShownValue(*p));
    out += '\t';
    out += AttributesField(*p);
    out += '\t';
    out += EscapeField(p->note);
    out += '\n';
  }
  for (const auto& child : branch.children) {
    if (!child) continue;
    const std::string name = model::ShownBranchName(child->name);
    ListBranch(out, *child, path.empty() ? name : path + "/" + name);
  }
}

}  // namespace

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string ConfigurationListing(const model::DescriptionBranch& root) {
  std::string out = platform::Tr(kPrintHeader);
  ListBranch(out, root, "");
  return out;
}

int PrintConfiguration(const std::string& path, std::FILE* out) {
  PrintTarget target;
  const model::LoadOutcome outcome = model::LoadConfiguration(path, target);
  if (outcome != model::LoadOutcome::Loaded) return 1;
  if (!target.tree.root) {
    link::presenter().ShowMessage(platform::Tr(model::kNoTreeText),
                                  platform::Tr(model::kNoTreeCaption), link::MsgIcon::Error,
                                  link::MsgButtons::Ok);
    return 1;
  }
  const std::string text = ConfigurationListing(*target.tree.root);
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
    return 1;
  return 0;
}

}  // namespace vesk::app
