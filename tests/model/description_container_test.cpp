// The description container: writing and reading the compound file, inflating, the
// failures that must show "Ошибка открытия файла дерева!" and leave the file alone, and
// the vesk-pack tool itself.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>

#include "description_test_support.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "platform/paths.h"

namespace vesk::model {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RecordingPresenter;
using ::testing::StartsWith;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vesk-desc-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const char* kSample =
    "; описатель\r\n"
    "parameter Addr int Базовый_адрес_прибора\r\n"
    "branch Сетевые_параметры 1 4 4 Addr\r\n"
    "root ВЕСК 1 1 1 Сетевые_параметры\r\n";

TEST(DescriptionContainer, RoundTripKeepsTheText) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  std::string detail;
  ASSERT_EQ(WriteDescriptionContainer(path, kVeskStreamName, kSample, &detail), ContainerStatus::Ok)
      << detail;
  ContainerText text = ReadDescriptionContainer(path, kVeskStreamName);
  ASSERT_EQ(text.status, ContainerStatus::Ok) << text.detail;
  EXPECT_EQ(text.text, kSample);
}

// The stream's bytes as they are, read with the library directly.
std::string RawStream(const std::string& path, const char* stream) {
  std::string bytes;
  GsfInput* file = gsf_input_stdio_new(path.c_str(), nullptr);
  if (!file) return bytes;
  if (GsfInfile* storage = gsf_infile_msole_new(file, nullptr)) {
    if (GsfInput* input = gsf_infile_child_by_name(storage, stream)) {
      gsf_off_t size = gsf_input_size(input);
      if (const guint8* data = gsf_input_read(input, static_cast<size_t>(size), nullptr))
        bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
      g_object_unref(input);
    }
    g_object_unref(storage);
  }
  g_object_unref(file);
  return bytes;
}

TEST(DescriptionContainer, TextIsStoredAsZlibCompressedCp1251) {
  TempDir dir;
  const std::string path = dir.File("c.dat");
  ASSERT_EQ(WriteDescriptionContainer(path, kVeskStreamName, "Вход №1", nullptr),
            ContainerStatus::Ok);
  const std::string stream = RawStream(path, kVeskStreamName);
  ASSERT_GE(stream.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78);  // zlib header
  std::string raw;
  ASSERT_EQ(InflateBytes(stream, 100, raw, nullptr), ContainerStatus::Ok);
  EXPECT_EQ(raw, "\xC2\xF5\xEE\xE4 \xB9\x31");
}

TEST(DescriptionContainer, LargeTextCrossesSeveralChunks) {
  std::string text;
  for (int i = 0; text.size() < 5 * kInflateChunk; ++i)
    text += "parameter p" + std::to_string(i) + " int Параметр_" + std::to_string(i) + "\n";
  TempDir dir;
  const std::string path = dir.File("big.dat");
  ASSERT_EQ(WriteDescriptionContainer(path, kVeskStreamName, text, nullptr), ContainerStatus::Ok);
  EXPECT_EQ(ReadDescriptionContainer(path, kVeskStreamName).text, text);
}

TEST(DescriptionContainer, TextEndsAtANul) {
  TempDir dir;
  const std::string path = dir.File("nul.dat");
  ASSERT_EQ(WriteCompoundStream(path, kVeskStreamName,
                                DeflateBytes(std::string("const A 1\n\0const B 2\n", 21)), nullptr),
            ContainerStatus::Ok);
  EXPECT_EQ(ReadDescriptionContainer(path, kVeskStreamName).text, "const A 1\n");
}

TEST(DescriptionContainer, Inflate) {
  const std::string text(3 * kInflateChunk + 17, 'x');
  const std::string good = DeflateBytes(text);
  std::string out, detail;
  EXPECT_EQ(InflateBytes(good, text.size(), out, &detail), ContainerStatus::Ok);
  EXPECT_EQ(out, text);

  struct Case {
    const char* what;
    std::string bytes;
    size_t limit;
  } bad[] = {
      {"truncated", good.substr(0, good.size() / 2), 1u << 20},
      {"trailer missing", good.substr(0, good.size() - 2), 1u << 20},
      {"not zlib", "plain text, not compressed", 1u << 20},
      {"empty", "", 1u << 20},
      {"beyond the limit", good, text.size() - 1},
  };
  for (const Case& c : bad) {
    out = "left over";
    detail.clear();
    EXPECT_EQ(InflateBytes(c.bytes, c.limit, out, &detail), ContainerStatus::BadData) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
    EXPECT_FALSE(detail.empty()) << c.what;
  }
}

TEST(DescriptionContainer, InflationBombIsStopped) {
  // A few kilobytes that would inflate to 64 MiB.
  const std::string bomb = DeflateBytes(std::string(64u << 20, '\0'));
  ASSERT_LT(bomb.size(), 100000u);
  TempDir dir;
  const std::string path = dir.File("bomb.dat");
  ASSERT_EQ(WriteCompoundStream(path, kVeskStreamName, bomb, nullptr), ContainerStatus::Ok);
  ContainerText text = ReadDescriptionContainer(path, kVeskStreamName);
  EXPECT_EQ(text.status, ContainerStatus::BadData);
  EXPECT_TRUE(text.text.empty());
}

TEST(DescriptionContainer, OpenFailures) {
  TempDir dir;
  const std::string plain = dir.File("plain.dat");
  WriteAll(plain, "not a compound file at all");
  const std::string other_stream = dir.File("other.dat");
  ASSERT_EQ(WriteDescriptionContainer(other_stream, "other", "x y", nullptr), ContainerStatus::Ok);
  const std::string empty_file = dir.File("empty.dat");
  WriteAll(empty_file, "");
  for (const std::string& path :
       {dir.File("missing.dat"), plain, other_stream, empty_file, dir.File("")}) {
    ContainerText text = ReadDescriptionContainer(path, kVeskStreamName);
    EXPECT_EQ(text.status, ContainerStatus::OpenFailed) << path;
    EXPECT_FALSE(text.detail.empty()) << path;
  }
  EXPECT_FALSE(fs::exists(dir.File("missing.dat")));
}

struct Loaded {
  RecordingPresenter presenter;
  DescriptionTree tree;
  DescriptionStatus status;
  Loaded(const std::string& path, int32_t kind) { status = LoadDescriptionFrom(path, kind, tree); }
};

TEST(DescriptionContainer, MissingContainerIsReportedAndNotCreated) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  Loaded l(path, kVeskDeviceKind);
  EXPECT_EQ(l.status, DescriptionStatus::ContainerError);
  ASSERT_EQ(l.presenter.messages.size(), 1u);
  EXPECT_THAT(l.presenter.messages[0].text, StartsWith("Ошибка открытия файла дерева!"));
  EXPECT_THAT(l.presenter.messages[0].text, HasSubstr(path));
  EXPECT_THAT(l.presenter.messages[0].text, HasSubstr("No such file or directory"));
  EXPECT_EQ(l.presenter.messages[0].icon, link::MsgIcon::Error);
  EXPECT_EQ(l.tree.root, nullptr);
  EXPECT_EQ(l.tree.pollers, nullptr);
  EXPECT_FALSE(fs::exists(path));
}

TEST(DescriptionContainer, NonCompoundFileIsReportedAndLeftUntouched) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  const std::string bytes = "root R 1 0 0 p\n";  // a description, but not in a container
  WriteAll(path, bytes);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  Loaded l(path, kVeskDeviceKind);
  EXPECT_EQ(l.status, DescriptionStatus::ContainerError);
  ASSERT_EQ(l.presenter.messages.size(), 1u);
  EXPECT_THAT(l.presenter.messages[0].text, StartsWith("Ошибка открытия файла дерева!"));
  EXPECT_EQ(l.tree.root, nullptr);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(ReadAll(path), bytes);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST(DescriptionContainer, CorruptStreamIsReported) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  std::string compressed = DeflateBytes(kSample);
  compressed[compressed.size() / 2] ^= 0x55;
  ASSERT_EQ(WriteCompoundStream(path, kVeskStreamName, compressed, nullptr), ContainerStatus::Ok);
  Loaded l(path, kVeskDeviceKind);
  EXPECT_EQ(l.status, DescriptionStatus::ContainerError);
  ASSERT_EQ(l.presenter.messages.size(), 1u);
  EXPECT_THAT(l.presenter.messages[0].text, StartsWith("Ошибка открытия файла дерева!"));
  EXPECT_EQ(l.tree.root, nullptr);
}

TEST(DescriptionContainer, EmptyStreamFailsToBuild) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  ASSERT_EQ(WriteDescriptionContainer(path, kVeskStreamName, "", nullptr), ContainerStatus::Ok);
  Loaded l(path, kVeskDeviceKind);
  EXPECT_EQ(l.status, DescriptionStatus::TextError);
  ASSERT_EQ(l.presenter.messages.size(), 2u);
  EXPECT_EQ(l.presenter.messages[0].text, "Не удалось создать дерево параметров");
  EXPECT_EQ(l.presenter.messages[1].text, "Не опредена корневая ветвь");
}

TEST(DescriptionContainer, OtherDeviceKindReadsNothing) {
  TempDir dir;
  for (int32_t kind : {0, 19, -1}) {
    Loaded l(dir.File("missing.dat"), kind);
    EXPECT_EQ(l.status, DescriptionStatus::NoDescription);
    EXPECT_TRUE(l.presenter.messages.empty());
    EXPECT_EQ(l.tree.root, nullptr);
  }
  EXPECT_EQ(StreamNameForKind(3), "vesk.tree");
  EXPECT_EQ(StreamNameForKind(19), "");
}

TEST(DescriptionContainer, LoadBuildsTheTree) {
  TempDir dir;
  const std::string path = dir.File("vesk.tree.dat");
  ASSERT_EQ(WriteDescriptionContainer(path, kVeskStreamName, kSample, nullptr),
            ContainerStatus::Ok);
  Loaded l(path, kVeskDeviceKind);
  EXPECT_EQ(l.status, DescriptionStatus::Built);
  EXPECT_TRUE(l.presenter.messages.empty());
  ASSERT_NE(l.tree.root, nullptr);
  EXPECT_EQ(l.tree.root->name, "ВЕСК");
  ASSERT_NE(l.tree.network, nullptr);
  EXPECT_EQ(l.tree.network->name, "Сетевые параметры");
}

// Restores one environment variable when it goes.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) {
      had_ = true;
      old_ = v;
    }
  }
  ~EnvGuard() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(DescriptionContainer, PathFromEnvironmentOrProgramFolder) {
  EnvGuard guard(kContainerEnvVar);
  setenv(kContainerEnvVar, "/somewhere/else.dat", 1);
  EXPECT_EQ(ContainerPath(), "/somewhere/else.dat");
  setenv(kContainerEnvVar, "", 1);
  EXPECT_EQ(ContainerPath(), platform::ProgramFolder() + "vesk.tree.dat");
  unsetenv(kContainerEnvVar);
  EXPECT_EQ(ContainerPath(), platform::ProgramFolder() + "vesk.tree.dat");
}

// ---------------------------------------------------------------- vesk-pack

struct RunResult {
  int exit_code = -1;
  std::string out;
};

RunResult RunTool(const std::string& command) {
  RunResult r;
  FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class VeskPack : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = std::string(VESK_BIN_DIR) + "/vesk-pack";
    if (access(tool_.c_str(), X_OK) != 0) GTEST_SKIP() << "vesk-pack is not built";
  }
  std::string tool_;
  TempDir dir_;
};

TEST_F(VeskPack, PacksAndExtracts) {
  const std::string in = dir_.File("in.txt"), out = dir_.File("out.dat");
  WriteAll(in, std::string("\xEF\xBB\xBF") + kSample);  // an editor's byte-order mark
  ASSERT_EQ(RunTool("'" + tool_ + "' -o '" + out + "' '" + in + "'").exit_code, 0);
  EXPECT_EQ(ReadDescriptionContainer(out, kVeskStreamName).text, kSample);
  RunResult extracted = RunTool("'" + tool_ + "' --extract '" + out + "'");
  EXPECT_EQ(extracted.exit_code, 0);
  EXPECT_EQ(extracted.out, kSample);
}

TEST_F(VeskPack, RefusesWhatCp1251CannotHold) {
  const std::string in = dir_.File("in.txt"), out = dir_.File("out.dat");
  WriteAll(in, "const A 1\nparameter p int Галочка_✓\n");
  EXPECT_EQ(RunTool("'" + tool_ + "' -o '" + out + "' '" + in + "'").exit_code, 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(VeskPack, Failures) {
  const std::string in = dir_.File("in.txt");
  WriteAll(in, kSample);
  EXPECT_EQ(RunTool("'" + tool_ + "'").exit_code, 2);
  EXPECT_EQ(RunTool("'" + tool_ + "' -o").exit_code, 2);
  EXPECT_EQ(
      RunTool("'" + tool_ + "' -o '" + dir_.File("x.dat") + "' '" + dir_.File("none.txt") + "'")
          .exit_code,
      1);
  EXPECT_EQ(
      RunTool("'" + tool_ + "' -o '" + dir_.File("no/such/dir.dat") + "' '" + in + "'").exit_code,
      1);
  EXPECT_EQ(RunTool("'" + tool_ + "' --extract '" + in + "'").exit_code, 1);
}

}  // namespace
}  // namespace vesk::model
