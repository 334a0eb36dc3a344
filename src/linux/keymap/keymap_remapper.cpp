#include "linux/keymap/keymap_remapper.h"

#include "linux/keymap/keymap_applier.h"
#include "linux/keymap/keymap_state_file.h"

namespace quorvelle {

KeymapRemapper::KeymapRemapper(Log& log) : log_(log) {}

std::vector<KeyTranslation> KeymapRemapper::prepareKeyboard(int deviceFd) {
  std::string error;
  // Looked up each time, as the tool does, so both always agree.
  std::optional<std::string> directory = keymapStateDirectory(&error);
  if (!directory) {
    log_.write("Quorvelle: key mapping: " + error);
    return {};
  }
  std::vector<std::string> warnings;
  std::vector<KeyTranslation> translations = KeymapApplier(*directory).prepareDevice(deviceFd, &warnings);
  for (const std::string& warning : warnings) log_.write("Quorvelle: key mapping: " + warning);
  return translations;
}

}  // namespace quorvelle
