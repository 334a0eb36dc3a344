// Nanoseconds per key frame through the Linux tap: the pipeline alone, and
// the whole round trip over sockets through the service (poll, read,
// handler, write).
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include "engine/hyper_key_manager.h"
#include "engine/key_mapping.h"
#include "linux/input/key_pipeline.h"
#include "service/service_harness.h"
#include "sim/sim_event_tap.h"

namespace quorvelle::testing_support {
namespace {

// Hyper held, A typed: the busiest frames, synthetic modifiers included.
std::vector<input_event> hyperBatch() {
  std::vector<input_event> batch;
  for (const auto& f : {frame(KEY_F18, 1), frame(KEY_A, 1), frame(KEY_A, 0), frame(KEY_F18, 0)}) {
    batch.insert(batch.end(), f.begin(), f.end());
  }
  return batch;
}

void BM_PipelineFrame(benchmark::State& state) {
  const int sink = open("/dev/null", O_WRONLY);
  auto out = std::make_unique<OutputFrames>(sink);
  sim::SimEventTapSystem taps;
  sim::RecordingProcessLauncher launcher;
  sim::SimHidSystem hid;
  sim::RecordingLog log;
  KeyMapping mapping(launcher, hid, log, "/tool");
  // The engine's handler, with its key state answered by the pipeline's own.
  HyperKeyManager engine(taps, mapping);
  KeyPipeline pipeline(&HyperKeyManager::tapCallback, &engine, KEY_F18, *out);
  pipeline.setEnabled(true);
  taps.physicallyDown.insert(sim::SimEventTapSystem::kF18);
  KeyboardKeys keyboard(-1);
  std::vector<input_event> batch = hyperBatch();
  for (input_event& e : batch) {
    if (e.code == KEY_F18 && e.type == EV_KEY) e.code = sim::SimEventTapSystem::kF18;
  }
  for (auto _ : state) {
    pipeline.process(keyboard, batch.data(), batch.size());
    out->flush();
  }
  state.SetItemsProcessed(state.iterations() * 4);
  close(sink);
}
BENCHMARK(BM_PipelineFrame);

void BM_TapRoundTrip(benchmark::State& state) {
  ServiceHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  h.startAndEnable(h.connect());
  const std::vector<input_event> down = frame(KEY_A, 1);
  const std::vector<input_event> up = frame(KEY_A, 0);
  input_event received[64];
  bool pressed = false;
  for (auto _ : state) {
    send(keyboard.testFd, pressed ? up : down);
    pressed = !pressed;
    h.pump();
    benchmark::DoNotOptimize(::read(h.devices->virtualTestFd, received, sizeof received));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TapRoundTrip);

}  // namespace
}  // namespace quorvelle::testing_support

BENCHMARK_MAIN();
