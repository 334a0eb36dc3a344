// The Linux event tap's life: creation, keyboards coming and going, the wait
// for held keys before a grab, and switching caps lock off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "linux/tap_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TEST(EventTapLifecycle, CreatesTheVirtualKeyboardThenGrabsAndPreparesKeyboards) {
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  h.devices->createError = "/dev/uinput: Permission denied";
  EXPECT_FALSE(h.engine->start());
  EXPECT_THAT(h.log.lines, ElementsAre("Quorvelle: cannot create the virtual keyboard: /dev/uinput: Permission denied"));
  EXPECT_TRUE(h.launcher.launches.empty());
  EXPECT_EQ(keyboard.opens, 0);

  h.devices->createError.clear();
  send(keyboard.testFd, frame(KEY_A, 1));  // typed before the grab: the display server has it
  ASSERT_TRUE(h.engine->start());
  h.pump();
  EXPECT_THAT(h.output(), IsEmpty());
  EXPECT_EQ(h.devices->virtualName, "Quorvelle Virtual Keyboard");
  EXPECT_TRUE(keyboard.grabbed);
  EXPECT_THAT(h.remapper.prepared, ElementsAre(keyboard.tapFd, keyboard.tapFd)) << "at the grab and when enabled";
}

TEST(EventTapHotPlug, GrabsNewKeyboardsOnlyAndTriesAgainWhenAccessArrives) {
  TapHarness h;
  h.plug("event0").grabError = "Device or resource busy";
  ASSERT_TRUE(h.engine->start());
  EXPECT_THAT(h.log.lines,
              ElementsAre("Quorvelle: cannot grab the keyboard Sim Keyboard (event0): Device or resource busy"));
  EXPECT_TRUE(h.device("event0").closed);

  h.plug("event3").status = OpenedDevice::Status::NotKeyboard;
  sim::SimInputDevices::Device& locked = h.plug("event4");
  locked.status = OpenedDevice::Status::Unavailable;
  ASSERT_TRUE(h.loop.runUntil([&] { return locked.opens == 1 && h.device("event3").opens == 1; }, 5.0));
  // udev grants access: the permissions change.
  locked.status = OpenedDevice::Status::Keyboard;
  ASSERT_EQ(::chmod(h.dir.file("event4").c_str(), 0660), 0);
  ASSERT_EQ(::chmod(h.dir.file("event3").c_str(), 0660), 0);
  ASSERT_TRUE(h.loop.runUntil([&] { return locked.grabbed; }, 5.0));
  EXPECT_EQ(h.device("event3").opens, 1) << "a device that is no keyboard is not opened again";
  EXPECT_EQ(h.remapper.prepared.back(), locked.tapFd) << "a new keyboard gets the mapping in effect";
  h.type("event4", frame(KEY_A, 1));
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN"));
}

TEST(EventTapQuietWait, GrabsOnceHeldKeysAreUpOrTheBoundHasPassed) {
  KeyBits enter;
  enter.set(KEY_ENTER);
  {
    TapHarness h(/*quietWaitSeconds=*/10.0);
    sim::SimInputDevices::Device& keyboard = h.plug("event0");
    keyboard.keysDown = {enter, KeyBits{}};
    send(keyboard.testFd, frame(KEY_ENTER, 0));  // Enter goes up after the command that started us
    const double start = seconds();
    ASSERT_TRUE(h.engine->start());
    EXPECT_LT(seconds() - start, 9.0) << "it waited for the bound, not for the release";
    EXPECT_TRUE(keyboard.grabbed);
    EXPECT_EQ(keyboard.keysDownQueries, 2);
  }
  {
    TapHarness h(/*quietWaitSeconds=*/0.2);
    sim::SimInputDevices::Device& keyboard = h.plug("event0");
    keyboard.keysDown = {enter};  // held for good
    const double start = seconds();
    ASSERT_TRUE(h.engine->start());
    EXPECT_GE(seconds() - start, 0.2);
    EXPECT_TRUE(keyboard.grabbed);
  }
}

// Caps lock is switched off with a tap through the virtual keyboard when it
// is known to be on: from the lights the display server sets on the virtual
// keyboard, or else from those it set on the keyboards before the grab.
TEST(EventTapCapsLock, TapsOnlyWhenTheLightSaysCapsLockIsOn) {
  const std::vector<std::string> tap = {"CAPS 1", "SYN", "CAPS 0", "SYN"};
  const input_event capsOn = event(EV_LED, LED_CAPSL, 1);
  const input_event capsOff = event(EV_LED, LED_CAPSL, 0);
  struct Case {
    std::optional<bool> keyboardLight;
    std::vector<input_event> serverLights;
    std::vector<std::string> expected;
  } cases[] = {{true, {capsOn}, tap}, {true, {capsOff}, {}}, {true, {}, tap}, {false, {capsOn}, {}}, {{}, {}, {}}};
  for (const Case& c : cases) {
    TapHarness h;
    h.plug("event0").capsLockLight = c.keyboardLight;
    h.devices->lightsOnOpen = c.serverLights;
    ASSERT_TRUE(h.engine->start());
    h.pump();
    EXPECT_EQ(h.output(), c.expected) << &c - cases;
  }
}

}  // namespace
}  // namespace quorvelle::testing_support
