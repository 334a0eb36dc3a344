#pragma once

#include <vector>

#include "linux/input/keyboard_remapper.h"

namespace quorvelle {

// The key mapping a client set, as the engine applies it to every keyboard
// it reads. It lives only as long as the service holds it: nothing to
// restore after a crash.
class ServiceKeyMapping : public KeyboardRemapper {
 public:
  std::vector<KeyTranslation> prepareKeyboard(int) override { return table_; }

  // Replaces the whole table. Pairs no keyboard can send or no key to send
  // as are left out; a later pair for the same key wins.
  void set(const std::vector<KeyTranslation>& table);
  void clear() { table_.clear(); }
  const std::vector<KeyTranslation>& table() const { return table_; }

 private:
  std::vector<KeyTranslation> table_;
};

}  // namespace quorvelle
