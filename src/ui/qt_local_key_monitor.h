#pragma once

#include <QObject>
#include <array>
#include <map>

#include "platform/local_key_monitor.h"

class QKeyEvent;

namespace quorvelle {

// The local key monitor as an application-wide event filter. Key presses
// become key-down events (Escape is key code 53), presses and releases of
// modifier keys become flags-changed events. The held modifiers are tracked
// here, key by key: Qt's own modifier state flips a released key's bit
// against the state before the event, which reads wrong when both the left
// and the right key of a modifier are involved.
class QtLocalKeyMonitor : public QObject, public LocalKeyMonitor {
 public:
  // Filters the events of the running QCoreApplication from now on.
  QtLocalKeyMonitor();
  ~QtLocalKeyMonitor() override;

  std::optional<Token> addMonitor(std::uint64_t eventMask, Handler handler) override;
  void removeMonitor(Token token) override;

  // The Shift, Control, Option, Command and Caps Lock flags of the keys held now.
  ModifierFlags heldModifiers() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Monitor {
    std::uint64_t mask = 0;
    Handler handler;
    // Removed while its handler may still run; erased after the dispatch.
    bool removed = false;
  };
  struct HeldKey {
    int qtKey = 0;
    quint32 scanCode = 0;
    ModifierFlags flag = 0;
  };

  bool wants(std::uint32_t type) const;
  // Answers whether the event passes on.
  bool dispatch(const KeyEvent& event);
  bool handleKey(QKeyEvent* key);
  bool isRepeatDelivery(QKeyEvent* key);

  void press(HeldKey key);
  void release(HeldKey key);

  std::map<Token, Monitor> monitors_;
  Token lastToken_ = 0;
  int dispatching_ = 0;
  // Held modifier keys by Qt key and native scan code, so that a left and a
  // right key count apart. A fixed array: key events allocate nothing.
  std::array<HeldKey, 16> held_{};
  size_t heldCount_ = 0;
  // Qt hands one key event to application filters once per receiver (the
  // window, then the focus widget and its parents); it is handled once.
  const QKeyEvent* lastEvent_ = nullptr;
  int lastType_ = 0;
  int lastKey_ = 0;
  quint32 lastScanCode_ = 0;
  quint64 lastTimestamp_ = 0;
};

}  // namespace quorvelle
