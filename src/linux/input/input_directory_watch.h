#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorvelle {

// Event nodes appearing in and leaving the input folder (inotify).
class InputDirectoryWatch {
 public:
  struct Change {
    enum class Kind {
      Appeared,  // created, or its permissions changed: worth opening (again)
      Gone,
      Overflow,  // changes were lost: look at the whole folder again
    };
    Kind kind;
    std::string name;
  };

  static std::unique_ptr<InputDirectoryWatch> create(const std::string& directory, std::string* error);
  ~InputDirectoryWatch();
  InputDirectoryWatch(const InputDirectoryWatch&) = delete;
  InputDirectoryWatch& operator=(const InputDirectoryWatch&) = delete;

  // Readable when changes wait.
  int fd() const { return fd_; }
  // The changes to event nodes since the last call; never blocks.
  std::vector<Change> readChanges();

  // The event nodes in the folder now, by name, sorted by number.
  static std::vector<std::string> list(const std::string& directory);

 private:
  explicit InputDirectoryWatch(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace quorvelle
