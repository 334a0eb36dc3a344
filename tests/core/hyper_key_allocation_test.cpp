// The per-key path must not allocate: every global allocation in this test
// program is counted.
#include <gtest/gtest.h>

#include "engine/hyper_key_manager.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_services.h"
#include "support/allocation_count.h"

namespace quorvelle {
namespace {

// A key state without containers, so the only allocations left to count are
// the engine's own.
class ArrayTapSystem : public sim::SimEventTapSystem {
 public:
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override { return down[keyCode]; }
  bool down[256] = {};
};

TEST(HyperKeyAllocation, HandleEventAllocatesNothing) {
  ArrayTapSystem taps;
  sim::RecordingProcessLauncher launcher;
  sim::SimHidSystem hid;
  sim::RecordingLog log;
  KeyMapping mapping(launcher, hid, log, "/tool");
  HyperKeyManager manager(taps, mapping);
  ASSERT_TRUE(manager.start());

  const long before = testing_support::allocationCount();
  KeyEvent event;
  for (int i = 0; i < 200000; ++i) {
    const std::uint16_t f18 = sim::SimEventTapSystem::kF18;
    switch (i % 7) {
      case 0: taps.down[f18] = true; event = {kKeyDownEvent, f18, 0}; break;
      case 1: event = {kKeyDownEvent, 4, 0}; break;
      case 2: event = {kKeyUpEvent, 4, kShiftFlag}; break;
      case 3: taps.down[f18] = (i % 3 != 0); event = {kKeyDownEvent, 5, 0}; break;
      case 4: event = {kTapDisabledByTimeout, 0, 0}; break;
      case 5: taps.down[f18] = false; event = {kKeyUpEvent, f18, 0}; break;
      default: event = {kKeyDownEvent, 6, 0}; break;
    }
    manager.handleEvent(event.type, &event);
  }
  EXPECT_EQ(testing_support::allocationCount() - before, 0);
}

}  // namespace
}  // namespace quorvelle
