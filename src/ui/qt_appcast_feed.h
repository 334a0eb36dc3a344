#pragma once

#include <QNetworkAccessManager>
#include <memory>

#include "platform/appcast_feed.h"

namespace quorvelle {

// Fetches appcasts with Qt Network: redirects are followed but never from
// HTTPS to plain HTTP, a stalled transfer is given up, an oversized one cut
// off. Fetches still under way when the feed is destroyed end without their
// completions.
class QtAppcastFeed : public AppcastFeed {
 public:
  QtAppcastFeed();
  ~QtAppcastFeed() override;

  void fetch(const std::string& url, Completion completion) override;

 private:
  std::unique_ptr<QNetworkAccessManager> network_;
};

}  // namespace quorvelle
