#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace quorvelle::testing_support {

// The user tests drop to when they run as root, so that file permissions mean
// something to them.
inline constexpr uid_t kNobody = 65534;

// Runs body in a child process without privileges (as nobody when this test
// runs as root). Returns the child's exit status; what body writes to out
// comes back in *output.
inline int runUnprivileged(const std::function<int(int out)>& body, std::string* output = nullptr) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(120);
    _exit(body(pipeFds[1]));
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  ssize_t length;
  while ((length = read(pipeFds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(length));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quorvelle::testing_support
