#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/alerts.h"

namespace quorvelle::sim {

// Answers alerts from a script; an alert with no scripted answer gets the
// first button.
class SimAlerts : public Alerts {
 public:
  AlertResponse runModal(const Alert& alert) override {
    shown.push_back(alert);
    if (onShow) onShow();
    if (answers.empty()) return {};
    AlertResponse answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<Alert> shown;
  std::deque<AlertResponse> answers;
  // Runs while an alert is up, as events do in its modal loop.
  std::function<void()> onShow;
};

}  // namespace quorvelle::sim
