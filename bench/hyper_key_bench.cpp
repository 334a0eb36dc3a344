// Nanoseconds per key event through the hyper state machine.
#include <benchmark/benchmark.h>

#include "engine/hyper_key_manager.h"

namespace quorvelle {
namespace {

constexpr std::uint16_t kF18 = 188;

// Just enough of a platform for the handler: a key state table and a tap that
// does nothing.
class BenchTapSystem : public EventTapSystem {
 public:
  class Tap : public EventTap {
    void setEnabled(bool) override {}
    std::unique_ptr<RunLoopSource> createRunLoopSource() override { return std::make_unique<Source>(); }
  };
  class Source : public RunLoopSource {
    void addToMainRunLoop() override {}
    void removeFromMainRunLoop() override {}
  };
  std::unique_ptr<EventTap> createTap(std::uint64_t, EventTapCallback, void*) override {
    return std::make_unique<Tap>();
  }
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override { return down[keyCode]; }
  std::uint16_t hyperKeyCode() const override { return kF18; }
  bool down[768] = {};
};

class NoLauncher : public ProcessLauncher {
  bool launchAndWait(const std::string&, const std::vector<std::string>&, std::string*) override { return true; }
};
class NoHid : public HidSystem {
  void setCapsLockStateOff() override {}
};
class NoLog : public Log {
  void write(std::string_view) override {}
};

void runEvents(benchmark::State& state, bool hyperHeld) {
  BenchTapSystem taps;
  NoLauncher launcher;
  NoHid hid;
  NoLog log;
  KeyMapping mapping(launcher, hid, log, "/tool");
  HyperKeyManager manager(taps, mapping);
  manager.start();
  if (hyperHeld) {
    taps.down[kF18] = true;
    KeyEvent f18{kKeyDownEvent, kF18, 0};
    manager.handleEvent(f18.type, &f18);
  }
  std::uint16_t key = 30;
  for (auto _ : state) {
    KeyEvent event{(key & 1) ? kKeyUpEvent : kKeyDownEvent, key, 0};
    KeyEvent* out = HyperKeyManager::tapCallback(event.type, &event, &manager);
    benchmark::DoNotOptimize(out);
    key = static_cast<std::uint16_t>(30 + ((key + 1) & 31));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_HandleEventHyperHeld(benchmark::State& state) { runEvents(state, true); }
void BM_HandleEventHyperNotHeld(benchmark::State& state) { runEvents(state, false); }

BENCHMARK(BM_HandleEventHyperHeld)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_HandleEventHyperNotHeld)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace quorvelle

BENCHMARK_MAIN();
