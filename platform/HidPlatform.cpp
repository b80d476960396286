#include "platform/HidPlatform.h"

#include "platform/virtual/Scenario.h"
#ifndef _WIN32
#include "platform/hidraw/Hidraw.h"
#endif

namespace platform {

void ConfigureHidServices(std::ostream& errors) {
  // A program meant to run against a scenario never falls back to real hardware, even when the
  // file has problems: it runs with whatever devices could be read.
  if (virtualhid::ConfigureFromEnvironment(errors)) return;
#ifndef _WIN32
  // Otherwise the system's services. On Windows those are HID.dll and SetupApi.dll, loaded by
  // name when the controller is built; here hidraw and udev stand in under the same names,
  // registered for the rest of the program (its end stops their hot-plug thread).
  static hidraw::Registration registration(hidraw::LinuxSystem(errors));
#endif
}

}  // namespace platform
