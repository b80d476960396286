// Run-time binding of the HID class library ("HID.dll").
#pragma once

#include "hid/BindingTables.h"
#include "hid/WinTypes.h"

namespace hid {

// Loads the library (unless loaded) and binds every entry point the system version allows;
// a missing one releases the whole binding. Not counted: a second call binds again.
bool BindHid();
void ReleaseHid();
bool HidBound();

// The system version the gates of BindHid look at.
struct OsVersion {
  DWORD platformId;  // 2 = NT family
  DWORD major;
  DWORD minor;
};
OsVersion CurrentOsVersion();
// Tests pretend to run on another system (null restores the real one).
void OverrideOsVersionForTesting(const OsVersion* version);

PFN_HidD_GetHidGuid HidD_GetHidGuid();
PFN_HidD_GetAttributes HidD_GetAttributes();
PFN_HidD_GetProductString HidD_GetProductString();
PFN_HidD_GetPreparsedData HidD_GetPreparsedData();
PFN_HidD_FreePreparsedData HidD_FreePreparsedData();
PFN_HidP_GetCaps HidP_GetCaps();
PFN_HidD_GetNumInputBuffers HidD_GetNumInputBuffers();
PFN_HidD_SetNumInputBuffers HidD_SetNumInputBuffers();
PFN_HidD_GetFeature HidD_GetFeature();
PFN_HidD_SetFeature HidD_SetFeature();

}  // namespace hid
