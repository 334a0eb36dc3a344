#include "linux/keymap/keymap_plan.h"

namespace quorvelle {

KeymapPlan planKeymap(const std::vector<KeymapEntry>& current, const std::vector<Replacement>& recorded,
                      const std::vector<KeyCodeMapping>& mappings) {
  KeymapPlan plan;
  std::vector<bool> sourceFound(mappings.size(), false);
  for (const KeymapEntry& entry : current) {
    std::uint32_t original = entry.keyCode;
    for (const Replacement& record : recorded) {
      if (record.scancode == entry.scancode) {
        original = record.original;
        break;
      }
    }
    // Every entry is mapped from its original code, never from a code an
    // earlier mapping produced, so swapping two keys works.
    std::uint32_t target = original;
    for (size_t i = 0; i < mappings.size(); ++i) {
      if (mappings[i].from == original) {
        target = mappings[i].to;
        sourceFound[i] = true;
        break;
      }
    }
    if (target != entry.keyCode) plan.writes.push_back({entry.scancode, target});
    if (target != original) plan.replaced.push_back({entry.scancode, original});
  }
  for (size_t i = 0; i < mappings.size(); ++i) {
    if (!sourceFound[i]) plan.sourcesNotInKeymap.push_back(mappings[i].from);
  }
  return plan;
}

}  // namespace quorvelle
