#pragma once

#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/hyper_key_manager.h"
#include "engine/key_mapping.h"
#include "linux/linux_event_tap_system.h"
#include "linux/poll_run_loop.h"
#include "linux/temp_dir.h"
#include "sim/sim_input_devices.h"
#include "sim/sim_keyboard_remapper.h"
#include "sim/sim_services.h"

namespace quorvelle::testing_support {

inline input_event event(std::uint16_t type, std::uint16_t code, std::int32_t value) {
  input_event e{};
  e.type = type;
  e.code = code;
  e.value = value;
  return e;
}
inline input_event key(std::uint16_t code, std::int32_t value) { return event(EV_KEY, code, value); }
inline input_event scan(std::int32_t value) { return event(EV_MSC, MSC_SCAN, value); }
inline input_event report() { return event(EV_SYN, SYN_REPORT, 0); }
inline input_event light(std::uint16_t code, std::int32_t value) { return event(EV_LED, code, value); }

// One write(), as the kernel hands a batch of frames over.
inline void send(int fd, const std::vector<input_event>& events) {
  const ssize_t size = static_cast<ssize_t>(events.size() * sizeof(input_event));
  if (::write(fd, events.data(), events.size() * sizeof(input_event)) != size) std::abort();
}

// A key press or release in a frame of its own, with its scan code first.
inline std::vector<input_event> frame(std::uint16_t code, std::int32_t value) {
  return {scan(0x70000 + code), key(code, value), report()};
}

inline std::string describe(const input_event& e) {
  static const std::pair<int, const char*> kNames[] = {
      {KEY_A, "A"},           {KEY_B, "B"},           {KEY_C, "C"},
      {KEY_LEFTCTRL, "LCTRL"},  {KEY_RIGHTCTRL, "RCTRL"}, {KEY_LEFTALT, "LALT"},
      {KEY_RIGHTALT, "RALT"},   {KEY_LEFTSHIFT, "LSHIFT"}, {KEY_RIGHTSHIFT, "RSHIFT"},
      {KEY_LEFTMETA, "LMETA"},  {KEY_RIGHTMETA, "RMETA"}, {KEY_CAPSLOCK, "CAPS"},
      {KEY_F18, "F18"},         {KEY_ESC, "ESC"}};
  char text[64];
  switch (e.type) {
    case EV_SYN:
      return e.code == SYN_REPORT ? "SYN" : "SYN " + std::to_string(e.code);
    case EV_MSC:
      std::snprintf(text, sizeof text, "MSC %x", static_cast<unsigned>(e.value));
      return text;
    case EV_LED:
      return "LED " + std::to_string(e.code) + " " + std::to_string(e.value);
    case EV_KEY:
      for (const auto& [code, name] : kNames) {
        if (code == e.code) return std::string(name) + " " + std::to_string(e.value);
      }
      return "KEY" + std::to_string(e.code) + " " + std::to_string(e.value);
    default:
      return "TYPE" + std::to_string(e.type);
  }
}

// Every message waiting on the socket, one per write() of the other end.
inline std::vector<std::vector<input_event>> readMessages(int fd) {
  std::vector<std::vector<input_event>> messages;
  std::vector<input_event> buffer(8192);
  for (;;) {
    const ssize_t length = ::read(fd, buffer.data(), buffer.size() * sizeof(input_event));
    if (length <= 0) break;
    messages.emplace_back(buffer.begin(), buffer.begin() + length / static_cast<ssize_t>(sizeof(input_event)));
  }
  return messages;
}

inline bool drained(int fd) {
  int waiting = 0;
  return ::ioctl(fd, FIONREAD, &waiting) != 0 || waiting == 0;
}

// The Linux tap over socket pairs, with the real engine on it and a real
// poll() run loop, and an input folder in a temporary directory.
class TapHarness {
 public:
  explicit TapHarness(LinuxEventTapOptions options = quickOptions()) {
    options.inputDirectory = dir.path();
    auto owned = std::make_unique<sim::SimInputDevices>();
    devices = owned.get();
    taps = std::make_unique<LinuxEventTapSystem>(loop, remapper, log, options, std::move(owned));
    mapping = std::make_unique<KeyMapping>(launcher, taps->hidSystem(), log, "/keymap-tool");
    engine = std::make_unique<HyperKeyManager>(*taps, *mapping);
  }
  ~TapHarness() {
    engine.reset();
    taps.reset();
  }

  static LinuxEventTapOptions quickOptions() {
    LinuxEventTapOptions options;
    options.quietWaitSeconds = 0.05;
    options.capsLockWaitSeconds = 0.05;
    return options;
  }

  // A keyboard's node in the folder and the device behind it.
  sim::SimInputDevices::Device& plug(const std::string& node, const std::string& name = "Sim Keyboard") {
    sim::SimInputDevices::Device& device = devices->add(dir.file(node), name);
    std::ofstream(dir.file(node)).put('\n');
    return device;
  }
  void unplug(const std::string& node) { std::remove(dir.file(node).c_str()); }
  sim::SimInputDevices::Device& device(const std::string& node) { return devices->at(dir.file(node)); }

  void type(const std::string& node, const std::vector<input_event>& events) {
    send(device(node).testFd, events);
    pump();
  }

  // Runs the loop until every socket the tap reads is empty; the tap handles
  // what it reads at once, so its output is written by then.
  void pump() {
    const bool done = loop.runUntil(
        [this] {
          bool all = devices->virtualDestroyed || drained(devices->virtualFd);
          devices->forEach([&](sim::SimInputDevices::Device& d) {
            if (d.grabbed && !drained(d.tapFd)) all = false;
          });
          return all;
        },
        5.0);
    if (!done) std::abort();
  }

  // Everything written to the virtual keyboard since the last call, as text.
  std::vector<std::string> output() {
    std::vector<std::string> lines;
    lastWrites = 0;
    for (const auto& message : readMessages(devices->virtualTestFd)) {
      ++lastWrites;
      for (const input_event& e : message) lines.push_back(describe(e));
    }
    return lines;
  }

  TempDir dir;
  PollRunLoop loop;
  sim::SimInputDevices* devices;
  sim::SimKeyboardRemapper remapper;
  sim::RecordingLog log;
  sim::RecordingProcessLauncher launcher;
  std::unique_ptr<LinuxEventTapSystem> taps;
  std::unique_ptr<KeyMapping> mapping;
  std::unique_ptr<HyperKeyManager> engine;
  int lastWrites = 0;
};

}  // namespace quorvelle::testing_support
