#pragma once

#include <map>
#include <vector>

#include "linux/keyboard_remapper.h"

namespace quorvelle::sim {

// Answers each keyboard with the translations set for its descriptor and
// records every keyboard it was asked to prepare.
class SimKeyboardRemapper : public KeyboardRemapper {
 public:
  std::vector<KeyTranslation> prepareKeyboard(int deviceFd) override {
    prepared.push_back(deviceFd);
    auto it = translations.find(deviceFd);
    return it == translations.end() ? std::vector<KeyTranslation>{} : it->second;
  }

  std::map<int, std::vector<KeyTranslation>> translations;
  std::vector<int> prepared;
};

}  // namespace quorvelle::sim
