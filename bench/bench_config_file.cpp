// Save plus load of a full configuration: the device's tree with a value in every
// parameter, written to a file and read back into a freshly built tree.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/presenter.h"
#include "model/config_file.h"
#include "model/description_container.h"
#include "model/description_loader.h"

namespace {

using namespace vesk::model;
namespace fs = std::filesystem;

// The device's description: the container beside the programs, or the repository text.
bool LoadVesk(DescriptionTree& tree) {
  const char* env = std::getenv(kContainerEnvVar);
  const std::string container = env && *env ? env : VESK_BIN_DIR "/vesk.tree.dat";
  if (fs::exists(container))
    return LoadDescriptionFrom(container, kVeskDeviceKind, tree) == DescriptionStatus::Built;
#ifdef VESK_SOURCE_DIR
  std::ifstream in(VESK_SOURCE_DIR "/data/vesk.tree.txt", std::ios::binary);
#else
  std::ifstream in(fs::path(__FILE__).parent_path().parent_path() / "data" / "vesk.tree.txt",
                   std::ios::binary);
#endif
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  return !text.empty() && BuildDescription(text, tree) == DescriptionStatus::Built;
}

size_t FillValues(DescriptionBranch& branch, size_t n = 0) {
  for (auto& p : branch.parameters) {
    p->value = "Значение " + std::to_string(++n);
    p->value_changed = n % 2 == 0;
  }
  for (auto& child : branch.children) n = FillValues(*child, n);
  return n;
}

// Hands the already built fresh tree to the loader, so that only the file work is timed.
class PreparedTarget : public ConfigurationTarget {
 public:
  DescriptionBranch* ReloadDescription(int32_t) override { return root; }
  DescriptionBranch* root = nullptr;
};

void BM_SaveAndLoadFullConfiguration(benchmark::State& state) {
  DescriptionTree saved, fresh;
  if (!LoadVesk(saved) || !LoadVesk(fresh)) {
    state.SkipWithError("no device description");
    return;
  }
  const size_t parameters = FillValues(*saved.root);
  const std::string path =
      (fs::temp_directory_path() / ("vesk-bench-" + std::to_string(::getpid()) + ".vesk")).string();
  PreparedTarget target;
  target.root = fresh.root.get();
  for (auto _ : state) {
    if (!SaveConfiguration(path, {kVeskDeviceKind, saved.root.get()}) ||
        LoadConfiguration(path, target) != LoadOutcome::Loaded) {
      state.SkipWithError("save or load failed");
      break;
    }
  }
  state.counters["parameters"] = static_cast<double>(parameters);
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
  fs::remove(path);
}
BENCHMARK(BM_SaveAndLoadFullConfiguration)->Unit(benchmark::kMicrosecond);

// The same without the disk: building the bytes and reading them back.
void BM_StoreAndLoadInMemory(benchmark::State& state) {
  DescriptionTree saved, fresh;
  if (!LoadVesk(saved) || !LoadVesk(fresh)) {
    state.SkipWithError("no device description");
    return;
  }
  FillValues(*saved.root);
  PreparedTarget target;
  target.root = fresh.root.get();
  for (auto _ : state) {
    const std::vector<uint8_t> bytes = ConfigurationBytes({kVeskDeviceKind, saved.root.get()});
    ArchiveReader reader(bytes);
    benchmark::DoNotOptimize(LoadConfiguration(reader, target));
  }
}
BENCHMARK(BM_StoreAndLoadInMemory)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
