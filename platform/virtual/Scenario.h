// Scenario files: an ini file whose sections each describe one virtual device interface,
// enumerated in file order. The keys and their defaults are documented in scenarios/README.md.
// Problems are reported one per line as "scenario <file>:<line>: <key>: <problem>" and never
// stop the reading: what could be read is used.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/virtual/VirtualHid.h"

namespace virtualhid {

// The environment variable that turns the programs over to the virtual services.
inline constexpr const char* kSimulationVariable = "TILL_SIMULATION";

struct ScenarioDevice {
  DeviceConfig config;
  std::uint32_t plugAfterMs = 0;    // 0: present from the start
  std::uint32_t unplugAfterMs = 0;  // 0: stays; else counted from the start, after plugAfterMs
};

struct ParsedScenario {
  std::vector<ScenarioDevice> devices;
  int problems = 0;
};

// Reads a scenario file without touching the services.
ParsedScenario ParseScenario(const std::string& path, std::ostream& errors);
// The same over text already read: `path` stands for the file in the messages and is where
// relative OpenLog paths start; nothing is read.
ParsedScenario ParseScenarioText(const std::string& path, const std::string& text,
                                 std::ostream& errors);

// Adds the file's devices to the services, arms the timed plug-ins and removals on window
// timers of the calling (GUI) thread, and registers the libraries. True when the file had no
// problems.
bool LoadScenario(const std::string& path, std::ostream& errors);

// When TILL_SIMULATION names a file: starts the services afresh from it (Reset, LoadScenario)
// and returns true, also when the file had problems, so that a program meant to run simulated
// never reaches for real hardware. False, doing nothing, when the variable is unset or empty.
bool ConfigureFromEnvironment(std::ostream& errors);

namespace detail {

struct TimedChange {
  DeviceId device;
  bool plug;
  std::uint32_t afterMs;
};
// False when no window could be made for the timers.
bool StartScenarioTimers(std::vector<TimedChange> changes);
void StopScenarioTimers();

}  // namespace detail

}  // namespace virtualhid
