#include "linux/input/quiet_wait.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

namespace quorvelle {

namespace {

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void discardEvents(int fd) {
  input_event events[64];
  while (::read(fd, events, sizeof events) > 0) {
  }
}

}  // namespace

void waitUntilKeysUp(InputDevices& devices, const std::vector<int>& fds, double seconds) {
  const double deadline = monotonicSeconds() + seconds;
  std::vector<int> waiting = fds;
  std::vector<pollfd> busy;
  for (;;) {
    busy.clear();
    for (int fd : waiting) {
      const std::optional<KeyBits> keys = devices.keysDown(fd);
      if (keys && keys->any()) busy.push_back({fd, POLLIN, 0});
    }
    if (busy.empty()) return;
    const double left = deadline - monotonicSeconds();
    if (left <= 0) return;
    // A release arrives as an event: look again when one does.
    if (::poll(busy.data(), busy.size(), static_cast<int>(std::ceil(left * 1000.0))) <= 0) continue;
    for (const pollfd& entry : busy) {
      if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // Gone: nothing to wait for; the grab will find out.
        std::erase(waiting, entry.fd);
      } else if (entry.revents != 0) {
        discardEvents(entry.fd);
      }
    }
  }
}

}  // namespace quorvelle
