#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"

namespace quorvelle {

class DesktopServices;

// The application on a Linux desktop: every Linux and Qt implementation of
// the platform services, the delegate on them, and the ways in from outside
// (termination signals, the reopen socket). Needs a QApplication.
class DesktopApp {
 public:
  // Stand-ins for the keyboard services, for figures of the whole application
  // on machines without keyboards. The shipped program never sets them.
  struct KeyboardStandIns {
    EventTapSystem* eventTaps = nullptr;
    HidSystem* hid = nullptr;
    AccessibilityTrust* trust = nullptr;
  };

  struct Options {
    // The command line, program name first.
    std::vector<std::string> arguments;
    KeyboardStandIns keyboard;
    // Runs once start-up has completed and reopen requests are taken.
    std::function<void(AppDelegate&)> launchCompleted;
  };

  // nullptr, with *error, when this program does not lie in a readable
  // application bundle.
  static std::unique_ptr<DesktopApp> create(Options options, std::string* error);
  ~DesktopApp();
  DesktopApp(const DesktopApp&) = delete;
  DesktopApp& operator=(const DesktopApp&) = delete;

  // Finishes launching on the event loop and runs it until the application
  // has terminated. The exit status.
  int run();

 private:
  struct Entrances;

  DesktopApp(Options options, std::string bundlePath, std::string bundleIdentifier);
  void launchCompleted();
  bool hasVisibleWindows() const;

  Options options_;
  std::unique_ptr<DesktopServices> services_;
  std::shared_ptr<AppDelegate> delegate_;
  std::unique_ptr<Entrances> entrances_;
};

}  // namespace quorvelle
