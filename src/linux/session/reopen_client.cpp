#include "linux/session/reopen_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "linux/process/proc_stat.h"
#include "linux/session/reopen_socket.h"

namespace quorvelle {
namespace {

// How often a wait looks at the listener, and pauses before asking again.
constexpr double kLookInterval = 0.1;

double monotonicSeconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class Socket {
 public:
  Socket() : fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd >= 0) close(fd);
  }
  const int fd;
};

// One request and its wait, for as long as the listener deserves.
class Request {
 public:
  Request(const sockaddr_un& address, double answerSeconds, double patienceSeconds, std::string* detail)
      : address_(address),
        start_(monotonicSeconds()),
        answerSeconds_(answerSeconds),
        patienceSeconds_(patienceSeconds),
        detail_(*detail) {}

  ReopenOutcome run() {
    for (;;) {
      std::optional<ReopenOutcome> outcome = exchange();
      if (!outcome) outcome = pause();
      if (outcome) return *outcome;
    }
  }

 private:
  // One connection: an outcome, or none when it was dropped unanswered
  // (crowded out, or the listener's queue full) and may be tried again.
  std::optional<ReopenOutcome> exchange() {
    Socket connection;
    if (connection.fd < 0) {
      detail_ = std::string("socket: ") + std::strerror(errno);
      return ReopenOutcome::NotRunning;
    }
    std::optional<ReopenOutcome> stop;
    if (!connectToListener(connection.fd, &stop)) return stop;
    if (!sendRequest(connection.fd, &stop)) return stop;
    return readReply(connection.fd);
  }

  // False, with the outcome in *stop (none: try again), when nobody took the
  // connection.
  bool connectToListener(int fd, std::optional<ReopenOutcome>* stop) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0) {
      const int code = errno;
      detail_ = std::string(address_.sun_path) + ": " + std::strerror(code);
      // EAGAIN: a listener whose queue is full, so somebody is there.
      *stop = code == EAGAIN ? std::nullopt : std::optional<ReopenOutcome>(ReopenOutcome::NotRunning);
      return false;
    }
    // The process that listens, to tell a busy one from a stopped one.
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0) {
      listener_ = peer.pid;
    }
    return true;
  }

  // False, with the outcome in *stop (none: try again), when the request did
  // not go out whole.
  bool sendRequest(int fd, std::optional<ReopenOutcome>* stop) {
    const std::string request = reopen::kRequest;
    size_t sent = 0;
    while (sent < request.size()) {
      ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        *stop = waitFor(fd, POLLOUT);
        if (*stop) return false;
      } else {
        detail_ = "the running copy did not take the request";
        *stop = std::nullopt;
        return false;
      }
    }
    return true;
  }

  // The outcome the reply tells, or none when the connection was dropped.
  std::optional<ReopenOutcome> readReply(int fd) {
    std::string reply;
    const std::string expected = reopen::kReply;
    while (reply.size() < expected.size()) {
      if (std::optional<ReopenOutcome> verdict = waitFor(fd, POLLIN)) return verdict;
      char buffer[16];
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) {
        detail_ = "the running copy dropped the request";
        return std::nullopt;
      }
      reply.append(buffer, static_cast<size_t>(n));
    }
    if (reply != expected) {
      detail_ = "the running copy refused the request";
      return ReopenOutcome::NoAnswer;
    }
    return ReopenOutcome::Delivered;
  }

  // Waits until the fd is ready: none then, or the verdict when the wait is over.
  std::optional<ReopenOutcome> waitFor(int fd, short events) {
    for (;;) {
      pollfd entry = {fd, events, 0};
      int ready = poll(&entry, 1, static_cast<int>(kLookInterval * 1000));
      if (ready > 0) return std::nullopt;
      if (ready < 0 && errno != EINTR) {
        detail_ = std::string("poll: ") + std::strerror(errno);
        return ReopenOutcome::NoAnswer;
      }
      if (std::optional<ReopenOutcome> verdict = judge()) return verdict;
    }
  }

  // Before another try.
  std::optional<ReopenOutcome> pause() {
    poll(nullptr, 0, static_cast<int>(kLookInterval * 1000));
    return judge();
  }

  // Hung: stopped once the answer is due, or silent for all the patience.
  std::optional<ReopenOutcome> judge() {
    const double waited = monotonicSeconds() - start_;
    if (waited >= answerSeconds_ && listener_ > 0) {
      std::optional<ProcStat> stat = readProcStat(listener_);
      if (stat && stat->state == 'T') {
        detail_ = "the running copy (process " + std::to_string(listener_) + ") is stopped";
        return ReopenOutcome::NoAnswer;
      }
    }
    if (waited >= patienceSeconds_) {
      detail_ = "the running copy did not answer within " +
                std::to_string(static_cast<int>(patienceSeconds_)) + " seconds";
      return ReopenOutcome::NoAnswer;
    }
    return std::nullopt;
  }

  const sockaddr_un address_;
  const double start_;
  const double answerSeconds_;
  const double patienceSeconds_;
  std::string& detail_;
  pid_t listener_ = 0;
};

}  // namespace

ReopenOutcome requestShowSettings(const std::string& folder, double answerSeconds,
                                  double patienceSeconds, std::string* detail) {
  // A folder that others could have prepared is not talked to.
  if (!reopen::isPrivateFolder(folder, detail)) return ReopenOutcome::NotRunning;
  const std::string path = reopen::socketPath(folder);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *detail = path + ": path too long for a socket";
    return ReopenOutcome::NotRunning;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return Request(address, answerSeconds, patienceSeconds, detail).run();
}

}  // namespace quorvelle
