#include "model/description_catalogue.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "model/config_file_io.h"
#include "model/description_container.h"
#include "model/description_parser.h"
#include "platform/language.h"

namespace vesk::model {
namespace {

constexpr size_t kMaxCatalogueBytes = 1 << 20;
constexpr std::string_view kCopyMark = " №";
constexpr std::string_view kEnglishCopyMark = " #";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// The catalogue lies beside the description container the program uses, so a test or a
// newer description (VESK_TREE_DAT) brings its own.
std::string CataloguePath() {
  const std::string container = ContainerPath();
  const size_t slash = container.rfind('/');
  return (slash == std::string::npos ? std::string() : container.substr(0, slash + 1)) +
         kDescriptionCatalogueName;
}

const DescriptionCatalogue& Catalogue() {
  static DescriptionCatalogue catalogue;
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    std::vector<uint8_t> bytes;
    std::string error;
    if (ReadFileBytes(CataloguePath(), kMaxCatalogueBytes, bytes, error))
      catalogue = ParseDescriptionCatalogue(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  });
  return catalogue;
}

const std::string* Find(const std::map<std::string, std::string, std::less<>>& map,
                        std::string_view key) {
  const auto it = map.find(key);
  return it == map.end() ? nullptr : &it->second;
}

// "Вход №3" -> "Input #3"; nullopt when the base name has no entry.
std::optional<std::string> CatalogueBranch(std::string_view name) {
  const size_t mark = name.rfind(kCopyMark);
  const std::string_view base = mark == std::string_view::npos ? name : name.substr(0, mark);
  const std::string* english = Find(Catalogue().branches, base);
  if (english == nullptr) return std::nullopt;
  if (mark == std::string_view::npos) return *english;
  return *english + std::string(kEnglishCopyMark) +
         std::string(name.substr(mark + kCopyMark.size()));
}

}  // namespace

DescriptionCatalogue ParseDescriptionCatalogue(std::string_view text) {
  DescriptionCatalogue out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> w = Words(text.substr(start, end - start));
    start = end + 1;
    if (w.size() == 3 && w[0] == "branch")
      out.branches[UnderscoresToBlanks(w[1])] = UnderscoresToBlanks(w[2]);
    else if (w.size() == 3 && w[0] == "parameter")
      out.parameters[std::string(w[1])] = UnderscoresToBlanks(w[2]);
    else if (w.size() == 4 && w[0] == "item")
      out.items[UnderscoresToBlanks(w[2])] = UnderscoresToBlanks(w[3]);
  }
  return out;
}

std::string ShownBranchName(std::string_view name) {
  if (platform::CurrentLanguage() == platform::Language::Russian) return std::string(name);
  if (auto english = CatalogueBranch(name)) return *english;
  return platform::Tr(std::string(name));
}

std::string ShownCaption(const link::Parameter& parameter) {
  if (platform::CurrentLanguage() == platform::Language::Russian) return parameter.caption;
  // A branch that holds one parameter gives it its own name as the caption.
  if (auto english = CatalogueBranch(parameter.caption)) return *english;
  if (const std::string* english = Find(Catalogue().parameters, parameter.short_name))
    return *english;
  return platform::Tr(parameter.caption);
}

std::string ShownValue(const link::ValueCodec& codec, const std::string& value) {
  if (platform::CurrentLanguage() == platform::Language::Russian) return value;
  for (const std::string& item : codec.ChoiceItems()) {
    if (item != value) continue;
    if (const std::string* english = Find(Catalogue().items, item)) return *english;
    break;
  }
  return platform::Tr(value);
}

std::string ShownItem(const std::string& item) {
  if (platform::CurrentLanguage() == platform::Language::Russian) return item;
  const std::string* english = Find(Catalogue().items, item);
  return english != nullptr ? *english : platform::Tr(item);
}

}  // namespace vesk::model
