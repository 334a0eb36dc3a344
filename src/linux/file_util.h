#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// Reads a whole file. nullopt with *error set when it cannot be read;
// *missing tells whether it simply does not exist.
std::optional<std::string> readFile(const std::string& path, std::string* error, bool* missing = nullptr);

// Replaces the file with the contents atomically: a temporary file in the same
// folder, written, flushed to disk and renamed over the target. The folder is
// created when missing. False with *error set on failure; the old file is then
// untouched.
bool writeFileAtomically(const std::string& path, const std::string& contents, std::string* error,
                         unsigned mode = 0644);

// Creates the folder and its missing parents.
bool makeDirectories(const std::string& path, std::string* error, unsigned mode = 0755);

std::string parentPath(const std::string& path);

// The user's home folder: $HOME, else the password database.
std::string homeDirectory();

}  // namespace quorvelle
