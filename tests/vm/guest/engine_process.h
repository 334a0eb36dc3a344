#pragma once

#include <sys/types.h>

#include <string>

namespace vmtest {

// The engine host (vm_engine_host) as a child process, driven by line
// commands over pipes: start, stop, stats <code>, quit.
class EngineProcess {
 public:
  // inputDirectory: where it looks for keyboards; empty for /dev/input.
  explicit EngineProcess(const std::string& inputDirectory = "");
  ~EngineProcess();  // quits it (or kills it) and waits
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Sends one command and returns its reply line ("ok ..." or "error ...").
  std::string command(const std::string& line, int timeoutMs = 30000);

 private:
  void reap();
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
};

}  // namespace vmtest
