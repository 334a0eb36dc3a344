#pragma once

#include <QIcon>
#include <QSystemTrayIcon>
#include <map>
#include <memory>
#include <string>

#include "platform/status_bar.h"
#include "ui/qt_menu.h"

namespace quorvelle {

class QtStatusItem;

// The system tray (a StatusNotifierItem host or an XEmbed tray). A desktop
// without one is not an error: items are made all the same and appear when a
// tray does.
class QtStatusBar : public StatusBar {
 public:
  // The symbol images by name, e.g. "capslock" and "capslock.fill", and the
  // colour a symbol that is missing is drawn in.
  QtStatusBar(std::map<std::string, QIcon> symbols, const QColor& foreground);

  std::unique_ptr<Menu> createMenu() override;
  std::unique_ptr<StatusItem> addStatusItem(Menu& menu) override;

  static bool isTrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

  // The symbol for the name; for a name it has no image of, one drawn here:
  // a tray item without an image would not be shown at all.
  QIcon symbol(const std::string& name) const;

  // The item shown now (the last one added and still alive), or nullptr.
  QtStatusItem* currentItem() const { return current_; }

 private:
  friend class QtStatusItem;
  std::map<std::string, QIcon> symbols_;
  QIcon drawn_;
  QtStatusItem* current_ = nullptr;
};

class QtStatusItem : public StatusItem {
 public:
  QtStatusItem(QtStatusBar& bar, QtMenu& menu);
  ~QtStatusItem() override;

  void setImage(const std::string& symbolName, const std::string& accessibilityDescription) override;
  void setAppearsDisabled(bool dimmed) override;

  // The icon as the tray draws it now.
  QIcon icon() const { return tray_->icon(); }
  QSystemTrayIcon* trayIcon() const { return tray_.get(); }

 private:
  void redraw();

  QtStatusBar& bar_;
  QtMenu& menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  QIcon symbol_;
  bool dimmed_ = false;
};

}  // namespace quorvelle
