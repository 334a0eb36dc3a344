#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/keymap/keymap_plan.h"
#include "linux/keymap/property_text.h"

namespace quorvelle {

// What tells one input device from another across event node renumbering.
struct DeviceIdentity {
  std::string name;
  std::string phys;
  std::string uniq;
  std::uint16_t bustype = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint16_t version = 0;
  bool operator==(const DeviceIdentity&) const = default;
};

struct DeviceRecord {
  DeviceIdentity device;
  std::vector<Replacement> replaced;
  bool operator==(const DeviceRecord&) const = default;
};

// The mapping in effect and what it replaced on each keyboard: enough for an
// empty mapping to restore the keymaps, also after a crash.
struct KeymapState {
  std::vector<UsageMapping> mapping;
  std::vector<DeviceRecord> devices;
  bool operator==(const KeymapState&) const = default;

  bool empty() const { return mapping.empty() && devices.empty(); }
  // The record of a device, or nullptr.
  const DeviceRecord* find(const DeviceIdentity& device) const;
  // Replaces the device's record; an empty list removes it.
  void setReplaced(const DeviceIdentity& device, std::vector<Replacement> replaced);
};

std::string serializeKeymapState(const KeymapState& state);

// Reads what serializeKeymapState wrote, checking every field: a state file is
// never trusted blindly. nullopt with *error naming the line otherwise.
std::optional<KeymapState> parseKeymapState(std::string_view text, std::string* error);

}  // namespace quorvelle
