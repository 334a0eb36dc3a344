// The Linux event tap's life in the service: creation, keyboards coming and
// going, the wait for held keys before a grab, and switching caps lock off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Served start(ServiceHarness& h) { return static_cast<Served>(h.request(h.connect(), message(MessageType::Start)).value); }

TEST(EventTapLifecycle, CreatesTheVirtualKeyboardThenGrabsKeyboards) {
  ServiceHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  h.devices->createError = "/dev/uinput: Permission denied";
  EXPECT_EQ(start(h), Served::EngineFailed);
  EXPECT_THAT(h.log.lines, ElementsAre("Quorvelle: cannot create the virtual keyboard: /dev/uinput: Permission denied"));
  EXPECT_EQ(keyboard.opens, 0);

  h.devices->createError.clear();
  send(keyboard.testFd, frame(KEY_A, 1));  // typed before the grab: the display server has it
  EXPECT_EQ(start(h), Served::Yes);
  h.pump();
  EXPECT_THAT(h.output(), IsEmpty());
  EXPECT_EQ(h.devices->virtualName, "Quorvelle Virtual Keyboard");
  EXPECT_TRUE(keyboard.grabbed);
}

TEST(EventTapHotPlug, GrabsNewKeyboardsOnlyAndTriesAgainWhenAccessArrives) {
  ServiceHarness h;
  h.plug("event0").grabError = "Device or resource busy";
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage({{KEY_A, KEY_B}}));
  EXPECT_THAT(h.log.lines,
              ::testing::Contains("Quorvelle: cannot grab the keyboard Sim Keyboard (event0): Device or resource busy"));
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
  h.type("event4", frame(KEY_A, 1));
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "B 1", "SYN")) << "a new keyboard gets the mapping in effect";
}

TEST(EventTapQuietWait, GrabsOnceHeldKeysAreUpOrTheBoundHasPassed) {
  KeyBits enter;
  enter.set(KEY_ENTER);
  {
    ServiceHarness h({}, /*quietWaitSeconds=*/10.0);
    sim::SimInputDevices::Device& keyboard = h.plug("event0");
    keyboard.keysDown = {enter, KeyBits{}};
    send(keyboard.testFd, frame(KEY_ENTER, 0));  // Enter goes up after the command that started us
    const double begin = seconds();
    ASSERT_EQ(start(h), Served::Yes);
    EXPECT_LT(seconds() - begin, 4.0) << "it waited for the bound, not for the release";
    EXPECT_TRUE(keyboard.grabbed);
    EXPECT_EQ(keyboard.keysDownQueries, 2);
  }
  {
    ServiceHarness h({}, /*quietWaitSeconds=*/0.2);
    sim::SimInputDevices::Device& keyboard = h.plug("event0");
    keyboard.keysDown = {enter};  // held for good
    const double begin = seconds();
    ASSERT_EQ(start(h), Served::Yes);
    EXPECT_GE(seconds() - begin, 0.2);
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
    ServiceHarness h;
    h.plug("event0").capsLockLight = c.keyboardLight;
    h.devices->lightsOnOpen = c.serverLights;
    const int app = h.connect();
    ASSERT_EQ(h.request(app, message(MessageType::Start)).flags, 1u);
    h.request(app, message(MessageType::CapsLockOff));
    h.pump();
    EXPECT_EQ(h.output(), c.expected) << &c - cases;
  }
}

}  // namespace
}  // namespace quorvelle::testing_support
