#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
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
//
// The flags are those of the user's own modifier keys. The engine's
// synthetic modifiers reach the application as key presses of the virtual
// keyboard, indistinguishable here but for the engine's word: a held key the
// engine says it pressed adds no flag, as on a system whose engine changes
// the events' flags instead of pressing keys.
class QtLocalKeyMonitor : public QObject, public LocalKeyMonitor {
 public:
  // Whether the engine made the last press of the key (a Linux key code).
  using PressedByEngine = std::function<bool(std::uint16_t keyCode)>;

  // Filters the events of the running QCoreApplication from now on.
  explicit QtLocalKeyMonitor(PressedByEngine pressedByEngine = {});
  ~QtLocalKeyMonitor() override;

  std::optional<Token> addMonitor(std::uint64_t eventMask, Handler handler) override;
  void removeMonitor(Token token) override;

  // The Shift, Control, Option, Command and Caps Lock flags of the keys the
  // user holds now.
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

  PressedByEngine pressedByEngine_;
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
