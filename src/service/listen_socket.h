#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// The listening SOCK_SEQPACKET socket systemd opened for the service
// (socket activation); nullopt with the reason when there is not exactly one.
std::optional<int> socketFromSystemd(std::string* why);

// A listening SOCK_SEQPACKET socket of the service's own at path, open to
// every local user (who is served is decided per connection), for running
// the service by hand. A stale socket file there is replaced.
std::optional<int> listenAt(const std::string& path, std::string* why);

}  // namespace quorvelle
