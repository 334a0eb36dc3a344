#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "linux/process/fd_watcher.h"
#include "platform/log.h"

namespace quorvelle {

// Starts the grant of input access: the grant helper, run through pkexec
// (whose polkit agent asks for an administrator's password), installs the
// engine service from this bundle. Never waits for it: the outcome arrives on
// the main thread, and a failure is logged. The trust check notices the
// service by itself.
class AccessGrant {
 public:
  AccessGrant(FdWatcher& watcher, Log& log, std::string helperPath, std::string pkexecPath = "/usr/bin/pkexec");
  // A grant under way goes on by itself (the agent may be asking).
  ~AccessGrant();
  AccessGrant(const AccessGrant&) = delete;
  AccessGrant& operator=(const AccessGrant&) = delete;

  // Starts `pkexec <helper> install` unless a grant is under way already (one
  // password dialog at a time). False, logged, when it could not start.
  bool start();
  bool isRunning() const { return pid_ > 0; }

  // What pkexec or the helper wrote to standard error is kept up to this.
  static constexpr size_t kMaxErrorBytes = 2048;

 private:
  void readErrors();
  void finished();
  void release();

  FdWatcher& watcher_;
  Log& log_;
  std::string helperPath_;
  std::string pkexecPath_;
  pid_t pid_ = -1;
  int pidFd_ = -1;
  int errorFd_ = -1;
  std::string errors_;
  std::unique_ptr<FdWatcher::Watch> exitWatch_;
  std::unique_ptr<FdWatcher::Watch> errorWatch_;
};

}  // namespace quorvelle
