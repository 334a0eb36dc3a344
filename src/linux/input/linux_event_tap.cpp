#include "linux/input/linux_event_tap.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "linux/input/quiet_wait.h"

namespace quorvelle {

// Reads while added to the main run loop; the run loop has no modes here.
class LinuxRunLoopSource : public RunLoopSource {
 public:
  explicit LinuxRunLoopSource(LinuxEventTap& tap) : tap_(&tap) {}
  ~LinuxRunLoopSource() override {
    if (tap_) {
      tap_->stopReading();
      tap_->sourceGone();
    }
  }
  void addToMainRunLoop() override {
    if (tap_) tap_->startReading();
  }
  void removeFromMainRunLoop() override {
    if (tap_) tap_->stopReading();
  }
  void tapGone() { tap_ = nullptr; }

 private:
  LinuxEventTap* tap_;
};

namespace {

void setNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && !(flags & O_NONBLOCK)) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::unique_ptr<LinuxEventTap> LinuxEventTap::create(LinuxEventTapSystem& system, EventTapCallback callback,
                                                     void* userInfo) {
  const LinuxEventTapOptions& options = system.options_;
  std::string error;
  const std::optional<int> virtualFd =
      system.devices_->createVirtualKeyboard(options.uinputPath, options.virtualKeyboardName, &error);
  if (!virtualFd) {
    system.log_.write("Quorvelle: cannot create the virtual keyboard: " + error);
    return nullptr;
  }
  std::unique_ptr<LinuxEventTap> tap(new LinuxEventTap(system, *virtualFd, callback, userInfo));
  // Watching first, so that no keyboard slips in between the listing and it.
  tap->directory_ = InputDirectoryWatch::create(options.inputDirectory, &error);
  if (!tap->directory_) {
    system.log_.write("Quorvelle: cannot watch " + options.inputDirectory + " for new keyboards: " + error);
  }
  tap->addKeyboards(InputDirectoryWatch::list(options.inputDirectory));
  return tap;
}

LinuxEventTap::LinuxEventTap(LinuxEventTapSystem& system, int virtualFd, EventTapCallback callback,
                             void* userInfo)
    : system_(system),
      virtualFd_(virtualFd),
      out_(virtualFd),
      pipeline_(callback, userInfo, system.hyperKeyCode(), out_) {
  setNonBlocking(virtualFd_);
  out_.setBeforeFlush(&LinuxEventTap::beforeOutput, this);
  system_.tap_ = this;
}

void LinuxEventTap::beforeOutput(void* context) {
  auto* tap = static_cast<LinuxEventTap*>(context);
  const unsigned bits = tap->pipeline_.pressedBySelfBits();
  if (bits == tap->pressedByTapReported_) return;
  tap->pressedByTapReported_ = bits;
  LinuxEventTapSystem& system = tap->system_;
  if (system.pressedByTapListener_) system.pressedByTapListener_(bits, system.pressedByTapContext_);
}

LinuxEventTap::~LinuxEventTap() {
  if (source_) source_->tapGone();
  stopReading();
  // Nothing stays down once the tap is gone, whatever the keyboards hold.
  pipeline_.releaseAll();
  out_.flush();
  for (const auto& keyboard : keyboards_) closeKeyboard(*keyboard);
  keyboards_.clear();
  directory_.reset();
  system_.devices_->destroyVirtualDevice(virtualFd_);
  if (system_.tap_ == this) system_.tap_ = nullptr;
}

void LinuxEventTap::setEnabled(bool enabled) {
  if (enabled == pipeline_.enabled()) return;
  // The key mapping in effect may have changed since the grab.
  if (enabled) refreshTranslations();
  pipeline_.setEnabled(enabled);
  out_.flush();
}

void LinuxEventTap::refreshTranslations() {
  for (const auto& keyboard : keyboards_) {
    keyboard->keys.setTranslations(system_.remapper_.prepareKeyboard(keyboard->keys.fd()));
  }
}

std::unique_ptr<RunLoopSource> LinuxEventTap::createRunLoopSource() {
  auto source = std::make_unique<LinuxRunLoopSource>(*this);
  if (source_) source_->tapGone();
  source_ = source.get();
  return source;
}

void LinuxEventTap::startReading() {
  if (reading_) return;
  reading_ = true;
  FdWatcher& watcher = system_.watcher_;
  lightsWatch_ = watcher.watchReadable(virtualFd_, [this] { readLights(); });
  if (directory_) directoryWatch_ = watcher.watchReadable(directory_->fd(), [this] { readDirectory(); });
  for (const auto& keyboard : keyboards_) watchKeyboard(*keyboard);
}

void LinuxEventTap::stopReading() {
  reading_ = false;
  lightsWatch_.reset();
  directoryWatch_.reset();
  for (const auto& keyboard : keyboards_) keyboard->watch.reset();
}

void LinuxEventTap::addKeyboards(const std::vector<std::string>& names) {
  InputDevices& devices = *system_.devices_;
  const LinuxEventTapOptions& options = system_.options_;
  struct Candidate {
    std::string name;
    OpenedDevice device;
  };
  std::vector<Candidate> candidates;
  for (const std::string& name : names) {
    if (findKeyboard(name) || ignored_.count(name)) continue;
    OpenedDevice device = devices.open(options.inputDirectory + "/" + name, options.virtualKeyboardName);
    if (device.status == OpenedDevice::Status::NotKeyboard) ignored_.insert(name);
    // An unavailable node is tried again when its permissions change.
    if (device.status == OpenedDevice::Status::Keyboard) candidates.push_back({name, std::move(device)});
  }
  if (candidates.empty()) return;

  std::vector<int> fds;
  for (const Candidate& candidate : candidates) {
    setNonBlocking(candidate.device.fd);
    fds.push_back(candidate.device.fd);
  }
  waitUntilKeysUp(devices, fds, options.quietWaitSeconds);

  for (Candidate& candidate : candidates) {
    const int fd = candidate.device.fd;
    const std::string which = candidate.device.name + " (" + candidate.name + ")";
    std::string error;
    std::unique_ptr<OutputFrames> pointer;
    if (candidate.device.points) {
      // Its pointer must go on working: without a way to pass it on, it is
      // not taken.
      const std::optional<int> pointerFd = devices.createVirtualPointer(options.uinputPath, fd, &error);
      if (!pointerFd) {
        system_.log_.write("Quorvelle: cannot pass on the pointer of the keyboard " + which + ": " + error);
        devices.close(fd);
        continue;
      }
      pointer = std::make_unique<OutputFrames>(*pointerFd);
      setNonBlocking(*pointerFd);
    }
    if (!devices.grab(fd, &error)) {
      system_.log_.write("Quorvelle: cannot grab the keyboard " + which + ": " + error);
      if (pointer) devices.destroyVirtualDevice(pointer->fd());
      devices.close(fd);
      continue;
    }
    // Whatever arrived before the grab reached the display server already.
    input_event stale[64];
    while (::read(fd, stale, sizeof stale) > 0) {
    }
    auto keyboard = std::make_unique<Keyboard>(
        Keyboard{candidate.name, candidate.device.name, KeyboardKeys(fd), nullptr, std::move(pointer)});
    keyboard->keys.setPointer(keyboard->pointer.get());
    keyboard->keys.setTranslations(system_.remapper_.prepareKeyboard(fd));
    copyLightsTo(fd);
    if (reading_) watchKeyboard(*keyboard);
    keyboards_.push_back(std::move(keyboard));
  }
}

void LinuxEventTap::watchKeyboard(Keyboard& keyboard) {
  keyboard.watch =
      system_.keyWatcher_->watchReadable(keyboard.keys.fd(), [this, &keyboard] { readKeyboard(keyboard); });
}

void LinuxEventTap::readKeyboard(Keyboard& keyboard) {
  constexpr std::size_t kBatch = 64;
  input_event events[kBatch];
  for (;;) {
    const ssize_t length = ::read(keyboard.keys.fd(), events, sizeof events);
    if (length < 0 && (errno == EAGAIN || errno == EINTR)) break;
    if (length <= 0) {
      // Unplugged (ENODEV), or the end of the stream: quietly let it go.
      out_.flush();
      removeKeyboard(keyboard);
      return;
    }
    const std::size_t count = static_cast<std::size_t>(length) / sizeof(input_event);
    for (std::size_t done = 0; done < count;) {
      done += pipeline_.process(keyboard.keys, events + done, count - done);
      if (keyboard.keys.resyncDue()) resync(keyboard);
    }
    if (count < kBatch) break;
  }
  out_.flush();
  if (keyboard.pointer) keyboard.pointer->flush();
}

// After lost events, the kernel's word on what is down now; a keyboard that
// points gets its absolute axes first, then its buttons from the pipeline.
void LinuxEventTap::resync(Keyboard& keyboard) {
  const std::optional<KeyBits> now = system_.devices_->keysDown(keyboard.keys.fd());
  if (now && keyboard.pointer) system_.devices_->appendAbsoluteState(keyboard.keys.fd(), *keyboard.pointer);
  pipeline_.resync(keyboard.keys, now);
}

void LinuxEventTap::removeKeyboard(Keyboard& keyboard) {
  pipeline_.releaseKeyboard(keyboard.keys);
  out_.flush();
  closeKeyboard(keyboard);
  std::erase_if(keyboards_, [&](const auto& entry) { return entry.get() == &keyboard; });
}

// The kernel releases whatever its virtual pointer held as the pointer goes.
void LinuxEventTap::closeKeyboard(Keyboard& keyboard) {
  if (keyboard.pointer) {
    keyboard.pointer->flush();
    system_.devices_->destroyVirtualDevice(keyboard.pointer->fd());
  }
  system_.devices_->close(keyboard.keys.fd());
}

LinuxEventTap::Keyboard* LinuxEventTap::findKeyboard(const std::string& name) {
  for (const auto& keyboard : keyboards_) {
    if (keyboard->name == name) return keyboard.get();
  }
  return nullptr;
}

void LinuxEventTap::readDirectory() {
  std::vector<std::string> appeared;
  for (const InputDirectoryWatch::Change& change : directory_->readChanges()) {
    switch (change.kind) {
      case InputDirectoryWatch::Change::Kind::Appeared:
        appeared.push_back(change.name);
        break;
      case InputDirectoryWatch::Change::Kind::Gone:
        ignored_.erase(change.name);
        if (Keyboard* keyboard = findKeyboard(change.name)) removeKeyboard(*keyboard);
        std::erase(appeared, change.name);
        break;
      case InputDirectoryWatch::Change::Kind::Overflow:
        appeared = InputDirectoryWatch::list(system_.options_.inputDirectory);
        break;
    }
  }
  addKeyboards(appeared);
}

void LinuxEventTap::readLights() {
  input_event events[64];
  bool changed = false;
  for (;;) {
    const ssize_t length = ::read(virtualFd_, events, sizeof events);
    if (length == 0) lightsWatch_.reset();  // nothing more will come
    if (length <= 0) break;
    const std::size_t count = static_cast<std::size_t>(length) / sizeof(input_event);
    for (std::size_t i = 0; i < count; ++i) {
      if (events[i].type != EV_LED || events[i].code >= LED_CNT) continue;
      lights_[events[i].code] = events[i].value != 0;
      lightsKnown_[events[i].code] = true;
      changed = true;
    }
  }
  if (!changed) return;
  for (const auto& keyboard : keyboards_) copyLightsTo(keyboard->keys.fd());
}

// The keyboards show the lights the display server sets on the virtual one.
void LinuxEventTap::copyLightsTo(int fd) {
  if (lightsKnown_.none()) return;
  input_event frame[LED_CNT + 1] = {};
  std::size_t count = 0;
  for (std::size_t code = 0; code < LED_CNT; ++code) {
    if (!lightsKnown_[code]) continue;
    frame[count].type = EV_LED;
    frame[count].code = static_cast<std::uint16_t>(code);
    frame[count].value = lights_[code] ? 1 : 0;
    ++count;
  }
  frame[count].type = EV_SYN;
  frame[count].code = SYN_REPORT;
  ++count;
  ssize_t ignored = ::write(fd, frame, count * sizeof(input_event));
  (void)ignored;
}

void LinuxEventTap::switchCapsLockOff() {
  if (!lightsKnown_[LED_CAPSL]) {
    // The display server has not set the virtual keyboard's lights yet. The
    // grabbed keyboards still show what it set on them.
    bool known = false;
    bool lit = false;
    for (const auto& keyboard : keyboards_) {
      if (std::optional<bool> light = system_.devices_->capsLockLight(keyboard->keys.fd())) {
        known = true;
        lit = lit || *light;
      }
    }
    if (!known || !lit) return;
    // A tap made before the display server has opened the virtual keyboard
    // would be lost: wait (bounded) for it to set the lights, which it does
    // when it opens a keyboard, and believe what it sets.
    const double deadline = monotonicSeconds() + system_.options_.capsLockWaitSeconds;
    while (!lightsKnown_[LED_CAPSL]) {
      const double left = deadline - monotonicSeconds();
      if (left <= 0) break;
      pollfd entry{virtualFd_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(std::ceil(left * 1000.0))) > 0) readLights();
    }
    if (lightsKnown_[LED_CAPSL] && !lights_[LED_CAPSL]) return;
  } else if (!lights_[LED_CAPSL]) {
    return;
  }
  pipeline_.tapCapsLock();
  out_.flush();
}

}  // namespace quorvelle
