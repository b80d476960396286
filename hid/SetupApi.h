// Run-time binding of the setup library ("SetupApi.dll"), shared by its users through a count.
#pragma once

#include "hid/BindingTables.h"
#include "hid/WinTypes.h"

namespace hid {

// The first user loads the library and binds every entry point; later users only count.
bool BindSetupApi();
// The last release frees the library and empties every entry-point variable.
void ReleaseSetupApi();
int SetupApiUsers();
bool SetupApiLoaded();

// The entry-point variable at a binding row (null while unbound).
FARPROC SetupApiVariable(int index);

// The calls the HID layer makes. The registry-property reader exists in the ANSI variable and
// in the plain-name one; both hold the ANSI export.
PFN_SetupDiGetClassDevsA SetupDiGetClassDevsA();
PFN_SetupDiEnumDeviceInterfaces SetupDiEnumDeviceInterfaces();
PFN_SetupDiGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailA();
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryPropertyA();
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryProperty();
PFN_SetupDiDestroyDeviceInfoList SetupDiDestroyDeviceInfoList();

}  // namespace hid
