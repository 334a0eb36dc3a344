#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace quorvelle::sim {

// A file system in memory: folders, files and symbolic links under absolute
// paths, and a Trash. Every change is recorded in operations; a scripted
// error makes the matching operation fail without changing anything.
class SimFileSystem : public FileSystem {
 public:
  enum class Kind { Folder, File, Link };
  struct Node {
    Kind kind = Kind::Folder;
    std::string contents;  // a file's text or a link's destination
    bool executable = false;
    bool writable = true;  // folders only
  };
  struct TrashedItem {
    std::string originalPath;
    std::map<std::string, Node> nodes;  // by path relative to the item, "" is the item
  };

  SimFileSystem();

  // Building the scene. Missing parent folders are created.
  void addFolder(const std::string& path, bool writable = true);
  void addFile(const std::string& path, const std::string& contents = "", bool executable = false);
  void addLink(const std::string& path, const std::string& destination);
  // The node at the path itself (links not followed), or nullptr.
  const Node* node(const std::string& path) const;

  std::string homeDirectory() const override { return home; }
  bool fileExists(const std::string& path) const override;
  bool isExecutableFile(const std::string& path) const override;
  bool isWritableDirectory(const std::string& path) const override;
  std::optional<std::string> destinationOfSymbolicLink(const std::string& path) const override;
  std::string resolvingSymlinks(const std::string& path) const override;
  bool removeItem(const std::string& path, std::string* error) override;
  bool createSymbolicLink(const std::string& path, const std::string& destination,
                          std::string* error) override;
  bool createDirectory(const std::string& path, std::string* error) override;
  bool copyItem(const std::string& from, const std::string& to, std::string* error) override;
  bool trashItem(const std::string& path, std::string* error) override;

  std::string home = "/home/user";
  std::map<std::string, Node> nodes;
  std::vector<TrashedItem> trash;
  std::vector<std::string> operations;
  std::optional<std::string> copyError;
  std::optional<std::string> trashError;
  std::optional<std::string> createDirectoryError;

 private:
  // The path with links resolved in every component, or in every component
  // but the last; the part that does not exist is kept as written.
  std::string resolve(const std::string& path, bool followLast) const;
  const Node* followed(const std::string& path) const;
  bool parentIsWritableFolder(const std::string& path, std::string* error) const;
  std::map<std::string, Node> takeTree(const std::string& path, bool remove);
};

}  // namespace quorvelle::sim
