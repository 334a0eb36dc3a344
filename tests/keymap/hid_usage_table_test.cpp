#include "linux/keymap/hid_usage_table.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace quorvelle {
namespace {

TEST(HidUsageTableTest, MapsKeyboardUsagesAsTheKernelDoes) {
  struct Case {
    std::uint32_t usage;
    int key;
  } cases[] = {
      {0x04, KEY_A},         {0x1D, KEY_Z},          {0x1E, KEY_1},         {0x27, KEY_0},
      {0x28, KEY_ENTER},     {0x29, KEY_ESC},        {0x39, KEY_CAPSLOCK},  {0x3A, KEY_F1},
      {0x45, KEY_F12},       {0x64, KEY_102ND},      {0x68, KEY_F13},       {0x6D, KEY_F18},
      {0x73, KEY_F24},       {0x87, KEY_RO},         {0xE0, KEY_LEFTCTRL},  {0xE1, KEY_LEFTSHIFT},
      {0xE2, KEY_LEFTALT},   {0xE3, KEY_LEFTMETA},   {0xE4, KEY_RIGHTCTRL}, {0xE7, KEY_RIGHTMETA},
      {0xF9, KEY_COFFEE},     {0xFB, KEY_CALC},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keyCodeForKeyboardUsage(c.usage), std::optional<std::uint16_t>(c.key)) << std::hex << c.usage;
  }
  for (std::uint32_t none : {0x00u, 0x01u, 0x03u, 0x82u, 0xA5u, 0xFCu, 0xFFu, 0x100u, 0x10039u}) {
    EXPECT_FALSE(keyCodeForKeyboardUsage(none)) << std::hex << none;
  }
}

TEST(HidUsageTableTest, ConvertsMappingsAndRejectsWhatTheKernelCannotDo) {
  std::string error;
  auto mappings = keyCodeMappings({{0x700000039, 0x70000006D}, {0x700000004, 0x7000000E0}}, &error);
  ASSERT_TRUE(mappings) << error;
  EXPECT_EQ(*mappings, (std::vector<KeyCodeMapping>{{KEY_CAPSLOCK, KEY_F18}, {KEY_A, KEY_LEFTCTRL}}));

  struct Case {
    std::vector<UsageMapping> mappings;
    const char* error;
  } cases[] = {
      {{{0x800000039, 0x70000006D}}, "entry 1: source 0x800000039 is not on HID usage page 7"},
      {{{0x39, 0x70000006D}}, "source 0x39 is not on HID usage page 7"},
      {{{0x700000039, 0xC000000E9}}, "destination 0xC000000E9 is not on HID usage page 7"},
      {{{0x700000039, 0x70000006D}, {0x700000082, 0x700000004}}, "entry 2: source 0x700000082 is not a key the kernel knows"},
      {{{0x700000039, 0x700000100}}, "destination 0x700000100 is not a key"},
      // Usages 0x31 and 0x32 are both the kernel's backslash.
      {{{0x700000031, 0x700000004}, {0x700000032, 0x700000005}}, "entry 2: source 0x700000032 is mapped twice"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(keyCodeMappings(c.mappings, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace quorvelle
