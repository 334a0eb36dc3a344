#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "linux/files/file_util.h"

namespace quorvelle {

// Apart from the rest of file_util: statically linked programs that only
// read and write files then need no password database.
std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace quorvelle
