#pragma once

#include "linux/keyboard_remapper.h"
#include "platform/log.h"

namespace quorvelle {

// The engine's side of the key mapping: each keyboard it takes gets the
// mapping the key mapping tool set, through the same code.
class KeymapRemapper : public KeyboardRemapper {
 public:
  explicit KeymapRemapper(Log& log);

  std::vector<KeyTranslation> prepareKeyboard(int deviceFd) override;

 private:
  Log& log_;
};

}  // namespace quorvelle
