#include "linux/process/proc_stat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace quorvelle {

std::optional<ProcStat> readProcStat(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // A few hundred bytes, read whole in one call.
  char buffer[1024];
  const ssize_t n = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (n <= 0) return std::nullopt;
  const std::string text(buffer, static_cast<size_t>(n));
  // The command name in field 2 may hold spaces and parentheses: the fields
  // after it start behind the last ')'.
  size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string::npos) return std::nullopt;
  ProcStat stat;
  unsigned long long start = 0;
  // Field 3 is the state; field 22 the start time, 19 fields after it.
  if (std::sscanf(text.c_str() + nameEnd + 1,
                  " %c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu",
                  &stat.state, &start) != 2) {
    return std::nullopt;
  }
  stat.startTime = start;
  return stat;
}

}  // namespace quorvelle
