// The hyper key engine end to end: the engine host grabs the emulated
// keyboards, the checker reads what comes out of the virtual keyboard.
#include <unistd.h>

#include <functional>
#include <memory>

#include "engine_process.h"
#include "guest_common.h"
#include "hid_source.h"
#include "key_stream.h"
#include "scenarios.h"
#include "source_keyboard.h"

namespace vmtest {
namespace {

// The keys run_vm.py taps in a burst: a to z in turn.
const int kBurstCodes[26] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                             KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                             KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  std::int64_t deadline = nowMs() + timeoutMs;
  while (!condition()) {
    if (nowMs() > deadline) return false;
    usleep(10 * 1000);
  }
  return true;
}

// Every physical keyboard of the machine: two USB ones (more once one is
// plugged in) and the PS/2 one.
std::vector<std::string> physicalKeyboards() {
  std::vector<std::string> nodes = waitForNodes(kUsbKeyboard, 2, kWaitMs);
  for (const std::string& node : waitForNodes(kPs2Keyboard, 1, kWaitMs)) nodes.push_back(node);
  return nodes;
}

// A started engine and a reader of its virtual keyboard.
class RunningEngine {
 public:
  explicit RunningEngine(Scenario& s) : s_(s) {
    std::string reply = engine.command("start");
    if (!s.expect(reply == "ok started", "start: " + reply)) return;
    std::vector<std::string> nodes = waitForNodes(kVirtualKeyboard, 1, kWaitMs);
    if (!s.expect(nodes.size() == 1, "no virtual keyboard after start")) return;
    output = std::make_unique<EventNode>(nodes[0]);
    for (const std::string& node : physicalKeyboards()) {
      EventNode keyboard(node);
      s.expect(waitUntil([&] { return keyboard.grabbedElsewhere(); }, kWaitMs), node + " was not grabbed");
    }
    ready = output->ok() && !s.failed();
  }

  // Presses the keys and collects the output until `last` goes up.
  std::vector<input_event> press(HostLink& host, const std::vector<std::string>& presses, int last,
                                 int gapMs = 30) {
    bool complete = false;
    std::vector<input_event> keys = pressAndCollect(host, *output, presses, last, &complete, gapMs);
    s_.expect(complete, "no " + keyName(last) + " release in the output: " + describeKeys(keys));
    return keys;
  }

  // The common checks on an output stream: consistent, free of Caps Lock and
  // F18, nothing left down.
  void checkClean(const KeyStream& stream, const std::vector<input_event>& keys) {
    for (const std::string& problem : stream.problems()) s_.expect(false, problem + " in " + describeKeys(keys));
    s_.expect(stream.count(KEY_CAPSLOCK, 1) + stream.count(KEY_F18, 1) == 0,
              "Caps Lock or F18 reached the output: " + describeKeys(keys));
    s_.expect(!stream.anyDownAtEnd(), "keys left down in " + describeKeys(keys));
    s_.expect(!output->anyKeyDown(), "the virtual keyboard still holds a key");
  }

  EngineProcess engine;
  std::unique_ptr<EventNode> output;
  bool ready = false;

 private:
  Scenario& s_;
};

// Checks that `code` goes down and up with exactly the modifiers `want`
// ("CAM" for Control, Alt, Meta) held, and returns the index of its release.
int expectModified(Scenario& s, const KeyStream& stream, const std::vector<input_event>& keys, int code,
                   const std::string& want, size_t from = 0) {
  int down = stream.find(code, 1, from);
  int up = down < 0 ? -1 : stream.find(code, 0, static_cast<size_t>(down));
  if (!s.expect(down >= 0 && up >= 0, keyName(code) + " missing from " + describeKeys(keys))) return -1;
  // At the release the key itself is up; the modifiers must still be held.
  s.expect(stream.modifiers(static_cast<size_t>(down)) == want,
           keyName(code) + " down with " + stream.modifiers(static_cast<size_t>(down)) + " in " + describeKeys(keys));
  s.expect(stream.modifiers(static_cast<size_t>(up)) == want,
           keyName(code) + " up with " + stream.modifiers(static_cast<size_t>(up)) + " in " + describeKeys(keys));
  return up;
}

void hotPlug(HostLink& host) {
  Scenario s("6 hot-plug: a keyboard added while the engine runs is grabbed and its Caps Lock is hyper");
  RunningEngine run(s);
  if (!run.ready) return;
  host.qmp("device_add", R"({"driver":"usb-kbd","id":"kbd2","bus":"xhci.0","display":"d2"})");
  std::vector<std::string> usb = waitForNodes(kUsbKeyboard, 3, kWaitMs);
  if (!s.expect(usb.size() == 3, "the added keyboard did not appear")) return;
  {
    EventNode added(usb[2]);
    s.expect(waitUntil([&] { return added.grabbedElsewhere(); }, kWaitMs), "the added keyboard was not grabbed");
  }
  auto keys = run.press(host, {"caps_lock:d@d2", "a:d@d2", "a:u@d2", "caps_lock:u@d2", "b:t@d2"}, KEY_B);
  KeyStream stream(keys);
  expectModified(s, stream, keys, KEY_A, "CAM");
  run.checkClean(stream, keys);

  // Unplugged quietly: the others go on working.
  host.qmp("device_del", R"({"id":"kbd2"})");
  s.expect(waitUntil([] { return nodesNamed(kUsbKeyboard).size() == 2; }, kWaitMs), "the keyboard did not go");
  keys = run.press(host, {"caps_lock:d@vga0", "c:t@vga0", "caps_lock:u@vga0", "b:t@vga0"}, KEY_B);
  KeyStream after(keys);
  expectModified(s, after, keys, KEY_C, "CAM");
  run.checkClean(after, keys);
}

void hotPlugRestored(HostLink& host) {
  Scenario s("6b hot-plug: after a stop, a keyboard added while running is untouched (its Caps Lock is Caps Lock)");
  std::string added;
  {
    RunningEngine run(s);
    if (!run.ready) return;
    host.qmp("device_add", R"({"driver":"usb-kbd","id":"kbd3","bus":"xhci.0","display":"d2"})");
    std::vector<std::string> usb = waitForNodes(kUsbKeyboard, 3, kWaitMs);
    if (!s.expect(usb.size() == 3, "the added keyboard did not appear")) return;
    added = usb[2];
    EventNode keyboard(added);
    s.expect(waitUntil([&] { return keyboard.grabbedElsewhere(); }, kWaitMs), "the added keyboard was not grabbed");
    s.expect(run.engine.command("stop") == "ok stopped", "stop failed");
  }
  EventNode keyboard(added);
  bool complete = false;
  auto keys = pressAndCollect(host, keyboard, {"caps_lock:t@d2", "b:t@d2"}, KEY_B, &complete);
  s.expect(keysAre(keys, {{KEY_CAPSLOCK, 1}, {KEY_CAPSLOCK, 0}, {KEY_B, 1}, {KEY_B, 0}}),
           "after stop the added keyboard gave " + describeKeys(keys));
  pressAndCollect(host, keyboard, {"caps_lock:t@d2", "b:t@d2"}, KEY_B, &complete);
  host.qmp("device_del", R"({"id":"kbd3"})");
  s.expect(waitUntil([] { return nodesNamed(kUsbKeyboard).size() == 2; }, kWaitMs), "the keyboard did not go");
}

void uinputKeyboard(HostLink&) {
  Scenario s("11 uinput keyboard: a virtual source keyboard is taken too, its Caps Lock acts as hyper");
  SourceKeyboard source("Keymapless Test Keyboard");
  if (!s.expect(source.ok(), "cannot create a uinput keyboard")) return;
  std::vector<std::string> nodes = waitForNodes("Keymapless Test Keyboard", 1, kWaitMs);
  if (!s.expect(nodes.size() == 1, "the uinput keyboard has no node")) return;
  RunningEngine run(s);
  if (!run.ready) return;
  {
    EventNode device(nodes[0]);
    s.expect(waitUntil([&] { return device.grabbedElsewhere(); }, kWaitMs), "the uinput keyboard was not grabbed");
  }
  const std::pair<int, int> steps[] = {{KEY_CAPSLOCK, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_CAPSLOCK, 0}, {KEY_B, 1}, {KEY_B, 0}};
  for (auto [code, value] : steps) s.expect(source.key(code, value), "cannot type on the uinput keyboard");
  bool complete = false;
  auto keys = run.output->keysUntil([](const input_event& e) { return e.code == KEY_B && e.value == 0; }, kWaitMs,
                                    &complete);
  KeyStream stream(keys);
  int aUp = expectModified(s, stream, keys, KEY_A, "CAM");
  expectModified(s, stream, keys, KEY_B, "-", aUp < 0 ? 0 : static_cast<size_t>(aUp));
  run.checkClean(stream, keys);
}

void keyboardThatPoints(HostLink&) {
  Scenario s("12 keyboard with a pointer: taken like any other, hyper works, its pointer moves on; "
             "a keypad the engine does not take keeps its Caps Lock");
  const char kPointing[] = "Test Touchpad Keyboard";
  const char kKeypad[] = "Test Caps Lock Keyboard";
  HidSource pad(kPointing, true);
  HidSource keypad(kKeypad, false);
  std::vector<std::string> padNodes = waitForNodes(kPointing, 1, kWaitMs);
  std::vector<std::string> keypadNodes = waitForNodes(kKeypad, 1, kWaitMs);
  if (!s.expect(padNodes.size() == 1 && keypadNodes.size() == 1, "the uhid devices have no node")) return;
  {
    RunningEngine run(s);
    if (!run.ready) return;
    EventNode device(padNodes[0]);
    s.expect(waitUntil([&] { return device.grabbedElsewhere(); }, kWaitMs), "the keyboard with a pointer was not grabbed");
    std::vector<std::string> pointers = waitForNodes(kVirtualPointer, 1, kWaitMs);
    if (!s.expect(pointers.size() == 1, "no virtual pointer")) return;
    EventNode pointer(pointers[0]), other(keypadNodes[0]);
    for (const auto& held : std::vector<std::vector<std::uint8_t>>{{0x39}, {0x39, 0x04}, {0x39}, {}, {0x05}, {}}) {
      s.expect(pad.keys(held), "cannot type on the keyboard with a pointer");  // Caps Lock, A, B
    }
    bool complete = false;
    auto keys = run.output->keysUntil([](const input_event& e) { return e.code == KEY_B && e.value == 0; }, kWaitMs,
                                      &complete);
    KeyStream stream(keys);
    int aUp = expectModified(s, stream, keys, KEY_A, "CAM");
    expectModified(s, stream, keys, KEY_B, "-", aUp < 0 ? 0 : static_cast<size_t>(aUp));
    run.checkClean(stream, keys);

    s.expect(pad.pointer(1, 5, -3) && pad.pointer(0, 0, 0), "cannot use the pointer");
    std::string moved;
    for (std::optional<input_event> e; moved.find("1:272:0") == std::string::npos && (e = pointer.next(kWaitMs));) {
      if (e->type != EV_REL && e->type != EV_KEY) continue;
      moved += std::to_string(e->type) + ":" + std::to_string(e->code) + ":" + std::to_string(e->value) + " ";
    }
    s.expect(moved == "1:272:1 2:0:5 2:1:-3 1:272:0 ", "the virtual pointer gave " + moved);

    // Neither grabbed nor mapped: anything else would leave it a bare F18.
    // Tapped twice, so that the console's caps lock goes back.
    s.expect(!other.grabbedElsewhere(), "the Caps Lock keypad was grabbed");
    for (const auto& held : std::vector<std::vector<std::uint8_t>>{{0x39}, {}, {0x39}, {}}) keypad.keys(held);
    int seen = 0;
    auto own = other.keysUntil([&](const input_event&) { return ++seen == 4; }, kWaitMs, &complete);
    s.expect(keysAre(own, {{KEY_CAPSLOCK, 1}, {KEY_CAPSLOCK, 0}, {KEY_CAPSLOCK, 1}, {KEY_CAPSLOCK, 0}}),
             "the keypad gave " + describeKeys(own));
  }
  s.expect(waitForNoNode(kVirtualPointer, kWaitMs), "the virtual pointer outlived the engine");
}

void ps2Keyboard(HostLink& host) {
  Scenario s("7 PS/2: Caps Lock on the built-in keyboard acts as hyper");
  RunningEngine run(s);
  if (!run.ready) return;
  auto keys = run.press(host, {"caps_lock:d", "a:d", "a:u", "caps_lock:u", "b:t"}, KEY_B);
  KeyStream stream(keys);
  expectModified(s, stream, keys, KEY_A, "CAM");
  run.checkClean(stream, keys);
}

void autoRepeat(HostLink& host) {
  Scenario s("8 repeat: held A repeats with the modifiers, one output repeat per input repeat");
  RunningEngine run(s);
  if (!run.ready) return;
  host.keys({"caps_lock:d@vga0", "a:d@vga0"});
  bool complete = false;
  int repeats = 0;
  auto held = run.output->keysUntil([&](const input_event& e) { return e.code == KEY_A && e.value == 2 && ++repeats == 8; },
                                    kWaitMs, &complete);
  s.expect(complete, "fewer than 8 repeats of A: " + describeKeys(held));
  auto rest = run.press(host, {"a:u@vga0", "caps_lock:u@vga0", "b:t@vga0"}, KEY_B);
  std::vector<input_event> keys = held;
  keys.insert(keys.end(), rest.begin(), rest.end());
  KeyStream stream(keys);
  expectModified(s, stream, keys, KEY_A, "CAM");
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].code == KEY_A && keys[i].value == 2 && stream.modifiers(i) != "CAM") {
      s.expect(false, "a repeat of A with " + stream.modifiers(i));
      break;
    }
  }
  std::string stats = run.engine.command("stats " + std::to_string(KEY_A));
  int output = stream.count(KEY_A, 2);
  s.expect(stats == "ok repeats " + std::to_string(output),
           "input repeats (" + stats + ") and output repeats (" + std::to_string(output) + ") differ");
  s.info(std::to_string(output) + " repeats");
  run.checkClean(stream, keys);
}

void burst(HostLink& host) {
  Scenario s("10 burst: 2,000 key events all arrive, in order, each down with its up");
  RunningEngine run(s);
  if (!run.ready) return;
  const size_t kEvents = 2000;
  // The emulated keyboard queues 16 events and sends one per USB poll, so
  // the burst goes in chunks that fit, each sent at once, the next as soon
  // as the output has them all.
  const size_t kChunk = 12;
  std::vector<input_event> keys;
  for (size_t sent = 0; sent < kEvents && !s.failed();) {
    std::vector<std::string> presses;
    for (; presses.size() < kChunk && sent < kEvents; ++sent) {
      presses.push_back(std::string(1, static_cast<char>('a' + (sent / 2) % 26)) + (sent % 2 == 0 ? ":d" : ":u") +
                      "@vga0");
    }
    host.keys(presses, 0);
    bool complete = false;
    size_t arrived = keys.size();
    auto chunk = run.output->keysUntil([&](const input_event&) { return ++arrived >= sent; }, kWaitMs, &complete);
    keys.insert(keys.end(), chunk.begin(), chunk.end());
    s.expect(keys.size() == sent, std::to_string(keys.size()) + " of the first " + std::to_string(sent) +
                                      " events arrived");
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].code != kBurstCodes[(i / 2) % 26] || keys[i].value != (i % 2 == 0 ? 1 : 0)) {
      s.expect(false, "event " + std::to_string(i) + " is " + keyName(keys[i].code) + ":" +
                          std::to_string(keys[i].value));
      break;
    }
  }
  KeyStream stream(keys);
  run.checkClean(stream, keys);
}

}  // namespace

void addEngineScenarios(std::vector<NamedScenario>* scenarios) {
  scenarios->push_back({"hot-plug", hotPlug});
  scenarios->push_back({"hot-plug-restored", hotPlugRestored});
  scenarios->push_back({"ps2", ps2Keyboard});
  scenarios->push_back({"repeat", autoRepeat});
  scenarios->push_back({"burst", burst});
  scenarios->push_back({"uinput-keyboard", uinputKeyboard});
  scenarios->push_back({"pointing-keyboard", keyboardThatPoints});
}

}  // namespace vmtest
