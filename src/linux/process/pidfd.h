#pragma once

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorvelle {

// Debian 12's <sys/pidfd.h> declares these without C linkage, so C++ cannot
// link against it; the system calls are called directly instead.
inline int openPidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

inline int sendSignalToPidfd(int pidfd, int signal) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

}  // namespace quorvelle
