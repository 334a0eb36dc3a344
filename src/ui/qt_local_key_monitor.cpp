#include "ui/qt_local_key_monitor.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace quorvelle {
namespace {

// The flag a modifier key holds, 0 for any other key.
ModifierFlags flagOfKey(int key) {
  switch (key) {
    case Qt::Key_Shift: return kShiftFlag;
    case Qt::Key_Control: return kControlFlag;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return kOptionFlag;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return kCommandFlag;
    case Qt::Key_CapsLock: return kCapsLockFlag;
    default: return 0;
  }
}

}  // namespace

QtLocalKeyMonitor::QtLocalKeyMonitor() { QCoreApplication::instance()->installEventFilter(this); }

QtLocalKeyMonitor::~QtLocalKeyMonitor() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

std::optional<LocalKeyMonitor::Token> QtLocalKeyMonitor::addMonitor(std::uint64_t eventMask, Handler handler) {
  monitors_[++lastToken_] = Monitor{eventMask, std::move(handler)};
  return lastToken_;
}

void QtLocalKeyMonitor::removeMonitor(Token token) { monitors_.erase(token); }

ModifierFlags QtLocalKeyMonitor::heldModifiers() const {
  ModifierFlags flags = 0;
  for (const auto& [key, scanCode] : held_) flags |= flagOfKey(key);
  return flags;
}

bool QtLocalKeyMonitor::wants(std::uint32_t type) const {
  for (const auto& [token, monitor] : monitors_) {
    if (monitor.mask & (std::uint64_t{1} << type)) return true;
  }
  return false;
}

bool QtLocalKeyMonitor::dispatch(const KeyEvent& event) {
  // A handler may remove monitors, its own included.
  std::map<Token, Monitor> snapshot = monitors_;
  for (const auto& [token, monitor] : snapshot) {
    if (!monitors_.count(token) || !(monitor.mask & (std::uint64_t{1} << event.type))) continue;
    if (!monitor.handler(event)) return false;
  }
  return true;
}

bool QtLocalKeyMonitor::isRepeatDelivery(QKeyEvent* key) {
  bool same = key == lastEvent_ && key->type() == lastType_ && key->key() == lastKey_ &&
              key->nativeScanCode() == lastScanCode_ && key->timestamp() == lastTimestamp_;
  lastEvent_ = key;
  lastType_ = key->type();
  lastKey_ = key->key();
  lastScanCode_ = key->nativeScanCode();
  lastTimestamp_ = key->timestamp();
  return same;
}

bool QtLocalKeyMonitor::handleKey(QKeyEvent* key) {
  // An event seen before has passed already: had it been consumed, Qt would
  // not hand it on.
  if (isRepeatDelivery(key)) return false;
  const bool press = key->type() == QEvent::KeyPress;
  const ModifierFlags flag = flagOfKey(key->key());
  if (flag == 0) {
    if (!press || !wants(kKeyDownEvent)) return false;
    std::uint16_t code = key->key() == Qt::Key_Escape ? kEscapeKeyCode : kUnknownKeyCode;
    return !dispatch(KeyEvent{kKeyDownEvent, code, heldModifiers()});
  }
  // A held key's auto-repeat changes nothing.
  if (key->isAutoRepeat()) return wants(kFlagsChangedEvent);
  std::pair<int, quint32> id{key->key(), key->nativeScanCode()};
  if (press) held_.insert(id);
  else held_.erase(id);
  if (!wants(kFlagsChangedEvent)) return false;
  return !dispatch(KeyEvent{kFlagsChangedEvent, 0, heldModifiers()});
}

bool QtLocalKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return handleKey(static_cast<QKeyEvent*>(event));
    case QEvent::ShortcutOverride:
      // Claimed, so that no shortcut takes a key the monitor is to see.
      if (wants(kKeyDownEvent)) {
        event->accept();
        return true;
      }
      return false;
    case QEvent::ApplicationDeactivate:
      // Releases made in other applications never arrive here.
      held_.clear();
      return false;
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace quorvelle
