// Loading the VESK description: the whole load (container, inflate, interpreter, build)
// and the interpreter with the build alone. The container is the one the build made
// beside the executables, or the one $VESK_TREE_DAT names.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "link/presenter.h"
#include "model/description_container.h"
#include "model/description_loader.h"

namespace {

using vesk::model::DescriptionStatus;
using vesk::model::DescriptionTree;

std::string ContainerPath() {
  const char* env = std::getenv(vesk::model::kContainerEnvVar);
  return env && *env ? env : std::string(VESK_BIN_DIR) + "/" + vesk::model::kContainerFileName;
}

void BM_LoadVeskDescription(benchmark::State& state) {
  const std::string path = ContainerPath();
  DescriptionTree tree;
  for (auto _ : state) {
    if (vesk::model::LoadDescriptionFrom(path, vesk::model::kVeskDeviceKind, tree) !=
        DescriptionStatus::Built) {
      state.SkipWithError(("cannot load " + path).c_str());
      break;
    }
    benchmark::DoNotOptimize(tree.root.get());
  }
}
BENCHMARK(BM_LoadVeskDescription)->Unit(benchmark::kMicrosecond);

void BM_BuildVeskDescriptionFromText(benchmark::State& state) {
  vesk::model::ContainerText text =
      vesk::model::ReadDescriptionContainer(ContainerPath(), vesk::model::kVeskStreamName);
  if (text.status != vesk::model::ContainerStatus::Ok) {
    state.SkipWithError("cannot read the container");
    return;
  }
  DescriptionTree tree;
  for (auto _ : state) {
    vesk::model::BuildDescription(text.text, tree);
    benchmark::DoNotOptimize(tree.root.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.text.size()));
}
BENCHMARK(BM_BuildVeskDescriptionFromText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
