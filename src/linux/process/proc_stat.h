#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace quorvelle {

// What /proc/<pid>/stat tells of a process.
struct ProcStat {
  char state = '?';  // R, S, D, T (stopped), t (traced), Z, ...
  // Clock ticks after boot at which the process was created (fork, not exec).
  std::uint64_t startTime = 0;
};

// Absent when the process is gone or the file cannot be read.
std::optional<ProcStat> readProcStat(pid_t pid);

}  // namespace quorvelle
