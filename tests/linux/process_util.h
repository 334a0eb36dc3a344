#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "linux/process/poll_run_loop.h"

extern char** environ;

namespace quorvelle::testing_support {

// Waits for the condition, checking every 10 ms, for at most timeoutSeconds.
inline bool eventually(const std::function<bool()>& condition, double timeoutSeconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Runs the loop in short turns until the condition holds: a condition that
// changes outside the loop (another thread or process) wakes no turn, so one
// long runUntil() would only notice it at its deadline.
inline bool serveUntil(PollRunLoop& loop, const std::function<bool()>& condition, double timeoutSeconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!loop.runUntil(condition, 0.01)) {
    if (std::chrono::steady_clock::now() > end) return false;
  }
  return true;
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text, bool executable = false) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
  if (executable) chmod(path.c_str(), 0755);
}

// The environment with some variables replaced (or removed, for nullopt).
inline std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (std::none_of(changes.begin(), changes.end(), [&](auto& change) { return text.starts_with(change.first + "="); }))
      result.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) result.push_back(name + "=" + *value);
  }
  return result;
}

struct Spawned {
  pid_t pid = -1;
  int out = -1;  // read ends, when captured
  int err = -1;
};

inline Spawned spawnProgram(const std::vector<std::string>& argv,
                            const std::vector<std::string>& environment, bool capture) {
  const auto pointers = [](const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const auto& text : strings) result.push_back(const_cast<char*>(text.c_str()));
    result.push_back(nullptr);
    return result;
  };
  std::vector<char*> args = pointers(argv), env = pointers(environment);
  Spawned spawned;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int out[2] = {-1, -1}, err[2] = {-1, -1};
  if (capture) {
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return spawned;
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  }
  if (posix_spawn(&spawned.pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) spawned.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (capture) {
    close(out[1]);
    close(err[1]);
    spawned.out = out[0];
    spawned.err = err[0];
  }
  return spawned;
}

// The wait status once the child has exited, serving the loop meanwhile when
// one is given; nullopt after timeoutSeconds.
inline std::optional<int> waitForExit(pid_t pid, double timeoutSeconds = 20, PollRunLoop* loop = nullptr) {
  std::optional<int> status;
  const auto exited = [&] {
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid) status = raw;
    return status.has_value();
  };
  if (loop) serveUntil(*loop, exited, timeoutSeconds);
  else eventually(exited, timeoutSeconds);
  return status;
}

struct ProgramResult {
  int exitCode = -1;  // -1 when it did not exit normally in time
  std::string out;
  std::string err;
};

inline std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Runs a program to its end and captures what it prints. Its output is small,
// so reading one stream to its end before the other cannot deadlock.
inline ProgramResult runProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment) {
  Spawned spawned = spawnProgram(argv, environment, true);
  ProgramResult result;
  if (spawned.pid < 0) return result;
  result.out = readAll(spawned.out);
  result.err = readAll(spawned.err);
  std::optional<int> status = waitForExit(spawned.pid);
  if (status && WIFEXITED(*status)) result.exitCode = WEXITSTATUS(*status);
  return result;
}

// An application bundle in a test folder: Info.plist and a main executable.
inline void writeBundle(const std::string& bundle, const std::string& identifier,
                        const std::string& executableName, const std::string& version = "42",
                        const std::string& shortVersion = "2.5") {
  writeText(bundle + "/Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "\t<key>CFBundleIdentifier</key>\n\t<string>" + identifier + "</string>\n"
            "\t<key>CFBundleExecutable</key>\n\t<string>" + executableName + "</string>\n"
            "\t<key>CFBundleVersion</key>\n\t<string>" + version + "</string>\n"
            "\t<key>CFBundleShortVersionString</key>\n\t<string>" + shortVersion + "</string>\n"
            "</dict>\n</plist>\n");
}

}  // namespace quorvelle::testing_support
