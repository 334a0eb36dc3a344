#include "linux/process/system_log.h"

#include <syslog.h>

#include <cstdio>
#include <string>

namespace quorvelle {

SystemLog::SystemLog() { openlog("quorvelle", LOG_PID, LOG_USER); }

void SystemLog::write(std::string_view line) {
  std::string text(line);
  std::fprintf(stderr, "%s\n", text.c_str());
  syslog(LOG_NOTICE, "%s", text.c_str());
}

}  // namespace quorvelle
