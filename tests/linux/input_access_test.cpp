// The input access check on a made-up /dev and /sys, run without privileges
// so that permissions count; and the udev rule that grants the access.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "linux/file_util.h"
#include "linux/input_access.h"
#include "linux/input_access_rule.h"
#include "linux/tap/device_kind.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"
#include "linux/virtual_keyboard_identity.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::HasSubstr;

struct Node {
  std::string name;
  std::string deviceName;
  std::string events;  // capabilities/ev
  std::string keys;    // capabilities/key
  mode_t mode;
};

const char kKeyboardEvents[] = "120013";
const char kKeyboardKeys[] = "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe";

void write(const std::string& path, const std::string& text) {
  std::string error;
  ASSERT_TRUE(makeDirectories(parentPath(path), &error)) << error;
  std::ofstream(path) << text << "\n";
}

// Builds the folders, then runs the check as an unprivileged process.
std::pair<bool, std::string> check(const TempDir& root, mode_t uinputMode, const std::vector<Node>& nodes) {
  InputAccessPaths paths{root.file("dev/input"), root.file("dev/uinput"), root.file("sys/class/input")};
  write(paths.uinputPath, "");
  chmod(paths.uinputPath.c_str(), uinputMode);
  std::string error;
  makeDirectories(paths.inputDirectory, &error);
  for (const Node& node : nodes) {
    write(paths.inputDirectory + "/" + node.name, "");
    chmod((paths.inputDirectory + "/" + node.name).c_str(), node.mode);
    if (node.deviceName.empty()) continue;  // no sysfs entry
    const std::string device = paths.sysClassInput + "/" + node.name + "/device";
    write(device + "/name", node.deviceName);
    write(device + "/capabilities/ev", node.events);
    write(device + "/capabilities/key", node.keys);
    write(device + "/id/bustype", "0011");
  }
  chmod(root.path().c_str(), 0755);
  std::string why;
  const int status = runUnprivileged(
      [&](int out) {
        std::string reason;
        const bool granted = hasInputAccess(paths, &reason);
        if (::write(out, reason.data(), reason.size()) < 0) return 3;
        return granted ? 0 : 1;
      },
      &why);
  EXPECT_TRUE(status == 0 || status == 1) << "status " << status;
  return {status == 0, why};
}

TEST(InputAccess, NeedsUinputReadWriteAndEveryKeyboardReadable) {
  {
    TempDir root;
    auto [granted, why] = check(root, 0644, {});
    EXPECT_FALSE(granted);
    EXPECT_THAT(why, HasSubstr("dev/uinput: Permission denied"));
  }
  {
    TempDir root;
    auto [granted, why] = check(root, 0666, {{"event0", "AT Keyboard", kKeyboardEvents, kKeyboardKeys, 0644},
                                             {"event3", "USB Keyboard", kKeyboardEvents, kKeyboardKeys, 0600}});
    EXPECT_FALSE(granted);
    EXPECT_THAT(why, HasSubstr("dev/input/event3: Permission denied"));
  }
  {
    // Unreadable but no keyboard of ours to grab: a mouse, a keyboard that
    // also points, our own virtual keyboard, a node sysfs does not describe.
    TempDir root;
    auto [granted, why] = check(
        root, 0666,
        {{"event0", "AT Keyboard", kKeyboardEvents, kKeyboardKeys, 0644},
         {"event1", "Mouse", "17", "1f0000 0 0 0 0", 0600},
         {"event2", "Keyboard With Trackpoint", "120017", kKeyboardKeys, 0600},
         {"event4", kVirtualKeyboardName, "100013", kKeyboardKeys, 0600},
         {"event5", "", "", "", 0600}});
    EXPECT_TRUE(granted) << why;
  }
}

TEST(DeviceKind, KeyboardsAreWhatUdevCallsKeyboardsExceptOursAndPointers) {
  DeviceDescription keyboard{"AT Keyboard", 0x11, 1, 1, 0xFFFFFFFE, false};
  EXPECT_EQ(classifyDevice(keyboard, kVirtualKeyboardName), DeviceKind::Keyboard);
  DeviceDescription noD = keyboard;
  noD.firstKeys &= ~(1u << 31);  // KEY_D
  EXPECT_EQ(classifyDevice(noD, kVirtualKeyboardName), DeviceKind::Other);
  DeviceDescription pointing = keyboard;
  pointing.hasAxes = true;
  EXPECT_EQ(classifyDevice(pointing, kVirtualKeyboardName), DeviceKind::Other);
  DeviceDescription renamed = keyboard;
  renamed.name = "Test Virtual Keyboard";
  EXPECT_EQ(classifyDevice(renamed, "Test Virtual Keyboard"), DeviceKind::OurVirtualKeyboard);
  DeviceDescription byId{"Other Name", kVirtualKeyboardBus, kVirtualKeyboardVendor, kVirtualKeyboardProduct,
                         0xFFFFFFFE, false};
  EXPECT_EQ(classifyDevice(byId, "Test Virtual Keyboard"), DeviceKind::OurVirtualKeyboard);
  DeviceDescription byName = keyboard;
  byName.name = kVirtualKeyboardName;
  EXPECT_EQ(classifyDevice(byName, "Test Virtual Keyboard"), DeviceKind::OurVirtualKeyboard);

  // The virtual keyboard offers keys, never buttons.
  for (unsigned code : {KEY_ESC, KEY_A, KEY_F18, KEY_MICMUTE, KEY_OK, KEY_FN, KEY_MACRO1, KEY_KBD_LCD_MENU5}) {
    EXPECT_TRUE(isVirtualKeyboardKey(code)) << code;
  }
  for (unsigned code : {KEY_RESERVED, BTN_LEFT, BTN_TOUCH, BTN_DPAD_UP, BTN_TRIGGER_HAPPY, KEY_MAX}) {
    EXPECT_FALSE(isVirtualKeyboardKey(code)) << code;
  }
}

TEST(InputAccessRule, TagsUinputAndKeyboardsButNotOurVirtualKeyboard) {
  const std::string path = kInputAccessRulePath;
  EXPECT_EQ(path.rfind("etc/udev/rules.d/", 0), 0u);
  const std::string file = path.substr(path.rfind('/') + 1);
  EXPECT_GT(file, "60-input-id.rules") << "keyboards are marked by then";
  EXPECT_LT(file, "73-seat-late.rules") << "uaccess is applied there";

  const std::string rule = inputAccessRuleText();
  std::vector<std::string> lines;
  std::istringstream stream(rule);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  EXPECT_THAT(lines, ::testing::ElementsAre(
                         "SUBSYSTEM==\"misc\", KERNEL==\"uinput\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"",
                         "ACTION==\"remove\", GOTO=\"quorvelle_end\"", "SUBSYSTEM!=\"input\", GOTO=\"quorvelle_end\"",
                         "KERNEL!=\"event*\", GOTO=\"quorvelle_end\"",
                         "ENV{ID_INPUT_KEYBOARD}!=\"1\", GOTO=\"quorvelle_end\"",
                         "ATTRS{name}==\"Quorvelle Virtual Keyboard\", GOTO=\"quorvelle_end\"", "TAG+=\"uaccess\"",
                         "LABEL=\"quorvelle_end\""));
}

}  // namespace
}  // namespace quorvelle::testing_support
