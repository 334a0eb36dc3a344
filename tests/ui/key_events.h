#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <set>

namespace quorvelle::testing_support {

// A keyboard that hands key events to the focused widget the way Qt's xcb
// backend builds them: each press or release of a modifier key reports the
// state before the event with that key's own bit flipped, so with both a left
// and a right key involved modifiers() can read empty while one is held.
class XcbLikeKeyboard {
 public:
  struct Key {
    int qtKey;
    quint32 scanCode;  // X keycode
  };
  static constexpr Key kCtrlLeft{Qt::Key_Control, 37}, kCtrlRight{Qt::Key_Control, 105}, kAltLeft{Qt::Key_Alt, 64},
      kShiftLeft{Qt::Key_Shift, 50}, kSuperLeft{Qt::Key_Meta, 133}, kEscape{Qt::Key_Escape, 9},
      kReturn{Qt::Key_Return, 36}, kTab{Qt::Key_Tab, 23}, kA{Qt::Key_A, 38};

  // Answers whether some receiver accepted the event.
  bool press(Key key) { return send(QEvent::KeyPress, key); }
  bool release(Key key) { return send(QEvent::KeyRelease, key); }

 private:
  static Qt::KeyboardModifier bitOf(int qtKey) {
    switch (qtKey) {
      case Qt::Key_Control: return Qt::ControlModifier;
      case Qt::Key_Alt: return Qt::AltModifier;
      case Qt::Key_Shift: return Qt::ShiftModifier;
      case Qt::Key_Meta: return Qt::MetaModifier;
      default: return Qt::NoModifier;
    }
  }

  bool send(QEvent::Type type, Key key) {
    Qt::KeyboardModifiers before;
    for (const auto& [qtKey, scanCode] : down_) before |= bitOf(qtKey);
    Qt::KeyboardModifiers reported = before ^ bitOf(key.qtKey);
    if (type == QEvent::KeyPress) down_.insert({key.qtKey, key.scanCode});
    else down_.erase({key.qtKey, key.scanCode});
    QString text = key.qtKey == Qt::Key_A ? QStringLiteral("a") : QString();
    QKeyEvent event(type, key.qtKey, reported, key.scanCode, 0, 0, text);
    event.setTimestamp(++timestamp_);
    QWidget* target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    return target && QApplication::sendEvent(target, &event) && event.isAccepted();
  }

  std::set<std::pair<int, quint32>> down_;
  quint64 timestamp_ = 1000;
};

}  // namespace quorvelle::testing_support
