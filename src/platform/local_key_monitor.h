#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/event_tap.h"

namespace quorvelle {

// A change of the held modifier keys; the event's flags are those held after it.
inline constexpr std::uint32_t kFlagsChangedEvent = 12;
inline constexpr std::uint64_t kKeyDownAndFlagsChangedMask =
    (std::uint64_t{1} << kKeyDownEvent) | (std::uint64_t{1} << kFlagsChangedEvent);

// The key code of Escape in monitored events. Keys the monitor has no code
// for arrive as kUnknownKeyCode, never as Escape.
inline constexpr std::uint16_t kEscapeKeyCode = 53;
inline constexpr std::uint16_t kUnknownKeyCode = 0xFFFF;

// Sees the key events this application receives, before any of its windows.
class LocalKeyMonitor {
 public:
  using Token = std::uint64_t;
  // Answers whether the event passes on to the application; false consumes it.
  using Handler = std::function<bool(const KeyEvent& event)>;

  virtual ~LocalKeyMonitor() = default;
  // Calls the handler for the event types in the mask (bit n for type n) until
  // removed. nullopt when no monitor could be installed.
  virtual std::optional<Token> addMonitor(std::uint64_t eventMask, Handler handler) = 0;
  virtual void removeMonitor(Token token) = 0;
};

}  // namespace quorvelle
