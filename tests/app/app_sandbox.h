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
#include "linux/reopen_socket.h"
#include "linux/temp_dir.h"

namespace quorvelle::testing_support {

// The built application for real, in a home of its own: a copy of the bundle
// in ~/Applications (where it starts without offering to move), its own
// configuration and runtime folders, and a bundle identifier of its own, so
// that it never meets copies started by anyone else on the machine.
class AppSandbox {
 public:
  // runtimeBase: where the runtime folder is made; a desktop session has it
  // on tmpfs (/run/user/<uid>), where the key mapping tool's writes cost
  // nothing, so figures want it there too. Empty: beside the home.
  explicit AppSandbox(const std::string& builtBundle, const std::string& runtimeBase = {}) {
    namespace fs = std::filesystem;
    identifier_ = "com.quorvelle.Quorvelle.test-" + std::to_string(getpid()) + "-" + std::to_string(++counter());
    fs::create_directories(home() + "/Applications");
    if (runtimeBase.empty()) {
      runtime_ = dir_.file("runtime");
      fs::create_directories(runtime_);
    } else {
      std::string pattern = runtimeBase + "/quorvelle-runtime-XXXXXX";
      runtime_ = mkdtemp(pattern.data()) ? pattern : dir_.file("runtime");
      ownRuntime_ = runtime_ != dir_.file("runtime");
      fs::create_directories(runtime_);
    }
    chmod(runtime().c_str(), 0700);
    fs::copy(builtBundle, bundle(), fs::copy_options::recursive);
    const std::string plist = bundle() + "/Contents/Info.plist";
    std::string info = readText(plist);
    const std::string original = "<string>com.quorvelle.Quorvelle</string>";
    info.replace(info.find(original), original.size(), "<string>" + identifier_ + "</string>");
    writeText(plist, info);
  }

  std::string home() const { return dir_.file("home"); }
  const std::string& runtime() const { return runtime_; }
  std::string bundle() const { return home() + "/Applications/Quorvelle.app"; }
  std::string executable() const { return bundle() + "/Contents/MacOS/Quorvelle"; }
  std::string helper(const std::string& name) const { return bundle() + "/Contents/Helpers/" + name; }
  std::string socketFolder() const { return runtime() + "/quorvelle"; }
  const std::string& identifier() const { return identifier_; }

  // The environment of a desktop session in this home, on the Qt platform
  // given ("offscreen", or "xcb" with the display of the running test).
  // Without the session bus unless asked: no tray host or notification
  // service of the machine's own is reached.
  std::vector<std::string> environment(const std::string& platform, bool sessionBus = false) const {
    std::vector<std::pair<std::string, std::optional<std::string>>> changes = {
        {"HOME", home()},
        {"XDG_CONFIG_HOME", home() + "/.config"},
        {"XDG_DATA_HOME", home() + "/.local/share"},
        {"XDG_RUNTIME_DIR", runtime()},
        {"QT_QPA_PLATFORM", platform},
        {"WAYLAND_DISPLAY", std::nullopt}};
    if (!sessionBus) changes.push_back({"DBUS_SESSION_BUS_ADDRESS", std::nullopt});
    return environmentWith(changes);
  }

  // Puts another program in the place of the main executable.
  void replaceExecutable(const std::string& program) {
    std::filesystem::copy_file(program, executable(), std::filesystem::copy_options::overwrite_existing);
  }

  // Starts the application; what it prints goes to output().
  pid_t start(const std::string& platform, const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> argv = {executable()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (const auto& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    const std::vector<std::string> variables = environment(platform);
    std::vector<char*> env;
    for (const auto& variable : variables) env.push_back(const_cast<char*>(variable.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = dir_.file("output");
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0) running_.push_back(pid);
    return pid;
  }

  // The wait status of a copy started here, once it has ended.
  std::optional<int> waitForEnd(pid_t pid, double timeoutSeconds) {
    std::optional<int> status = waitForExit(pid, timeoutSeconds);
    if (status) std::erase(running_, pid);
    return status;
  }

  // Everything the copies started here have printed.
  std::string output() const { return readText(dir_.file("output")); }

  // A copy of the application listens for reopen requests: its start-up has completed.
  bool isListening() const {
    const std::string path = reopen::socketPath(socketFolder());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
  }

  ~AppSandbox() {
    for (pid_t pid : running_) {
      kill(pid, SIGKILL);
      waitForExit(pid, 5);
    }
    std::error_code ignored;
    if (ownRuntime_) std::filesystem::remove_all(runtime_, ignored);
  }

 private:
  static int& counter() {
    static int value = 0;
    return value;
  }

  TempDir dir_;
  std::string runtime_;
  bool ownRuntime_ = false;
  std::string identifier_;
  std::vector<pid_t> running_;
};

}  // namespace quorvelle::testing_support
