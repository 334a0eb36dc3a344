#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <set>

namespace quorvelle::testing_support {

// Hands key events to the focused widget the way Qt's xcb backend builds and
// delivers them: a modifier key's press or release reports the state before
// the event with that key's own bit flipped, and each press is offered to the
// shortcuts first.
class XcbLikeKeyboard {
 public:
  struct Key {
    int qtKey;
    quint32 scanCode;  // X keycode
  };
  static constexpr Key kCtrl{Qt::Key_Control, 37}, kShift{Qt::Key_Shift, 50}, kReturn{Qt::Key_Return, 36},
      kTab{Qt::Key_Tab, 23}, kEscape{Qt::Key_Escape, 9}, kA{Qt::Key_A, 38}, kW{Qt::Key_W, 25};

  // Answers whether some receiver accepted the event.
  bool press(Key key) { return send(QEvent::KeyPress, key); }
  bool release(Key key) { return send(QEvent::KeyRelease, key); }

 private:
  static Qt::KeyboardModifiers bitOf(int qtKey) {
    if (qtKey == Qt::Key_Control) return Qt::ControlModifier;
    if (qtKey == Qt::Key_Shift) return Qt::ShiftModifier;
    return Qt::NoModifier;
  }
  bool send(QEvent::Type type, Key key) {
    Qt::KeyboardModifiers before;
    for (int held : down_) before |= bitOf(held);
    if (type == QEvent::KeyPress) down_.insert(key.qtKey);
    else down_.erase(key.qtKey);
    QKeyEvent event(type, key.qtKey, before ^ bitOf(key.qtKey), key.scanCode, 0, 0);
    event.setTimestamp(++timestamp_);
    QWidget* target = QApplication::focusWidget();
    if (type == QEvent::KeyPress &&
        qt_sendShortcutOverrideEvent(target, timestamp_, key.qtKey, event.modifiers(), QString()))
      return true;  // a shortcut took it
    return QApplication::sendEvent(target, &event) && event.isAccepted();
  }

  std::set<int> down_;
  quint64 timestamp_ = 1000;
};

}  // namespace quorvelle::testing_support
