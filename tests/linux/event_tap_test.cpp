// The Linux event tap end to end over socket pairs: raw keyboard frames in,
// the engine's handler, the virtual keyboard's frames out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "linux/tap_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr ModifierFlags kNone = 0;

// A started engine with one keyboard whose Caps Lock the kernel could not
// remap, so the tap reports it as F18 itself.
class EventTapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keyboard = &h.plug("event0");
    h.remapper.translations[keyboard->tapFd] = {{KEY_CAPSLOCK, KEY_F18}};
    ASSERT_TRUE(h.engine->start());
  }
  void type(std::uint16_t code, std::int32_t value) { h.type("event0", frame(code, value)); }

  TapHarness h;
  sim::SimInputDevices::Device* keyboard = nullptr;
};

TEST_F(EventTapTest, HyperKeyAddsSyntheticModifiersInOrderAndReleasesThemInReverse) {
  type(KEY_CAPSLOCK, 1);
  EXPECT_THAT(h.output(), IsEmpty()) << "the hyper key itself never reaches the display server";
  type(KEY_A, 1);
  EXPECT_THAT(h.output(), ElementsAre("LCTRL 1", "SYN", "LALT 1", "SYN", "LMETA 1", "SYN", "MSC 7001e", "A 1", "SYN"));
  EXPECT_EQ(h.lastWrites, 1);
  type(KEY_A, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 0", "SYN"));
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"));

  type(KEY_B, 1);
  type(KEY_B, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 70030", "B 1", "SYN", "MSC 70030", "B 0", "SYN"));
}

TEST_F(EventTapTest, CapsLockAloneProducesNothing) {
  type(KEY_CAPSLOCK, 1);
  h.type("event0", {key(KEY_CAPSLOCK, 2), report(), key(KEY_CAPSLOCK, 2), report()});
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), IsEmpty());
  EXPECT_FALSE(h.engine->isHyperDown());
}

TEST_F(EventTapTest, FramesOfOneReadLeaveInOneWriteInOrder) {
  std::vector<input_event> batch;
  for (std::uint16_t code : {KEY_A, KEY_B}) {
    for (std::int32_t value : {1, 0}) {
      for (const input_event& e : frame(code, value)) batch.push_back(e);
    }
  }
  batch.push_back(light(LED_CAPSL, 1));  // a light echoed back: never passed on
  batch.push_back(report());
  h.type("event0", batch);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN", "MSC 7001e", "A 0", "SYN", "MSC 70030", "B 1",
                                      "SYN", "MSC 70030", "B 0", "SYN"));
  EXPECT_EQ(h.lastWrites, 1);
}

TEST_F(EventTapTest, PhysicalModifiersPassOnceAndAreNotPressedAgain) {
  type(KEY_RIGHTALT, 1);
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 70064", "RALT 1", "SYN", "LCTRL 1", "SYN", "LMETA 1", "SYN", "MSC 7001e",
                                      "A 1", "SYN"));
  // The user presses the key a synthetic modifier holds: it becomes theirs.
  type(KEY_LEFTMETA, 1);
  EXPECT_THAT(h.output(), IsEmpty());
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 0", "SYN", "LCTRL 0", "SYN"));
  type(KEY_LEFTMETA, 0);
  type(KEY_RIGHTALT, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7007d", "LMETA 0", "SYN", "MSC 70064", "RALT 0", "SYN"));
}

TEST_F(EventTapTest, NewFlagsWhileHeldReleaseInReverseThenPress) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  type(KEY_A, 0);
  h.output();
  h.engine->injectedFlags = kShiftFlag | kCommandFlag;
  type(KEY_B, 1);
  EXPECT_THAT(h.output(), ElementsAre("LALT 0", "SYN", "LCTRL 0", "SYN", "LSHIFT 1", "SYN", "MSC 70030", "B 1", "SYN"));
  type(KEY_B, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 70030", "B 0", "SYN", "LMETA 0", "SYN", "LSHIFT 0", "SYN"));
}

TEST_F(EventTapTest, NoLoneModifierTapForKeysPressedBeforeHyper) {
  type(KEY_A, 1);
  type(KEY_CAPSLOCK, 1);
  h.type("event0", {key(KEY_A, 2), report()});
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN", "A 2", "SYN", "MSC 7001e", "A 0", "SYN"));
}

TEST_F(EventTapTest, RepeatsPassOncePerRepeatWithTheModifiersHeld) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  for (int i = 0; i < 3; ++i) h.type("event0", {key(KEY_CAPSLOCK, 2), report(), key(KEY_A, 2), report()});
  EXPECT_THAT(h.output(), ElementsAre("A 2", "SYN", "A 2", "SYN", "A 2", "SYN"));
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 0", "SYN", "LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"));
}

TEST_F(EventTapTest, SynDroppedForgetsHyperAndResynchronisesKeys) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  // While events were lost, Caps Lock and A went up and B went down.
  KeyBits now;
  now.set(KEY_B);
  keyboard->keysDownAnswers = {now};
  // What follows the drop up to the next report is lost with it.
  h.type("event0", {event(EV_SYN, SYN_DROPPED, 0), key(KEY_C, 1), report(), key(KEY_C, 0), report()});
  EXPECT_FALSE(h.engine->isHyperDown());
  EXPECT_THAT(h.output(),
              ElementsAre("LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN", "A 0", "SYN", "B 1", "SYN"));
  type(KEY_C, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7002e", "C 1", "SYN"));
}

TEST_F(EventTapTest, StopReleasesEveryKeyUngrabsAndDestroysTheVirtualKeyboard) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  h.engine->stop();
  EXPECT_THAT(h.output(), ElementsAre("LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN", "A 0", "SYN"));
  EXPECT_TRUE(h.devices->virtualDestroyed);
  EXPECT_TRUE(keyboard->closed);
  EXPECT_FALSE(keyboard->grabbed);
  EXPECT_FALSE(h.taps->isKeyPhysicallyDown(KEY_F18));
  // And it starts again, with a new virtual keyboard.
  ASSERT_TRUE(h.engine->start());
  EXPECT_FALSE(h.devices->virtualDestroyed);
}

TEST_F(EventTapTest, UnpluggedKeyboardReleasesItsKeysQuietly) {
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  h.unplug("event0");
  ASSERT_TRUE(h.loop.runUntil([&] { return keyboard->closed; }, 5.0));
  EXPECT_THAT(h.output(), ElementsAre("A 0", "SYN", "LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"));
  EXPECT_FALSE(h.engine->isHyperDown());
  EXPECT_FALSE(h.taps->isKeyPhysicallyDown(KEY_F18));
  EXPECT_THAT(h.log.lines, IsEmpty());
}

TEST_F(EventTapTest, KeyboardsShareTheHyperKeyAndKeysDownOnBoth) {
  sim::SimInputDevices::Device& second = h.plug("event1");
  ASSERT_TRUE(h.loop.runUntil([&] { return second.grabbed; }, 5.0));
  EXPECT_EQ(h.remapper.prepared.back(), second.tapFd) << "a new keyboard gets the mapping in effect";
  type(KEY_CAPSLOCK, 1);
  h.type("event1", frame(KEY_A, 1));
  EXPECT_THAT(h.output(), ElementsAre("LCTRL 1", "SYN", "LALT 1", "SYN", "LMETA 1", "SYN", "MSC 7001e", "A 1", "SYN"));
  // No translation on the second keyboard: its Caps Lock is Caps Lock.
  type(KEY_CAPSLOCK, 0);
  type(KEY_A, 1);
  h.type("event1", frame(KEY_A, 0));
  h.output();
  type(KEY_A, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 0", "SYN")) << "up when the last keyboard lets go";
  h.type("event1", frame(KEY_CAPSLOCK, 1));
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN"));
}

TEST_F(EventTapTest, LightsTheDisplayServerSetsReachEveryKeyboard) {
  send(h.devices->virtualTestFd, {light(LED_CAPSL, 1), light(LED_NUML, 1)});
  h.pump();
  const auto lights = [](sim::SimInputDevices::Device& d) {
    std::vector<std::string> lines;
    for (const auto& message : readMessages(d.testFd)) {
      for (const input_event& e : message) lines.push_back(describe(e));
    }
    return lines;
  };
  EXPECT_THAT(lights(*keyboard), ElementsAre("LED 0 1", "LED 1 1", "SYN"));
  sim::SimInputDevices::Device& later = h.plug("event1");
  ASSERT_TRUE(h.loop.runUntil([&] { return later.grabbed; }, 5.0));
  EXPECT_THAT(lights(later), ElementsAre("LED 0 1", "LED 1 1", "SYN"));
  EXPECT_THAT(h.output(), IsEmpty());
}

TEST(EventTapHandler, SeesKeyDownsRepeatsAndUpsWithTheModifiersHeld) {
  struct Seen {
    std::uint32_t type;
    std::uint16_t code;
    ModifierFlags flags;
    bool operator==(const Seen&) const = default;
  };
  std::vector<Seen> seen;
  EventTapCallback record = [](std::uint32_t type, KeyEvent* e, void* info) -> KeyEvent* {
    static_cast<std::vector<Seen>*>(info)->push_back({type, e->keyCode, e->flags});
    return e;
  };
  TapHarness h;
  h.plug("event0");
  std::unique_ptr<EventTap> tap = h.taps->createTap(kKeyEventMask, record, &seen);
  ASSERT_TRUE(tap);
  EXPECT_FALSE(h.taps->createTap(kKeyEventMask, record, &seen)) << "one tap at a time";

  // Not on the run loop yet: nothing is read; the kernel keeps it.
  send(h.device("event0").testFd, frame(KEY_RIGHTSHIFT, 1));
  send(h.device("event0").testFd, frame(KEY_A, 1));
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
  EXPECT_THAT(h.output(), ElementsAre("MSC 70036", "RSHIFT 1", "SYN", "MSC 7001e", "A 1", "SYN", "A 2", "SYN",
                                      "MSC 70036", "RSHIFT 0", "SYN", "MSC 7007e", "RMETA 1", "SYN", "MSC 7001e",
                                      "A 0", "SYN"));

  // Disabled, events pass unchanged and the handler sees none.
  seen.clear();
  KeyBits metaHeld;
  metaHeld.set(KEY_RIGHTMETA);
  h.device("event0").keysDownAnswers = {metaHeld};
  tap->setEnabled(false);
  h.type("event0", frame(KEY_F18, 1));
  h.type("event0", {event(EV_SYN, SYN_DROPPED, 0), report()});
  EXPECT_THAT(seen, IsEmpty());
  tap->setEnabled(true);
  h.type("event0", {event(EV_SYN, SYN_DROPPED, 0), report()});
  EXPECT_THAT(seen, ElementsAre(Seen{kTapDisabledByTimeout, 0, kCommandFlag}));
  EXPECT_THAT(h.output(), ElementsAre("MSC 700bc", "F18 1", "SYN", "F18 0", "SYN"));
}

TEST(EventTapHandler, KeyGoesUpAsWhatItWentDownAs) {
  EventTapCallback pass = [](std::uint32_t, KeyEvent* e, void*) { return e; };
  TapHarness h;
  sim::SimInputDevices::Device& keyboard = h.plug("event0");
  std::unique_ptr<EventTap> tap = h.taps->createTap(kKeyEventMask, pass, nullptr);
  std::unique_ptr<RunLoopSource> source = tap->createRunLoopSource();
  source->addToMainRunLoop();
  tap->setEnabled(true);
  h.type("event0", frame(KEY_CAPSLOCK, 1));
  // The mapping in effect changes while Caps Lock is down.
  h.remapper.translations[keyboard.tapFd] = {{KEY_CAPSLOCK, KEY_F18}};
  tap->setEnabled(false);
  tap->setEnabled(true);
  h.type("event0", frame(KEY_CAPSLOCK, 0));
  h.type("event0", frame(KEY_CAPSLOCK, 1));
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN", "MSC 7003a", "CAPS 0", "SYN", "MSC 7003a",
                                      "F18 1", "SYN"));
}

}  // namespace
}  // namespace quorvelle::testing_support
