#pragma once

#include <functional>
#include <memory>
#include <string>

#include "linux/process/fd_watcher.h"

namespace quorvelle {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so the
// application quits through its ordinary termination path (which removes the
// key mapping) instead of dying where it stands. One instance per process.
class TerminationSignals {
 public:
  TerminationSignals(FdWatcher& watcher, std::function<void(int signal)> onSignal);
  // Puts the earlier dispositions back.
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool install(std::string* error);

 private:
  void drain();

  FdWatcher& watcher_;
  std::function<void(int)> onSignal_;
  int pipe_[2] = {-1, -1};
  bool installed_ = false;
  std::unique_ptr<FdWatcher::Watch> watch_;
};

}  // namespace quorvelle
