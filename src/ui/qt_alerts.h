#pragma once

#include "platform/alerts.h"

namespace quorvelle {

// Modal alerts as QMessageBox: the first button is the default, a button
// titled "Cancel" answers Escape, and no buttons give a single OK. An alert
// whose loop ends without an answer answers none of its buttons.
class QtAlerts : public Alerts {
 public:
  AlertResponse runModal(const Alert& alert) override;
};

}  // namespace quorvelle
