#include "linux/input/input_directory_watch.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace quorvelle {

namespace {

bool isEventNode(const char* name) { return strncmp(name, "event", 5) == 0; }

int nodeNumber(const std::string& name) { return std::atoi(name.c_str() + 5); }

}  // namespace

std::unique_ptr<InputDirectoryWatch> InputDirectoryWatch::create(const std::string& directory,
                                                                 std::string* error) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    *error = strerror(errno);
    return nullptr;
  }
  // IN_ATTRIB: udev grants access to a new node only after the kernel made it.
  const std::uint32_t mask = IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;
  if (inotify_add_watch(fd, directory.c_str(), mask) < 0) {
    *error = strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<InputDirectoryWatch>(new InputDirectoryWatch(fd));
}

InputDirectoryWatch::~InputDirectoryWatch() { ::close(fd_); }

std::vector<InputDirectoryWatch::Change> InputDirectoryWatch::readChanges() {
  std::vector<Change> changes;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t length = ::read(fd_, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        changes.push_back({Change::Kind::Overflow, {}});
        continue;
      }
      if (event->len == 0 || !isEventNode(event->name)) continue;
      if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
        changes.push_back({Change::Kind::Gone, event->name});
      } else if (event->mask & (IN_CREATE | IN_ATTRIB | IN_MOVED_TO)) {
        changes.push_back({Change::Kind::Appeared, event->name});
      }
    }
  }
  return changes;
}

std::vector<std::string> InputDirectoryWatch::list(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    if (isEventNode(entry->d_name)) names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return nodeNumber(a) < nodeNumber(b); });
  return names;
}

}  // namespace quorvelle
