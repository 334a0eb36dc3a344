// The guest side of the end-to-end tests: runs the scenarios named on the
// command line (all when none is), each printing @@PASS or @@FAIL.
#include <cstdio>
#include <string>
#include <vector>

#include "scenarios.h"

int main(int argc, char** argv) {
  using namespace vmtest;
  std::vector<NamedScenario> scenarios;
  addEngineScenarios(&scenarios);
  addLatencyBenchmark(&scenarios);
  std::vector<std::string> only(argv + 1, argv + argc);
  HostLink host;
  int ran = 0;
  for (const NamedScenario& scenario : scenarios) {
    bool wanted = only.empty();
    for (const std::string& name : only) wanted = wanted || name == scenario.name;
    if (!wanted) continue;
    scenario.run(host);
    ++ran;
  }
  if (ran == 0) std::printf("@@FAIL vm_guest: no scenario matched\n");
  return 0;
}
