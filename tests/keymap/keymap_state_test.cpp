#include "linux/keymap/keymap_state.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

KeymapState sampleState() {
  KeymapState state;
  state.mapping = {{0x700000039, 0x70000006D}};
  DeviceIdentity usb{"QEMU QEMU USB Keyboard", "usb-0000:00:04.0-1/input0", "", 0x3, 0x627, 0x1, 0x111};
  DeviceIdentity odd{"50% \"odd\" name\twith=signs\xc3\xa9", "", "=", 0x11, 0x1, 0x1, 0xab41};
  state.devices = {{usb, {{{0x39, 0x00, 0x07, 0x00}, 58}}}, {odd, {{{0x3a}, 58}, {{0xba}, 58}}}};
  return state;
}

TEST(KeymapStateTest, RoundTripsThroughText) {
  KeymapState state = sampleState();
  std::string text = serializeKeymapState(state);
  std::string error;
  auto parsed = parseKeymapState(text, &error);
  ASSERT_TRUE(parsed) << error << "\n" << text;
  EXPECT_EQ(*parsed, state);
  auto empty = parseKeymapState(serializeKeymapState({}), &error);
  ASSERT_TRUE(empty) << error;
  EXPECT_TRUE(empty->empty());
}

TEST(KeymapStateTest, UpdatesOneDeviceRecord) {
  KeymapState state = sampleState();
  DeviceIdentity usb = state.devices[0].device;
  state.setReplaced(usb, {{{0x04, 0x00, 0x07, 0x00}, 30}});
  ASSERT_NE(state.find(usb), nullptr);
  EXPECT_EQ(state.find(usb)->replaced.size(), 1u);
  state.setReplaced(usb, {});
  EXPECT_EQ(state.find(usb), nullptr);
  EXPECT_EQ(state.devices.size(), 1u);
}

TEST(KeymapStateTest, RejectsAnythingNotWrittenByUs) {
  const std::string head = "quorvelle-keymap-state 1\nmapping []\n";
  const std::string device = "device 0003 0627 0001 0111 =kbd =usb-1 =\n";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "not a key mapping state file"},
      {"quorvelle-keymap-state 2\nmapping []\nend\n", "not a key mapping state file"},
      {head, "does not end with \"end\""},
      {head + "end", "unterminated"},
      {"quorvelle-keymap-state 1\nend\n", "does not end"},
      {"quorvelle-keymap-state 1\nmappings []\nend\n", "expected the mapping"},
      {"quorvelle-keymap-state 1\nmapping [{}]\nend\n", "line 2: bad mapping"},
      {"quorvelle-keymap-state 1\nmapping [{\"HIDKeyboardModifierMappingSrc\":0x800000039,"
       "\"HIDKeyboardModifierMappingDst\":0x70000006D}]\nend\n",
       "not on HID usage page 7"},
      {head + "replaced 3a 58\nend\n", "line 3: replaced key before any device"},
      {head + device + "end\n", "a device without replaced keys"},
      {head + device + "replaced 3a 58\n" + device + "replaced 3a 58\nend\n", "line 5: device listed twice"},
      {head + device + "replaced 3a 58\nreplaced 3a 30\nend\n", "line 5: scancode listed twice"},
      {head + device + "replaced 3a 768\nend\n", "bad key code"},
      {head + device + "replaced 3a 058\nend\n", "bad key code"},
      {head + device + "replaced 3a -1\nend\n", "bad key code"},
      {head + device + "replaced 3 58\nend\n", "bad scancode"},
      {head + device + "replaced zz 58\nend\n", "bad scancode"},
      {head + device + "replaced " + std::string(66, '0') + " 58\nend\n", "bad scancode"},
      {head + "device 003 0627 0001 0111 =kbd =usb-1 =\nreplaced 3a 58\nend\n", "bad device id"},
      {head + "device 0003 0627 0001 0111 kbd =usb-1 =\nreplaced 3a 58\nend\n", "bad device name"},
      {head + "device 0003 0627 0001 0111 =k%4 =usb-1 =\nreplaced 3a 58\nend\n", "bad device name"},
      {head + "device 0003 0627 0001 0111 =k%zz =usb-1 =\nreplaced 3a 58\nend\n", "bad device name"},
      {head + "device 0003 0627 0001 0111 =" + std::string(300, 'k') + " =usb-1 =\nreplaced 3a 58\nend\n",
       "bad device name"},
      {head + device + "replaced 3a 58\nend\nend\n", "unexpected line"},
      {head + device + "replaced 3a 58 1\nend\n", "unexpected line"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(parseKeymapState(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
  }
}

}  // namespace
}  // namespace quorvelle
