#include "platform/HidPlatform.h"

#include "platform/virtual/Scenario.h"

namespace platform {

void ConfigureHidServices(std::ostream& errors) {
  // A program meant to run against a scenario never falls back to real hardware, even when the
  // file has problems: it runs with whatever devices could be read.
  if (virtualhid::ConfigureFromEnvironment(errors)) return;
  // Otherwise the system's services: on Windows HID.dll and SetupApi.dll, loaded by name when the
  // controller is built.
}

}  // namespace platform
