#pragma once

#include <string>
#include <vector>

#include "host_link.h"

namespace vmtest {

struct NamedScenario {
  std::string name;
  void (*run)(HostLink& host);
};

void addEngineScenarios(std::vector<NamedScenario>* scenarios);
void addLatencyBenchmark(std::vector<NamedScenario>* scenarios);

}  // namespace vmtest
