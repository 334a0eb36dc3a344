#include "linux/device_acl.h"

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace quorvelle {

bool udevTagsUaccess(const std::string& udevDataDir, dev_t device) {
  // "Q:" lines are the tags of the device's last event; "G:" lines keep
  // every tag it ever had.
  std::ifstream data(udevDataDir + "/c" + std::to_string(major(device)) + ":" + std::to_string(minor(device)));
  std::string line;
  while (std::getline(data, line)) {
    if (line == "Q:uaccess") return true;
  }
  return false;
}

bool removeUserAclEntries(const std::string& path, std::string* error) {
  acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
  if (!acl) {
    if (errno == ENOTSUP || errno == ENOENT) return true;
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  bool changed = false;
  acl_entry_t entry;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
    acl_tag_t tag;
    if (acl_get_tag_type(entry, &tag) == 0 && tag == ACL_USER) {
      acl_delete_entry(acl, entry);
      changed = true;
    }
  }
  bool ok = !changed || (acl_calc_mask(&acl) == 0 && acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl) == 0);
  if (!ok) *error = path + ": " + std::strerror(errno);
  acl_free(acl);
  return ok;
}

}  // namespace quorvelle
