// The entry points a device object calls, taken from the bindings when it is built. A device
// keeps its own copy, so a reader thread never reads a binding variable that the GUI thread is
// emptying, and tests can hand a device services of their own.
#pragma once

#include "hid/Kernel32.h"
#include "hid/WinTypes.h"

namespace hid {

struct HidServices {
  PFN_HidD_GetAttributes GetAttributes = nullptr;
  PFN_HidD_GetProductString GetProductString = nullptr;
  PFN_HidD_GetPreparsedData GetPreparsedData = nullptr;
  PFN_HidD_FreePreparsedData FreePreparsedData = nullptr;
  PFN_HidP_GetCaps GetCaps = nullptr;
  PFN_HidD_GetNumInputBuffers GetNumInputBuffers = nullptr;
  PFN_HidD_SetNumInputBuffers SetNumInputBuffers = nullptr;
  PFN_HidD_GetFeature GetFeature = nullptr;
  PFN_HidD_SetFeature SetFeature = nullptr;
  PFN_SetupDiGetDeviceRegistryPropertyA GetDeviceRegistryProperty = nullptr;
  // The kernel32 file calls, as the kernel32 binding holds them.
  Kernel32Calls kernel32;
};

// What the HID, setup and kernel32 bindings hold now (null entries where unbound).
HidServices BoundHidServices();

}  // namespace hid
