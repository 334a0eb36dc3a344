#include "update/feed_rules.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quorvelle {
namespace {

struct UrlParts {
  std::string scheme;  // lower case
  std::string host;    // lower case, without user or port
};

bool parseUrl(const std::string& url, UrlParts* parts) {
  for (unsigned char c : url) {
    if (c <= ' ' || c == 0x7f) return false;  // no blanks or control characters anywhere
  }
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
  parts->scheme = url.substr(0, schemeEnd);
  std::transform(parts->scheme.begin(), parts->scheme.end(), parts->scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string_view rest = std::string_view(url).substr(schemeEnd + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority;
  if (!host.empty() && host.front() == '[') {
    host = host.substr(0, host.find(']') + 1);  // an IPv6 literal keeps its brackets
  } else {
    host = host.substr(0, host.find(':'));
  }
  parts->host = std::string(host);
  std::transform(parts->host.begin(), parts->host.end(), parts->host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return !parts->host.empty() && parts->host != "[]";
}

bool isLoopback(const std::string& host) {
  return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

}  // namespace

bool isAcceptableFeedURL(const std::string& url, FeedSecurity security, std::string* error) {
  UrlParts parts;
  if (!parseUrl(url, &parts)) {
    *error = "The update feed address is not valid: " + url;
    return false;
  }
  if (parts.scheme == "https") return true;
  if (parts.scheme == "http" && security == FeedSecurity::AllowLoopbackHttpForTests && isLoopback(parts.host)) {
    return true;
  }
  *error = "The update feed address does not use HTTPS: " + url;
  return false;
}

bool isWebLink(const std::string& url) {
  UrlParts parts;
  return parseUrl(url, &parts) && (parts.scheme == "https" || parts.scheme == "http");
}

std::string siteOf(const std::string& url) {
  UrlParts parts;
  if (!parseUrl(url, &parts)) return "";
  const size_t hostStart = url.find("://") + 3;
  const size_t pathStart = url.find_first_of("/?#", hostStart);
  return url.substr(0, pathStart) + "/";
}

}  // namespace quorvelle
