#include "host_link.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "input_device.h"

namespace vmtest {
namespace {

constexpr int kAckTimeoutMs = 120000;

}  // namespace

HostLink::HostLink() {
  // The console would echo the host's acknowledgements back to it.
  termios mode;
  if (tcgetattr(STDIN_FILENO, &mode) == 0) {
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
  }
}

bool HostLink::waitForAck(int id) {
  std::string expected = "@@ACK " + std::to_string(id);
  std::string line;
  std::int64_t deadline = nowMs() + kAckTimeoutMs;
  for (;;) {
    int left = static_cast<int>(deadline - nowMs());
    if (left <= 0) return false;
    pollfd watch{STDIN_FILENO, POLLIN, 0};
    if (poll(&watch, 1, left) <= 0) continue;
    char c;
    if (read(STDIN_FILENO, &c, 1) != 1) return false;
    if (c == '\n' || c == '\r') {
      if (line.find(expected) != std::string::npos) return true;
      line.clear();
    } else {
      line += c;
    }
  }
}

bool HostLink::keys(const std::vector<std::string>& presses, int gapMs) {
  int id = nextId_++;
  std::string line = "@@REQ " + std::to_string(id) + " " + std::to_string(gapMs);
  for (const std::string& press : presses) line += " " + press;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  return waitForAck(id);
}

bool HostLink::qmp(const std::string& command, const std::string& argumentsJson) {
  int id = nextId_++;
  std::printf("@@QMP %d %s %s\n", id, command.c_str(), argumentsJson.c_str());
  std::fflush(stdout);
  return waitForAck(id);
}

Scenario::Scenario(std::string name) : name_(std::move(name)) {
  std::printf("@@START %s\n", name_.c_str());
  std::fflush(stdout);
}

Scenario::~Scenario() {
  if (failures_.empty()) {
    std::printf("@@PASS %s\n", name_.c_str());
  } else {
    std::string all;
    for (const std::string& failure : failures_) all += (all.empty() ? "" : "; ") + failure;
    std::printf("@@FAIL %s: %s\n", name_.c_str(), all.c_str());
  }
  std::fflush(stdout);
}

bool Scenario::expect(bool condition, const std::string& what) {
  if (!condition) failures_.push_back(what);
  return condition;
}

void Scenario::info(const std::string& text) {
  std::printf("@@INFO %s: %s\n", name_.c_str(), text.c_str());
  std::fflush(stdout);
}

}  // namespace vmtest
