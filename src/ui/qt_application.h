#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/log.h"

class QWidget;

namespace quorvelle {

class LauncherBadge;

// The running application on Qt Widgets. Linux has no Dock, so the
// activation policy is kept as state; the badge is the launcher count on the
// session bus. Its windows are its top-level widgets that are real windows,
// shown or hidden.
class QtApplication : public QObject, public Application {
 public:
  // Watches the windows of the running QApplication from now on.
  explicit QtApplication(Log& log);
  ~QtApplication() override;

  // What terminate() runs, once, before the event loop quits: the
  // application's termination handler.
  void setTerminationHandler(std::function<void()> handler) { terminationHandler_ = std::move(handler); }
  bool isTerminating() const { return terminating_; }

  // A window with a Window object of its own (a content window): windows()
  // and the close observers hand out that object for the widget.
  void registerWindow(QWidget* widget, Window* window);
  void unregisterWindow(QWidget* widget);

  void setActivationPolicy(ActivationPolicy policy) override { policy_ = policy; }
  ActivationPolicy activationPolicy() const override { return policy_; }
  // Linux activates windows, not applications: the active window comes to
  // the front; otherwise the window shown next takes the focus itself.
  void activateIgnoringOtherApps() override;
  std::vector<Window*> windows() const override;
  // Runs the termination handler (only the first time), then quits the event loop.
  void terminate() override;
  void setBadgeLabel(const std::string& label) override;
  // Observers hear of a close once the window has accepted it, while it is
  // still on screen.
  void addWindowWillCloseObserver(std::function<void(Window* window)> observer) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Window* windowFor(QWidget* widget) const;
  void runTerminationHandler();

  Log& log_;
  ActivationPolicy policy_ = ActivationPolicy::Accessory;
  std::function<void()> terminationHandler_;
  bool terminating_ = false;
  bool terminationHandled_ = false;
  std::vector<std::function<void(Window*)>> closeObservers_;
  std::map<QWidget*, Window*> registered_;
  // Adapters for the other windows, made when first asked for.
  mutable std::map<QWidget*, std::unique_ptr<Window>> adapters_;
  // The window whose close event is being delivered by the filter itself.
  QWidget* delivering_ = nullptr;
  std::unique_ptr<LauncherBadge> badge_;
};

}  // namespace quorvelle
