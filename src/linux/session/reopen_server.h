#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "linux/process/fd_watcher.h"
#include "platform/run_loop.h"

namespace quorvelle {

// Listens on the reopen socket for the running application. Each connection
// may carry one request; only this user's processes are heard, anything but
// the one request is dropped, at most kMaxConnections are kept (a new one
// replaces the oldest), and nothing here ever blocks the main thread.
class ReopenServer {
 public:
  static constexpr size_t kMaxRequestBytes = 64;
  static constexpr double kRequestTimeoutSeconds = 2.0;
  static constexpr size_t kMaxConnections = 8;

  // onShowSettings runs on a later turn of the main queue, once per request.
  ReopenServer(FdWatcher& watcher, RunLoop& mainQueue, std::function<void()> onShowSettings);
  // Stops listening and removes the socket, unless a newer copy has already
  // put its own in its place.
  ~ReopenServer();
  ReopenServer(const ReopenServer&) = delete;
  ReopenServer& operator=(const ReopenServer&) = delete;

  // Prepares the private folder and listens in it, replacing a socket left
  // behind by an earlier copy.
  bool listen(const std::string& folder, std::string* error);

  size_t openConnections() const { return connections_.size(); }

 private:
  struct Connection;
  void acceptConnections();
  void readRequest(std::uint64_t id);
  // Drops the connection on a later turn: its watch may be the caller.
  void finish(std::uint64_t id);

  FdWatcher& watcher_;
  RunLoop& mainQueue_;
  std::function<void()> onShowSettings_;
  int listenFd_ = -1;
  std::string socketPath_;
  std::uint64_t socketDevice_ = 0;
  std::uint64_t socketInode_ = 0;
  std::unique_ptr<FdWatcher::Watch> listenWatch_;
  std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
  std::uint64_t nextId_ = 1;
  // Tasks and timers outlive nothing: they check this before touching us.
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace quorvelle
