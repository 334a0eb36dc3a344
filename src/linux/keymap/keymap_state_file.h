#pragma once

#include <optional>
#include <string>

#include "linux/keymap/keymap_state.h"

namespace quorvelle {

// The folder that keeps the key mapping state: $XDG_RUNTIME_DIR/quorvelle,
// else /tmp/quorvelle-<uid>. Created private (0700) when missing; refused
// when it is not a folder of ours that only we can enter.
std::optional<std::string> keymapStateDirectory(std::string* error);

// The state file in that folder, shared by the key mapping tool and the
// engine, each holding the lock while it reads, changes and writes it.
class KeymapStateFile {
 public:
  explicit KeymapStateFile(std::string directory);
  ~KeymapStateFile();
  KeymapStateFile(const KeymapStateFile&) = delete;
  KeymapStateFile& operator=(const KeymapStateFile&) = delete;

  // Waits for the exclusive lock; it is held until destruction.
  bool lock(std::string* error);

  // The recorded state, empty when none is recorded. A file that is not ours
  // or fails validation is moved aside (to "<name>.invalid") with *warning
  // saying so, and counts as empty: nothing is lost and nothing trusted.
  std::optional<KeymapState> load(std::string* error, std::string* warning);

  // Writes the state atomically; an empty state removes the file.
  bool save(const KeymapState& state, std::string* error);

  const std::string& path() const { return path_; }

 private:
  std::string directory_;
  std::string path_;
  int lockFd_ = -1;
};

}  // namespace quorvelle
