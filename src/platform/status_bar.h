#pragma once

#include <memory>
#include <string>

#include "platform/menu.h"

namespace quorvelle {

// An icon in the system status bar (the tray) that opens a menu. Destroying
// it removes it from the status bar.
class StatusItem {
 public:
  virtual ~StatusItem() = default;
  // The named symbol image; a name the platform does not know leaves the item
  // without an image.
  virtual void setImage(const std::string& symbolName, const std::string& accessibilityDescription) = 0;
  // Dimmed draws the image as disabled.
  virtual void setAppearsDisabled(bool dimmed) = 0;
};

// The system status bar.
class StatusBar {
 public:
  virtual ~StatusBar() = default;
  // An empty menu for items of this status bar.
  virtual std::unique_ptr<Menu> createMenu() = 0;
  // A new square item without a title that opens the menu when clicked. The
  // menu must come from createMenu() and outlive the item.
  virtual std::unique_ptr<StatusItem> addStatusItem(Menu& menu) = 0;
};

}  // namespace quorvelle
