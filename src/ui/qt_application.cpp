#include "ui/qt_application.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QWidget>
#include <utility>

#include "ui/launcher_badge.h"
#include "ui/widget_window.h"

namespace quorvelle {

QtApplication::QtApplication(Log& log) : log_(log) {
  // Closing the last window leaves the application in the tray.
  QApplication::setQuitOnLastWindowClosed(false);
  qApp->installEventFilter(this);
  // The session ending quits the loop without terminate(): the handler runs all the same.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { runTerminationHandler(); });
}

QtApplication::~QtApplication() {
  if (qApp) qApp->removeEventFilter(this);
}

void QtApplication::registerWindow(QWidget* widget, Window* window) {
  adapters_.erase(widget);
  registered_[widget] = window;
}

void QtApplication::unregisterWindow(QWidget* widget) { registered_.erase(widget); }

Window* QtApplication::windowFor(QWidget* widget) const {
  auto registered = registered_.find(widget);
  if (registered != registered_.end()) return registered->second;
  auto& adapter = adapters_[widget];
  if (!adapter) {
    adapter = std::make_unique<WidgetWindow>(widget);
    auto* adapters = &adapters_;
    connect(widget, &QObject::destroyed, this, [adapters, widget] { adapters->erase(widget); });
  }
  return adapter.get();
}

void QtApplication::activateIgnoringOtherApps() {
  // Raised, never shown: a window the user closed may still count as active.
  QWidget* active = QApplication::activeWindow();
  if (!active || !active->isVisible()) return;
  active->raise();
  active->activateWindow();
}

std::vector<Window*> QtApplication::windows() const {
  std::vector<Window*> list;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (isApplicationWindow(widget)) list.push_back(windowFor(widget));
  }
  return list;
}

void QtApplication::terminate() {
  if (terminating_) return;
  terminating_ = true;
  runTerminationHandler();
  // Ends modal loops as well as the main one.
  QCoreApplication::exit(0);
}

void QtApplication::runTerminationHandler() {
  if (terminationHandled_) return;
  terminationHandled_ = true;
  if (terminationHandler_) terminationHandler_();
}

void QtApplication::setBadgeLabel(const std::string& label) {
  // The session bus only when there is a badge to show.
  if (!badge_) badge_ = std::make_unique<LauncherBadge>();
  std::string error;
  if (!badge_->setLabel(label, &error)) log_.write("Quorvelle: " + error);
}

void QtApplication::addWindowWillCloseObserver(std::function<void(Window*)> observer) {
  closeObservers_.push_back(std::move(observer));
}

bool QtApplication::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Close || closeObservers_.empty() || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget == delivering_ || !isApplicationWindow(widget)) return false;
  // The window decides first; it hides only after this returns, so the
  // observers hear of an accepted close while the window is still on screen.
  QPointer<QWidget> guard(widget);
  QWidget* outer = std::exchange(delivering_, widget);
  QCoreApplication::sendEvent(widget, event);
  delivering_ = outer;
  if (guard && event->isAccepted()) {
    // Looked up for each observer: an observer may release the window.
    const auto observers = closeObservers_;
    for (const auto& observer : observers) {
      if (!guard) break;
      observer(windowFor(guard));
    }
  }
  return true;
}

}  // namespace quorvelle
