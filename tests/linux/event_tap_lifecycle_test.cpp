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
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

TEST(EventTapLifecycle, NoVirtualKeyboardMeansNoTapAndNothingElse) {
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  h.devices->createError = "/dev/uinput: Permission denied";
  EXPECT_FALSE(h.engine->start());
  EXPECT_THAT(h.log.lines, ElementsAre("Quorvelle: cannot create the virtual keyboard: /dev/uinput: Permission denied"));
  EXPECT_TRUE(h.launcher.launches.empty());
  EXPECT_FALSE(keyboard.grabbed);
  EXPECT_EQ(h.devices->opens.size(), 0u);
}

TEST(EventTapLifecycle, PreparesKeyboardsAtTheGrabAndAgainWhenEnabled) {
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  send(keyboard.testFd, frame(KEY_A, 1));  // typed before the grab: the display server has it
  ASSERT_TRUE(h.engine->start());
  h.pump();
  EXPECT_THAT(h.output(), IsEmpty());
  EXPECT_EQ(h.devices->virtualName, "Quorvelle Virtual Keyboard");
  EXPECT_EQ(h.devices->uinputPath, "/dev/uinput");
  EXPECT_TRUE(keyboard.grabbed);
  EXPECT_THAT(h.remapper.prepared, ElementsAre(keyboard.tapFd, keyboard.tapFd));
}

TEST(EventTapLifecycle, TapExistsWithoutKeyboardsOrTheirFolder) {
  TapHarness h;
  ASSERT_EQ(::rmdir(h.dir.path().c_str()), 0);
  EXPECT_TRUE(h.engine->start());
  EXPECT_THAT(h.log.lines,
              ElementsAre("Quorvelle: cannot watch " + h.dir.path() + " for new keyboards: No such file or directory"));
  h.engine->stop();
  EXPECT_TRUE(h.devices->virtualDestroyed);
}

TEST(EventTapHotPlug, OpensKeyboardsOnlyAndTriesAgainWhenAccessArrives) {
  TapHarness h;
  ASSERT_TRUE(h.engine->start());
  sim::SimInputDevices::Device& mouse = h.plug("event3", "Sim Mouse");
  mouse.status = OpenedDevice::Status::NotKeyboard;
  sim::SimInputDevices::Device& locked = h.plug("event4");
  locked.status = OpenedDevice::Status::Unavailable;
  ASSERT_TRUE(h.loop.runUntil([&] { return h.devices->opens[h.dir.file("event4")] == 1; }, 5.0));
  EXPECT_FALSE(locked.grabbed);

  // udev grants access: the permissions change.
  locked.status = OpenedDevice::Status::Keyboard;
  ASSERT_EQ(::chmod(h.dir.file("event4").c_str(), 0660), 0);
  ASSERT_EQ(::chmod(h.dir.file("event3").c_str(), 0660), 0);
  ASSERT_TRUE(h.loop.runUntil([&] { return locked.grabbed; }, 5.0));
  EXPECT_EQ(h.devices->opens[h.dir.file("event3")], 1) << "a device that is no keyboard is not opened again";
  h.type("event4", frame(KEY_A, 1));
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN"));
  EXPECT_THAT(h.log.lines, IsEmpty());
}

TEST(EventTapHotPlug, BusyKeyboardIsReportedAndLeftAlone) {
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  keyboard.grabError = "Device or resource busy";
  ASSERT_TRUE(h.engine->start());
  EXPECT_THAT(h.log.lines,
              ElementsAre("Quorvelle: cannot grab the keyboard Sim Keyboard (event0): Device or resource busy"));
  EXPECT_TRUE(keyboard.closed);
}

TEST(EventTapQuietWait, GrabsAsSoonAsHeldKeysAreReleased) {
  LinuxEventTapOptions options = TapHarness::quickOptions();
  options.quietWaitSeconds = 10.0;
  TapHarness h(options);
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  KeyBits enter;
  enter.set(KEY_ENTER);
  keyboard.keysDownAnswers = {enter, KeyBits{}};
  // Enter goes up after the command that started us was typed.
  send(keyboard.testFd, frame(KEY_ENTER, 0));
  const double start = seconds();
  ASSERT_TRUE(h.engine->start());
  EXPECT_LT(seconds() - start, 9.0) << "it waited for the bound instead of the release";
  EXPECT_TRUE(keyboard.grabbed);
  EXPECT_EQ(keyboard.keysDownQueries, 2);
  h.pump();
  EXPECT_THAT(h.output(), IsEmpty()) << "the display server had the release already";
}

TEST(EventTapQuietWait, GrabsAnywayOnceTheBoundHasPassed) {
  LinuxEventTapOptions options = TapHarness::quickOptions();
  options.quietWaitSeconds = 0.2;
  TapHarness h(options);
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  KeyBits stuck;
  stuck.set(KEY_LEFTSHIFT);
  keyboard.keysDownAnswers = {stuck};
  const double start = seconds();
  ASSERT_TRUE(h.engine->start());
  EXPECT_GE(seconds() - start, 0.2);
  EXPECT_TRUE(keyboard.grabbed);
}

// Caps lock is switched off with a tap through the virtual keyboard when it
// is known to be on: from the lights the display server sets on the virtual
// keyboard, or else from those it set on the keyboards before the grab.
TEST(EventTapCapsLock, TapsOnlyWhenTheLightSaysCapsLockIsOn) {
  const std::vector<std::string> tap = {"CAPS 1", "SYN", "CAPS 0", "SYN"};
  struct Case {
    const char* name;
    std::optional<bool> keyboardLight;
    std::vector<input_event> serverLights;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"lit, server agrees", true, {light(LED_CAPSL, 1)}, tap},
      {"lit, server says off", true, {light(LED_NUML, 1), light(LED_CAPSL, 0)}, {}},
      {"lit, server silent", true, {}, tap},
      {"off", false, {light(LED_CAPSL, 1)}, {}},
      {"no light to tell", std::nullopt, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TapHarness h;
    h.plug("event0").capsLockLight = c.keyboardLight;
    h.devices->lightsOnOpen = c.serverLights;
    ASSERT_TRUE(h.engine->start());
    h.pump();
    EXPECT_EQ(h.output(), c.expected);
  }
  TapHarness idle;
  idle.taps->hidSystem().setCapsLockStateOff();  // no tap: nothing to do
  EXPECT_TRUE(idle.devices->virtualFd < 0);
}

}  // namespace
}  // namespace quorvelle::testing_support
