// The key mapping tool on real kernel keymaps, without the engine.
#include <unistd.h>

#include "guest_common.h"
#include "scenarios.h"

namespace vmtest {
namespace {

const char kSwapAB[] =
    "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000004,\"HIDKeyboardModifierMappingDst\":"
    "0x700000005},\n {\"HIDKeyboardModifierMappingSrc\":30064771077,\"HIDKeyboardModifierMappingDst\":"
    "0x700000004}]}";

// Caps Lock arrives as F18 while the mapping is set and as Caps Lock after [].
void checkCapsMapping(Scenario& s, HostLink& host, const std::string& node, const std::string& device) {
  EventNode keyboard(node);
  if (!s.expect(keyboard.ok(), "cannot open " + node)) return;
  std::string at = device.empty() ? "" : "@" + device;
  bool ledBefore = keyboard.ledOn(LED_CAPSL);

  ToolResult set = runTool({"property", "--set", kApplyText});
  s.expect(set.status == 0, "--set apply exited " + std::to_string(set.status));
  bool complete = false;
  auto keys = pressAndCollect(host, keyboard, {"caps_lock:t" + at, "b:t" + at}, KEY_B, &complete);
  s.expect(keysAre(keys, {{KEY_F18, 1}, {KEY_F18, 0}, {KEY_B, 1}, {KEY_B, 0}}),
           "mapped Caps Lock tap gave " + describeKeys(keys));
  s.expect(keyboard.ledOn(LED_CAPSL) == ledBefore, "the Caps Lock LED changed while mapped");

  ToolResult get = runTool({"property", "--get", "UserKeyMapping"});
  std::string expected = std::string(kApplyText).substr(18);
  expected.pop_back();
  s.expect(get.status == 0 && get.output == expected + "\n", "--get printed " + get.output);

  ToolResult clear = runTool({"property", "--set", kClearText});
  s.expect(clear.status == 0, "--set [] exited " + std::to_string(clear.status));
  keys = pressAndCollect(host, keyboard, {"caps_lock:t" + at, "b:t" + at}, KEY_B, &complete);
  s.expect(keysAre(keys, {{KEY_CAPSLOCK, 1}, {KEY_CAPSLOCK, 0}, {KEY_B, 1}, {KEY_B, 0}}),
           "restored Caps Lock tap gave " + describeKeys(keys));
  // The console's keyboard handler toggles the lock: proof that the LED
  // check above could have failed. Toggle it back.
  s.info(std::string("Caps Lock LED after an unmapped tap: ") + (keyboard.ledOn(LED_CAPSL) ? "on" : "off"));
  pressAndCollect(host, keyboard, {"caps_lock:t" + at, "b:t" + at}, KEY_B, &complete);
  s.expect(access("/tmp/quorvelle-0/keymap-state", F_OK) != 0, "the state file outlived []");
}

void keymapPs2(HostLink& host) {
  Scenario s("keymap-ps2: the tool maps Caps Lock to F18 on the PS/2 keyboard and [] restores it");
  auto nodes = waitForNodes(kPs2Keyboard, 1, kWaitMs);
  if (!s.expect(nodes.size() == 1, "no PS/2 keyboard")) return;
  checkCapsMapping(s, host, nodes[0], "");
}

void keymapRejects(HostLink& host) {
  Scenario s("keymap-rejects: malformed text, unknown keys and other usage pages change nothing");
  auto nodes = waitForNodes(kUsbKeyboard, 1, kWaitMs);
  if (!s.expect(!nodes.empty(), "no USB keyboard")) return;
  EventNode keyboard(nodes[0]);
  s.expect(runTool({"property", "--set", kApplyText}).status == 0, "apply failed");
  const char* bad[] = {
      "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039}]}",
      "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039,\"HIDKeyboardModifierMappingDst\":0xC000000E9}]}",
      "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x7000000FF,\"HIDKeyboardModifierMappingDst\":0x700000004}]}",
      "{\"UserKeyMapping\":[]",
      "{\"Other\":[]}",
  };
  for (const char* text : bad) {
    ToolResult result = runTool({"property", "--set", text});
    s.expect(result.status == 2, std::string("exit ") + std::to_string(result.status) + " for " + text);
  }
  s.expect(runTool({"property", "--frobnicate", "x"}).status == 2, "an unknown option was accepted");
  bool complete = false;
  auto keys = pressAndCollect(host, keyboard, {"caps_lock:t@vga0", "b:t@vga0"}, KEY_B, &complete);
  s.expect(keysAre(keys, {{KEY_F18, 1}, {KEY_F18, 0}, {KEY_B, 1}, {KEY_B, 0}}),
           "after rejected texts Caps Lock gave " + describeKeys(keys));
  s.expect(runTool({"property", "--set", kClearText}).status == 0, "[] failed");
}

void keymapReplace(HostLink& host) {
  Scenario s("keymap-replace: a new mapping first undoes the old one; swaps work; [] restores all");
  auto nodes = waitForNodes(kUsbKeyboard, 1, kWaitMs);
  if (!s.expect(!nodes.empty(), "no USB keyboard")) return;
  EventNode keyboard(nodes[0]);
  ToolResult swap = runTool({"property", "--set", kSwapAB});
  s.expect(swap.status == 0, "swap exited " + std::to_string(swap.status));
  bool complete = false;
  auto keys = pressAndCollect(host, keyboard, {"a:t@vga0", "b:t@vga0", "c:t@vga0"}, KEY_C, &complete);
  s.expect(keysAre(keys, {{KEY_B, 1}, {KEY_B, 0}, {KEY_A, 1}, {KEY_A, 0}, {KEY_C, 1}, {KEY_C, 0}}),
           "swapped A and B gave " + describeKeys(keys));
  s.expect(runTool({"property", "--set", kApplyText}).status == 0, "apply failed");
  keys = pressAndCollect(host, keyboard, {"a:t@vga0", "caps_lock:t@vga0", "c:t@vga0"}, KEY_C, &complete);
  s.expect(keysAre(keys, {{KEY_A, 1}, {KEY_A, 0}, {KEY_F18, 1}, {KEY_F18, 0}, {KEY_C, 1}, {KEY_C, 0}}),
           "after replacing the swap gave " + describeKeys(keys));
  s.expect(runTool({"property", "--set", kClearText}).status == 0, "[] failed");
  keys = pressAndCollect(host, keyboard, {"a:t@vga0", "b:t@vga0", "c:t@vga0"}, KEY_C, &complete);
  s.expect(keysAre(keys, {{KEY_A, 1}, {KEY_A, 0}, {KEY_B, 1}, {KEY_B, 0}, {KEY_C, 1}, {KEY_C, 0}}),
           "after [] gave " + describeKeys(keys));
}

}  // namespace

void addKeymapScenarios(std::vector<NamedScenario>* scenarios) {
  scenarios->push_back({"keymap-ps2", keymapPs2});
  scenarios->push_back({"keymap-rejects", keymapRejects});
  scenarios->push_back({"keymap-replace", keymapReplace});
}

}  // namespace vmtest
