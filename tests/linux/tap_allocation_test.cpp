// The per-key path through the Linux tap (poll loop, read, handler,
// synthetic modifiers, write, pointer events passed on) allocates nothing:
// every global allocation in this program is counted.
#include <gtest/gtest.h>

#include "linux/tap_harness.h"
#include "support/allocation_count.h"

namespace quorvelle::testing_support {
namespace {

TEST(TapAllocation, KeyEventsAllocateNothing) {
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  keyboard.points = true;
  h.remapper.translations[keyboard.tapFd] = {{KEY_CAPSLOCK, KEY_F18}};
  ASSERT_TRUE(h.engine->start());
  const std::vector<std::vector<input_event>> frames = {
      frame(KEY_CAPSLOCK, 1), frame(KEY_A, 1), {key(KEY_A, 2), report()}, frame(KEY_A, 0),
      frame(KEY_LEFTSHIFT, 1), frame(KEY_B, 1), frame(KEY_B, 0), frame(KEY_LEFTSHIFT, 0),
      frame(KEY_CAPSLOCK, 0), frame(KEY_C, 1), frame(KEY_C, 0),
      {event(EV_REL, REL_X, 3), event(EV_MSC, MSC_SCAN, 0x90001), key(BTN_LEFT, 1), report()},
      {key(BTN_LEFT, 0), key(KEY_D, 1), report()}, frame(KEY_D, 0)};
  for (const auto& f : frames) h.type("event0", f);  // warms the loop's scratch space up
  h.output();
  receive(keyboard.pointerTestFd);

  long during = 0;
  for (int round = 0; round < 200; ++round) {
    const long before = testing_support::allocationCount();
    for (const auto& f : frames) {
      send(keyboard.testFd, f);
      h.pump();
    }
    during += testing_support::allocationCount() - before;
    ASSERT_EQ(h.output().size(), 43u) << "every round writes the same frames";
    ASSERT_EQ(receive(keyboard.pointerTestFd).size(), 6u);
  }
  EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace quorvelle::testing_support
