#pragma once

#include <string>
#include <vector>

namespace vmtest {

// The serial-console protocol with the host driver (run_vm.py): requests go
// out as @@ lines, the host acknowledges each with "@@ACK <id>" on our input.
class HostLink {
 public:
  HostLink();

  // Presses keys through QMP, one event per press ("caps_lock:d", "a:u",
  // "b:t" for a tap, "a:d@d1" for the keyboard bound to display d1), gapMs
  // apart. Returns once the host has sent them all.
  bool keys(const std::vector<std::string>& presses, int gapMs = 30);

  // Any QMP command, arguments as JSON.
  bool qmp(const std::string& command, const std::string& argumentsJson);

 private:
  bool waitForAck(int id);
  int nextId_ = 1;
};

// PASS/FAIL reporting: a scenario collects failed expectations.
class Scenario {
 public:
  explicit Scenario(std::string name);
  ~Scenario();
  // Records a failure when !condition; returns condition.
  bool expect(bool condition, const std::string& what);
  void info(const std::string& text);
  bool failed() const { return !failures_.empty(); }

 private:
  std::string name_;
  std::vector<std::string> failures_;
};

}  // namespace vmtest
