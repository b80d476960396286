// The walk over the device interfaces present, as the setup services list them. The controller
// builds its devices from it; the diagnostics tool also reports the interfaces no device object
// can be made of.
#pragma once

#include <functional>
#include <string>

#include "hid/WinTypes.h"

namespace hid {

// Called once per interface with the set it belongs to (valid during the call), its device path
// and its device-information record.
using InterfaceVisitor =
    std::function<void(HDEVINFO set, const std::string& devicePath, SP_DEVINFO_DATA* devInfo)>;

// Visits every present interface of the class, in the setup services' order, through the bound
// setup services. An interface whose detail cannot be read is passed over; nothing is visited
// when the services are not bound. A visitor that raises ends the walk (the set is released).
void ForEachPresentInterface(const GUID& interfaceGuid, const InterfaceVisitor& visit);

}  // namespace hid
