#pragma once

#include <functional>
#include <string>

namespace quorvelle {

// One entry of a menu; its menu owns it.
class MenuItem {
 public:
  virtual ~MenuItem() = default;
  // The check mark beside the title.
  virtual void setState(bool on) = 0;
  virtual void setHidden(bool hidden) = 0;
};

// A drop-down menu of titled items and separators.
class Menu {
 public:
  virtual ~Menu() = default;

  // Appends an item that runs the action when chosen. keyEquivalent is the
  // key that chooses it together with the platform's command modifier ("q"
  // for Command-Q or Ctrl+Q); empty for none.
  virtual MenuItem& addItem(const std::string& title, const std::string& keyEquivalent,
                            std::function<void()> action) = 0;
  virtual MenuItem& addSeparator() = 0;

  // Runs each time the menu is about to open, before it is drawn.
  virtual void setNeedsUpdateHandler(std::function<void()> handler) = 0;
};

}  // namespace quorvelle
