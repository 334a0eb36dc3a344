#pragma once

#include "linux/process/fd_watcher.h"

namespace quorvelle {

// Reads file descriptors on Qt's event loop (QSocketNotifier), on the main
// thread, whatever the loop is doing (a tracked menu included).
class QtFdWatcher : public FdWatcher {
 public:
  std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override;
};

}  // namespace quorvelle
