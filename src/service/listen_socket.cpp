#include "service/listen_socket.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstring>

namespace quorvelle {

std::optional<int> socketFromSystemd(std::string* why) {
  const int count = sd_listen_fds(1);
  if (count < 0) {
    *why = std::string("cannot take the socket from systemd: ") + std::strerror(-count);
    return std::nullopt;
  }
  if (count != 1) {
    *why = "systemd passed " + std::to_string(count) + " sockets, not one (start the socket unit, or pass --socket)";
    return std::nullopt;
  }
  const int fd = SD_LISTEN_FDS_START;
  if (sd_is_socket(fd, AF_UNIX, SOCK_SEQPACKET, 1) <= 0) {
    *why = "the socket systemd passed is not a listening AF_UNIX SOCK_SEQPACKET one";
    return std::nullopt;
  }
  return fd;
}

std::optional<int> listenAt(const std::string& path, std::string* why) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *why = path + ": too long for a socket path";
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = std::string("cannot make a socket: ") + std::strerror(errno);
    return std::nullopt;
  }
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0666) != 0 || ::listen(fd, 16) != 0) {
    *why = path + ": " + std::strerror(errno);
    ::close(fd);
    return std::nullopt;
  }
  return fd;
}

}  // namespace quorvelle
