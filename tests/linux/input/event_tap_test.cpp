// The Linux event tap as the service runs it, over socket pairs: raw
// keyboard frames in, the core's handler, the virtual keyboard's frames out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A served, enabled engine with Caps Lock mapped to F18, the hyper key.
void serve(ServiceHarness& h) {
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage({{KEY_CAPSLOCK, KEY_F18}}));
}

class EventTapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keyboard = &h.plug("event0");
    serve(h);
  }
  void type(std::uint16_t code, std::int32_t value) { h.type("event0", frame(code, value)); }

  ServiceHarness h;
  sim::SimInputDevices::Device* keyboard = nullptr;
};

TEST_F(EventTapTest, FramesOfOneReadLeaveInOneWriteInOrder) {
  std::vector<input_event> batch;
  for (const auto& f : {frame(KEY_A, 1), frame(KEY_A, 0), frame(KEY_B, 1)}) batch.insert(batch.end(), f.begin(), f.end());
  batch.push_back(event(EV_LED, LED_CAPSL, 1));  // a light echoed back is never passed on
  batch.push_back(report());
  h.type("event0", batch);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN", "MSC 7001e", "A 0", "SYN", "MSC 70030", "B 1", "SYN"));
  EXPECT_EQ(h.writes, 1);
}

// The application's shortcut recorder leaves out what the tap pressed itself.
TEST_F(EventTapTest, TellsWhichModifiersItPressedItself) {
  type(KEY_RIGHTALT, 1);
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  auto byTap = [&](std::uint16_t code) { return h.taps->isKeyPressedByTap(code); };
  EXPECT_TRUE(byTap(KEY_LEFTCTRL) && byTap(KEY_LEFTMETA));
  EXPECT_FALSE(byTap(KEY_RIGHTALT) || byTap(KEY_LEFTALT) || byTap(KEY_A));
  type(KEY_LEFTMETA, 1);  // the key a synthetic modifier holds: now the user's
  EXPECT_FALSE(byTap(KEY_LEFTMETA));
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_TRUE(byTap(KEY_LEFTCTRL)) << "until it is pressed again, for readers who lag behind";
}

// Stopping releases them too: the service's tests, on its release.
TEST_F(EventTapTest, UnplugReleasesEveryKeyItHolds) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  const std::vector<std::string> logged = h.log.lines;
  ::remove(h.dir.file("event0").c_str());
  ASSERT_TRUE(h.loop.runUntil([&] { return keyboard->closed; }, 5.0));
  EXPECT_THAT(h.output(), ElementsAre("A 0", "SYN", "LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"));
  EXPECT_EQ(h.log.lines, logged) << "an unplugged keyboard goes quietly";
}

TEST_F(EventTapTest, LightsTheDisplayServerSetsReachEveryKeyboard) {
  send(h.devices->virtualTestFd, {event(EV_LED, LED_CAPSL, 1), event(EV_LED, LED_NUML, 1)});
  h.pump();
  EXPECT_THAT(receive(keyboard->testFd), ElementsAre("17:0 1", "17:1 1", "SYN"));
  sim::SimInputDevices::Device& later = h.plug("event1");
  ASSERT_TRUE(h.loop.runUntil([&] { return later.grabbed; }, 5.0));
  EXPECT_THAT(receive(later.testFd), ElementsAre("17:0 1", "17:1 1", "SYN"));
  EXPECT_THAT(h.output(), IsEmpty());
}

// A keyboard that also points is grabbed like any other; its pointer events
// pass unchanged, frame by frame, through a virtual pointer of its own.
TEST(EventTapPointer, PointerEventsGoThroughItsOwnDeviceBroughtInLineAfterALoss) {
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
  EXPECT_THAT(h.log.lines, ::testing::Contains("Quorvelle: cannot pass on the pointer of the keyboard Sim Keyboard (event1): no room"));

  ::remove(h.dir.file("event0").c_str());
  ASSERT_TRUE(h.loop.runUntil([&] { return pad.closed; }, 5.0));
  EXPECT_TRUE(pad.pointerDestroyed);
}

struct Seen {
  std::uint32_t type;
  std::uint16_t code;
  ModifierFlags flags;
  bool operator==(const Seen&) const = default;
};

KeyEvent* record(std::uint32_t type, KeyEvent* e, void* seen) {
  static_cast<std::vector<Seen>*>(seen)->push_back({type, e->keyCode, e->flags});
  return e;
}

TEST(EventTapHandler, SeesKeysWithTheModifiersHeldOnlyOnTheRunLoop) {
  ServiceHarness h;  // idle: the tap is the test's
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  std::vector<Seen> seen;
  std::unique_ptr<EventTap> tap = h.taps->createTap(kKeyEventMask, record, &seen);
  ASSERT_TRUE(tap);
  EXPECT_FALSE(h.taps->createTap(kKeyEventMask, record, &seen)) << "one tap at a time";

  // Not on the run loop: nothing is read; the kernel keeps it for later.
  send(keyboard.testFd, frame(KEY_RIGHTSHIFT, 1));
  send(keyboard.testFd, frame(KEY_A, 1));
  h.loop.runFor(0.02);
  EXPECT_THAT(h.output(), IsEmpty());
  std::unique_ptr<RunLoopSource> source = tap->createRunLoopSource();
  source->addToMainRunLoop();
  tap->setEnabled(true);
  h.pump();
  h.type("event0", {key(KEY_A, 2), report()});
  h.type("event0", frame(KEY_RIGHTSHIFT, 0));
  h.type("event0", frame(KEY_RIGHTMETA, 1));
  h.type("event0", frame(KEY_A, 0));
  EXPECT_THAT(seen, ElementsAre(Seen{kKeyDownEvent, KEY_A, kShiftFlag}, Seen{kKeyDownEvent, KEY_A, kShiftFlag},
                                Seen{kKeyUpEvent, KEY_A, kCommandFlag}));

}

}  // namespace
}  // namespace quorvelle::testing_support
