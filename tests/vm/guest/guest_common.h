#pragma once

#include <linux/input.h>

#include <string>
#include <vector>

#include "host_link.h"
#include "input_device.h"
#include "linux/input/virtual_keyboard_identity.h"

namespace vmtest {

inline const char kUsbKeyboard[] = "QEMU QEMU USB Keyboard";
inline const char kPs2Keyboard[] = "AT Translated Set 2 keyboard";
inline const char* const kVirtualKeyboard = quorvelle::kVirtualKeyboardName;
inline const char* const kVirtualPointer = quorvelle::kVirtualPointerName;
inline constexpr int kWaitMs = 15000;

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
