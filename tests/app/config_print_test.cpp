#include "app/config_print.h"

#include <gtest/gtest.h>

#include <memory>

namespace vesk::app {
namespace {

TEST(ConfigPrint, EscapeFieldKeepsOneLine) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"Сухой контакт", "Сухой контакт"},
      {"a\tb", "a\\tb"},
      {"a\nb\r", "a\\nb\\r"},
      {"c:\\x", "c:\\\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeField(c.in), c.out) << c.in;
}

TEST(ConfigPrint, ListingInTreeOrder) {
  model::DescriptionBranch root("ВЕСК");
  auto add = [](model::DescriptionBranch& b, const char* name, const char* value, int index,
                uint8_t attributes) -> link::Parameter& {
    auto p = std::make_unique<link::Parameter>(name);
    p->value = value;
    p->has_attributes = attributes;
    if (index >= 0) {
      p->indexed = true;
      p->linear_index = index;
    }
    return b.AddParameter(std::move(p));
  };
  root.children.push_back(std::make_unique<model::DescriptionBranch>("Входы"));
  model::DescriptionBranch& inputs = *root.children.back();
  inputs.children.push_back(std::make_unique<model::DescriptionBranch>("Вход №1"));
  add(*inputs.children.back(), "FiLt", "10", 0, 1).note = "Нет ответа";
  add(root, "dev", "VESK", -1, 0);
  link::Parameter& owned = add(*inputs.children.back(), "inv", "Нет", 0, 1);
  owned.editable = false;
  owned.owned_by_firm = true;

  EXPECT_EQ(ConfigurationListing(root),
            std::string(kPrintHeader) +
                "\tdev\t-\tVESK\t-\t\n"
                "Входы/Вход №1\tFiLt\t0\t10\tРедактируемый,Пользователь\tНет ответа\n"
                "Входы/Вход №1\tinv\t0\tНет\tНе редактируемый,Фирма\t\n");
}

TEST(ConfigPrint, MissingFileFailsWithoutOutput) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(PrintConfiguration("/nonexistent/dir/file.vesk", out), 1);
  EXPECT_EQ(std::ftell(out), 0);
  std::fclose(out);
}

}  // namespace
}  // namespace vesk::app
