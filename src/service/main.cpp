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
#include <optional>
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

struct Options {
  std::string socketPath;
  std::string inputDir;
  std::optional<uid_t> serveUid;
};

// The options, or nullopt with why on a bad command line.
std::optional<Options> parseOptions(int argc, char** argv, std::string* why) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      *why = "missing a value after " + option;
      return std::nullopt;
    }
    const char* value = argv[++i];
    if (option == "--socket") {
      options.socketPath = value;
    } else if (option == "--input-dir") {
      options.inputDir = value;
    } else if (option == "--serve-uid") {
      char* end = nullptr;
      const unsigned long uid = std::strtoul(value, &end, 10);
      if (*value == '\0' || *end != '\0') {
        *why = "--serve-uid takes a number";
        return std::nullopt;
      }
      options.serveUid = static_cast<uid_t>(uid);
    } else {
      *why = "unknown option " + option;
      return std::nullopt;
    }
  }
  return options;
}

// SIGTERM (systemctl stop) and SIGINT, as a descriptor to read: they end the
// loop, and the service lets go first.
int stopSignalsFd() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvelle;
  std::string why;
  const std::optional<Options> options = parseOptions(argc, argv, &why);
  if (!options) {
    std::fprintf(stderr, "quorvelle-engine: %s\nusage: quorvelle-engine [--socket PATH] [--serve-uid UID] [--input-dir DIR]\n",
                 why.c_str());
    return 2;
  }

  StderrLog log;
  const std::optional<int> listenFd =
      options->socketPath.empty() ? socketFromSystemd(&why) : listenAt(options->socketPath, &why);
  if (!listenFd) {
    log.write("Quorvelle engine: " + why);
    return 1;
  }
  std::unique_ptr<ActiveSeatUser> seat;
  if (options->serveUid) {
    seat = std::make_unique<FixedSeatUser>(*options->serveUid);
  } else {
    seat = LogindSeatUser::create(&why);
    if (!seat) {
      log.write("Quorvelle engine: " + why);
      return 1;
    }
  }
  const int signalFd = stopSignalsFd();

  PollRunLoop loop;
  // Every descriptor but the keyboards' behind one: see EpollFdWatcher.
  std::unique_ptr<EpollFdWatcher> watcher = EpollFdWatcher::create(loop, &why);
  if (!watcher) {
    log.write("Quorvelle engine: " + why);
    return 1;
  }
  ServiceKeyMapping mapping;
  LinuxEventTapOptions tapOptions;
  if (!options->inputDir.empty()) tapOptions.inputDirectory = options->inputDir;
  LinuxEventTapSystem taps(*watcher, mapping, log, tapOptions);
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
