// Chooses the HID services the programs run on: the virtual drawer when TILL_SIMULATION names a
// scenario file, otherwise the system's own (HID.dll and SetupApi.dll on Windows, hidraw and udev
// on Linux).
#pragma once

#include <ostream>

namespace platform {

// Problems with a scenario file, or a libudev that cannot be loaded, are written to `errors`; the
// program carries on regardless.
void ConfigureHidServices(std::ostream& errors);

}  // namespace platform
