#include "ui/qt_status_bar.h"

#include <QCursor>

#include "ui/linux_texts.h"
#include "ui/status_icon.h"

namespace quorvelle {

QtStatusBar::QtStatusBar(std::map<std::string, QIcon> symbols, const QColor& foreground)
    : symbols_(std::move(symbols)), drawn_(drawnStatusSymbol(foreground)) {}

std::unique_ptr<Menu> QtStatusBar::createMenu() { return std::make_unique<QtMenu>(); }

std::unique_ptr<StatusItem> QtStatusBar::addStatusItem(Menu& menu) {
  return std::make_unique<QtStatusItem>(*this, static_cast<QtMenu&>(menu));
}

QIcon QtStatusBar::symbol(const std::string& name) const {
  auto it = symbols_.find(name);
  // An SVG that is missing, or an SVG icon engine that is, gives a null icon.
  return it == symbols_.end() || it->second.isNull() ? drawn_ : it->second;
}

QtStatusItem::QtStatusItem(QtStatusBar& bar, QtMenu& menu)
    : bar_(bar), menu_(menu), tray_(std::make_unique<QSystemTrayIcon>()) {
  tray_->setContextMenu(menu.widget());
  // A click on the icon opens the menu too, as a status item's menu does;
  // trays that draw the menu themselves open it without asking.
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                   [&menu](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger && !menu.widget()->isVisible()) {
                       menu.widget()->popup(QCursor::pos());
                     }
                   });
  bar_.current_ = this;
}

QtStatusItem::~QtStatusItem() {
  tray_->hide();
  // The menu outlives the item: detach it before the tray icon goes.
  tray_->setContextMenu(nullptr);
  if (bar_.current_ == this) bar_.current_ = nullptr;
}

void QtStatusItem::setImage(const std::string& symbolName, const std::string& accessibilityDescription) {
  symbol_ = bar_.symbol(symbolName);
  tray_->setToolTip(linuxText(accessibilityDescription));
  redraw();
}

void QtStatusItem::setAppearsDisabled(bool dimmed) {
  dimmed_ = dimmed;
  redraw();
}

void QtStatusItem::redraw() {
  tray_->setIcon(statusIcon(symbol_, dimmed_));
  tray_->setVisible(true);
  // What changes the icon can change the menu's states too.
  menu_.scheduleRefresh();
}

}  // namespace quorvelle
