#include "linux/desktop/access_grant.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "linux/process/pidfd.h"

extern char** environ;

namespace quorvelle {

namespace {

// pkexec's own exit statuses.
constexpr int kPkexecNotAuthorized = 126;  // the dialog was dismissed, or the user may not
constexpr int kPkexecFailed = 127;         // no polkit or agent to ask, or authentication failed

std::string firstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace

AccessGrant::AccessGrant(FdWatcher& watcher, Log& log, std::string helperPath, std::string pkexecPath)
    : watcher_(watcher), log_(log), helperPath_(std::move(helperPath)), pkexecPath_(std::move(pkexecPath)) {}

AccessGrant::~AccessGrant() { release(); }

bool AccessGrant::start() {
  if (isRunning()) return true;
  if (access(helperPath_.c_str(), X_OK) != 0) {
    log_.write("Quorvelle: cannot grant input access: " + helperPath_ + ": " + std::strerror(errno));
    return false;
  }
  int errors[2];
  if (pipe2(errors, O_CLOEXEC | O_NONBLOCK) != 0) {
    log_.write(std::string("Quorvelle: cannot grant input access: pipe: ") + std::strerror(errno));
    return false;
  }
  std::vector<char*> argv = {const_cast<char*>(pkexecPath_.c_str()), const_cast<char*>(helperPath_.c_str()),
                             const_cast<char*>("install"), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, pkexecPath_.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(errors[1]);
  if (result != 0) {
    close(errors[0]);
    log_.write("Quorvelle: cannot grant input access: " + pkexecPath_ + ": " + std::strerror(result));
    return false;
  }
  pid_ = pid;
  errorFd_ = errors[0];
  // A pidfd turns readable when the process ends.
  pidFd_ = openPidfd(pid);
  errorWatch_ = watcher_.watchReadable(errorFd_, [this] { readErrors(); });
  if (pidFd_ >= 0) {
    exitWatch_ = watcher_.watchReadable(pidFd_, [this] { finished(); });
  }
  return true;
}

void AccessGrant::readErrors() {
  char buffer[512];
  for (;;) {
    const ssize_t n = read(errorFd_, buffer, sizeof buffer);
    if (n > 0) {
      if (errors_.size() < kMaxErrorBytes) {
        errors_.append(buffer, std::min(static_cast<size_t>(n), kMaxErrorBytes - errors_.size()));
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Without a pidfd, the end of the output stands for the end of the process.
    if (n == 0 && pidFd_ < 0) {
      finished();
    } else if (n == 0) {
      errorWatch_.reset();
    }
    return;
  }
}

void AccessGrant::finished() {
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(pid_, &status, pidFd_ >= 0 ? WNOHANG : 0)) < 0 && errno == EINTR) {
  }
  if (reaped == 0) return;  // woken early; the process goes on
  if (errorWatch_) readErrors();
  std::string detail = firstLine(errors_);
  std::string outcome;
  if (reaped < 0) {
    outcome = std::string("lost track of pkexec: ") + std::strerror(errno);
  } else if (WIFSIGNALED(status)) {
    outcome = "pkexec was killed by signal " + std::to_string(WTERMSIG(status));
  } else if (WEXITSTATUS(status) == kPkexecNotAuthorized) {
    outcome = "not authorized";
  } else if (WEXITSTATUS(status) == kPkexecFailed) {
    outcome = "pkexec could not get an authorization";
  } else if (WEXITSTATUS(status) != 0) {
    outcome = "the grant helper exited with status " + std::to_string(WEXITSTATUS(status));
  }
  release();
  if (!outcome.empty()) {
    log_.write("Quorvelle: granting input access failed: " + outcome + (detail.empty() ? "" : " (" + detail + ")"));
  }
}

void AccessGrant::release() {
  exitWatch_.reset();
  errorWatch_.reset();
  if (pidFd_ >= 0) close(pidFd_);
  if (errorFd_ >= 0) close(errorFd_);
  pidFd_ = -1;
  errorFd_ = -1;
  pid_ = -1;
  errors_.clear();
}

}  // namespace quorvelle
