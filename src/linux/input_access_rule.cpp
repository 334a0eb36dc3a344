#include "linux/input_access_rule.h"

#include "linux/virtual_keyboard_identity.h"

namespace quorvelle {

std::string inputAccessRuleText() {
  std::string text =
      "# Quorvelle: lets the user at the seat create virtual input devices and read\n"
      "# the keyboards (those that also point included), so that Caps Lock can act\n"
      "# as a hyper key. Installed by quorvelle-grant-access; delete this file to\n"
      "# take the access back.\n"
      "\n"
      "# uinput is a static node until its module loads.\n"
      "SUBSYSTEM==\"misc\", KERNEL==\"uinput\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"\n"
      "\n"
      "ACTION==\"remove\", GOTO=\"quorvelle_end\"\n"
      "SUBSYSTEM!=\"input\", GOTO=\"quorvelle_end\"\n"
      "KERNEL!=\"event*\", GOTO=\"quorvelle_end\"\n"
      "ENV{ID_INPUT_KEYBOARD}!=\"1\", GOTO=\"quorvelle_end\"\n";
  text += "ATTRS{name}==\"";
  text += kVirtualKeyboardName;
  text += "\", GOTO=\"quorvelle_end\"\n";
  text +=
      "TAG+=\"uaccess\"\n"
      "LABEL=\"quorvelle_end\"\n";
  return text;
}

}  // namespace quorvelle
