#include "linux/session/reopen_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/session/reopen_socket.h"

namespace quorvelle {

struct ReopenServer::Connection {
  ~Connection() {
    watch.reset();
    if (timeout) timeout->invalidate();
    close(fd);
  }
  int fd = -1;
  bool done = false;
  std::string received;
  std::unique_ptr<FdWatcher::Watch> watch;
  std::shared_ptr<Timer> timeout;
};

ReopenServer::ReopenServer(FdWatcher& watcher, RunLoop& mainQueue,
                           std::function<void()> onShowSettings)
    : watcher_(watcher), mainQueue_(mainQueue), onShowSettings_(std::move(onShowSettings)) {}

ReopenServer::~ReopenServer() {
  connections_.clear();
  listenWatch_.reset();
  if (listenFd_ < 0) return;
  close(listenFd_);
  struct stat info;
  if (lstat(socketPath_.c_str(), &info) == 0 && info.st_dev == socketDevice_ &&
      info.st_ino == socketInode_) {
    unlink(socketPath_.c_str());
  }
}

bool ReopenServer::listen(const std::string& folder, std::string* error) {
  if (!reopen::preparePrivateFolder(folder, error)) return false;
  const std::string path = reopen::socketPath(folder);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = path + ": path too long for a socket";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  struct stat existing;
  if (lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      *error = path + " is in the way";
      return false;
    }
    unlink(path.c_str());  // an earlier copy's; the newest copy answers
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  auto fail = [&](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    close(fd);
    return false;
  };
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return fail(path);
  }
  // Connecting needs write access to the socket file: this user's only.
  if (chmod(path.c_str(), 0600) != 0) return fail(path);
  struct stat bound;
  if (lstat(path.c_str(), &bound) != 0) return fail(path);
  if (::listen(fd, 16) != 0) return fail(path);

  listenFd_ = fd;
  socketPath_ = path;
  socketDevice_ = bound.st_dev;
  socketInode_ = bound.st_ino;
  listenWatch_ = watcher_.watchReadable(listenFd_, [this] { acceptConnections(); });
  return true;
}

void ReopenServer::acceptConnections() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // drained (EAGAIN), or the client left already
    ucred peer = {};
    socklen_t size = sizeof peer;
    bool sameUser = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                    size == sizeof peer && peer.uid == getuid();
    if (!sameUser) {
      close(fd);
      continue;
    }
    // At the limit the oldest connection makes room, so that idle ones never
    // crowd out a new request; a request it already sent is still answered.
    if (connections_.size() >= kMaxConnections) {
      const std::uint64_t oldest = connections_.begin()->first;
      readRequest(oldest);
      connections_.erase(oldest);
    }
    const std::uint64_t id = nextId_++;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->watch = watcher_.watchReadable(fd, [this, id] { readRequest(id); });
    std::weak_ptr<int> alive = lifetime_;
    connection->timeout = mainQueue_.scheduleTimer(
        kRequestTimeoutSeconds, false, RunLoopMode::Common, [this, id, alive](Timer&) {
          if (!alive.expired()) finish(id);
        });
    connections_[id] = std::move(connection);
  }
}

void ReopenServer::readRequest(std::uint64_t id) {
  auto it = connections_.find(id);
  if (it == connections_.end() || it->second->done) return;
  Connection& connection = *it->second;
  char buffer[kMaxRequestBytes + 1];
  ssize_t n = read(connection.fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    finish(id);  // closed or failed before a whole request
    return;
  }
  connection.received.append(buffer, static_cast<size_t>(n));
  size_t newline = connection.received.find('\n');
  if (newline == std::string::npos) {
    if (connection.received.size() > kMaxRequestBytes) finish(id);
    return;
  }
  // One line, exactly the request, and nothing after it.
  if (connection.received == reopen::kRequest) {
    ssize_t ignored = send(connection.fd, reopen::kReply, std::strlen(reopen::kReply),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)ignored;
    std::weak_ptr<int> alive = lifetime_;
    mainQueue_.post([this, alive] {
      if (!alive.expired()) onShowSettings_();
    });
  }
  finish(id);
}

void ReopenServer::finish(std::uint64_t id) {
  auto it = connections_.find(id);
  if (it == connections_.end() || it->second->done) return;
  it->second->done = true;
  std::weak_ptr<int> alive = lifetime_;
  mainQueue_.post([this, id, alive] {
    if (!alive.expired()) connections_.erase(id);
  });
}

}  // namespace quorvelle
