#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// Where installed copies of the application live on this platform.
struct ApplicationsFolders {
  // A bundle in or below this folder is installed; compared after resolving
  // links in the bundle's location.
  std::string systemFolder;
  // Likewise, but compared as written, without resolving links in it.
  std::string userFolder;
  // Where the offer to move copies the bundle; created when missing.
  std::string destinationFolder;
  // The tool that strips the download quarantine from a copied bundle;
  // nullopt where downloads carry no quarantine.
  std::optional<std::string> quarantineTool;
};

}  // namespace quorvelle
