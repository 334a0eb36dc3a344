#pragma once

#include <string>

namespace quorvelle {

// Where the grant helper installs the rule, under the root folder. Sorted
// after 60-input-id (which marks keyboards) and before 73-seat-late (which
// turns the uaccess tag into access for the user at the seat).
inline constexpr char kInputAccessRulePath[] = "etc/udev/rules.d/70-quorvelle.rules";

// The udev rule that tags /dev/uinput and every keyboard's event node
// uaccess, except our own virtual keyboard, which no one needs to read. Its
// test is udev's ID_INPUT_KEYBOARD, which is classifyDevice's: every key from
// Escape to D, whether the device also points or not.
std::string inputAccessRuleText();

}  // namespace quorvelle
