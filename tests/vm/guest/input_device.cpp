#include "input_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vmtest {
namespace {

std::string deviceName(int fd) {
  char text[256] = {};
  if (ioctl(fd, EVIOCGNAME(sizeof text - 1), text) < 0) return {};
  return text;
}

std::string devicePhys(int fd) {
  char text[256] = {};
  if (ioctl(fd, EVIOCGPHYS(sizeof text - 1), text) < 0) return {};
  return text;
}

}  // namespace

std::int64_t nowUs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::int64_t nowMs() { return nowUs() / 1000; }

std::int64_t eventTimeUs(const input_event& event) {
  return static_cast<std::int64_t>(event.input_event_sec) * 1000000 + event.input_event_usec;
}

std::vector<std::string> nodesNamed(const std::string& name) {
  std::vector<std::pair<std::string, std::string>> found;  // phys, node
  if (DIR* dir = opendir("/dev/input")) {
    while (dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
      std::string node = std::string("/dev/input/") + entry->d_name;
      int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      if (deviceName(fd) == name) found.emplace_back(devicePhys(fd), node);
      close(fd);
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> nodes;
  for (auto& [phys, node] : found) nodes.push_back(node);
  return nodes;
}

std::vector<std::string> waitForNodes(const std::string& name, size_t count, int timeoutMs) {
  std::int64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    std::vector<std::string> nodes = nodesNamed(name);
    if (nodes.size() >= count || nowMs() > deadline) return nodes;
    usleep(20 * 1000);  // polling a folder; no event to wait on without inotify plumbing
  }
}

bool waitForNoNode(const std::string& name, int timeoutMs) {
  std::int64_t deadline = nowMs() + timeoutMs;
  while (!nodesNamed(name).empty()) {
    if (nowMs() > deadline) return false;
    usleep(20 * 1000);
  }
  return true;
}

EventNode::EventNode(const std::string& node) {
  fd_ = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ >= 0) {
    int clock = CLOCK_MONOTONIC;
    ioctl(fd_, EVIOCSCLOCKID, &clock);
  }
}

EventNode::~EventNode() {
  if (fd_ >= 0) close(fd_);
}

std::optional<input_event> EventNode::next(int timeoutMs) {
  if (position_ < buffer_.size()) return buffer_[position_++];
  buffer_.clear();
  position_ = 0;
  std::int64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    input_event events[64];
    ssize_t n = read(fd_, events, sizeof events);
    if (n > 0) {
      buffer_.assign(events, events + n / static_cast<ssize_t>(sizeof(input_event)));
      return buffer_[position_++];
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
    int left = static_cast<int>(deadline - nowMs());
    if (left <= 0) return std::nullopt;
    pollfd watch{fd_, POLLIN, 0};
    poll(&watch, 1, left);
  }
}

bool EventNode::anyKeyDown() const {
  unsigned char bits[KEY_MAX / 8 + 1] = {};
  if (ioctl(fd_, EVIOCGKEY(sizeof bits), bits) < 0) return false;
  for (unsigned char byte : bits) {
    if (byte) return true;
  }
  return false;
}

bool EventNode::ledOn(int led) const {
  unsigned char bits[LED_MAX / 8 + 1] = {};
  if (ioctl(fd_, EVIOCGLED(sizeof bits), bits) < 0) return false;
  return (bits[led / 8] >> (led % 8)) & 1;
}

bool EventNode::grabbedElsewhere() const {
  if (ioctl(fd_, EVIOCGRAB, 1) == 0) {
    ioctl(fd_, EVIOCGRAB, 0);
    return false;
  }
  return errno == EBUSY;
}

}  // namespace vmtest
