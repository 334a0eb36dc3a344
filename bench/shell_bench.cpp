// Figures for start-up and reopening: how long finding running copies in
// /proc takes, one reopen request's round trip, and one detached start.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "linux/process/detached_spawn.h"
#include "linux/process/poll_run_loop.h"
#include "linux/process/proc_running_applications.h"
#include "linux/session/reopen_client.h"
#include "linux/session/reopen_server.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

void BM_RunningApplicationsScan(benchmark::State& state) {
  ProcRunningApplications running;
  size_t found = 0;
  for (auto _ : state) {
    found = running.runningApplicationsWithBundleIdentifier("com.quorvelle.Quorvelle").size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["copies"] = static_cast<double>(found);
}
BENCHMARK(BM_RunningApplicationsScan)->Unit(benchmark::kMillisecond);

void BM_ReopenRoundTrip(benchmark::State& state) {
  testing_support::TempDir dir;
  mkdir(dir.file("run").c_str(), 0700);
  const std::string folder = dir.file("run/quorvelle");
  std::atomic<bool> listening = false, stop = false;
  std::atomic<int> shown = 0;
  // The server's main thread.
  std::thread serverThread([&] {
    PollRunLoop loop;
    ReopenServer server(loop, loop, [&] { ++shown; });
    std::string error;
    listening = server.listen(folder, &error);
    loop.runUntil([&] { return stop.load(); }, 600);
  });
  while (!listening) std::this_thread::yield();
  std::string detail;
  for (auto _ : state) {
    if (requestShowSettings(folder, 5, 5, &detail) != ReopenOutcome::Delivered) {
      state.SkipWithError(detail.c_str());
      break;
    }
  }
  stop = true;
  serverThread.join();
  state.counters["shown"] = shown.load();
}
BENCHMARK(BM_ReopenRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_SpawnDetached(benchmark::State& state) {
  std::string error;
  for (auto _ : state) {
    if (!spawnDetached("/bin/true", {}, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
}
BENCHMARK(BM_SpawnDetached)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvelle

BENCHMARK_MAIN();
