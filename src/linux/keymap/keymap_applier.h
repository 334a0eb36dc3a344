#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linux/keyboard_remapper.h"
#include "linux/keymap/property_text.h"

namespace quorvelle {

// Applies the UserKeyMapping property to the kernel keymaps of the input
// devices and records what it replaced in the state file, so that an empty
// mapping restores exactly that, also after a crash. Used by the key mapping
// tool for every device and by the engine for each keyboard it takes.
class KeymapApplier {
 public:
  KeymapApplier(std::string stateDirectory, std::string inputDirectory = "/dev/input");

  // Brings every keyboard the engine takes (classifyDevice) to the mapping
  // (which must have passed keyCodeMappings) and records it as the mapping
  // in effect; other devices get back what was recorded for them. The old
  // mapping is undone first. Problems with single devices are added to
  // *warnings and make the result false; the rest is still done.
  bool setMapping(const std::vector<UsageMapping>& mapping, std::vector<std::string>* warnings);

  // The mapping in effect, as recorded.
  std::optional<std::vector<UsageMapping>> mapping(std::vector<std::string>* warnings);

  // Brings one open device to the mapping in effect. Returns the key
  // translations the device's keymap could not take. Problems go to *warnings.
  std::vector<KeyTranslation> prepareDevice(int fd, std::vector<std::string>* warnings);

 private:
  std::string stateDirectory_;
  std::string inputDirectory_;
};

}  // namespace quorvelle
