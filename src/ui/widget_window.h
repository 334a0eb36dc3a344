#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "platform/application.h"

namespace quorvelle {

// Whether a top-level widget is a window of its own on screen (a main window
// or a dialog), not a menu, tooltip or other popup.
bool isApplicationWindow(const QWidget* widget);

// The style mask a window's flags stand for: titled unless frameless, and
// the buttons its title bar offers; resizable unless its size is fixed.
std::uint32_t styleMaskOfWidget(const QWidget* widget);

// Shows the window (restoring it when minimised), raises it and gives it the
// focus.
void bringWidgetToFront(QWidget* widget);

// A minimised window is not on screen.
bool isWidgetOnScreen(const QWidget* widget);

// Any top-level widget of the application as a Window.
class WidgetWindow : public Window {
 public:
  explicit WidgetWindow(QWidget* widget) : widget_(widget) {}

  bool isVisible() const override { return isWidgetOnScreen(widget_); }
  std::string title() const override { return widget_ ? widget_->windowTitle().toStdString() : std::string(); }
  std::uint32_t styleMask() const override { return widget_ ? styleMaskOfWidget(widget_) : 0; }
  void makeKeyAndOrderFront() override { bringWidgetToFront(widget_); }

 private:
  QPointer<QWidget> widget_;
};

}  // namespace quorvelle
