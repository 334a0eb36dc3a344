#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvelle {

// Window style mask bits.
inline constexpr std::uint32_t kWindowTitled = 0x1;
inline constexpr std::uint32_t kWindowClosable = 0x2;
inline constexpr std::uint32_t kWindowMiniaturizable = 0x4;
inline constexpr std::uint32_t kWindowResizable = 0x8;

// Regular: a Dock icon and key windows; accessory: menu bar only.
enum class ActivationPolicy { Regular = 0, Accessory = 1 };

class Window {
 public:
  virtual ~Window() = default;
  virtual bool isVisible() const = 0;
  virtual std::string title() const = 0;
  virtual std::uint32_t styleMask() const = 0;
  virtual void makeKeyAndOrderFront() = 0;
};

// The running application object.
class Application {
 public:
  virtual ~Application() = default;
  virtual void setActivationPolicy(ActivationPolicy policy) = 0;
  virtual ActivationPolicy activationPolicy() const = 0;
  virtual void activateIgnoringOtherApps() = 0;
  // The application's windows, in the order the application lists them.
  virtual std::vector<Window*> windows() const = 0;
  // Asks the application to quit; the termination handlers run first.
  virtual void terminate() = 0;
  // The badge on the application's launcher icon; empty text clears it.
  virtual void setBadgeLabel(const std::string& label) = 0;
  // Calls the observer whenever one of the application's windows is about to
  // close, while it is still on screen. The registration is never removed.
  virtual void addWindowWillCloseObserver(std::function<void(Window* window)> observer) = 0;
};

}  // namespace quorvelle
