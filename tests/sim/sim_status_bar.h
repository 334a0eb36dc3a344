#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/menu.h"
#include "platform/status_bar.h"

namespace quorvelle::sim {

class SimMenuItem : public MenuItem {
 public:
  void setState(bool on) override {
    state = on;
    stateSet = true;
  }
  void setHidden(bool value) override { hidden = value; }

  std::string title;  // empty for a separator
  std::string keyEquivalent;
  std::function<void()> action;
  bool separator = false;
  bool state = false;
  bool hidden = false;
  bool stateSet = false;
};

// A menu the test opens and chooses from.
class SimMenu : public Menu {
 public:
  MenuItem& addItem(const std::string& title, const std::string& keyEquivalent,
                    std::function<void()> action) override {
    auto item = std::make_unique<SimMenuItem>();
    item->title = title;
    item->keyEquivalent = keyEquivalent;
    item->action = std::move(action);
    items.push_back(std::move(item));
    return *items.back();
  }
  MenuItem& addSeparator() override {
    items.push_back(std::make_unique<SimMenuItem>());
    items.back()->separator = true;
    return *items.back();
  }
  void setNeedsUpdateHandler(std::function<void()> handler) override { needsUpdate = std::move(handler); }

  // Opens the menu as the user would: the update handler first, then the
  // visible entries as drawn ("-" for a separator, "✓ " before a ticked title).
  std::vector<std::string> open() {
    if (needsUpdate) needsUpdate();
    std::vector<std::string> drawn;
    for (const auto& item : items) {
      if (item->hidden) continue;
      drawn.push_back(item->separator ? "-" : (item->state ? "✓ " : "") + item->title);
    }
    return drawn;
  }
  // Chooses the visible item with the title; false when there is none.
  bool choose(const std::string& title) {
    for (const auto& item : items) {
      if (!item->separator && !item->hidden && item->title == title) {
        item->action();
        return true;
      }
    }
    return false;
  }
  // Presses the key equivalent with the command modifier while the menu is open.
  bool press(const std::string& key) {
    for (const auto& item : items) {
      if (!item->hidden && !item->keyEquivalent.empty() && item->keyEquivalent == key) {
        item->action();
        return true;
      }
    }
    return false;
  }

  std::vector<std::unique_ptr<SimMenuItem>> items;
  std::function<void()> needsUpdate;
};

class SimStatusBar;

class SimStatusItem : public StatusItem {
 public:
  SimStatusItem(SimStatusBar& bar, SimMenu& menu, int serial) : menu(menu), serial(serial), bar_(bar) {}
  ~SimStatusItem() override;
  void setImage(const std::string& symbolName, const std::string& description) override {
    symbol = symbolName;
    accessibilityDescription = description;
  }
  void setAppearsDisabled(bool value) override { dimmed = value; }

  SimMenu& menu;
  const int serial;
  std::string symbol;
  std::string accessibilityDescription;
  bool dimmed = false;

 private:
  SimStatusBar& bar_;
};

// The status bar: which items are in it.
class SimStatusBar : public StatusBar {
 public:
  std::unique_ptr<Menu> createMenu() override { return std::make_unique<SimMenu>(); }
  std::unique_ptr<StatusItem> addStatusItem(Menu& menu) override {
    auto item = std::make_unique<SimStatusItem>(*this, static_cast<SimMenu&>(menu), ++itemsAdded);
    shown.push_back(item.get());
    return item;
  }

  // The one item shown, or nullptr.
  SimStatusItem* item() const { return shown.empty() ? nullptr : shown.back(); }

  std::vector<SimStatusItem*> shown;
  int itemsAdded = 0;
  int itemsRemoved = 0;
};

inline SimStatusItem::~SimStatusItem() {
  std::erase(bar_.shown, this);
  ++bar_.itemsRemoved;
}

}  // namespace quorvelle::sim
