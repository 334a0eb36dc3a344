#include "engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "input_device.h"

namespace vmtest {

EngineProcess::EngineProcess(const std::string& inputDirectory) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    if (!inputDirectory.empty()) setenv("QUORVELLE_VM_INPUT_DIR", inputDirectory.c_str(), 1);
    execl("/bin/vm_engine_host", "vm_engine_host", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
}

EngineProcess::~EngineProcess() {
  if (pid_ > 0) {
    command("quit", 20000);
    reap();
  }
  if (toChild_ >= 0) close(toChild_);
  if (fromChild_ >= 0) close(fromChild_);
}

std::string EngineProcess::command(const std::string& line, int timeoutMs) {
  if (pid_ <= 0) return "error not running";
  std::string text = line + "\n";
  if (write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    return "error cannot write to the engine host";
  }
  std::string reply;
  std::int64_t deadline = nowMs() + timeoutMs;
  for (;;) {
    int left = static_cast<int>(deadline - nowMs());
    if (left <= 0) return "error no reply to \"" + line + "\"";
    pollfd watch{fromChild_, POLLIN, 0};
    if (poll(&watch, 1, left) <= 0) continue;
    char c;
    ssize_t n = read(fromChild_, &c, 1);
    if (n <= 0) return "error the engine host ended";
    if (c == '\n') return reply;
    reply += c;
  }
}

void EngineProcess::reap() {
  // Bounded: a host that does not quit is killed.
  std::int64_t deadline = nowMs() + 20000;
  int status;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (nowMs() > deadline) ::kill(pid_, SIGKILL);
    usleep(10 * 1000);
  }
  pid_ = -1;
}

}  // namespace vmtest
