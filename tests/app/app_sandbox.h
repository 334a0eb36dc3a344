#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "linux/process_util.h"
#include "linux/session/reopen_socket.h"
#include "linux/temp_dir.h"

namespace quorvelle::testing_support {

// The built application for real, in a home of its own: a copy of the bundle
// in ~/Applications (where it starts without offering to move), its own
// configuration and runtime folders, and a bundle identifier of its own, so
// that it never meets copies started by anyone else on the machine. What the
// copies print goes to the test's own output.
class AppSandbox {
 public:
  // The runtime folder is made under runtimeBase: figures want tmpfs there,
  // as a desktop session has (/run/user/<uid>).
  explicit AppSandbox(const std::string& builtBundle, const std::string& runtimeBase = "/tmp") {
    namespace fs = std::filesystem;
    std::string pattern = runtimeBase + "/quorvelle-runtime-XXXXXX";
    runtime_ = mkdtemp(pattern.data()) ? pattern : dir_.file("runtime");  // made 0700
    fs::create_directories(home() + "/Applications");
    fs::copy(builtBundle, bundle(), fs::copy_options::recursive);
    static int copies = 0;
    const std::string plist = bundle() + "/Contents/Info.plist", original = "<string>com.quorvelle.Quorvelle<";
    std::string info = readText(plist);
    info.replace(info.find(original), original.size(),
                 "<string>com.quorvelle.Quorvelle.test-" + std::to_string(getpid()) + "-" + std::to_string(++copies) + "<");
    writeText(plist, info);
  }
  ~AppSandbox() {
    for (pid_t pid : running_) {
      kill(pid, SIGKILL);
      waitForExit(pid, 5);
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
  }

  std::string home() const { return dir_.file("home"); }
  std::string bundle() const { return home() + "/Applications/Quorvelle.app"; }
  std::string executable() const { return bundle() + "/Contents/MacOS/Quorvelle"; }
  std::string socketFolder() const { return runtime_ + "/quorvelle"; }

  // A desktop session in this home on the Qt platform given ("offscreen", or
  // "xcb" on the test's display); the session bus only when asked for.
  std::vector<std::string> environment(const std::string& platform, bool sessionBus = false) const {
    std::vector<std::pair<std::string, std::optional<std::string>>> changes = {
        {"HOME", home()}, {"XDG_CONFIG_HOME", home() + "/.config"}, {"XDG_DATA_HOME", home() + "/.local/share"},
        {"XDG_RUNTIME_DIR", runtime_}, {"QT_QPA_PLATFORM", platform}, {"WAYLAND_DISPLAY", std::nullopt}};
    if (!sessionBus) changes.push_back({"DBUS_SESSION_BUS_ADDRESS", std::nullopt});
    return environmentWith(changes);
  }

  // Starts a copy; a launcher (e.g. a shell command) may run it.
  pid_t start(const std::string& platform, const std::vector<std::string>& arguments = {},
              std::vector<std::string> argv = {}) {
    argv.push_back(executable());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = spawnProgram(argv, environment(platform), false).pid;
    if (pid > 0) running_.push_back(pid);
    return pid;
  }

  // The wait status of a copy started here, once it has ended.
  std::optional<int> waitForEnd(pid_t pid, double timeoutSeconds) {
    std::optional<int> status = waitForExit(pid, timeoutSeconds);
    if (status) std::erase(running_, pid);
    return status;
  }

  // A copy listens for reopen requests: its start-up has completed.
  bool isListening() const {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, reopen::socketPath(socketFolder()).c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
  }

  // Puts another program in the place of the main executable.
  void replaceExecutable(const std::string& program) {
    std::filesystem::copy_file(program, executable(), std::filesystem::copy_options::overwrite_existing);
  }

 private:
  TempDir dir_;
  std::string runtime_;
  std::vector<pid_t> running_;
};

}  // namespace quorvelle::testing_support
