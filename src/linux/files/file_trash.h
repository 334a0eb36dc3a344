#pragma once

#include <string>

namespace quorvelle {

// Moves the item into the freedesktop.org trash: homeTrash (files/ and info/)
// when the item lives on the same file system, otherwise <top>/.Trash-<uid>
// at the top of the item's own file system. The info entry is written first
// and taken back if the move fails.
bool moveToTrash(const std::string& path, const std::string& homeTrash, std::string* error);

}  // namespace quorvelle
