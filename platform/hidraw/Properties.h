// What the setup library reports about a hidraw interface: its DevInst, the number that tells
// one plug-in of an interface from the next, and the registry properties Linux has an
// equivalent for.
#pragma once

#include <vector>

#include "platform/common/RegistryProperty.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {

// With the lock held: the DevInst of the interface. The same while it stays plugged in; a new
// one after every re-plug; never shared by two interfaces.
DWORD DevInstLocked(State& s, const InterfaceInfo& info);

// With the lock held: forgets the DevInsts of interfaces that are not in `present` once the
// table has grown past a bound (a resident program may see thousands of plug-ins).
void TrimDevInstsLocked(State& s, const std::vector<SetMember>& present);

// Empty when the interface has no such property.
common::Property PropertyOf(const InterfaceInfo& info, DWORD code);

}  // namespace hidraw::detail
