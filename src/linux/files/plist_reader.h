#pragma once

#include <optional>
#include <string>

#include "platform/bundle.h"

namespace quorvelle {

// Parses an XML property list whose top value is a dictionary. Text, integers,
// reals and booleans keep their types; lists, dictionaries, dates and data
// nested under a key read as std::monostate. nullopt for anything malformed.
std::optional<InfoDictionary> parseInfoPlist(const std::string& xml);

}  // namespace quorvelle
