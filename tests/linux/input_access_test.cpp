// The input access check on a made-up /dev and /sys, run without privileges
// so that permissions count; which devices are keyboards; the access rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>

#include <fstream>

#include "linux/file_util.h"
#include "linux/input_access.h"
#include "linux/input_access_rule.h"
#include "linux/device_kind.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"
#include "linux/virtual_keyboard_identity.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::HasSubstr;

struct Node {
  std::string name;
  std::string deviceName;  // empty: sysfs does not describe it
  std::string keys;        // capabilities/key, the lowest word last
  mode_t mode;
};

const char kKeyboardKeys[] = "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe";

void put(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::string error;
  makeDirectories(parentPath(path), &error);
  std::ofstream(path) << text << "\n";
  chmod(path.c_str(), mode);
}

// Builds the folders, then runs the check in an unprivileged process.
std::pair<bool, std::string> check(mode_t uinputMode, const std::vector<Node>& nodes) {
  TempDir root;
  chmod(root.path().c_str(), 0755);
  const InputAccessPaths paths{root.file("dev/input"), root.file("dev/uinput"), root.file("sys/class/input")};
  put(paths.uinputPath, "", uinputMode);
  for (const Node& node : nodes) {
    put(paths.inputDirectory + "/" + node.name, "", node.mode);
    if (node.deviceName.empty()) continue;
    const std::string device = paths.sysClassInput + "/" + node.name + "/device";
    put(device + "/name", node.deviceName);
    put(device + "/capabilities/key", node.keys);
  }
  std::string why;
  const int status = runUnprivileged(
      [&](int out) {
        std::string reason;
        const bool granted = hasInputAccess(paths, &reason);
        return ::write(out, reason.data(), reason.size()) < 0 ? 3 : granted ? 0 : 1;
      },
      &why);
  EXPECT_TRUE(status == 0 || status == 1) << "status " << status;
  return {status == 0, why};
}

TEST(InputAccess, NeedsUinputReadWriteAndEveryKeyboardToGrabReadable) {
  auto [granted, why] = check(0444, {});
  EXPECT_FALSE(granted);
  EXPECT_THAT(why, HasSubstr("dev/uinput: Permission denied"));

  // A keyboard that also points is grabbed like any other.
  std::tie(granted, why) = check(0666, {{"event0", "AT Keyboard", kKeyboardKeys, 0644},
                                        {"event3", "Keyboard With Touchpad", kKeyboardKeys, 0000}});
  EXPECT_FALSE(granted);
  EXPECT_THAT(why, HasSubstr("dev/input/event3: Permission denied"));

  // Unreadable, but none a keyboard to grab: a mouse, our own virtual
  // devices, a node sysfs does not describe.
  std::tie(granted, why) = check(0666, {{"event0", "AT Keyboard", kKeyboardKeys, 0644},
                                        {"event1", "Mouse", "1f0000 0 0 0 0", 0000},
                                        {"event2", kVirtualPointerName, kKeyboardKeys, 0000},
                                        {"event4", kVirtualKeyboardName, kKeyboardKeys, 0000},
                                        {"event5", "", "", 0000}});
  EXPECT_TRUE(granted) << why;
}

TEST(DeviceKind, OursAreKnownByNameOrIdAndTheVirtualKeyboardHasNoButtons) {
  for (std::uint16_t product : {kVirtualKeyboardProduct, kVirtualPointerProduct}) {
    const DeviceDescription byId{"Renamed", kVirtualKeyboardBus, kVirtualKeyboardVendor, product, 0xFFFFFFFE};
    EXPECT_EQ(classifyDevice(byId, "Other Name"), DeviceKind::Ours);
  }
  const DeviceDescription byName{"Other Name", 3, 1, 1, 0xFFFFFFFE};
  EXPECT_EQ(classifyDevice(byName, "Other Name"), DeviceKind::Ours);
  for (unsigned code : {KEY_ESC, KEY_F18, KEY_MICMUTE, KEY_OK, KEY_MACRO1}) EXPECT_TRUE(isVirtualKeyboardKey(code));
  for (unsigned code : {KEY_RESERVED, BTN_LEFT, BTN_DPAD_UP, BTN_TRIGGER_HAPPY}) EXPECT_FALSE(isVirtualKeyboardKey(code));
}

TEST(InputAccessRule, TagsUinputAndKeyboardsButNotOurVirtualKeyboardBeforeSeatLate) {
  const std::string path = kInputAccessRulePath;
  const std::string file = path.substr(path.rfind('/') + 1);
  EXPECT_EQ(path, "etc/udev/rules.d/" + file);
  EXPECT_GT(file, "60-input-id.rules") << "keyboards are marked by then";
  EXPECT_LT(file, "73-seat-late.rules") << "the uaccess tag is applied there";
  const std::string rule = inputAccessRuleText();
  for (const char* line : {"\nSUBSYSTEM==\"misc\", KERNEL==\"uinput\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"\n",
                           "\nENV{ID_INPUT_KEYBOARD}!=\"1\", GOTO=\"quorvelle_end\"\n",
                           "\nATTRS{name}==\"Quorvelle Virtual Keyboard\", GOTO=\"quorvelle_end\"\nTAG+=\"uaccess\"\n"
                           "LABEL=\"quorvelle_end\"\n"}) {
    EXPECT_THAT(rule, HasSubstr(line));
  }
}

}  // namespace
}  // namespace quorvelle::testing_support
