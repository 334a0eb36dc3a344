#include "linux/files/plist_bundles.h"

#include <unistd.h>

#include <climits>

#include "linux/files/file_util.h"
#include "linux/files/plist_reader.h"

namespace quorvelle {

std::optional<InfoDictionary> PlistBundles::infoDictionary(const std::string& bundlePath) const {
  std::string error;
  std::optional<std::string> xml = readFile(bundlePath + "/Contents/Info.plist", &error);
  if (!xml) return std::nullopt;
  return parseInfoPlist(*xml);
}

std::string PlistBundles::bundlePathOfExecutable(const std::string& executablePath) {
  std::string folder = parentPath(executablePath);  // .../Contents/MacOS
  std::string contents = parentPath(folder);        // .../Contents
  if (contents.size() < 9 || contents.compare(contents.size() - 9, 9, "/Contents") != 0) return "";
  return parentPath(contents);
}

std::optional<std::string> PlistBundles::mainExecutable(const Bundles& bundles,
                                                        const std::string& bundlePath,
                                                        std::string* error) {
  std::optional<InfoDictionary> info = bundles.infoDictionary(bundlePath);
  if (!info) {
    *error = bundlePath + " is not an application bundle";
    return std::nullopt;
  }
  auto it = info->find("CFBundleExecutable");
  const std::string* name = it == info->end() ? nullptr : std::get_if<std::string>(&it->second);
  if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." ||
      *name == "..") {
    *error = bundlePath + " names no main executable";
    return std::nullopt;
  }
  return bundlePath + "/Contents/MacOS/" + *name;
}

std::string PlistBundles::currentExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace quorvelle
