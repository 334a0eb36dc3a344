#include "ui/qt_local_key_monitor.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace quorvelle {
namespace {

// The flag a modifier key holds, 0 for any other key. Qt may call Super
// "Meta", and X's usual keymap makes the Alt key pressed with Shift held Meta_L
// (bound to Alt's modifier): the keysym, where there is one, tells them apart.
ModifierFlags flagOfKey(int key, quint32 keysym) {
  switch (keysym) {
    case 0xffe7:  // Meta_L
    case 0xffe8:  // Meta_R
      return kOptionFlag;
    case 0xffeb:  // Super_L
    case 0xffec:  // Super_R
      return kCommandFlag;
  }
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

QtLocalKeyMonitor::QtLocalKeyMonitor(PressedByEngine pressedByEngine) : pressedByEngine_(std::move(pressedByEngine)) {
  QCoreApplication::instance()->installEventFilter(this);
}

QtLocalKeyMonitor::~QtLocalKeyMonitor() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

std::optional<LocalKeyMonitor::Token> QtLocalKeyMonitor::addMonitor(std::uint64_t eventMask,
                                                                    Handler handler) {
  monitors_[++lastToken_] = Monitor{eventMask, std::move(handler)};
  return lastToken_;
}

void QtLocalKeyMonitor::removeMonitor(Token token) {
  auto it = monitors_.find(token);
  if (it == monitors_.end()) return;
  if (dispatching_) it->second.removed = true;
  else monitors_.erase(it);
}

ModifierFlags QtLocalKeyMonitor::heldModifiers() const {
  // X and Wayland number keys as the Linux key code plus 8 (xkb's evdev
  // keycodes); asked at each event, as the engine may hand a key over to
  // the user while it is held.
  constexpr quint32 kXkbOffset = 8;
  ModifierFlags flags = 0;
  for (size_t i = 0; i < heldCount_; ++i) {
    const quint32 scanCode = held_[i].scanCode;
    const bool engines = pressedByEngine_ && scanCode >= kXkbOffset &&
                         pressedByEngine_(static_cast<std::uint16_t>(scanCode - kXkbOffset));
    if (!engines) flags |= held_[i].flag;
  }
  return flags;
}

void QtLocalKeyMonitor::press(HeldKey key) {
  for (size_t i = 0; i < heldCount_; ++i) {
    if (held_[i].qtKey == key.qtKey && held_[i].scanCode == key.scanCode) return;
  }
  if (heldCount_ < held_.size()) held_[heldCount_++] = key;
}

void QtLocalKeyMonitor::release(HeldKey key) {
  for (size_t i = 0; i < heldCount_; ++i) {
    if (held_[i].qtKey == key.qtKey && held_[i].scanCode == key.scanCode) {
      held_[i] = held_[--heldCount_];
      return;
    }
  }
}

bool QtLocalKeyMonitor::wants(std::uint32_t type) const {
  for (const auto& [token, monitor] : monitors_) {
    if (!monitor.removed && (monitor.mask & (std::uint64_t{1} << type))) return true;
  }
  return false;
}

bool QtLocalKeyMonitor::dispatch(const KeyEvent& event) {
  // Monitors added by a handler see the next event; removed ones are erased
  // only once no handler runs.
  bool passes = true;
  ++dispatching_;
  const Token last = lastToken_;
  for (auto& [token, monitor] : monitors_) {
    if (token > last) break;
    if (monitor.removed || !(monitor.mask & (std::uint64_t{1} << event.type))) continue;
    if (!monitor.handler(event)) {
      passes = false;
      break;
    }
  }
  if (--dispatching_ == 0) std::erase_if(monitors_, [](const auto& entry) { return entry.second.removed; });
  return passes;
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
  const bool isPress = key->type() == QEvent::KeyPress;
  const ModifierFlags flag = flagOfKey(key->key(), key->nativeVirtualKey());
  if (flag == 0) {
    if (!isPress || !wants(kKeyDownEvent)) return false;
    std::uint16_t code = key->key() == Qt::Key_Escape ? kEscapeKeyCode : kUnknownKeyCode;
    return !dispatch(KeyEvent{kKeyDownEvent, code, heldModifiers()});
  }
  // A held key's auto-repeat changes nothing.
  if (key->isAutoRepeat()) return wants(kFlagsChangedEvent);
  HeldKey id{key->key(), key->nativeScanCode(), flag};
  if (isPress) press(id);
  else release(id);
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
      heldCount_ = 0;
      return false;
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace quorvelle
