#pragma once

#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
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
inline input_event report() { return event(EV_SYN, SYN_REPORT, 0); }

// A key press or release in a frame of its own, after its scan code.
inline std::vector<input_event> frame(std::uint16_t code, std::int32_t value) {
  return {event(EV_MSC, MSC_SCAN, 0x70000 + code), key(code, value), report()};
}

// One write(), as the kernel hands a batch of frames over.
inline void send(int fd, const std::vector<input_event>& events) {
  if (::write(fd, events.data(), events.size() * sizeof(input_event)) < 0) std::abort();
}

// Every message waiting on the socket, one per write() of the other end, as text.
inline std::vector<std::string> receive(int fd, int* messages = nullptr) {
  static const std::map<int, const char*> kNames = {
      {KEY_A, "A"},         {KEY_B, "B"},           {KEY_C, "C"},          {KEY_LEFTCTRL, "LCTRL"},
      {KEY_LEFTALT, "LALT"}, {KEY_RIGHTALT, "RALT"}, {KEY_LEFTSHIFT, "LSHIFT"}, {KEY_RIGHTSHIFT, "RSHIFT"},
      {KEY_LEFTMETA, "LMETA"}, {KEY_RIGHTMETA, "RMETA"}, {KEY_CAPSLOCK, "CAPS"}, {KEY_F18, "F18"}};
  std::vector<std::string> lines;
  input_event buffer[8192];
  ssize_t length;
  if (messages) *messages = 0;
  while ((length = ::read(fd, buffer, sizeof buffer)) > 0) {
    if (messages) ++*messages;
    for (ssize_t i = 0; i < length / static_cast<ssize_t>(sizeof(input_event)); ++i) {
      const input_event& e = buffer[i];
      char text[64];
      if (e.type == EV_SYN) {
        std::snprintf(text, sizeof text, e.code == SYN_REPORT ? "SYN" : "SYN %d", e.code);
      } else if (e.type == EV_MSC) {
        std::snprintf(text, sizeof text, "MSC %x", static_cast<unsigned>(e.value));
      } else if (e.type == EV_KEY && kNames.count(e.code)) {
        std::snprintf(text, sizeof text, "%s %d", kNames.at(e.code), e.value);
      } else {
        std::snprintf(text, sizeof text, "%d:%d %d", e.type, e.code, e.value);
      }
      lines.push_back(text);
    }
  }
  return lines;
}

// The Linux tap over socket pairs, with the real engine on it and a real
// poll() run loop, and its input folder in a temporary directory.
class TapHarness {
 public:
  explicit TapHarness(double quietWaitSeconds = 0.05) {
    LinuxEventTapOptions options;
    options.inputDirectory = dir.path();
    options.quietWaitSeconds = quietWaitSeconds;
    options.capsLockWaitSeconds = 0.05;
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

  // A keyboard's node in the folder and the device behind it.
  sim::SimInputDevices::Device& plug(const std::string& node) {
    sim::SimInputDevices::Device& device = devices->add(dir.file(node));
    std::ofstream(dir.file(node)).put('\n');
    return device;
  }
  sim::SimInputDevices::Device& device(const std::string& node) { return *devices->devices.at(dir.file(node)); }

  void type(const std::string& node, const std::vector<input_event>& events) {
    send(device(node).testFd, events);
    pump();
  }
  // Runs the loop until the tap has read every socket; it handles what it
  // reads at once, so its output is written by then.
  void pump() {
    const bool done = loop.runUntil(
        [this] {
          int waiting = 0;
          for (auto& [path, d] : devices->devices) {
            if (d->grabbed && ::ioctl(d->tapFd, FIONREAD, &waiting) == 0 && waiting > 0) return false;
          }
          return devices->virtualDestroyed || ::ioctl(devices->virtualFd, FIONREAD, &waiting) != 0 || waiting == 0;
        },
        5.0);
    if (!done) std::abort();
  }
  // Everything written to the virtual keyboard since the last call.
  std::vector<std::string> output() { return receive(devices->virtualTestFd, &writes); }

  TempDir dir;
  PollRunLoop loop;
  sim::SimInputDevices* devices;
  sim::SimKeyboardRemapper remapper;
  sim::RecordingLog log;
  sim::RecordingProcessLauncher launcher;
  std::unique_ptr<LinuxEventTapSystem> taps;
  std::unique_ptr<KeyMapping> mapping;
  std::unique_ptr<HyperKeyManager> engine;
  int writes = 0;  // by the tap, in what output() returned last
};

}  // namespace quorvelle::testing_support
