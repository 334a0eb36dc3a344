#include "ui/widget_window.h"

namespace quorvelle {

bool isApplicationWindow(const QWidget* widget) {
  if (!widget || !widget->isWindow()) return false;
  const Qt::WindowType type = widget->windowType();
  return type == Qt::Window || type == Qt::Dialog;
}

std::uint32_t styleMaskOfWidget(const QWidget* widget) {
  const Qt::WindowFlags flags = widget->windowFlags();
  if (!isApplicationWindow(widget) || flags.testFlag(Qt::FramelessWindowHint)) return 0;
  std::uint32_t mask = kWindowTitled;
  // Without CustomizeWindowHint the window system's usual buttons are there.
  const bool customized = flags.testFlag(Qt::CustomizeWindowHint);
  if (!customized || flags.testFlag(Qt::WindowCloseButtonHint)) mask |= kWindowClosable;
  if (customized ? flags.testFlag(Qt::WindowMinimizeButtonHint) : widget->windowType() == Qt::Window) {
    mask |= kWindowMiniaturizable;
  }
  if (widget->minimumSize() != widget->maximumSize()) mask |= kWindowResizable;
  return mask;
}

void bringWidgetToFront(QWidget* widget) {
  if (!widget) return;
  if (widget->isMinimized()) {
    widget->showNormal();
  } else {
    widget->show();
  }
  widget->raise();
  widget->activateWindow();
}

bool isWidgetOnScreen(const QWidget* widget) { return widget && widget->isVisible() && !widget->isMinimized(); }

}  // namespace quorvelle
