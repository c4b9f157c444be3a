#include "app/csv_text.h"

#include <gtest/gtest.h>

#include <regex>

namespace vesk::app {

TEST(CsvText, FieldsAreQuotedOnlyWhenTheyMustBe) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"115200", "115200"},
      {"2.500", "2.500"},
      {"По спаду", "По спаду"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {" padded", "\" padded\""},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvField(c.in), c.out) << c.in;
  EXPECT_EQ(CsvRow({"time", "FiLt:3", "x,y", ""}), "time,FiLt:3,\"x,y\",");
}

TEST(CsvText, TimeIsIso8601WithMilliseconds) {
  const std::string t = IsoTimeMs(std::chrono::system_clock::now());
  EXPECT_TRUE(
      std::regex_match(t, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
      << t;
}

}  // namespace vesk::app
