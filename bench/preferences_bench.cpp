// Figures for reading the preferences file at start-up: the largest files
// that are still read (a megabyte of small values), and deep nesting that is
// refused, each loaded from a real file.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <string_view>

#include "linux/files/file_util.h"
#include "linux/files/json_defaults_store.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

struct NoLog : Log {
  void write(std::string_view) override {}
};

std::string listOf(const std::string& item) {
  std::string text = "{\"x\":[" + item;
  while (text.size() + item.size() + 3 < kMaxReadBytes) text += "," + item;
  return text + "]}";
}

void loadRepeatedly(benchmark::State& state, const std::string& text) {
  testing_support::TempDir dir;
  const std::string path = dir.file("prefs.json");
  NoLog log;
  for (auto _ : state) {
    std::ofstream(path) << text;  // a refused file is moved aside each time
    JsonDefaultsStore store(path, log);
    benchmark::DoNotOptimize(store.object("x"));
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_LoadAMegabyteOfNumbers(benchmark::State& state) { loadRepeatedly(state, listOf("0")); }
BENCHMARK(BM_LoadAMegabyteOfNumbers)->Unit(benchmark::kMillisecond);

void BM_LoadAMegabyteOfEmptyObjects(benchmark::State& state) { loadRepeatedly(state, listOf("{}")); }
BENCHMARK(BM_LoadAMegabyteOfEmptyObjects)->Unit(benchmark::kMillisecond);

void BM_RefuseNesting100000Deep(benchmark::State& state) {
  loadRepeatedly(state, "{\"x\":" + std::string(99999, '[') + std::string(99999, ']') + "}");
}
BENCHMARK(BM_RefuseNesting100000Deep)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvelle

BENCHMARK_MAIN();
