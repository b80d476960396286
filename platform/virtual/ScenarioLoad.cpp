// Putting a parsed scenario into the services. Kept apart from the reader, which needs nothing of
// the services, so that the reader builds on its own (the ini fuzzer links it alone).
#include <ostream>
#include <string>
#include <vector>

#include "host/Process.h"
#include "platform/virtual/Scenario.h"

namespace virtualhid {

bool LoadScenario(const std::string& path, std::ostream& errors) {
  ParsedScenario scenario = ParseScenario(path, errors);
  std::vector<detail::TimedChange> changes;
  for (const ScenarioDevice& d : scenario.devices) {
    const DeviceId id = AddDevice(d.config, d.plugAfterMs == 0);
    if (d.plugAfterMs != 0) changes.push_back({id, true, d.plugAfterMs});
    if (d.unplugAfterMs != 0) changes.push_back({id, false, d.unplugAfterMs});
  }
  if (!detail::StartScenarioTimers(changes)) {
    errors << "scenario " << path
           << ": no window for the timed plug-ins and removals; they happen at once\n";
    ++scenario.problems;
    for (const detail::TimedChange& change : changes) {
      if (change.plug) Plug(change.device);
    }
  }
  RegisterLibraries();
  return scenario.problems == 0;
}

bool ConfigureFromEnvironment(std::ostream& errors) {
  const std::string path = host::EnvironmentValue(kSimulationVariable);
  if (path.empty()) return false;
  Reset();
  LoadScenario(path, errors);
  return true;
}

}  // namespace virtualhid
