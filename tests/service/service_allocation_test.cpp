// The per-key path through the service (the tap, the handler, the mapping,
// the SyntheticKeys message to its holder, pointer events passed on)
// allocates nothing: every global allocation in this program is counted.
#include <gtest/gtest.h>

#include "service/service_harness.h"
#include "support/allocation_count.h"

namespace quorvelle::testing_support {
namespace {

TEST(ServiceAllocation, KeyEventsAllocateNothing) {
  ServiceHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  keyboard.points = true;
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage({{KEY_CAPSLOCK, KEY_F18}}));
  // The user's own Control takes a synthetic one over: the holder hears of
  // both changes every round.
  const std::vector<std::vector<input_event>> frames = {
      frame(KEY_CAPSLOCK, 1), frame(KEY_A, 1), {key(KEY_A, 2), report()}, frame(KEY_A, 0),
      frame(KEY_LEFTCTRL, 1), frame(KEY_LEFTCTRL, 0), frame(KEY_CAPSLOCK, 0), frame(KEY_B, 1), frame(KEY_B, 0),
      {event(EV_REL, REL_X, 3), event(EV_MSC, MSC_SCAN, 0x90001), key(BTN_LEFT, 1), report()},
      {key(BTN_LEFT, 0), key(KEY_D, 1), report()}, frame(KEY_D, 0)};
  const int tapFd = keyboard.tapFd;
  auto pump = [&] {
    h.loop.runUntil([&tapFd] {
      int waiting = 0;
      return ::ioctl(tapFd, FIONREAD, &waiting) == 0 && waiting == 0;
    }, 5.0);
  };
  auto roundTrip = [&] {
    for (const auto& f : frames) {
      send(keyboard.testFd, f);
      pump();
    }
  };
  roundTrip();  // warms the loop's scratch space up
  h.output();
  receive(keyboard.pointerTestFd);
  while (ServiceHarness::readable(app)) h.next(app);

  long during = 0;
  for (int round = 0; round < 100; ++round) {
    const long before = allocationCount();
    roundTrip();
    during += allocationCount() - before;
    ASSERT_EQ(h.output().size(), 32u) << "every round writes the same frames";
    ASSERT_EQ(receive(keyboard.pointerTestFd).size(), 6u);
    int synthetic = 0;
    while (ServiceHarness::readable(app)) synthetic += h.next(app)->type == MessageType::SyntheticKeys;
    ASSERT_EQ(synthetic, 2);
  }
  EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace quorvelle::testing_support
