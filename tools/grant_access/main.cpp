// quorvelle-grant-access: installs the engine service from the bundle it
// belongs to, for a copy of Quorvelle that the package did not install (a
// build folder, ~/Applications), and enables its socket; or removes it again.
// Meant to run as root through pkexec.
//
//   quorvelle-grant-access [install | remove]
//
// install copies <bundle>/Contents/Helpers/quorvelle-engine to
// /usr/local/libexec, the units from <bundle>/Contents/Resources/systemd to
// /etc/systemd/system (ExecStart naming that copy), the system user's
// sysusers.d file and the /dev/uinput udev rule to /etc, creates the user,
// has udev apply the rule, and enables and starts the socket. Nobody but the
// service's own user gets access to any device.
//
// QUORVELLE_GRANT_TEST_ROOT names another root folder, for tests only: it is
// honoured only without privileges and refused as root, so that no
// environment can point a privileged run elsewhere.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "linux/files/file_util.h"

namespace quorvelle {
namespace {

constexpr char kProgram[] = "quorvelle-grant-access";
constexpr char kTestRootVariable[] = "QUORVELLE_GRANT_TEST_ROOT";
constexpr char kEngine[] = "quorvelle-engine";
constexpr char kInstalledEngine[] = "/usr/local/libexec/quorvelle-engine";
constexpr char kSocketUnit[] = "quorvelle-engine.socket";
constexpr char kServiceUnit[] = "quorvelle-engine.service";
constexpr char kUnitFolder[] = "/etc/systemd/system/";
constexpr char kSysusers[] = "quorvelle-engine.conf";
constexpr char kSysusersFolder[] = "/etc/sysusers.d/";
constexpr char kUdevRule[] = "60-quorvelle-engine.rules";
constexpr char kUdevFolder[] = "/etc/udev/rules.d/";
// The rule of the time before the engine service, which gave the seat's user
// the keyboards themselves.
constexpr char kOldRule[] = "/etc/udev/rules.d/70-quorvelle.rules";

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

// Runs each command (program, arguments...) found under root; stops at the first failure.
bool runAll(const std::string& root, const std::vector<std::vector<std::string>>& commands, std::string* error) {
  for (const std::vector<std::string>& command : commands) {
    const std::string program = findProgram(root, command[0]);
    if (program.empty()) {
      *error = command[0] + " not found";
      return false;
    }
    if (!run(program, std::vector<std::string>(command.begin() + 1, command.end()), error)) return false;
  }
  return true;
}

// Contents/ of the bundle this program belongs to (Contents/Helpers/<this>).
bool bundleContents(std::string* contents, std::string* error) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    *error = std::string("cannot find this program: ") + strerror(errno);
    return false;
  }
  self[length] = '\0';
  *contents = parentPath(parentPath(self));
  return true;
}

bool readWhole(const std::string& path, std::string* contents, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    *error = path + ": " + strerror(errno ? errno : ENOENT);
    return false;
  }
  *contents = text.str();
  return true;
}

// The unit as shipped, but starting the installed copy of the engine.
std::string withExecStart(const std::string& unit) {
  std::istringstream in(unit);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("ExecStart=", 0) == 0) line = std::string("ExecStart=") + kInstalledEngine;
    out += line + "\n";
  }
  return out;
}

int install(const std::string& root) {
  std::string contents;
  std::string error;
  if (!bundleContents(&contents, &error)) return fail(error);
  const std::string resources = contents + "/Resources/systemd/";
  struct File {
    std::string from, to;
    unsigned mode;
  } files[] = {
      {contents + "/Helpers/" + kEngine, kInstalledEngine, 0755},
      {resources + kSocketUnit, std::string(kUnitFolder) + kSocketUnit, 0644},
      {resources + kServiceUnit, std::string(kUnitFolder) + kServiceUnit, 0644},
      {resources + kSysusers, std::string(kSysusersFolder) + kSysusers, 0644},
      {resources + kUdevRule, std::string(kUdevFolder) + kUdevRule, 0644},
  };
  for (const File& file : files) {
    std::string text;
    if (!readWhole(file.from, &text, &error)) return fail("this copy of Quorvelle is incomplete: " + error);
    if (file.to.find(kServiceUnit) != std::string::npos) text = withExecStart(text);
    if (!writeFileAtomically(root + file.to, text, &error, file.mode)) return fail("cannot install: " + error);
  }
  if (unlink((root + kOldRule).c_str()) != 0 && errno != ENOENT) {
    return fail(std::string("cannot remove ") + kOldRule + ": " + strerror(errno));
  }
  // The user first: the rule and the unit name it.
  if (!runAll(root,
              {{"systemd-sysusers", std::string(kSysusersFolder) + kSysusers},
               {"udevadm", "control", "--reload"},
               {"udevadm", "trigger", "--action=change", "--subsystem-match=misc", "--sysname-match=uinput"},
               {"udevadm", "settle", "--timeout=10"},
               {"systemctl", "daemon-reload"},
               {"systemctl", "enable", "--now", kSocketUnit},
               // An engine already running from an earlier grant takes the new copy.
               {"systemctl", "try-restart", kServiceUnit}},
              &error)) {
    return fail("installed the engine service, but it is not running: " + error);
  }
  return 0;
}

int remove(const std::string& root) {
  std::string error;
  std::string stopError;
  const bool stopped =
      runAll(root, {{"systemctl", "disable", "--now", kSocketUnit, kServiceUnit}}, &stopError);
  for (const std::string& path :
       {std::string(kUnitFolder) + kSocketUnit, std::string(kUnitFolder) + kServiceUnit,
        std::string(kSysusersFolder) + kSysusers, std::string(kUdevFolder) + kUdevRule, std::string(kInstalledEngine)}) {
    if (unlink((root + path).c_str()) != 0 && errno != ENOENT) {
      return fail("cannot remove " + root + path + ": " + strerror(errno));
    }
  }
  if (!runAll(root, {{"systemctl", "daemon-reload"}, {"udevadm", "control", "--reload"}}, &error)) {
    return fail("removed the engine service's files, but: " + error);
  }
  return stopped ? 0 : fail("removed the engine service's files, but: " + stopError);
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  using namespace quorvelle;
  const char kUsage[] = "usage: quorvelle-grant-access [install | remove]";
  if (argc > 2) return fail(std::string("too many arguments; ") + kUsage, 2);
  const std::string action = argc == 2 ? argv[1] : "install";
  if (action != "install" && action != "remove") return fail("unknown argument: " + action + "; " + kUsage, 2);
  umask(022);
  std::string root;
  std::string error;
  if (!chooseRoot(&root, &error)) return fail(error);
  return action == "install" ? install(root) : remove(root);
}
