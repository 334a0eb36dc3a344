#pragma once

#include <string>
#include <vector>

namespace quorvelle {

// What a modal alert answers: 1000 for the first button, 1001 for the second...
inline constexpr int kAlertFirstButtonReturn = 1000;

struct Alert {
  std::string messageText;
  std::string informativeText;
  // Button titles, first is the default; none gives the platform's single OK.
  std::vector<std::string> buttons;
  bool showsSuppressionButton = false;
  std::string suppressionButtonTitle;
};

struct AlertResponse {
  int button = kAlertFirstButtonReturn;
  bool suppressionChecked = false;
};

class Alerts {
 public:
  virtual ~Alerts() = default;
  // Shows the alert and returns when the user has answered it.
  virtual AlertResponse runModal(const Alert& alert) = 0;
};

}  // namespace quorvelle
