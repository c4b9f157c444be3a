// The settings store: statuses of reads and writes, file creation, unreadable files,
// texts, concurrent writers, and the user's folders.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/settings_store.h"

namespace vesk::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vesk-settings-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/LORN/settings.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string dir_;
  std::string path_;
};

TEST_F(SettingsStoreTest, ReadStatusesTellMissingFileMissingValueAndFound) {
  SettingsStore store(path_);
  int status = -1;
  EXPECT_EQ(store.ReadDword(kSettingsKey, "address", 16, &status), 16u);
  EXPECT_EQ(status, kSettingsKeyMissing);
  EXPECT_EQ(last_settings_status.load(), kSettingsKeyMissing);

  ASSERT_EQ(store.WriteDword(kSettingsKey, "baud_rate", 19200), kSettingsOk);
  EXPECT_EQ(last_settings_status.load(), kSettingsOk);
  EXPECT_EQ(store.ReadDword(kSettingsKey, "address", 16, &status), 16u);
  EXPECT_EQ(status, kSettingsValueMissing);
  EXPECT_EQ(store.ReadDword(kDevicesKey, "address", 7, &status), 7u);
  EXPECT_EQ(status, kSettingsKeyMissing);  // another group
  EXPECT_EQ(store.ReadDword(kSettingsKey, "baud_rate", 16, &status), 19200u);
  EXPECT_EQ(status, kSettingsOk);
  EXPECT_EQ(last_settings_status.load(), kSettingsOk);
}

TEST_F(SettingsStoreTest, FileHoldsOneGroupPerKeyWithIntegersAndStrings) {
  SettingsStore store(path_);
  ASSERT_EQ(store.WriteDword(kSettingsKey, "address", 4294967295u), kSettingsOk);
  ASSERT_EQ(store.WriteText(kDevicesKey, "devices", "ВЕСК"), kSettingsOk);
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find("[Software\\LORN\\VESK]\naddress=4294967295\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Software\\LORN\\Devices\\VESK]\ndevices=ВЕСК\n"), std::string::npos)
      << text;
  EXPECT_EQ(store.ReadDword(kSettingsKey, "address", 0), 4294967295u);
}

TEST_F(SettingsStoreTest, StoredTextsThatAreNoNumberGiveTheDefault) {
  SettingsStore store(path_);
  for (const char* bad : {"abc", "-1", "4294967296", "12x", "", " 5"}) {
    ASSERT_EQ(store.WriteText(kSettingsKey, "v", bad), kSettingsOk);
    int status = -1;
    EXPECT_EQ(store.ReadDword(kSettingsKey, "v", 3, &status), 3u) << bad;
    EXPECT_EQ(status, kSettingsValueMissing) << bad;
  }
}

TEST_F(SettingsStoreTest, TextsSurviveTheirSpecialCharacters) {
  SettingsStore store(path_);
  for (const char* text : {"\"C:\\Program Files\\vesk.exe\"", "a=b", "line\nbreak", "  blanks  ",
                           "Сетевые параметры", "#not a comment", ""}) {
    ASSERT_EQ(store.WriteText(kDevicesKey, "application", text), kSettingsOk) << text;
    EXPECT_EQ(store.ReadText(kDevicesKey, "application"), text);
  }
  EXPECT_EQ(store.ReadText(kDevicesKey, "missing"), std::nullopt);
  EXPECT_EQ(store.ReadText("no such group", "application"), std::nullopt);
}

TEST_F(SettingsStoreTest, NamesTheFileCannotHoldAreRefused) {
  SettingsStore store(path_);
  EXPECT_EQ(store.WriteText(kSettingsKey, "a=b", "1"), kSettingsValueMissing);
  EXPECT_EQ(store.WriteText(kSettingsKey, "", "1"), kSettingsValueMissing);
  EXPECT_EQ(store.WriteText("[bad]", "a", "1"), kSettingsValueMissing);
  EXPECT_EQ(store.WriteText(kSettingsKey, "a", std::string("x\0y", 3)), kSettingsValueMissing);
  EXPECT_EQ(store.WriteText(kSettingsKey, "a", "\xff\xfe"), kSettingsValueMissing);
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsReportedAndNotReplaced) {
  fs::create_directories(dir_ + "/LORN");
  const std::string garbage = "this is [not a key file\n\x01\x02";
  std::ofstream(path_, std::ios::binary) << garbage;
  SettingsStore store(path_);
  int status = -1;
  EXPECT_EQ(store.ReadDword(kSettingsKey, "address", 16, &status), 16u);
  EXPECT_EQ(status, kSettingsKeyMissing);
  EXPECT_EQ(store.WriteDword(kSettingsKey, "address", 20), kSettingsKeyMissing);
  EXPECT_EQ(last_settings_status.load(), kSettingsKeyMissing);
  EXPECT_FALSE(store.LastError().empty());
  EXPECT_EQ(ReadFile(path_), garbage);
}

TEST_F(SettingsStoreTest, AFolderThatCannotBeMadeFailsTheWriteWithItsReason) {
  std::ofstream(dir_ + "/LORN") << "a file where the folder should be";
  SettingsStore store(path_);
  EXPECT_EQ(store.WriteDword(kSettingsKey, "address", 20), kSettingsValueMissing);
  EXPECT_EQ(last_settings_status.load(), kSettingsValueMissing);
  EXPECT_NE(store.LastError().find("Not a directory"), std::string::npos) << store.LastError();
}

TEST_F(SettingsStoreTest, RemoveValueTakesOneValueAway) {
  SettingsStore store(path_);
  EXPECT_EQ(store.RemoveValue(kSettingsKey, "port_path"), kSettingsOk);  // no file yet
  ASSERT_EQ(store.WriteText(kSettingsKey, "port_path", "/dev/ttyUSB0"), kSettingsOk);
  ASSERT_EQ(store.WriteDword(kSettingsKey, "port_number", 2), kSettingsOk);
  EXPECT_EQ(store.RemoveValue(kSettingsKey, "port_path"), kSettingsOk);
  EXPECT_EQ(store.ReadText(kSettingsKey, "port_path"), std::nullopt);
  EXPECT_EQ(store.ReadDword(kSettingsKey, "port_number", 1), 2u);
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNothing) {
  SettingsStore a(path_), b(path_);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      SettingsStore& store = t % 2 ? a : b;
      for (int i = 0; i < 10; ++i)
        store.WriteDword(kSettingsKey, "v" + std::to_string(t) + "_" + std::to_string(i),
                         static_cast<uint32_t>(t * 100 + i));
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(a.ReadDword(kSettingsKey, "v" + std::to_string(t) + "_" + std::to_string(i), 0),
                static_cast<uint32_t>(t * 100 + i));
}

TEST_F(SettingsStoreTest, TheDefaultFileFollowsXdgConfigHome) {
  ScopedEnv xdg("XDG_CONFIG_HOME", dir_.c_str());
  SettingsStore store;
  EXPECT_EQ(store.FilePath(), path_);
  ASSERT_EQ(store.WriteDword(kSettingsKey, "address", 33), kSettingsOk);
  EXPECT_TRUE(fs::exists(path_));
  EXPECT_EQ(SettingsStore::Default().ReadDword(kSettingsKey, "address", 0), 33u);
}

// --- paths --------------------------------------------------------------------------

TEST(Paths, UserFoldersFollowXdgAndFallBackToHome) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/x/conf/");
    ScopedEnv cache("XDG_CACHE_HOME", "/x/cache");
    EXPECT_EQ(UserConfigDir(), "/x/conf");
    EXPECT_EQ(UserCacheDir(), "/x/cache");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv cache("XDG_CACHE_HOME", nullptr);
    ScopedEnv home("HOME", "/home/user");
    EXPECT_EQ(UserConfigDir(), "/home/user/.config");
    EXPECT_EQ(UserCacheDir(), "/home/user/.cache");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(UserConfigDir(), "");
    SettingsStore store;
    EXPECT_EQ(store.WriteDword(kSettingsKey, "address", 1), kSettingsValueMissing);
    int status = -1;
    EXPECT_EQ(store.ReadDword(kSettingsKey, "address", 5, &status), 5u);
    EXPECT_EQ(status, kSettingsKeyMissing);
  }
}

TEST(Paths, ProgramFolderIsTheFolderOfThisExecutable) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(fs::path(folder).lexically_normal(),
            fs::canonical("/proc/self/exe").parent_path().lexically_normal() / "");
}

// A build folder keeps the program's files beside it; an install keeps them under
// PREFIX/share; the first that exists wins, and a missing file is named beside it.
TEST_F(SettingsStoreTest, ProgramFilesBesideTheProgramOrInstalled) {
  const std::string bin = dir_ + "/bin/";
  ASSERT_TRUE(MakeDirectories(dir_ + "/share/vesk"));
  ASSERT_TRUE(MakeDirectories(bin));
  EXPECT_EQ(ProgramFile(bin, "x.dat", "share/vesk/x.dat"), bin + "x.dat");
  std::ofstream(dir_ + "/share/vesk/x.dat") << "x";
  EXPECT_EQ(ProgramFile(bin, "x.dat", "share/vesk/x.dat"), dir_ + "/share/vesk/x.dat");
  std::ofstream(bin + "x.dat") << "x";
  EXPECT_EQ(ProgramFile(bin, "x.dat", "share/vesk/x.dat"), bin + "x.dat");
}

TEST_F(SettingsStoreTest, MakeDirectoriesCreatesEveryMissingLevel) {
  const std::string deep = dir_ + "/a/b/c/";
  EXPECT_TRUE(MakeDirectories(deep));
  EXPECT_TRUE(fs::is_directory(dir_ + "/a/b/c"));
  EXPECT_TRUE(MakeDirectories(deep));  // already there
  std::ofstream(dir_ + "/file") << "x";
  EXPECT_FALSE(MakeDirectories(dir_ + "/file/sub"));
  EXPECT_FALSE(MakeDirectories(""));
}

}  // namespace
}  // namespace vesk::platform
