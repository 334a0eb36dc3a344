#include "sim/sim_file_system.h"

#include <vector>

namespace quorvelle::sim {
namespace {

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  return parts;
}

std::string join(const std::vector<std::string>& parts, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += "/" + parts[i];
  return path.empty() ? "/" : path;
}

std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool isWithin(const std::string& path, const std::string& root) {
  return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

}  // namespace

SimFileSystem::SimFileSystem() { nodes["/"] = Node{}; }

void SimFileSystem::addFolder(const std::string& path, bool writable) {
  std::vector<std::string> parts = components(path);
  for (size_t i = 0; i <= parts.size(); ++i) {
    std::string folder = join(parts, i);
    if (!nodes.count(folder)) nodes[folder] = Node{};
  }
  nodes[join(parts, parts.size())].writable = writable;
}

void SimFileSystem::addFile(const std::string& path, const std::string& contents, bool executable) {
  addFolder(parentOf(path));
  nodes[path] = Node{Kind::File, contents, executable, true};
}

void SimFileSystem::addLink(const std::string& path, const std::string& destination) {
  addFolder(parentOf(path));
  nodes[path] = Node{Kind::Link, destination, false, true};
}

const SimFileSystem::Node* SimFileSystem::node(const std::string& path) const {
  auto it = nodes.find(path);
  return it == nodes.end() ? nullptr : &it->second;
}

std::string SimFileSystem::resolve(const std::string& path, bool followLast) const {
  std::vector<std::string> parts = components(path);
  for (int hops = 0; hops < 40; ++hops) {
    bool replaced = false;
    for (size_t i = 1; i <= parts.size(); ++i) {
      if (i == parts.size() && !followLast) break;
      const Node* here = node(join(parts, i));
      if (!here) break;
      if (here->kind != Kind::Link) continue;
      std::string target = here->contents;
      if (target.empty() || target[0] != '/') target = join(parts, i - 1) + "/" + target;
      std::vector<std::string> rest(parts.begin() + static_cast<long>(i), parts.end());
      parts = components(target);
      parts.insert(parts.end(), rest.begin(), rest.end());
      replaced = true;
      break;
    }
    if (!replaced) break;
  }
  return join(parts, parts.size());
}

const SimFileSystem::Node* SimFileSystem::followed(const std::string& path) const {
  return node(resolve(path, true));
}

bool SimFileSystem::fileExists(const std::string& path) const { return followed(path) != nullptr; }

bool SimFileSystem::isExecutableFile(const std::string& path) const {
  const Node* found = followed(path);
  return found && found->kind == Kind::File && found->executable;
}

bool SimFileSystem::isWritableDirectory(const std::string& path) const {
  const Node* found = followed(path);
  return found && found->kind == Kind::Folder && found->writable;
}

std::optional<std::string> SimFileSystem::destinationOfSymbolicLink(const std::string& path) const {
  const Node* found = node(resolve(path, false));
  if (!found || found->kind != Kind::Link) return std::nullopt;
  return found->contents;
}

std::string SimFileSystem::resolvingSymlinks(const std::string& path) const {
  return resolve(path, true);
}

bool SimFileSystem::parentIsWritableFolder(const std::string& path, std::string* error) const {
  if (!isWritableDirectory(parentOf(path))) {
    *error = "You don't have permission to save in " + parentOf(path) + ".";
    return false;
  }
  return true;
}

std::map<std::string, SimFileSystem::Node> SimFileSystem::takeTree(const std::string& path,
                                                                     bool remove) {
  std::map<std::string, Node> tree;
  for (auto it = nodes.begin(); it != nodes.end();) {
    if (isWithin(it->first, path)) {
      tree[it->first.substr(path.size())] = it->second;
      if (remove) {
        it = nodes.erase(it);
        continue;
      }
    }
    ++it;
  }
  return tree;
}

bool SimFileSystem::removeItem(const std::string& path, std::string* error) {
  std::string real = resolve(path, false);
  if (!node(real)) {
    *error = "No such file: " + path;
    return false;
  }
  if (!parentIsWritableFolder(real, error)) return false;
  takeTree(real, true);
  operations.push_back("remove " + path);
  return true;
}

bool SimFileSystem::createSymbolicLink(const std::string& path, const std::string& destination,
                                       std::string* error) {
  std::string real = resolve(path, false);
  if (node(real)) {
    *error = "An item named " + path + " already exists.";
    return false;
  }
  if (!parentIsWritableFolder(real, error)) return false;
  nodes[real] = Node{Kind::Link, destination, false, true};
  operations.push_back("link " + path + " -> " + destination);
  return true;
}

bool SimFileSystem::createDirectory(const std::string& path, std::string* error) {
  if (createDirectoryError) {
    *error = *createDirectoryError;
    return false;
  }
  std::vector<std::string> parts = components(resolve(path, true));
  for (size_t i = 1; i <= parts.size(); ++i) {
    std::string folder = join(parts, i);
    const Node* here = node(folder);
    if (here && here->kind == Kind::Folder) continue;
    if (here) {
      *error = "A file named " + folder + " is in the way.";
      return false;
    }
    if (!parentIsWritableFolder(folder, error)) return false;
    nodes[folder] = Node{};
    operations.push_back("mkdir " + folder);
  }
  return true;
}

bool SimFileSystem::copyItem(const std::string& from, const std::string& to, std::string* error) {
  if (copyError) {
    *error = *copyError;
    return false;
  }
  std::string source = resolve(from, true);
  if (!node(source)) {
    *error = "No such file: " + from;
    return false;
  }
  std::string target = resolve(to, false);
  if (node(target)) {
    *error = "An item named " + to + " already exists.";
    return false;
  }
  if (!parentIsWritableFolder(target, error)) return false;
  for (auto& [relative, copied] : takeTree(source, false)) nodes[target + relative] = copied;
  operations.push_back("copy " + from + " -> " + to);
  return true;
}

bool SimFileSystem::trashItem(const std::string& path, std::string* error) {
  if (trashError) {
    *error = *trashError;
    return false;
  }
  std::string real = resolve(path, false);
  if (!node(real)) {
    *error = "No such file: " + path;
    return false;
  }
  if (!parentIsWritableFolder(real, error)) return false;
  trash.push_back({path, takeTree(real, true)});
  operations.push_back("trash " + path);
  return true;
}

}  // namespace quorvelle::sim
