#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "linux/process/fd_watcher.h"

namespace quorvelle {

// Watches any number of descriptors through one epoll instance, which is
// itself the only descriptor its parent watches. A key read by the service
// wakes poll() on that one descriptor instead of making the kernel look at
// every socket and node the service has open: the per-key cost stays the
// same however many clients are connected.
//
// The newest watch of a descriptor wins (epoll registers a file once).
class EpollFdWatcher : public FdWatcher {
 public:
  // nullptr when there is no epoll instance to be had; the reason in why.
  static std::unique_ptr<EpollFdWatcher> create(FdWatcher& parent, std::string* why);
  ~EpollFdWatcher() override;
  EpollFdWatcher(const EpollFdWatcher&) = delete;
  EpollFdWatcher& operator=(const EpollFdWatcher&) = delete;

  std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override;

 private:
  struct Entry;
  class EpollWatch;
  explicit EpollFdWatcher(int epollFd) : epollFd_(epollFd) {}
  void dispatch();

  const int epollFd_;
  std::vector<std::shared_ptr<Entry>> entries_;
  std::uint64_t lastId_ = 0;
  std::unique_ptr<FdWatcher::Watch> parentWatch_;
};

}  // namespace quorvelle
