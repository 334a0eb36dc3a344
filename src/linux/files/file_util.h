#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quorvelle {

// The most readFile takes: thousands of times what any settings, state or
// information file here holds, and little enough to parse at once (tens of
// megabytes as JSON values).
inline constexpr size_t kMaxReadBytes = 1 << 20;

// Reads a whole regular file (links followed) of at most kMaxReadBytes.
// nullopt with *error set when it cannot be read, is no regular file (a FIFO
// or a device is refused, never waited on) or is larger; *missing tells
// whether it simply does not exist.
std::optional<std::string> readFile(const std::string& path, std::string* error, bool* missing = nullptr);

// Replaces the file with the contents atomically: a temporary file in the same
// folder, written, flushed to disk and renamed over the target. A symbolic
// link is written through: the regular file it names is replaced, in that
// file's folder, and the link stays; a dangling link gets its file (in a
// folder that exists). A link loop, or anything but a regular file at the
// end (a FIFO, a device, a folder), fails and is left as it is. The folder of
// the path is created when missing. False with *error set on failure; the
// old file is then untouched.
bool writeFileAtomically(const std::string& path, const std::string& contents, std::string* error,
                         unsigned mode = 0644);

// Creates the folder and its missing parents.
bool makeDirectories(const std::string& path, std::string* error, unsigned mode = 0755);

std::string parentPath(const std::string& path);

// The user's home folder: $HOME, else the password database.
std::string homeDirectory();

}  // namespace quorvelle
