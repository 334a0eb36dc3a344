#pragma once

#include <QtGlobal>
#include <string>

namespace quorvelle {

// While it lives, a Qt platform that cannot start (a display that cannot be
// opened) ends the process with a clear line and exit status 1, instead of
// Qt's abort and its advice to reinstall. Only one at a time.
class PlatformStartGuard {
 public:
  PlatformStartGuard();
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

 private:
  QtMessageHandler previous_;
};

}  // namespace quorvelle
