#include "service/epoll_fd_watcher.h"

#include <errno.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvelle {

struct EpollFdWatcher::Entry {
  std::uint64_t id = 0;
  int fd = -1;
  std::function<void()> onReadable;
  bool alive = true;
  bool registered = true;  // still the epoll registration of fd
};

class EpollFdWatcher::EpollWatch : public FdWatcher::Watch {
 public:
  EpollWatch(int epollFd, std::shared_ptr<Entry> entry) : epollFd_(epollFd), entry_(std::move(entry)) {}
  // The entry is dropped at the next dispatch; one whose callback is
  // running stays alive until that call returns.
  ~EpollWatch() override {
    entry_->alive = false;
    if (entry_->registered) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, entry_->fd, nullptr);
  }

 private:
  int epollFd_;
  std::shared_ptr<Entry> entry_;
};

std::unique_ptr<EpollFdWatcher> EpollFdWatcher::create(FdWatcher& parent, std::string* why) {
  const int fd = ::epoll_create1(EPOLL_CLOEXEC);
  if (fd < 0) {
    *why = std::string("cannot make an epoll instance: ") + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<EpollFdWatcher> watcher(new EpollFdWatcher(fd));
  watcher->parentWatch_ = parent.watchReadable(fd, [raw = watcher.get()] { raw->dispatch(); });
  return watcher;
}

EpollFdWatcher::~EpollFdWatcher() {
  parentWatch_.reset();
  ::close(epollFd_);
}

std::unique_ptr<FdWatcher::Watch> EpollFdWatcher::watchReadable(int fd, std::function<void()> onReadable) {
  // An older entry of the same number: its file was closed and the number
  // given out again, or it is watched twice. Either way it is not the
  // registration any more, and must not remove the new one when it goes.
  for (const auto& entry : entries_) {
    if (entry->fd == fd) entry->registered = false;
  }
  auto entry = std::make_shared<Entry>();
  entry->id = ++lastId_;
  entry->fd = fd;
  entry->onReadable = std::move(onReadable);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = entry->id;
  if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0 && errno == EEXIST) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event);
  }
  entries_.push_back(entry);
  return std::make_unique<EpollWatch>(epollFd_, std::move(entry));
}

// Level-triggered: what is left unread wakes the next turn.
void EpollFdWatcher::dispatch() {
  std::erase_if(entries_, [](const auto& entry) { return !entry->alive; });
  epoll_event events[64];
  const int count = ::epoll_wait(epollFd_, events, 64, 0);
  for (int i = 0; i < count; ++i) {
    // By id, not by pointer: a registration can outlive its watch when its
    // file lives on elsewhere (a copy in a child process) after the number
    // was closed. Entries stay in entries_ until the next dispatch, so a
    // callback that removes another's watch leaves it dead, not gone.
    // By index: a callback may add watches (and so grow entries_).
    for (std::size_t j = 0; j < entries_.size(); ++j) {
      Entry* entry = entries_[j].get();
      if (entry->id != events[i].data.u64) continue;
      if (entry->alive && entry->registered) entry->onReadable();
      break;
    }
  }
}

}  // namespace quorvelle
