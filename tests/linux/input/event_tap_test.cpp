// The Linux event tap as the service runs it, over socket pairs: keyboards
// coming and going, the wait for held keys before a grab, raw frames in and
// the virtual devices' frames out, lights, and switching caps lock off. What
// the pipeline makes of the keys: key_path/*.t.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Served start(ServiceHarness& h) {
  return static_cast<Served>(h.request(h.connect(), message(MessageType::Start)).value);
}

// A served, enabled engine with the mapping given, Caps Lock to F18 by default.
void serve(ServiceHarness& h,
           const std::vector<engine_protocol::KeyTranslationPair>& mapping = {{KEY_CAPSLOCK, KEY_F18}}) {
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage(mapping));
}

TEST(EventTap, CreatesTheVirtualKeyboardThenGrabsAndPassesFramesOfOneReadInOneWrite) {
  ServiceHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  h.devices->createError = "/dev/uinput: Permission denied";
  EXPECT_EQ(start(h), Served::EngineFailed);
  EXPECT_THAT(h.log.lines, ElementsAre("Quorvelle: cannot create the virtual keyboard: /dev/uinput: Permission denied"));
  EXPECT_EQ(keyboard.opens, 0);

  h.devices->createError.clear();
  send(keyboard.testFd, frame(KEY_A, 1));  // typed before the grab: the display server has it
  serve(h);
  h.pump();
  EXPECT_THAT(h.output(), IsEmpty());
  EXPECT_EQ(h.devices->virtualName, "Quorvelle Virtual Keyboard");
  EXPECT_TRUE(keyboard.grabbed);

  std::vector<input_event> batch;
  for (const auto& f : {frame(KEY_A, 1), frame(KEY_A, 0), frame(KEY_B, 1)}) batch.insert(batch.end(), f.begin(), f.end());
  batch.push_back(event(EV_LED, LED_CAPSL, 1));  // a light echoed back is never passed on
  batch.push_back(report());
  h.type("event0", batch);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN", "MSC 7001e", "A 0", "SYN", "MSC 70030", "B 1", "SYN"));
  EXPECT_EQ(h.writes, 1);
}

TEST(EventTap, GrabsNewKeyboardsOnlyAndTriesAgainWhenAccessArrives) {
  ServiceHarness h;
  h.plug("event0").grabError = "Device or resource busy";
  serve(h, {{KEY_A, KEY_B}});
  EXPECT_THAT(h.log.lines, Contains("Quorvelle: cannot grab the keyboard Sim Keyboard (event0): Device or resource busy"));
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

TEST(EventTap, GrabsOnceHeldKeysAreUpOrTheBoundHasPassed) {
  const auto seconds = [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
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
  ServiceHarness h({}, /*quietWaitSeconds=*/0.2);
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  keyboard.keysDown = {enter};  // held for good
  const double begin = seconds();
  ASSERT_EQ(start(h), Served::Yes);
  EXPECT_GE(seconds() - begin, 0.2);
  EXPECT_TRUE(keyboard.grabbed);
}

TEST(EventTap, LightsTheDisplayServerSetsReachEveryKeyboard) {
  ServiceHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  serve(h);
  send(h.devices->virtualTestFd, {event(EV_LED, LED_CAPSL, 1), event(EV_LED, LED_NUML, 1)});
  h.pump();
  EXPECT_THAT(receive(keyboard.testFd), ElementsAre("17:0 1", "17:1 1", "SYN"));
  sim::SimInputDevices::Device& later = h.plug("event1");
  ASSERT_TRUE(h.loop.runUntil([&] { return later.grabbed; }, 5.0));
  EXPECT_THAT(receive(later.testFd), ElementsAre("17:0 1", "17:1 1", "SYN"));
  EXPECT_THAT(h.output(), IsEmpty());
}

// A keyboard that also points is grabbed like any other; its pointer events
// pass unchanged, frame by frame, through a virtual pointer of its own.
TEST(EventTap, PointerEventsGoThroughTheirOwnDeviceAndAnUnplugReleasesEveryKeyQuietly) {
  ServiceHarness h;
  sim::SimInputDevices::Device& pad = h.plug("event0");
  pad.points = true;
  serve(h);
  ASSERT_TRUE(pad.grabbed && !pad.pointerDestroyed);
  h.type("event0", {event(EV_REL, REL_X, 5), key(BTN_LEFT, 1), report()});
  EXPECT_THAT(receive(pad.pointerTestFd), ElementsAre("2:0 5", "1:272 1", "SYN"));

  // Events were lost: the pointer is brought in line with the device.
  pad.keysDown = {KeyBits{}};
  pad.absoluteState = {event(EV_ABS, ABS_X, 300)};
  h.type("event0", {event(EV_SYN, SYN_DROPPED, 0), event(EV_REL, REL_X, 9), report(), event(EV_REL, REL_X, 2),
                    report()});
  EXPECT_THAT(receive(pad.pointerTestFd), ElementsAre("3:0 300", "1:272 0", "SYN", "2:0 2", "SYN"));

  sim::SimInputDevices::Device& other = h.plug("event1");
  other.points = true;
  other.pointerError = "no room";
  ASSERT_TRUE(h.loop.runUntil([&] { return other.closed; }, 5.0));
  EXPECT_FALSE(other.grabbed) << "its pointer would stop";
  EXPECT_THAT(h.log.lines, Contains("Quorvelle: cannot pass on the pointer of the keyboard Sim Keyboard (event1): no room"));

  h.type("event0", frame(KEY_CAPSLOCK, 1));
  h.type("event0", frame(KEY_A, 1));
  h.output();
  const std::vector<std::string> logged = h.log.lines;
  ::remove(h.dir.file("event0").c_str());
  ASSERT_TRUE(h.loop.runUntil([&] { return pad.closed; }, 5.0));
  EXPECT_TRUE(pad.pointerDestroyed);
  EXPECT_THAT(h.output(), ElementsAre("A 0", "SYN", "LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"));
  EXPECT_EQ(h.log.lines, logged) << "an unplugged keyboard goes quietly";
}

// Caps lock is switched off with a tap through the virtual keyboard when it
// is known to be on: from the lights the display server sets on the virtual
// keyboard, or else from those it set on the keyboards before the grab.
TEST(EventTap, TapsCapsLockOffOnlyWhenTheLightSaysItIsOn) {
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
