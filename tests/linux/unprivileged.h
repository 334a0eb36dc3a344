#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvelle::testing_support {

// The user tests drop to when they run as root, so that permissions count.
inline constexpr uid_t kNobody = 65534;
// Put before a command, runs it as nobody.
inline const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups"};

// Runs body in a child process, as nobody when dropPrivileges and this test
// runs as root. Returns its exit status; what it writes to out comes back in
// *output.
inline int runInChild(const std::function<int(int out)>& body, std::string* output, bool dropPrivileges) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (dropPrivileges && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(120);
    _exit(body(fds[1]));
  }
  close(fds[1]);
  output->clear();
  char buffer[4096];
  ssize_t length;
  while ((length = read(fds[0], buffer, sizeof buffer)) > 0) output->append(buffer, static_cast<size_t>(length));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quorvelle::testing_support
