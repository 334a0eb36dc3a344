#pragma once

#include <string>

namespace quorvelle {

// Which feed addresses the updater accepts. Releases are only ever read over
// HTTPS; the one exception, plain HTTP to this machine's loopback address, is
// for tests that serve a feed themselves, and only a program that builds its
// updater with it gets it (no setting or environment turns it on).
enum class FeedSecurity { HttpsOnly, AllowLoopbackHttpForTests };

// Whether the updater may fetch the feed at the URL; *error says why not.
bool isAcceptableFeedURL(const std::string& url, FeedSecurity security, std::string* error);

// An http or https address with a host: the only links the updater's window
// offers to open.
bool isWebLink(const std::string& url);

// "https://quorvelle.org/" for "https://quorvelle.org/appcast.xml"; empty
// when the URL has no such start.
std::string siteOf(const std::string& url);

// A feed larger than this is not read: no appcast comes near it.
inline constexpr long long kMaximumFeedBytes = 1024 * 1024;
// A fetch that makes no progress for this long is given up.
inline constexpr int kFeedTimeoutSeconds = 30;

}  // namespace quorvelle
