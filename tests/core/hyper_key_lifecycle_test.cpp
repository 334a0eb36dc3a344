// Starting and stopping the engine: repeated starts and stops, a hold
// forgotten, and a mapping tool that cannot run. The order of the calls is
// checked where the application delegate starts and stops the engine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/hyper_key_manager.h"
#include "sim/journal.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

constexpr char kApplyText[] =
    "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039,"
    "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}";

class Lifecycle : public testing::Test {
 protected:
  sim::Journal journal;
  sim::SimEventTapSystem taps{&journal};
  sim::RecordingProcessLauncher launcher{&journal};
  sim::SimHidSystem hid{&journal};
  sim::RecordingLog log;
  KeyMapping mapping{launcher, hid, log, "/bundle/Contents/Helpers/quorvelle-keymap"};
  HyperKeyManager manager{taps, mapping};
};

TEST_F(Lifecycle, SecondStartAndStrayStopsDoNothing) {
  manager.stop();  // never started
  EXPECT_TRUE(journal.entries().empty());
  ASSERT_TRUE(manager.start());
  ASSERT_TRUE(manager.start());
  EXPECT_EQ(taps.tapsCreated, 1);
  EXPECT_EQ(launcher.launches.size(), 1u);
  taps.tap()->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);
  ASSERT_TRUE(manager.isHyperDown());
  manager.stop();
  EXPECT_FALSE(manager.isHyperDown()) << "a stop forgets the hold";
  manager.stop();
  EXPECT_EQ(launcher.launches.size(), 2u);
  // Running again after a stop applies the mapping again.
  ASSERT_TRUE(manager.start());
  EXPECT_EQ(launcher.launches.size(), 3u);
  EXPECT_EQ(launcher.launches.back().arguments[2], kApplyText);
}

TEST_F(Lifecycle, ToolThatCannotLaunchIsLoggedAndEngineCarriesOn) {
  launcher.launchError = "No such file or directory";
  ASSERT_TRUE(manager.start());
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to run hidutil: No such file or directory"));
  EXPECT_TRUE(manager.hasTap());
  EXPECT_EQ(hid.resets, 1);
  // Without the mapping a real F18 key still acts as hyper.
  taps.physicallyDown.insert(sim::SimEventTapSystem::kF18);
  taps.tap()->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);
  EXPECT_EQ(taps.tap()->deliver(kKeyDownEvent, 0)->flags, kDefaultHyperFlags);
  manager.stop();
  EXPECT_EQ(log.lines.size(), 2u);
  EXPECT_FALSE(manager.hasTap());
}

// What the Linux key path cannot show (its modifiers are keys, not flags, and
// it has no user-input notification): flags already on an event stay, and a
// tap the system turned off is turned on again with the hold forgotten.
TEST_F(Lifecycle, FlagsAreAddedAndADisabledTapComesBackWithoutTheHold) {
  ASSERT_TRUE(manager.start());
  sim::SimEventTap& tap = *taps.tap();
  const std::uint16_t f18 = sim::SimEventTapSystem::kF18;
  taps.physicallyDown.insert(f18);
  for (std::uint32_t type : {kTapDisabledByTimeout, kTapDisabledByUserInput}) {
    EXPECT_FALSE(tap.deliver(kKeyDownEvent, f18).has_value());
    EXPECT_EQ(tap.deliver(kKeyUpEvent, 0, kShiftFlag)->flags, kDefaultHyperFlags | kShiftFlag);
    tap.setEnabled(false);
    KeyEvent event{type, 0, 0};
    EXPECT_EQ(HyperKeyManager::tapCallback(type, &event, &manager), &event);
    EXPECT_TRUE(tap.enabled());
    EXPECT_EQ(tap.deliver(kKeyDownEvent, 0)->flags, 0u);
  }
}

}  // namespace
}  // namespace quorvelle
