// The English catalogue of the device description against the description itself: every
// Russian caption, branch name and list item has its English, and no entry outlives what
// it translates.

#include "model/description_catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vesk::model {
namespace {

std::vector<std::vector<std::string>> CommandLines(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (!w.empty() && w[0] != ";" && w[0] != "'") lines.push_back(std::move(w));
  }
  return lines;
}

bool HasCyrillic(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0xD0 && c <= 0xD3) return true;
  return false;
}

// "Счетчик_входа#", "Верхняя_точка+1*2", "Счетчик+6" -> the name the tree shows before
// its copy number.
std::string BaseName(std::string name) {
  if (!name.empty() && name.back() == '#') name.pop_back();
  while (name.size() > 2 && (name[name.size() - 2] == '*' || name[name.size() - 2] == '+') &&
         std::isdigit(static_cast<unsigned char>(name.back())))
    name.resize(name.size() - 2);
  return name;
}

TEST(DescriptionCatalogue, TranslatesExactlyWhatTheDescriptionHolds) {
  std::set<std::string> wanted;
  for (const auto& w : CommandLines(VESK_SOURCE_DIR "/data/vesk.tree.txt")) {
    if ((w[0] == "branch" || w[0] == "root" || w[0] == "scanners") && w.size() > 1 &&
        HasCyrillic(w[1]))
      wanted.insert("branch " + BaseName(w[1]));
    if (w[0] == "parameter" && w.size() > 3 && HasCyrillic(w[3])) {
      std::string name = w[1];
      if (name[0] == '!' || name[0] == '@') name.erase(0, 1);
      wanted.insert("parameter " + name);
    }
    if (w[0] == "type")
      for (size_t i = 2; i < w.size(); ++i)
        if (HasCyrillic(w[i])) wanted.insert("item " + w[1] + " " + w[i]);
  }

  std::set<std::string> present;
  std::map<std::string, std::string> item_english;
  for (const auto& w : CommandLines(VESK_SOURCE_DIR "/data/vesk.tree.en.txt")) {
    ASSERT_GE(w.size(), 3u) << w[0];
    const std::string key = w[0] == "item" ? "item " + w[1] + " " + w[2] : w[0] + " " + w[1];
    EXPECT_FALSE(HasCyrillic(w.back())) << key << " is not English: " << w.back();
    EXPECT_TRUE(present.insert(key).second) << key << " twice";
    if (w[0] == "item") {
      // The window and --print find an item by its text alone.
      const auto [it, fresh] = item_english.emplace(w[2], w[3]);
      EXPECT_EQ(it->second, w[3]) << w[2] << " has two translations";
    }
  }

  for (const std::string& key : wanted) EXPECT_TRUE(present.count(key)) << "no English for " << key;
  for (const std::string& key : present)
    EXPECT_TRUE(wanted.count(key)) << key << " is not in the description any more";

  const DescriptionCatalogue parsed = ParseDescriptionCatalogue(
      "branch Счетчик_входа Input_counter\nparameter FiLt Filter_(ms)\n; item x y z\n"
      "item ТипВхода Сухой_контакт Dry_contact\nbroken line\n");
  EXPECT_EQ(parsed.branches.at("Счетчик входа"), "Input counter");
  EXPECT_EQ(parsed.parameters.at("FiLt"), "Filter (ms)");
  EXPECT_EQ(parsed.items.at("Сухой контакт"), "Dry contact");
  EXPECT_EQ(parsed.items.size(), 1u);
}

}  // namespace
}  // namespace vesk::model
