#include "service/service_key_mapping.h"

#include <linux/input.h>

#include <algorithm>

namespace quorvelle {

void ServiceKeyMapping::set(const std::vector<KeyTranslation>& table) {
  table_.clear();
  for (const KeyTranslation& pair : table) {
    if (pair.from == KEY_RESERVED || pair.from >= KEY_CNT || pair.to == KEY_RESERVED || pair.to >= KEY_CNT) continue;
    std::erase_if(table_, [&](const KeyTranslation& kept) { return kept.from == pair.from; });
    table_.push_back(pair);
  }
}

}  // namespace quorvelle
