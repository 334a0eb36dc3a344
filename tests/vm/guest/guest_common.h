#pragma once

#include <linux/input.h>

#include <string>
#include <vector>

#include "host_link.h"
#include "input_device.h"
#include "linux/virtual_keyboard_identity.h"

namespace vmtest {

inline const char kUsbKeyboard[] = "QEMU QEMU USB Keyboard";
inline const char kPs2Keyboard[] = "AT Translated Set 2 keyboard";
inline const char* const kVirtualKeyboard = quorvelle::kVirtualKeyboardName;
inline const char* const kVirtualPointer = quorvelle::kVirtualPointerName;
inline const char kTool[] = "/bin/quorvelle-keymap";
inline const char kApplyText[] =
    "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039,"
    "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}";
inline const char kClearText[] = "{\"UserKeyMapping\":[]}";
inline constexpr int kWaitMs = 15000;

struct ToolResult {
  int status = -1;
  std::string output;
};

// Runs the key mapping tool with the arguments and waits for it.
ToolResult runTool(const std::vector<std::string>& arguments);

// "code:value code:value ..." for messages.
std::string describeKeys(const std::vector<input_event>& keys);

// Presses the keys and collects the key events on `node` until `lastCode`
// goes up (a sentinel tap the caller ends the presses with).
std::vector<input_event> pressAndCollect(HostLink& host, EventNode& node, const std::vector<std::string>& presses,
                                         int lastCode, bool* complete, int gapMs = 30);

// Whether the keys are exactly these (code, value) pairs.
bool keysAre(const std::vector<input_event>& keys, const std::vector<std::pair<int, int>>& expected);

// Key names for readable failures.
std::string keyName(int code);

}  // namespace vmtest
