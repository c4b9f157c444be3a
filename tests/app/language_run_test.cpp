// The program's language as a person and another program see it: what a run prints in
// English and in Russian, how the language is chosen at start, and that the data it
// writes do not depend on it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/config_print.h"
#include "app/usage_text.h"
#include "exchange/task_codes.h"
#include "platform/language.h"
#include "platform/settings_store.h"
#include "process_support.h"

namespace vesk::app::test {
namespace {

// Cyrillic in UTF-8: U+0400 ... U+04FF lead with 0xD0 ... 0xD3.
bool HasCyrillic(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if (lead >= 0xD0 && lead <= 0xD3 && (next & 0xC0) == 0x80) return true;
  }
  return false;
}

// The parameter list page is cp1251: Cyrillic letters are 0xA8, 0xB8 and 0xC0 ... 0xFF.
bool HasCp1251Cyrillic(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (c >= 0xC0 || c == 0xA8 || c == 0xB8) return true;
  return false;
}

std::string FirstCyrillicLine(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    if (HasCyrillic(line)) return line;
    start = end + 1;
  }
  return {};
}

std::string PrintedHere(const std::string& path) {
  std::FILE* out = std::tmpfile();
  PrintConfiguration(path, out);
  std::string text(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  return text;
}

// One device read into a file, shared by the cases (the test's own process speaks
// Russian: it never chooses a language).
class LanguageRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    Simulator sim(*dir_, {"--bps", "115200"});
    const RunResult r =
        RunConfigurator(*dir_, {"--port=" + sim.pty(), "/bps:115200/read/close", "--", "dev.vesk"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
};
TempDir* LanguageRun::dir_ = nullptr;

struct Start {
  const char* name;
  std::vector<std::string> environment;
  std::vector<std::string> keys;
  bool english;
};

TEST_F(LanguageRun, HelpFailedReadAndPrintSpeakTheChosenLanguage) {
  const Start starts[] = {
      {"LANG English", {"LANG=en_GB.UTF-8"}, {}, true},
      {"LC_ALL English over LANG Russian", {"LC_ALL=en_US.UTF-8", "LANG=ru_RU.UTF-8"}, {}, true},
      {"--lang=en in the C locale", {}, {"--lang=en"}, true},
      {"/lang:en", {}, {"/lang:en"}, true},
      {"--lang=en under LC_ALL=C", {"LC_ALL=C"}, {"--lang=en"}, true},
      {"C locale", {}, {}, false},
      {"--lang=ru over an English locale", {"LANG=en_GB.UTF-8"}, {"--lang=ru"}, false},
  };
  const std::string dev = dir_->path() + "/dev.vesk";
  for (const Start& s : starts) {
    SCOPED_TRACE(s.name);
    auto run = [&](std::vector<std::string> args) {
      args.insert(args.begin(), s.keys.begin(), s.keys.end());
      return RunConfigurator(*dir_, args, std::chrono::seconds(30), s.environment);
    };
    const RunResult help = run({"--help"});
    const RunResult failed = run(
        {"--verbose", "--no-gui", "--port=/dev/vesk-no-such-port", "/read/close", "--", "x.vesk"});
    const RunResult print = run({"--print=" + dev});
    const RunResult page = run({"--export-html=list.html"});
    ASSERT_EQ(page.exit_code, 0) << page.err;
    ASSERT_EQ(help.exit_code, 0);
    EXPECT_EQ(failed.exit_code, 201);
    ASSERT_EQ(print.exit_code, 0);
    if (s.english) {
      EXPECT_EQ(FirstCyrillicLine(help.out), "");
      EXPECT_FALSE(failed.err.empty());
      EXPECT_EQ(FirstCyrillicLine(failed.err), "");
      EXPECT_EQ(FirstCyrillicLine(print.out), "");
      EXPECT_NE(print.out, PrintedHere(dev));
      EXPECT_FALSE(HasCp1251Cyrillic(ReadFile(dir_->path() + "/list.html")));
    } else {
      EXPECT_EQ(help.out, UsageText());
      EXPECT_EQ(failed.err.find(exchange::TaskCaption(exchange::kTaskReadAll)), 0u) << failed.err;
      EXPECT_EQ(print.out, PrintedHere(dev));
      EXPECT_TRUE(HasCp1251Cyrillic(ReadFile(dir_->path() + "/list.html")));
    }
  }
}

TEST_F(LanguageRun, KeptChoiceComesAfterTheKeyAndBeforeTheLocale) {
  TempDir dir;
  platform::SettingsStore store(dir.path() + "/config/LORN/settings.ini");
  ASSERT_EQ(store.WriteText(platform::kSettingsKey, platform::kLanguageValue, "en"), 0);
  const RunResult kept = RunConfigurator(dir, {"--help"});
  EXPECT_EQ(FirstCyrillicLine(kept.out), "");
  const RunResult overridden = RunConfigurator(dir, {"--lang=ru", "--help"});
  EXPECT_EQ(overridden.out, UsageText());

  const RunResult bad = RunConfigurator(dir, {"--lang=de", "--help"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("--lang=de"), std::string::npos) << bad.err;
}

// The ".vesk" file and the JSON are data: the same bytes whatever language made them.
TEST_F(LanguageRun, FilesAreTheSameInBothLanguages) {
  TempDir dir;
  Simulator sim(dir, {"--bps", "115200"});
  const std::vector<std::string> english{"LANG=en_GB.UTF-8"};
  const std::vector<std::string> read{"--port=" + sim.pty(), "/bps:115200/read/close", "--"};
  auto with = [](std::vector<std::string> args, const std::string& last) {
    args.push_back(last);
    return args;
  };
  ASSERT_EQ(
      RunConfigurator(dir, with(read, "en.vesk"), std::chrono::seconds(30), english).exit_code, 0);
  ASSERT_EQ(RunConfigurator(dir, with(read, "ru.vesk")).exit_code, 0);
  EXPECT_EQ(ReadFile(dir.path() + "/en.vesk"), ReadFile(dir.path() + "/ru.vesk"));

  // Each language exports the other's file as JSON, and builds the file back from it.
  const RunResult json_en =
      RunConfigurator(dir, {"--export-json=ru.vesk"}, std::chrono::seconds(30), english);
  const RunResult json_ru = RunConfigurator(dir, {"--export-json=en.vesk"});
  ASSERT_EQ(json_en.exit_code, 0);
  EXPECT_EQ(json_en.out, json_ru.out);
  WriteFile(dir.path() + "/dev.json", json_en.out);
  ASSERT_EQ(RunConfigurator(dir, {"--import-json=dev.json", "--output=back_en.vesk"},
                            std::chrono::seconds(30), english)
                .exit_code,
            0);
  ASSERT_EQ(RunConfigurator(dir, {"--import-json=dev.json", "--output=back_ru.vesk"}).exit_code, 0);
  EXPECT_EQ(ReadFile(dir.path() + "/back_en.vesk"), ReadFile(dir.path() + "/back_ru.vesk"));
}

}  // namespace
}  // namespace vesk::app::test
