#include "linux/desktop/pkexec_administrator_scripts.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace quorvelle {
namespace {

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// Runs the program and collects its standard error; the exit status in
// *status, or false with *error when it could not start.
bool runCollectingErrors(const std::vector<std::string>& argv, int* status, std::string* errors,
                         std::string* error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int result = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (result != 0) {
    close(pipeFds[0]);
    *error = "couldn't launch " + argv[0] + ": " + std::strerror(result);
    return false;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    // Enough for any message; the rest is drained, not kept.
    if (errors->size() < 16384) errors->append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

std::optional<std::string> shellCommandOfAdministratorScript(const std::string& source) {
  const std::string prefix = kAdministratorScriptPrefix;
  const std::string suffix = kAdministratorScriptSuffix;
  if (source.size() < prefix.size() + suffix.size() || source.compare(0, prefix.size(), prefix) != 0 ||
      source.compare(source.size() - suffix.size(), suffix.size(), suffix) != 0)
    return std::nullopt;
  const std::string literal = source.substr(prefix.size(), source.size() - prefix.size() - suffix.size());
  std::string command;
  for (size_t i = 0; i < literal.size(); ++i) {
    char c = literal[i];
    if (c == '"') return std::nullopt;  // would have ended the literal
    if (c == '\\') {
      if (i + 1 == literal.size()) return std::nullopt;
      char next = literal[++i];
      if (next != '\\' && next != '"') return std::nullopt;
      command += next;
    } else {
      command += c;
    }
  }
  return command;
}

ScriptOutcome PkexecAdministratorScripts::runWithAdministratorPrivileges(const std::string& source) {
  ScriptOutcome outcome;
  std::optional<std::string> command = shellCommandOfAdministratorScript(source);
  if (!command) return outcome;
  outcome.built = true;
  int status = 0;
  std::string errors;
  std::string launchError;
  if (!runCollectingErrors({pkexecPath_, "/bin/sh", "-c", *command}, &status, &errors, &launchError)) {
    outcome.errorMessage = launchError;
    return outcome;
  }
  outcome.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!outcome.succeeded) {
    std::string message = trimmed(errors);
    if (!message.empty()) outcome.errorMessage = message;
  }
  return outcome;
}

}  // namespace quorvelle
