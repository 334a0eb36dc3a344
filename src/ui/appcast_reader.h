#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "platform/appcast_feed.h"

namespace quorvelle {

// Reads an RSS appcast: the items of its channel with their sparkle:version,
// sparkle:shortVersionString, sparkle:releaseNotesLink, sparkle:channel, link
// and enclosure (whose sparkle attributes stand in for missing elements).
// nullopt with *error for anything that is not well-formed RSS, and for a
// document type declaration, which no appcast needs.
std::optional<std::vector<AppcastItem>> readAppcast(const QByteArray& xml, std::string* error);

}  // namespace quorvelle
