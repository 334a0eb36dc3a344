#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "linux/tap/input_devices.h"

namespace quorvelle::sim {

// Input devices made of socket pairs carrying struct input_event, one message
// per write(): the tap holds one end, the test the other. Device nodes are
// plain files in a real folder, so that inotify sees them come and go.
class SimInputDevices : public InputDevices {
 public:
  struct Device {
    std::string name = "Sim Keyboard";
    OpenedDevice::Status status = OpenedDevice::Status::Keyboard;
    int tapFd = -1;   // what open() hands out
    int testFd = -1;  // the test's end: write input, read lights
    // keysDown() answers these in turn; the last one stays.
    std::deque<KeyBits> keysDownAnswers{KeyBits{}};
    int keysDownQueries = 0;
    std::optional<bool> capsLockLight;
    std::string grabError;  // grab() fails with it when set
    bool grabbed = false;
    bool closed = false;
  };

  ~SimInputDevices() override {
    for (auto& [path, device] : devices_) {
      if (!device->closed && device->tapFd >= 0) ::close(device->tapFd);
      ::close(device->testFd);
    }
    if (virtualTestFd >= 0) ::close(virtualTestFd);
    if (virtualFd >= 0 && !virtualDestroyed) ::close(virtualFd);
  }

  // The device behind the node at path (the node file is the test's to make).
  Device& add(const std::string& path, const std::string& name = "Sim Keyboard") {
    if (auto old = devices_.find(path); old != devices_.end()) {
      if (!old->second->closed) ::close(old->second->tapFd);
      ::close(old->second->testFd);
    }
    auto device = std::make_unique<Device>();
    device->name = name;
    makePair(&device->tapFd, &device->testFd);
    Device& result = *device;
    devices_[path] = std::move(device);
    return result;
  }
  Device& at(const std::string& path) { return *devices_.at(path); }
  void forEach(const std::function<void(Device&)>& f) {
    for (auto& [path, device] : devices_) f(*device);
  }

  std::optional<int> createVirtualKeyboard(const std::string& uinputPath, const std::string& name,
                                           std::string* error) override {
    if (!createError.empty()) {
      *error = createError;
      return std::nullopt;
    }
    virtualName = name;
    this->uinputPath = uinputPath;
    makePair(&virtualFd, &virtualTestFd);
    virtualDestroyed = false;
    if (!lightsOnOpen.empty()) {
      // The display server opens the new keyboard and sets its lights.
      if (::write(virtualTestFd, lightsOnOpen.data(), lightsOnOpen.size() * sizeof(input_event)) < 0) abort();
    }
    return virtualFd;
  }
  void destroyVirtualKeyboard(int fd) override {
    if (fd != virtualFd) return;
    ::close(fd);
    virtualDestroyed = true;
  }

  OpenedDevice open(const std::string& path, const std::string&) override {
    ++opens[path];
    OpenedDevice opened;
    auto it = devices_.find(path);
    if (it == devices_.end()) {
      opened.status = OpenedDevice::Status::NotKeyboard;
      return opened;
    }
    Device& device = *it->second;
    if (device.closed) {
      // Opened again after the tap let it go: a fresh descriptor.
      ::close(device.testFd);
      makePair(&device.tapFd, &device.testFd);
      device.closed = false;
    }
    opened.status = device.status;
    opened.name = device.name;
    if (device.status == OpenedDevice::Status::Keyboard) {
      opened.fd = device.tapFd;
    } else if (device.status == OpenedDevice::Status::Unavailable) {
      opened.error = path + ": Permission denied";
    }
    return opened;
  }
  bool grab(int fd, std::string* error) override {
    Device* device = byFd(fd);
    if (!device->grabError.empty()) {
      *error = device->grabError;
      return false;
    }
    device->grabbed = true;
    return true;
  }
  void close(int fd) override {
    Device* device = byFd(fd);
    device->grabbed = false;
    device->closed = true;
    ::close(fd);
  }
  std::optional<KeyBits> keysDown(int fd) override {
    Device* device = byFd(fd);
    ++device->keysDownQueries;
    KeyBits answer = device->keysDownAnswers.front();
    if (device->keysDownAnswers.size() > 1) device->keysDownAnswers.pop_front();
    return answer;
  }
  std::optional<bool> capsLockLight(int fd) override { return byFd(fd)->capsLockLight; }

  std::string createError;
  std::vector<input_event> lightsOnOpen;
  std::string virtualName;
  std::string uinputPath;
  int virtualFd = -1;
  int virtualTestFd = -1;  // read output, write the display server's lights
  bool virtualDestroyed = false;
  std::map<std::string, int> opens;

 private:
  static void makePair(int* tapEnd, int* testEnd) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) abort();
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    *tapEnd = fds[0];
    *testEnd = fds[1];
  }
  Device* byFd(int fd) {
    for (auto& [path, device] : devices_) {
      if (device->tapFd == fd && !device->closed) return device.get();
    }
    abort();
  }

  std::map<std::string, std::unique_ptr<Device>> devices_;
};

}  // namespace quorvelle::sim
