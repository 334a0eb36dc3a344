// The guest side of the end-to-end tests: runs the scenarios named on the
// command line (every test scenario when none is; the latency benchmark only
// when named), each printing @@PASS or @@FAIL.
#include <cstdio>
#include <string>
#include <vector>

#include "scenarios.h"

int main(int argc, char** argv) {
  using namespace vmtest;
  std::vector<NamedScenario> scenarios;
  addEngineScenarios(&scenarios);
  const std::size_t tests = scenarios.size();
  addLatencyBenchmark(&scenarios);
  std::vector<std::string> only(argv + 1, argv + argc);
  HostLink host;
  int ran = 0;
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    const NamedScenario& scenario = scenarios[i];
    bool wanted = only.empty() && i < tests;
    for (const std::string& name : only) wanted = wanted || name == scenario.name;
    if (!wanted) continue;
    scenario.run(host);
    ++ran;
  }
  if (ran == 0) std::printf("@@FAIL vm_guest: no scenario matched\n");
  return 0;
}
