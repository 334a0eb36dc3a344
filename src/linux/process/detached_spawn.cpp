#include "linux/process/detached_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quorvelle {
namespace {

// Between fork and exec only async-signal-safe calls are made: the parent
// may have other threads, whose locks the child inherits held.
[[noreturn]] void runGrandchild(const char* path, char* const* argv, int reportFd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &defaults, nullptr);
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO) close(null);
  }
  if (chdir("/") != 0) {
    // The program starts in our folder instead; not worth failing for.
  }
  execve(path, argv, environ);
  int code = errno;
  ssize_t ignored = write(reportFd, &code, sizeof code);
  (void)ignored;
  _exit(127);
}

}  // namespace

bool spawnDetached(const std::string& executable, const std::vector<std::string>& arguments,
                   std::string* error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through the pipe; a successful exec
  // closes it (close-on-exec), which the parent reads as end of file.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("couldn't start ") + executable + ": " + std::strerror(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    int code = errno;
    close(report[0]);
    close(report[1]);
    *error = "couldn't start " + executable + ": " + std::strerror(code);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) runGrandchild(argv[0], argv.data(), report[1]);
    if (grandchild < 0) {
      int code = errno;
      ssize_t ignored = write(report[1], &code, sizeof code);
      (void)ignored;
    }
    _exit(0);
  }
  close(report[1]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  int code = 0;
  ssize_t n;
  while ((n = read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    *error = "couldn't start " + executable + ": " + std::strerror(code);
    return false;
  }
  return true;
}

std::string findExecutable(const std::string& command) {
  if (command.empty()) return "";
  if (command.find('/') != std::string::npos) return command;
  const char* path = std::getenv("PATH");
  std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t colon = folders.find(':', start);
    if (colon == std::string::npos) colon = folders.size();
    // An empty entry stands for the working folder.
    std::string candidate =
        colon == start ? "./" + command : folders.substr(start, colon - start) + "/" + command;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = colon + 1;
  }
  return "";
}

}  // namespace quorvelle
