#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "linux/input/input_devices.h"
#include "linux/input/output_frames.h"

namespace quorvelle::sim {

// Input devices made of socket pairs carrying struct input_event, one message
// per write(): the tap holds one end, the test the other. The nodes are plain
// files in a real folder (the test's to make), so inotify sees them.
class SimInputDevices : public InputDevices {
 public:
  struct Device {
    OpenedDevice::Status status = OpenedDevice::Status::Keyboard;
    int tapFd = -1;   // what open() hands out
    int testFd = -1;  // the test's end: write input, read lights
    std::deque<KeyBits> keysDown{KeyBits{}};  // answered in turn; the last one stays
    int keysDownQueries = 0;
    std::optional<bool> capsLockLight;
    std::string grabError;  // grab() fails with it when set
    bool grabbed = false;
    bool closed = false;
    int opens = 0;
    // A keyboard that also points: its virtual pointer's ends.
    bool points = false;
    std::string pointerError;  // creating its virtual pointer fails with it when set
    std::vector<input_event> absoluteState;
    int pointerFd = -1;
    int pointerTestFd = -1;  // read what the tap passed on
    bool pointerDestroyed = true;
  };

  ~SimInputDevices() override {
    for (auto& [path, device] : devices) {
      closePair(*device);
      closePair(device->pointerFd, device->pointerTestFd, device->pointerDestroyed);
    }
    if (virtualFd >= 0) closePair(virtualFd, virtualTestFd, virtualDestroyed);
  }

  Device& add(const std::string& path) {
    auto& device = devices[path];
    if (device) closePair(*device);
    device = std::make_unique<Device>();
    makePair(&device->tapFd, &device->testFd);
    return *device;
  }

  std::optional<int> createVirtualKeyboard(const std::string&, const std::string& name, std::string* error) override {
    if (!createError.empty()) {
      *error = createError;
      return std::nullopt;
    }
    virtualName = name;
    makePair(&virtualFd, &virtualTestFd);
    virtualDestroyed = false;
    // The display server opens the new keyboard and sets its lights.
    if (!lightsOnOpen.empty() &&
        ::write(virtualTestFd, lightsOnOpen.data(), lightsOnOpen.size() * sizeof(input_event)) < 0) {
      abort();
    }
    return virtualFd;
  }
  std::optional<int> createVirtualPointer(const std::string&, int sourceFd, std::string* error) override {
    Device& device = byFd(sourceFd);
    *error = device.pointerError;
    if (!error->empty()) return std::nullopt;
    closePair(device.pointerFd, device.pointerTestFd, device.pointerDestroyed);
    makePair(&device.pointerFd, &device.pointerTestFd);
    device.pointerDestroyed = false;
    return device.pointerFd;
  }
  void destroyVirtualDevice(int fd) override {
    ::close(fd);
    if (fd == virtualFd) virtualDestroyed = true;
    for (auto& [path, device] : devices) device->pointerDestroyed |= device->pointerFd == fd;
  }

  OpenedDevice open(const std::string& path, const std::string&) override {
    auto it = devices.find(path);
    if (it == devices.end()) return {OpenedDevice::Status::NotKeyboard, -1, {}, {}};
    Device& device = *it->second;
    ++device.opens;
    if (device.status != OpenedDevice::Status::Keyboard) return {device.status, -1, {}, path + ": denied"};
    if (device.closed) {
      closePair(device);
      makePair(&device.tapFd, &device.testFd);
      device.closed = false;
    }
    return {OpenedDevice::Status::Keyboard, device.tapFd, "Sim Keyboard", {}, device.points};
  }
  bool grab(int fd, std::string* error) override {
    *error = byFd(fd).grabError;
    byFd(fd).grabbed = error->empty();
    return error->empty();
  }
  void close(int fd) override {
    Device& device = byFd(fd);
    device.grabbed = false;
    device.closed = true;
    ::close(fd);
  }
  std::optional<KeyBits> keysDown(int fd) override {
    Device& device = byFd(fd);
    ++device.keysDownQueries;
    const KeyBits answer = device.keysDown.front();
    if (device.keysDown.size() > 1) device.keysDown.pop_front();
    return answer;
  }
  std::optional<bool> capsLockLight(int fd) override { return byFd(fd).capsLockLight; }
  void appendAbsoluteState(int fd, OutputFrames& out) override {
    for (const input_event& e : byFd(fd).absoluteState) out.append(e.type, e.code, e.value);
  }

  std::map<std::string, std::unique_ptr<Device>> devices;
  std::string createError;
  std::vector<input_event> lightsOnOpen;
  std::string virtualName;
  int virtualFd = -1;
  int virtualTestFd = -1;  // read the output, write the display server's lights
  bool virtualDestroyed = false;

 private:
  static void makePair(int* tapEnd, int* testEnd) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) abort();
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    *tapEnd = fds[0];
    *testEnd = fds[1];
  }
  static void closePair(int tapFd, int testFd, bool tapClosed) {
    if (!tapClosed && tapFd >= 0) ::close(tapFd);
    if (testFd >= 0) ::close(testFd);
  }
  static void closePair(Device& device) { closePair(device.tapFd, device.testFd, device.closed); }
  Device& byFd(int fd) {
    for (auto& [path, device] : devices) {
      if (device->tapFd == fd && !device->closed) return *device;
    }
    abort();
  }
};

}  // namespace quorvelle::sim
