// The hyper key engine with the real Linux parts, for the VM tests: the
// evdev/uinput tap on a poll() run loop, the key mapping tool run as a
// process, the keymap remapper. Driven by line commands on standard input,
// each answered with one line on standard output:
//
//   start           -> ok started | error ...
//   stop            -> ok stopped
//   stats <code>    -> ok repeats <n>   (auto-repeats of the key the handler saw)
//   quit            -> ok bye, after stopping
//
// QUORVELLE_VM_INPUT_DIR replaces /dev/input (the latency benchmark gives it
// a folder that holds only its own source keyboard).
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engine/hyper_key_manager.h"
#include "engine/key_mapping.h"
#include "linux/keymap/keymap_remapper.h"
#include "linux/linux_event_tap_system.h"
#include "linux/poll_run_loop.h"
#include "linux/posix_process_launcher.h"
#include "linux/system_log.h"

namespace quorvelle {
namespace {

// Counts, per key, the key downs the handler receives while the key is
// already down: the input's auto-repeats. Everything else passes through.
class CountingTaps : public EventTapSystem {
 public:
  explicit CountingTaps(EventTapSystem& taps) : taps_(taps) {}

  std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback, void* userInfo) override {
    callback_ = callback;
    userInfo_ = userInfo;
    return taps_.createTap(mask, &CountingTaps::count, this);
  }
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override { return taps_.isKeyPhysicallyDown(keyCode); }
  std::uint16_t hyperKeyCode() const override { return taps_.hyperKeyCode(); }

  unsigned repeats(std::uint16_t keyCode) const { return keyCode < repeats_.size() ? repeats_[keyCode] : 0; }

 private:
  static KeyEvent* count(std::uint32_t type, KeyEvent* event, void* userInfo) {
    auto* self = static_cast<CountingTaps*>(userInfo);
    if ((type == kKeyDownEvent || type == kKeyUpEvent) && event->keyCode < self->down_.size()) {
      if (type == kKeyDownEvent && self->down_[event->keyCode]) ++self->repeats_[event->keyCode];
      self->down_[event->keyCode] = (type == kKeyDownEvent);
    }
    return self->callback_(type, event, self->userInfo_);
  }

  EventTapSystem& taps_;
  EventTapCallback callback_ = nullptr;
  void* userInfo_ = nullptr;
  std::array<bool, 768> down_{};
  std::array<unsigned, 768> repeats_{};
};

void reply(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace
}  // namespace quorvelle

int main() {
  using namespace quorvelle;
  PollRunLoop loop;
  SystemLog log;
  KeymapRemapper remapper(log);
  LinuxEventTapOptions options;
  if (const char* folder = std::getenv("QUORVELLE_VM_INPUT_DIR")) options.inputDirectory = folder;
  LinuxEventTapSystem taps(loop, remapper, log, options);
  CountingTaps counting(taps);
  PosixProcessLauncher launcher;
  const char* tool = std::getenv("QUORVELLE_KEYMAP_TOOL");
  KeyMapping keyMapping(launcher, taps.hidSystem(), log, tool ? tool : "/bin/quorvelle-keymap");
  HyperKeyManager manager(counting, keyMapping);

  std::string pending;
  auto onCommand = [&](const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "start") {
      reply(manager.start() ? "ok started" : "error start failed");
    } else if (command == "stop") {
      manager.stop();
      reply("ok stopped");
    } else if (command == "stats") {
      unsigned code = 0;
      words >> code;
      reply("ok repeats " + std::to_string(counting.repeats(static_cast<std::uint16_t>(code))));
    } else if (command == "quit") {
      manager.stop();
      reply("ok bye");
      loop.quit();
    } else {
      reply("error unknown command " + command);
    }
  };
  std::unique_ptr<FdWatcher::Watch> input = loop.watchReadable(STDIN_FILENO, [&] {
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      // The driver is gone: clean up as the application does on exit.
      manager.stop();
      loop.quit();
      return;
    }
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      onCommand(line);
    }
  });
  loop.run();
  return 0;
}
