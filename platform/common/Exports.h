// The three in-process libraries a backend puts into the loader's registry, from the entry points
// it implements. Typed by the HID layer's own entry-point types, so a backend whose function
// does not match the call made through it fails to compile instead of failing at run time.
// HidD_GetHidGuid, GetLastError and SetLastError are served alike by every backend and come from
// here.
#pragma once

#include "hid/WinTypes.h"

namespace platform::common {

struct HidExports {
  PFN_HidD_GetAttributes HidD_GetAttributes;
  PFN_HidD_GetProductString HidD_GetProductString;
  PFN_HidD_GetPreparsedData HidD_GetPreparsedData;
  PFN_HidD_FreePreparsedData HidD_FreePreparsedData;
  PFN_HidP_GetCaps HidP_GetCaps;
  PFN_HidD_GetNumInputBuffers HidD_GetNumInputBuffers;
  PFN_HidD_SetNumInputBuffers HidD_SetNumInputBuffers;
  PFN_HidD_GetFeature HidD_GetFeature;
  PFN_HidD_SetFeature HidD_SetFeature;
};

struct SetupApiExports {
  PFN_SetupDiGetClassDevsA SetupDiGetClassDevsA;
  PFN_SetupDiEnumDeviceInterfaces SetupDiEnumDeviceInterfaces;
  PFN_SetupDiGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailA;
  PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryPropertyA;
  PFN_SetupDiDestroyDeviceInfoList SetupDiDestroyDeviceInfoList;
};

struct Kernel32Exports {
  PFN_CreateFileA CreateFileA;
  PFN_CloseHandle CloseHandle;
  PFN_ReadFileEx ReadFileEx;
  PFN_GetOverlappedResult GetOverlappedResult;
  PFN_SleepEx SleepEx;
  PFN_CancelIo CancelIo;
  PFN_CancelIoEx CancelIoEx;
  PFN_GetCurrentThreadId GetCurrentThreadId;
  PFN_OpenThread OpenThread;
  PFN_QueueUserAPC QueueUserAPC;
};

// Registers "HID.dll", "SetupApi.dll" and "kernel32.dll". The bindings resolve every export they
// name, so the HID and setup libraries also carry the exports the HID layer never calls, as
// entry points that fail with ERROR_CALL_NOT_IMPLEMENTED.
void RegisterLibraries(const HidExports& hidExports, const SetupApiExports& setupApiExports,
                       const Kernel32Exports& kernel32Exports);
void UnregisterLibraries();
bool LibrariesRegistered();

}  // namespace platform::common
