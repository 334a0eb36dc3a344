// quorvelle-grant-access: installs (or removes) the udev rule that gives the
// user at the seat access to /dev/uinput and the keyboards, then has udev
// apply it at once (and, on removal, takes the access back). Meant to run as
// root through pkexec, and by the package's removal.
//
//   quorvelle-grant-access [install | remove]
//
// QUORVELLE_GRANT_TEST_ROOT names another root folder, for tests only: it is
// honoured only without privileges and refused as root, so that no
// environment can point a privileged run elsewhere.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "linux/device_acl.h"
#include "linux/file_util.h"
#include "linux/input_access_rule.h"

namespace quorvelle {
namespace {

constexpr char kProgram[] = "quorvelle-grant-access";
constexpr char kTestRootVariable[] = "QUORVELLE_GRANT_TEST_ROOT";

int fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return status;
}

// The root folder to work under, "" for the real one.
bool chooseRoot(std::string* root, std::string* error) {
  const char* testRoot = std::getenv(kTestRootVariable);
  if (geteuid() == 0) {
    if (testRoot) {
      *error = std::string(kTestRootVariable) + " is for unprivileged tests; refusing it as root";
      return false;
    }
    root->clear();
    return true;
  }
  if (!testRoot) {
    *error = "must run as root (through pkexec)";
    return false;
  }
  if (getuid() != geteuid() || getgid() != getegid()) {
    *error = "refusing to run with borrowed privileges";
    return false;
  }
  struct stat info;
  if (testRoot[0] != '/' || stat(testRoot, &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = std::string(kTestRootVariable) + " must name an existing folder by its absolute path";
    return false;
  }
  *root = testRoot;
  return true;
}

// Runs a program with a clean environment and no input; true when it exits 0.
bool run(const std::string& executable, const std::vector<std::string>& arguments, std::string* error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char* environment[] = {path, nullptr};
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + strerror(errno);
    return false;
  }
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execve(executable.c_str(), argv.data(), environment);
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string command = executable;
  for (const std::string& argument : arguments) command += " " + argument;
  *error = command + (WIFEXITED(status) ? " exited with status " + std::to_string(WEXITSTATUS(status))
                                        : " was killed by signal " + std::to_string(WTERMSIG(status)));
  return false;
}

// A system program under the root folder, "" when there is none.
std::string findProgram(const std::string& root, const std::string& name) {
  for (const char* folder : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/"}) {
    const std::string path = root + folder + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// After the rule is gone and udev has run again, takes back the access it
// gave: udev drops the uaccess tag but leaves the ACL on the node until a
// reboot or a re-plug. Nodes that udev still tags (by another rule) keep theirs.
bool revokeAccess(const std::string& root, std::string* error) {
  std::vector<std::string> nodes = {root + "/dev/uinput"};
  if (DIR* folder = opendir((root + "/dev/input").c_str())) {
    while (const dirent* entry = readdir(folder)) {
      if (strncmp(entry->d_name, "event", 5) == 0) nodes.push_back(root + "/dev/input/" + entry->d_name);
    }
    closedir(folder);
  }
  for (const std::string& node : nodes) {
    struct stat info;
    if (stat(node.c_str(), &info) != 0 || udevTagsUaccess(root + "/run/udev/data", info.st_rdev)) continue;
    if (!removeUserAclEntries(node, error)) return false;
  }
  return true;
}

bool loadUinput(const std::string& root, std::string* error) {
  const std::string modprobe = findProgram(root, "modprobe");
  return modprobe.empty() || run(modprobe, {"uinput"}, error);
}

int grant(bool install, const std::string& root) {
  const std::string rulePath = root + "/" + kInputAccessRulePath;
  std::string error;
  if (install) {
    if (!makeDirectories(parentPath(rulePath), &error, 0755) ||
        !writeFileAtomically(rulePath, inputAccessRuleText(), &error, 0644)) {
      return fail("cannot install the rule: " + error);
    }
  } else if (unlink(rulePath.c_str()) != 0 && errno != ENOENT) {
    return fail("cannot remove " + rulePath + ": " + strerror(errno));
  }

  const std::string udevadm = findProgram(root, "udevadm");
  if (udevadm.empty()) {
    std::fprintf(stderr, "%s: udevadm not found; the change applies once the devices are added again\n", kProgram);
  } else if (!run(udevadm, {"control", "--reload"}, &error) ||
             // Until its module is loaded, /dev/uinput is a static node that udev does not see.
             (install && !loadUinput(root, &error)) ||
             !run(udevadm, {"trigger", "--action=change", "--subsystem-match=input", "--subsystem-match=misc"},
                  &error) ||
             !run(udevadm, {"settle", "--timeout=10"}, &error)) {
    return fail((install ? "installed " : "removed ") + rulePath + ", but udev did not apply it: " + error);
  }
  if (!install && !revokeAccess(root, &error)) return fail("removed " + rulePath + ", but access stays: " + error);
  return 0;
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  using namespace quorvelle;
  bool install = true;
  if (argc > 2) return fail("too many arguments; usage: quorvelle-grant-access [install | remove]", 2);
  if (argc == 2) {
    const std::string action = argv[1];
    if (action == "remove") {
      install = false;
    } else if (action != "install") {
      return fail("unknown argument: " + action + "; usage: quorvelle-grant-access [install | remove]", 2);
    }
  }
  umask(022);
  std::string root;
  std::string error;
  if (!chooseRoot(&root, &error)) return fail(error);
  return grant(install, root);
}
