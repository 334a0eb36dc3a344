// quorvelle-engine: the keyboard engine as a system service.
//
//   quorvelle-engine                  the socket from systemd, the active user from logind
//   quorvelle-engine --socket PATH    listens at PATH itself (mode 0666), for running by hand
//   quorvelle-engine --serve-uid UID  serves UID as if it owned seat0's active session
//   quorvelle-engine --input-dir DIR  keyboards' event nodes in DIR, not /dev/input
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "linux/input/linux_event_tap_system.h"
#include "linux/process/poll_run_loop.h"
#include "service/engine_service.h"
#include "service/epoll_fd_watcher.h"
#include "service/listen_socket.h"
#include "service/logind_seat_user.h"
#include "service/service_key_mapping.h"
#include "service/stderr_log.h"

namespace {

int usage(const char* why) {
  std::fprintf(stderr, "quorvelle-engine: %s\nusage: quorvelle-engine [--socket PATH] [--serve-uid UID] [--input-dir DIR]\n",
               why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvelle;
  std::string socketPath;
  std::string inputDir;
  std::optional<uid_t> serveUid;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return usage(("missing a value after " + option).c_str());
    const char* value = argv[++i];
    if (option == "--socket") {
      socketPath = value;
    } else if (option == "--input-dir") {
      inputDir = value;
    } else if (option == "--serve-uid") {
      char* end = nullptr;
      const unsigned long uid = std::strtoul(value, &end, 10);
      if (*value == '\0' || *end != '\0') return usage("--serve-uid takes a number");
      serveUid = static_cast<uid_t>(uid);
    } else {
      return usage(("unknown option " + option).c_str());
    }
  }

  StderrLog log;
  std::string why;
  const std::optional<int> listenFd = socketPath.empty() ? socketFromSystemd(&why) : listenAt(socketPath, &why);
  if (!listenFd) {
    log.write("Quorvelle engine: " + why);
    return 1;
  }
  std::unique_ptr<ActiveSeatUser> seat;
  if (serveUid) {
    seat = std::make_unique<FixedSeatUser>(*serveUid);
  } else {
    seat = LogindSeatUser::create(&why);
    if (!seat) {
      log.write("Quorvelle engine: " + why);
      return 1;
    }
  }

  // SIGTERM (systemctl stop) and SIGINT end the loop; the service lets go first.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);

  PollRunLoop loop;
  // Every descriptor but the keyboards' behind one: see EpollFdWatcher.
  std::unique_ptr<EpollFdWatcher> watcher = EpollFdWatcher::create(loop, &why);
  if (!watcher) {
    log.write("Quorvelle engine: " + why);
    return 1;
  }
  ServiceKeyMapping mapping;
  LinuxEventTapOptions options;
  if (!inputDir.empty()) options.inputDirectory = inputDir;
  LinuxEventTapSystem taps(*watcher, mapping, log, options);
  taps.watchKeyboardsWith(loop);
  EngineService service(loop, *watcher, taps, mapping, *seat, log);
  service.listen(*listenFd);
  std::unique_ptr<FdWatcher::Watch> signals = watcher->watchReadable(signalFd, [&] {
    signalfd_siginfo info;
    while (::read(signalFd, &info, sizeof info) == sizeof info) {
    }
    service.stop();
    loop.quit();
  });
  loop.run();
  return 0;
}
