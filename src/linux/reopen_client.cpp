#include "linux/reopen_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/reopen_socket.h"

namespace quorvelle {
namespace {

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

// Waits for the fd to be ready for events until the deadline.
bool waitFor(int fd, short events, double deadline) {
  for (;;) {
    double left = deadline - monotonicSeconds();
    if (left <= 0) return false;
    pollfd entry = {fd, events, 0};
    int ready = poll(&entry, 1, static_cast<int>(left * 1000) + 1);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

ReopenOutcome requestShowSettings(const std::string& folder, double timeoutSeconds,
                                  std::string* detail) {
  const double deadline = monotonicSeconds() + timeoutSeconds;
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

  Socket connection;
  if (connection.fd < 0) {
    *detail = std::string("socket: ") + std::strerror(errno);
    return ReopenOutcome::NotRunning;
  }
  if (connect(connection.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    int code = errno;
    *detail = path + ": " + std::strerror(code);
    // EAGAIN: a listener whose queue is full, so somebody is there.
    if (code == EAGAIN) return ReopenOutcome::NoAnswer;
    return ReopenOutcome::NotRunning;
  }

  const std::string request = reopen::kRequest;
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = send(connection.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      if (!waitFor(connection.fd, POLLOUT, deadline)) break;
    } else if (!(n < 0 && errno == EINTR)) {
      break;
    }
  }
  if (sent < request.size()) {
    *detail = "the running copy did not take the request";
    return ReopenOutcome::NoAnswer;
  }

  std::string reply;
  const std::string expected = reopen::kReply;
  while (reply.size() < expected.size()) {
    if (!waitFor(connection.fd, POLLIN, deadline)) {
      *detail = "the running copy did not answer";
      return ReopenOutcome::NoAnswer;
    }
    char buffer[16];
    ssize_t n = read(connection.fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    reply.append(buffer, static_cast<size_t>(n));
  }
  if (reply != expected) {
    *detail = "the running copy refused the request";
    return ReopenOutcome::NoAnswer;
  }
  return ReopenOutcome::Delivered;
}

}  // namespace quorvelle
