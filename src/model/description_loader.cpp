#include "model/description_loader.h"

#include "link/presenter.h"
#include "model/description_container.h"
#include "model/description_parser.h"
#include "platform/language.h"

namespace vesk::model {

void DescriptionTree::Clear() {
  network = nullptr;
  outputs.fill(nullptr);
  root.reset();
  pollers.reset();
  definitions.clear();
}

DescriptionStatus BuildDescription(std::string_view utf8_text, DescriptionTree& tree) {
  tree.Clear();
  DescriptionStatus status = DescriptionStatus::Built;
  DescriptionInterpreter interpreter;
  if (utf8_text.empty() || !interpreter.InterpretText(utf8_text)) {
    link::presenter().ShowMessage(platform::Tr("Не удалось создать дерево параметров"),
                                  platform::Tr("Ошибка"), link::MsgIcon::Error);
    status = DescriptionStatus::TextError;
  }
  DescriptionInterpreter::Trees trees = interpreter.TakeTrees();
  tree.root = std::move(trees.root);
  tree.pollers = std::move(trees.pollers);
  tree.network = trees.network;
  tree.definitions = std::move(trees.definitions);
  if (tree.root) {
    BuildBranch(*tree.root, false, 0, tree.outputs);
  } else {
    link::presenter().ShowMessage(platform::Tr("Не опредена корневая ветвь"),
                                  platform::Tr("Ошибка"), link::MsgIcon::Error);
    if (status == DescriptionStatus::Built) status = DescriptionStatus::NoRoot;
  }
  if (tree.pollers) {
    BuildBranch(*tree.pollers, false, 0, tree.outputs);
    PrepareForPolling(*tree.pollers);
  }
  return status;
}

DescriptionStatus LoadDescriptionFrom(const std::string& path, int32_t device_kind,
                                      DescriptionTree& tree) {
  tree.Clear();
  std::string_view stream = StreamNameForKind(device_kind);
  if (stream.empty()) return DescriptionStatus::NoDescription;
  ContainerText text =
      path.empty() ? ContainerText{ContainerStatus::OpenFailed, {}, "program folder unknown"}
                   : ReadDescriptionContainer(path, stream);
  if (text.status != ContainerStatus::Ok) {
    // The reason follows on a line of its own, naming the file once (the library's own
    // texts often name it already).
    std::string message = platform::Tr("Ошибка открытия файла дерева!\n");
    if (text.detail.find(path) == std::string::npos || path.empty())
      message += path + (text.detail.empty() ? "" : ": ");
    message += text.detail;
    link::presenter().ShowMessage(message, platform::Tr(kProgramTitle), link::MsgIcon::Error);
    return DescriptionStatus::ContainerError;
  }
  return BuildDescription(text.text, tree);
}

DescriptionStatus LoadDescription(int32_t device_kind, DescriptionTree& tree) {
  return LoadDescriptionFrom(ContainerPath(), device_kind, tree);
}

}  // namespace vesk::model
