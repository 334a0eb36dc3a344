#pragma once

#include <functional>
#include <memory>

namespace quorvelle {

// Calls back on the main thread when a file descriptor has data to read. The
// Qt event loop implements it for the application, a poll() loop for programs
// without Qt.
class FdWatcher {
 public:
  virtual ~FdWatcher() = default;

  // Stops watching when destroyed.
  class Watch {
   public:
    virtual ~Watch() = default;
  };

  virtual std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) = 0;
};

}  // namespace quorvelle
