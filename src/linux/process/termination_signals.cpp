#include "linux/process/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvelle {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[std::size(kSignals)];
// Written by the handler; only one instance installs at a time.
volatile sig_atomic_t writeFd = -1;

void onSignal(int signal) {
  int savedErrno = errno;
  unsigned char byte = static_cast<unsigned char>(signal);
  ssize_t ignored = write(writeFd, &byte, 1);  // a full pipe already wakes the loop
  (void)ignored;
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(FdWatcher& watcher, std::function<void(int)> onSignal)
    : watcher_(watcher), onSignal_(std::move(onSignal)) {}

TerminationSignals::~TerminationSignals() {
  if (installed_) {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
    writeFd = -1;
  }
  watch_.reset();
  if (pipe_[0] >= 0) close(pipe_[0]);
  if (pipe_[1] >= 0) close(pipe_[1]);
}

bool TerminationSignals::install(std::string* error) {
  if (writeFd != -1) {
    *error = "termination signals are already handled";
    return false;
  }
  if (pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  writeFd = pipe_[1];
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
  installed_ = true;
  watch_ = watcher_.watchReadable(pipe_[0], [this] { drain(); });
  return true;
}

void TerminationSignals::drain() {
  std::string received;
  char buffer[16];
  ssize_t n;
  while ((n = read(pipe_[0], buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<size_t>(n));
  // The callback may end the application and this object with it.
  std::function<void(int)> callback = onSignal_;
  for (char signal : received) callback(static_cast<unsigned char>(signal));
}

}  // namespace quorvelle
