#include "linux/keymap/keymap_plan.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace quorvelle {
namespace {

// A USB HID keyboard's scancodes: 0x70000 | usage, little-endian.
Scancode usb(std::uint8_t usage) { return {usage, 0x00, 0x07, 0x00}; }

const std::vector<KeymapEntry> kUsbKeymap = {
    {usb(0x04), KEY_A}, {usb(0x05), KEY_B}, {usb(0x39), KEY_CAPSLOCK}, {usb(0x6D), KEY_F18}};
const KeyCodeMapping kCapsToF18{KEY_CAPSLOCK, KEY_F18};

TEST(KeymapPlanTest, MapsEveryEntryOfTheSourceAndRecordsItsOriginal) {
  // A PS/2 keymap: plain scancodes, and two of them give Caps Lock.
  std::vector<KeymapEntry> ps2 = {{{0x1e}, KEY_A}, {{0x3a}, KEY_CAPSLOCK}, {{0xba}, KEY_CAPSLOCK}};
  KeymapPlan plan = planKeymap(ps2, {}, {kCapsToF18});
  EXPECT_EQ(plan.writes, (std::vector<KeymapEntry>{{{0x3a}, KEY_F18}, {{0xba}, KEY_F18}}));
  EXPECT_EQ(plan.replaced, (std::vector<Replacement>{{{0x3a}, KEY_CAPSLOCK}, {{0xba}, KEY_CAPSLOCK}}));
  EXPECT_TRUE(plan.sourcesNotInKeymap.empty());
}

TEST(KeymapPlanTest, ReapplyingChangesNothingAndKeepsTheRecord) {
  std::vector<KeymapEntry> mapped = kUsbKeymap;
  mapped[2].keyCode = KEY_F18;
  std::vector<Replacement> recorded = {{usb(0x39), KEY_CAPSLOCK}};
  KeymapPlan plan = planKeymap(mapped, recorded, {kCapsToF18});
  EXPECT_TRUE(plan.writes.empty());
  EXPECT_EQ(plan.replaced, recorded);
}

TEST(KeymapPlanTest, AnEmptyMappingRestoresExactlyTheRecordedEntries) {
  std::vector<KeymapEntry> mapped = kUsbKeymap;
  mapped[2].keyCode = KEY_F18;
  // B was changed by someone else, not by us: it stays as it is.
  mapped[1].keyCode = KEY_C;
  KeymapPlan plan = planKeymap(mapped, {{usb(0x39), KEY_CAPSLOCK}}, {});
  EXPECT_EQ(plan.writes, (std::vector<KeymapEntry>{{usb(0x39), KEY_CAPSLOCK}}));
  EXPECT_TRUE(plan.replaced.empty());
}

TEST(KeymapPlanTest, ANewMappingStartsFromTheOriginalKeys) {
  // Caps Lock was F18; now A and B swap and Caps Lock goes back.
  std::vector<KeymapEntry> mapped = kUsbKeymap;
  mapped[2].keyCode = KEY_F18;
  KeymapPlan plan = planKeymap(mapped, {{usb(0x39), KEY_CAPSLOCK}}, {{KEY_A, KEY_B}, {KEY_B, KEY_A}});
  EXPECT_EQ(plan.writes,
            (std::vector<KeymapEntry>{{usb(0x04), KEY_B}, {usb(0x05), KEY_A}, {usb(0x39), KEY_CAPSLOCK}}));
  EXPECT_EQ(plan.replaced, (std::vector<Replacement>{{usb(0x04), KEY_A}, {usb(0x05), KEY_B}}));

  // Applying the swap again to the swapped keymap must not swap back.
  std::vector<KeymapEntry> swapped = {{usb(0x04), KEY_B}, {usb(0x05), KEY_A}};
  KeymapPlan again = planKeymap(swapped, plan.replaced, {{KEY_A, KEY_B}, {KEY_B, KEY_A}});
  EXPECT_TRUE(again.writes.empty());
  EXPECT_EQ(again.replaced, plan.replaced);
}

TEST(KeymapPlanTest, AMappingToAKeyThatItselfIsMappedIsNotChained) {
  KeymapPlan plan = planKeymap(kUsbKeymap, {}, {{KEY_CAPSLOCK, KEY_A}, {KEY_A, KEY_B}});
  EXPECT_EQ(plan.writes, (std::vector<KeymapEntry>{{usb(0x04), KEY_B}, {usb(0x39), KEY_A}}));
}

TEST(KeymapPlanTest, ForgetsRecordsOfScancodesTheKeymapNoLongerHas) {
  KeymapPlan plan = planKeymap(kUsbKeymap, {{usb(0x99), KEY_CAPSLOCK}}, {kCapsToF18});
  EXPECT_EQ(plan.replaced, (std::vector<Replacement>{{usb(0x39), KEY_CAPSLOCK}}));
}

TEST(KeymapPlanTest, ReportsSourcesTheKeymapDoesNotProduce) {
  // A uinput keyboard has no keymap at all.
  KeymapPlan none = planKeymap({}, {}, {kCapsToF18, {KEY_A, KEY_B}});
  EXPECT_TRUE(none.writes.empty());
  EXPECT_EQ(none.sourcesNotInKeymap, (std::vector<std::uint16_t>{KEY_CAPSLOCK, KEY_A}));
  KeymapPlan some = planKeymap(kUsbKeymap, {}, {kCapsToF18, {KEY_LEFTMETA, KEY_A}});
  EXPECT_EQ(some.sourcesNotInKeymap, (std::vector<std::uint16_t>{KEY_LEFTMETA}));
}

}  // namespace
}  // namespace quorvelle
