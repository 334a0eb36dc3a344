#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/application.h"

namespace quorvelle {

class Config;
class UpdateController;

struct ContentSize {
  double width = 0;
  double height = 0;
};

// A window whose content view hosts one of the application's contents, with
// the controller that shows it. Destroying it releases the window and its
// content.
class ContentWindow : public Window {
 public:
  // The size the hosted content wants, read when the window is built.
  virtual ContentSize fittingSize() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setStyleMask(std::uint32_t styleMask) = 0;
  virtual void setContentMinSize(ContentSize size) = 0;
  virtual void setContentSize(ContentSize size) = 0;
  virtual void center() = 0;
  // Closing a window that is not released when closed only hides it.
  virtual void setReleasedWhenClosed(bool released) = 0;
  // The controller's showWindow.
  virtual void showWindow() = 0;
};

// Builds windows around the settings and About contents.
class ContentWindows {
 public:
  virtual ~ContentWindows() = default;
  virtual std::unique_ptr<ContentWindow> makeSettingsWindow(Config& config, UpdateController& updates) = 0;
  virtual std::unique_ptr<ContentWindow> makeAboutWindow() = 0;
};

}  // namespace quorvelle
