// The registry wrapper's read path (open, ReadDword, close) and write path
// (WriteDword on an open key) on this target's registry store.
#include <benchmark/benchmark.h>

#include <vk/registry.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

const char kBenchKey[] = "Software\\vkdiag-bench";

void UsePrivateStore() {
  static bool done = [] {
    if (!getenv("VK_SYSTEM_ROOT")) {
      char dir[] = "/tmp/vkdiag-bench-XXXXXX";
      if (mkdtemp(dir)) setenv("VK_SYSTEM_ROOT", dir, 1);
    }
    return true;
  }();
  (void)done;
}

void BM_RegistryReadPath(benchmark::State& state) {
  UsePrivateStore();
  Vk::VkRegistry(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS).WriteDword("value", 7);
  for (auto _ : state) {
    Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, false, KEY_READ);
    DWORD value = 0;
    benchmark::DoNotOptimize(key.ReadDword("value", &value));
  }
}
BENCHMARK(BM_RegistryReadPath);

void BM_RegistryWritePath(benchmark::State& state) {
  UsePrivateStore();
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  DWORD n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(key.WriteDword("value", ++n));
}
BENCHMARK(BM_RegistryWritePath);

}  // namespace
