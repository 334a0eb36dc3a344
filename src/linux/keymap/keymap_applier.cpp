#include "linux/keymap/keymap_applier.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "linux/device_kind.h"
#include "linux/keymap/device_keymap.h"
#include "linux/keymap/hid_usage_table.h"
#include "linux/keymap/keymap_plan.h"
#include "linux/keymap/keymap_state_file.h"
#include "linux/virtual_keyboard_identity.h"

namespace quorvelle {
namespace {

// The records of both lists, so that a crash between the two writes of the
// state file still leaves every scancode we may have touched on record.
std::vector<Replacement> unite(std::vector<Replacement> first, const std::vector<Replacement>& second) {
  for (const Replacement& record : second) {
    bool known = std::any_of(first.begin(), first.end(),
                             [&](const Replacement& r) { return r.scancode == record.scancode; });
    if (!known) first.push_back(record);
  }
  return first;
}

std::vector<Replacement> recordedFor(const KeymapState& state, const DeviceIdentity& device) {
  const DeviceRecord* record = state.find(device);
  return record ? record->replaced : std::vector<Replacement>{};
}

std::vector<std::string> eventNodes(const std::string& folder) {
  std::vector<std::string> nodes;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return nodes;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, "event", 5) == 0) nodes.push_back(folder + "/" + entry->d_name);
  }
  closedir(dir);
  std::sort(nodes.begin(), nodes.end());
  return nodes;
}

struct OpenDevice {
  std::string node;
  int fd = -1;
  DeviceIdentity identity;
  KeymapPlan plan;
};

// Opens the state file under its lock and reads it.
std::optional<KeymapState> loadLocked(KeymapStateFile& file, std::vector<std::string>* warnings) {
  std::string error, warning;
  if (!file.lock(&error)) {
    warnings->push_back(error);
    return std::nullopt;
  }
  std::optional<KeymapState> state = file.load(&error, &warning);
  if (!warning.empty()) warnings->push_back(warning);
  if (!state) warnings->push_back(error);
  return state;
}

// Writes the planned key codes; false when any write failed (the rest is
// still written). Failed writes are noted in *failed.
bool writePlan(const OpenDevice& device, std::vector<KeymapEntry>* failed, std::vector<std::string>* warnings) {
  bool ok = true;
  for (const KeymapEntry& write : device.plan.writes) {
    std::string error;
    if (!writeKeyCode(device.fd, write.scancode, write.keyCode, &error)) {
      warnings->push_back(device.node + " (" + device.identity.name + "): " + error);
      if (failed) failed->push_back(write);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

KeymapApplier::KeymapApplier(std::string stateDirectory, std::string inputDirectory)
    : stateDirectory_(std::move(stateDirectory)), inputDirectory_(std::move(inputDirectory)) {}

std::optional<std::vector<UsageMapping>> KeymapApplier::mapping(std::vector<std::string>* warnings) {
  KeymapStateFile file(stateDirectory_);
  std::optional<KeymapState> state = loadLocked(file, warnings);
  if (!state) return std::nullopt;
  return state->mapping;
}

bool KeymapApplier::setMapping(const std::vector<UsageMapping>& mapping, std::vector<std::string>* warnings) {
  std::string error;
  std::optional<std::vector<KeyCodeMapping>> keyCodes = keyCodeMappings(mapping, &error);
  if (!keyCodes) {
    warnings->push_back(error);
    return false;
  }
  KeymapStateFile file(stateDirectory_);
  std::optional<KeymapState> old = loadLocked(file, warnings);
  if (!old) return false;

  bool ok = true;
  bool someUnreadable = false;
  const std::vector<KeyCodeMapping> noMappings;
  std::vector<OpenDevice> devices;
  for (const std::string& node : eventNodes(inputDirectory_)) {
    int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      // Nodes we may not open are mostly not keyboards (a user is given
      // access to keyboards only); their records are kept just in case.
      someUnreadable = true;
      continue;
    }
    OpenDevice device{node, fd, {}, {}};
    std::optional<DeviceIdentity> identity = readDeviceIdentity(fd, &error);
    std::optional<std::vector<KeymapEntry>> entries =
        identity ? readKeymap(fd, &error) : std::nullopt;
    if (!entries) {
      warnings->push_back(node + ": " + error);
      someUnreadable = true;
      ok = false;
      close(fd);
      continue;
    }
    if (entries->empty()) {
      close(fd);
      continue;
    }
    device.identity = *identity;
    // Only the keyboards the engine takes are mapped: anywhere else Caps Lock
    // would report a bare F18. The others merely give back what was recorded.
    const std::optional<DeviceDescription> description = describeDevice(fd);
    const bool taken = description && classifyDevice(*description, kVirtualKeyboardName) == DeviceKind::Keyboard;
    device.plan = planKeymap(*entries, recordedFor(*old, device.identity), taken ? *keyCodes : noMappings);
    devices.push_back(std::move(device));
  }

  // First record everything that is or will be replaced, then change the
  // keymaps, then record what is replaced now.
  KeymapState during;
  during.mapping = mapping;
  for (const DeviceRecord& record : old->devices) {
    bool present = std::any_of(devices.begin(), devices.end(),
                               [&](const OpenDevice& d) { return d.identity == record.device; });
    // A device that is gone took its keymap with it, unless it is merely
    // one we could not open.
    if (!present && someUnreadable) during.devices.push_back(record);
  }
  KeymapState after = during;
  std::vector<std::vector<Replacement>> allReplaced;
  // Two nodes may share an identity (one device, several inputs): their
  // records are pooled, never one overwriting the other.
  for (const OpenDevice& device : devices) {
    allReplaced.push_back(unite(recordedFor(*old, device.identity), device.plan.replaced));
    during.setReplaced(device.identity, unite(recordedFor(during, device.identity), allReplaced.back()));
  }
  if (!file.save(during, &error)) {
    warnings->push_back(error);
    for (const OpenDevice& device : devices) close(device.fd);
    return false;
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    bool written = writePlan(devices[i], nullptr, warnings);
    ok = ok && written;
    // A device whose keymap did not take everything keeps all its records,
    // so that restoring tries again.
    after.setReplaced(devices[i].identity, unite(recordedFor(after, devices[i].identity),
                                                 written ? devices[i].plan.replaced : allReplaced[i]));
    close(devices[i].fd);
  }
  if (!file.save(after, &error)) {
    warnings->push_back(error);
    return false;
  }
  return ok;
}

std::vector<KeyTranslation> KeymapApplier::prepareDevice(int fd, std::vector<std::string>* warnings) {
  KeymapStateFile file(stateDirectory_);
  std::optional<KeymapState> state = loadLocked(file, warnings);
  if (!state) return {};
  std::string error;
  std::optional<DeviceIdentity> identity = readDeviceIdentity(fd, &error);
  if (!identity) {
    warnings->push_back(error);
    return {};
  }
  std::vector<Replacement> recorded = recordedFor(*state, *identity);
  if (state->mapping.empty() && recorded.empty()) return {};
  // The state file was validated on load, so its mapping converts.
  std::vector<KeyCodeMapping> keyCodes = keyCodeMappings(state->mapping, &error).value_or(std::vector<KeyCodeMapping>{});
  std::optional<std::vector<KeymapEntry>> entries = readKeymap(fd, &error);
  if (!entries) {
    warnings->push_back(identity->name + ": " + error);
    entries.emplace();
  }

  OpenDevice device{identity->name, fd, *identity, planKeymap(*entries, recorded, keyCodes)};
  std::vector<KeymapEntry> failed;
  if (!device.plan.writes.empty()) {
    state->setReplaced(device.identity, unite(recorded, device.plan.replaced));
    if (!file.save(*state, &error)) {
      warnings->push_back(error);
      return {};
    }
    bool written = writePlan(device, &failed, warnings);
    state->setReplaced(device.identity, written ? device.plan.replaced : unite(recorded, device.plan.replaced));
    if (!file.save(*state, &error)) warnings->push_back(error);
  }

  // What the keymap cannot do, the engine does: keys the keymap does not
  // produce from any scancode, and keys whose entry refused the change.
  std::vector<KeyTranslation> translations;
  for (const KeyCodeMapping& mapping : keyCodes) {
    bool refused = std::any_of(failed.begin(), failed.end(),
                               [&](const KeymapEntry& e) { return e.keyCode == mapping.to; });
    bool missing = std::find(device.plan.sourcesNotInKeymap.begin(), device.plan.sourcesNotInKeymap.end(),
                             mapping.from) != device.plan.sourcesNotInKeymap.end();
    if ((refused || missing) && deviceHasKey(fd, mapping.from)) translations.push_back({mapping.from, mapping.to});
  }
  return translations;
}

}  // namespace quorvelle
