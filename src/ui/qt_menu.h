#pragma once

#include <QKeySequence>
#include <QMenu>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/menu.h"

namespace quorvelle {

// A menu as a QMenu. Titles are shown through the Linux wording table; a key
// equivalent becomes a Ctrl shortcut, the Linux spelling of the command key.
class QtMenu : public Menu {
 public:
  QtMenu();
  ~QtMenu() override;

  MenuItem& addItem(const std::string& title, const std::string& keyEquivalent,
                    std::function<void()> action) override;
  MenuItem& addSeparator() override;
  void setNeedsUpdateHandler(std::function<void()> handler) override;

  // Brings the items up to date on a later turn of the event loop, for tray
  // hosts that draw the exported menu without announcing that it opens.
  void scheduleRefresh();

  QMenu* widget() const { return menu_.get(); }

  // "q" -> Ctrl+Q, "," -> Ctrl+,
  static QKeySequence shortcutFor(const std::string& keyEquivalent);

 private:
  class Item;
  class ShortcutFilter;
  std::unique_ptr<QMenu> menu_;
  std::vector<std::unique_ptr<Item>> items_;
  std::function<void()> needsUpdate_;
  bool refreshPending_ = false;
};

}  // namespace quorvelle
