#include "platform/HidPlatform.h"

#include <sstream>
#include <string>

#include "host/Process.h"
#include "host/Trace.h"
#include "platform/virtual/Scenario.h"
#ifndef _WIN32
#include "platform/hidraw/Hidraw.h"
#endif

namespace platform {
namespace {

// The problems go where they always went, and into the support trace, line by line: on Windows
// the programs have no console, so the trace is where a support person sees them.
void Report(const std::string& problems, std::ostream& errors) {
  errors << problems;
  if (!host::Tracing()) return;
  std::istringstream lines(problems);
  for (std::string line; std::getline(lines, line);) host::TraceLine("services", line);
}

}  // namespace

void ConfigureHidServices(std::ostream& errors) {
  std::ostringstream problems;
  // A program meant to run against a scenario never falls back to real hardware, even when the
  // file has problems: it runs with whatever devices could be read.
  if (virtualhid::ConfigureFromEnvironment(problems)) {
    // Said first and plainly: a TILL_SIMULATION left set by mistake makes a till that never
    // opens its real drawer.
    if (host::Tracing()) {
      host::TraceLine("services", "virtual drawer from the scenario file " +
                                      host::EnvironmentValue(virtualhid::kSimulationVariable) +
                                      " (TILL_SIMULATION is set)");
    }
    Report(problems.str(), errors);
    return;
  }
#ifdef _WIN32
  // The system's HID.dll and SetupApi.dll, loaded by name when the controller is built.
  host::TraceLine("services", "the system's HID.dll and SetupApi.dll");
#else
  // hidraw and udev stand in for the system's libraries under the same names, registered for
  // the rest of the program (its end stops their hot-plug thread).
  host::TraceLine("services", "the system's hidraw devices, through libudev");
  static hidraw::Registration registration(hidraw::LinuxSystem(problems));
#endif
  Report(problems.str(), errors);
}

}  // namespace platform
