#pragma once

#include <string>
#include <vector>

#include "platform/appcast_feed.h"

namespace quorvelle::sim {

// A feed the test answers by hand, oldest request first.
class SimAppcastFeed : public AppcastFeed {
 public:
  void fetch(const std::string& url, Completion completion) override {
    requests.push_back(url);
    pending.push_back(std::move(completion));
  }
  void answer(std::vector<AppcastItem> items) { take()(std::move(items), {}); }
  void failWith(FeedFailure failure, std::string detail) { take()(std::nullopt, FeedError{failure, std::move(detail)}); }

  std::vector<std::string> requests;
  std::vector<Completion> pending;

 private:
  Completion take() {
    Completion completion = std::move(pending.front());
    pending.erase(pending.begin());
    return completion;
  }
};

}  // namespace quorvelle::sim
