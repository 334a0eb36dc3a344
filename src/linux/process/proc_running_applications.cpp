#include "linux/process/proc_running_applications.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <compare>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>

#include "linux/files/plist_bundles.h"
#include "linux/process/pidfd.h"
#include "linux/process/proc_stat.h"

namespace quorvelle {
namespace {

class PidfdApplication : public RunningApplication {
 public:
  PidfdApplication(int pid, int pidfd, bool launchedBefore)
      : pid_(pid), pidfd_(pidfd), launchedBefore_(launchedBefore) {}
  ~PidfdApplication() override { close(pidfd_); }

  int processIdentifier() const override { return pid_; }
  void terminate() override { sendSignalToPidfd(pidfd_, SIGTERM); }
  void forceTerminate() override { sendSignalToPidfd(pidfd_, SIGKILL); }
  // A pidfd turns readable when its process has exited.
  bool isTerminated() const override {
    pollfd entry = {pidfd_, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
  }
  bool launchedBeforeCurrentProcess() const override { return launchedBefore_; }

 private:
  int pid_;
  int pidfd_;
  bool launchedBefore_;
};

// Processes by creation time; copies created in the same clock tick by
// process identifier, so that every copy sees the same order.
struct LaunchOrder {
  std::uint64_t startTime;
  int pid;
  auto operator<=>(const LaunchOrder&) const = default;
};

// The process's executable; a binary replaced since it started (an update)
// still names its old place.
std::optional<std::string> executableOf(int pid) {
  char buffer[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return std::nullopt;
  std::string path(buffer, static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  return path;
}

std::vector<int> processIdentifiers() {
  std::vector<int> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && pid > 0 && pid <= INT_MAX) {
      pids.push_back(static_cast<int>(pid));
    }
  }
  closedir(proc);
  std::sort(pids.begin(), pids.end());
  return pids;
}

bool ownedByThisUser(int pid) {
  struct stat info;
  std::string folder = "/proc/" + std::to_string(pid);
  return stat(folder.c_str(), &info) == 0 && info.st_uid == getuid();
}

}  // namespace

std::vector<std::shared_ptr<RunningApplication>>
ProcRunningApplications::runningApplicationsWithBundleIdentifier(
    const std::string& bundleIdentifier) {
  std::vector<std::shared_ptr<RunningApplication>> found;
  PlistBundles bundles("");
  // Per bundle, its main executable when the bundle has the identifier:
  // helpers beside it (the key mapping tool, the command) are not copies.
  std::map<std::string, std::string> mainExecutableByBundle;
  const int self = getpid();
  std::optional<ProcStat> selfStat = readProcStat(self);
  // Unknown, every other copy counts as older.
  const LaunchOrder selfOrder = {selfStat ? selfStat->startTime : UINT64_MAX, self};
  for (int pid : processIdentifiers()) {
    if (pid == self) continue;
    // Another user's copy is theirs to run, even when we could signal it.
    if (!ownedByThisUser(pid)) continue;
    std::optional<std::string> executable = executableOf(pid);
    if (!executable) continue;
    std::string bundle = PlistBundles::bundlePathOfExecutable(*executable);
    if (bundle.empty()) continue;
    auto known = mainExecutableByBundle.find(bundle);
    if (known == mainExecutableByBundle.end()) {
      std::optional<InfoDictionary> info = bundles.infoDictionary(bundle);
      std::string mainExecutable;
      if (info) {
        auto it = info->find("CFBundleIdentifier");
        const std::string* identifier =
            it == info->end() ? nullptr : std::get_if<std::string>(&it->second);
        if (identifier && *identifier == bundleIdentifier) {
          std::string error;
          mainExecutable = PlistBundles::mainExecutable(bundles, bundle, &error).value_or("");
        }
      }
      known = mainExecutableByBundle.emplace(bundle, mainExecutable).first;
    }
    if (known->second.empty() || *executable != known->second) continue;
    std::optional<ProcStat> stat = readProcStat(pid);
    if (!stat) continue;
    int pidfd = openPidfd(pid);
    if (pidfd < 0) continue;  // gone meanwhile
    // The identifier may have been reused between the look and the pidfd:
    // the process the pidfd holds must still be the one we looked at.
    std::optional<ProcStat> held = readProcStat(pid);
    if (!held || held->startTime != stat->startTime || executableOf(pid) != executable ||
        !ownedByThisUser(pid)) {
      close(pidfd);
      continue;
    }
    const bool older = LaunchOrder{stat->startTime, pid} < selfOrder;
    found.push_back(std::make_shared<PidfdApplication>(pid, pidfd, older));
  }
  return found;
}

int ProcRunningApplications::currentProcessIdentifier() const { return getpid(); }

}  // namespace quorvelle
