// Thousands of random key sequences through the engine, checking what must
// hold whatever the user does.
#include <gtest/gtest.h>

#include <random>

#include "engine/hyper_key_manager.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

TEST(HyperKeyRandom, InvariantsHoldOverRandomSequences) {
  constexpr std::uint16_t kF18 = sim::SimEventTapSystem::kF18;
  const ModifierFlags kFlagChoices[] = {0, kShiftFlag, kControlFlag | kOptionFlag, 0x1E0000, 0x1};
  std::mt19937 random(20261206);
  int flagged = 0;
  int stale = 0;
  for (int sequence = 0; sequence < 2000; ++sequence) {
    sim::SimEventTapSystem taps;
    sim::RecordingProcessLauncher launcher;
    sim::SimHidSystem hid;
    sim::RecordingLog log;
    KeyMapping mapping(launcher, hid, log, "/tool");
    HyperKeyManager manager(taps, mapping);
    ASSERT_TRUE(manager.start());
    sim::SimEventTap& tap = *taps.tap();
    // What the handler has been told about F18 since the last notification.
    bool sawF18Down = false;

    for (int step = 0; step < 200; ++step) {
      int action = static_cast<int>(random() % 100);
      if (action < 8) {  // F18 press or auto-repeat
        taps.physicallyDown.insert(kF18);
        EXPECT_FALSE(tap.deliver(kKeyDownEvent, kF18).has_value()) << "F18 never reaches applications";
        sawF18Down = true;
      } else if (action < 14) {  // F18 release
        taps.physicallyDown.erase(kF18);
        EXPECT_FALSE(tap.deliver(kKeyUpEvent, kF18).has_value());
        sawF18Down = false;
      } else if (action < 17) {  // F18 released while the tap was not looking
        taps.physicallyDown.erase(kF18);
      } else if (action < 19) {
        KeyEvent note{kTapDisabledByTimeout, 0, 0};
        manager.handleEvent(action == 17 ? kTapDisabledByTimeout : kTapDisabledByUserInput, &note);
        sawF18Down = false;
      } else if (action < 21) {
        manager.setInjectedFlags(kFlagChoices[random() % 5] | kDefaultHyperFlags * (random() % 2));
      } else {  // an ordinary key down, repeat or up
        std::uint16_t key = static_cast<std::uint16_t>(random() % 60);
        std::uint32_t type = random() % 2 ? kKeyDownEvent : kKeyUpEvent;
        ModifierFlags flags = kFlagChoices[random() % 5];
        bool wasHeld = manager.isHyperDown();
        std::optional<KeyEvent> out = tap.deliver(type, key, flags);
        ASSERT_TRUE(out.has_value()) << "ordinary keys are never dropped";
        EXPECT_EQ(out->keyCode, key);
        EXPECT_EQ(out->type, type);
        EXPECT_EQ(out->flags & flags, flags) << "flags are only ever added";
        const bool f18Down = taps.physicallyDown.count(kF18) != 0;
        if (out->flags != flags) {
          EXPECT_TRUE(f18Down) << "flags only while F18 is physically down";
          EXPECT_EQ(out->flags, flags | manager.injectedFlags());
          ++flagged;
        }
        // Held in the handler's eyes and physically down: the flags must come.
        EXPECT_EQ(out->flags, (sawF18Down && f18Down) ? (flags | manager.injectedFlags()) : flags);
        if (wasHeld && !f18Down) {
          EXPECT_FALSE(manager.isHyperDown()) << "a stale hold never outlives one key event";
          sawF18Down = false;
          ++stale;
        }
      }
    }
    manager.stop();
    EXPECT_FALSE(manager.isHyperDown());
  }
  // The generator really exercised both paths.
  EXPECT_GT(flagged, 10000);
  EXPECT_GT(stale, 100);
}

}  // namespace
}  // namespace quorvelle
