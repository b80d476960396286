// The three service libraries loaded by name, as a program loads them, and the entry points the
// tests call, found by their export names: the same for the virtual and the hidraw services.
#pragma once

#include "hid/LibraryLoader.h"
#include "hid/WinTypes.h"

namespace servicetest {

class Libraries {
 public:
  Libraries() = default;
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;

  HMODULE Hid() const { return hidModule_.Get(); }
  HMODULE SetupApi() const { return setupModule_.Get(); }
  HMODULE Kernel32() const { return kernelModule_.Get(); }

 private:
  template <class Fn>
  static Fn Find(const hid::LibraryHandle& library, const char* name) {
    return hid::FunctionCast<Fn>(hid::FindSymbol(library.Get(), name));
  }
  // Declared before the entry points, which are found through them.
  hid::LibraryHandle hidModule_{hid::kHidLibraryName};
  hid::LibraryHandle setupModule_{hid::kSetupApiLibraryName};
  hid::LibraryHandle kernelModule_{hid::kKernel32LibraryName};

 public:
  PFN_HidD_GetHidGuid GetHidGuid = Find<PFN_HidD_GetHidGuid>(hidModule_, "HidD_GetHidGuid");
  PFN_HidD_GetAttributes GetAttributes =
      Find<PFN_HidD_GetAttributes>(hidModule_, "HidD_GetAttributes");
  PFN_HidD_GetProductString GetProductString =
      Find<PFN_HidD_GetProductString>(hidModule_, "HidD_GetProductString");
  PFN_HidD_GetPreparsedData GetPreparsedData =
      Find<PFN_HidD_GetPreparsedData>(hidModule_, "HidD_GetPreparsedData");
  PFN_HidD_FreePreparsedData FreePreparsedData =
      Find<PFN_HidD_FreePreparsedData>(hidModule_, "HidD_FreePreparsedData");
  PFN_HidP_GetCaps GetCaps = Find<PFN_HidP_GetCaps>(hidModule_, "HidP_GetCaps");
  PFN_HidD_GetNumInputBuffers GetNumInputBuffers =
      Find<PFN_HidD_GetNumInputBuffers>(hidModule_, "HidD_GetNumInputBuffers");
  PFN_HidD_SetNumInputBuffers SetNumInputBuffers =
      Find<PFN_HidD_SetNumInputBuffers>(hidModule_, "HidD_SetNumInputBuffers");
  PFN_HidD_GetFeature GetFeature = Find<PFN_HidD_GetFeature>(hidModule_, "HidD_GetFeature");
  PFN_HidD_SetFeature SetFeature = Find<PFN_HidD_SetFeature>(hidModule_, "HidD_SetFeature");

  PFN_SetupDiGetClassDevsA GetClassDevs =
      Find<PFN_SetupDiGetClassDevsA>(setupModule_, "SetupDiGetClassDevsA");
  PFN_SetupDiEnumDeviceInterfaces EnumInterfaces =
      Find<PFN_SetupDiEnumDeviceInterfaces>(setupModule_, "SetupDiEnumDeviceInterfaces");
  PFN_SetupDiGetDeviceInterfaceDetailA GetDetail =
      Find<PFN_SetupDiGetDeviceInterfaceDetailA>(setupModule_, "SetupDiGetDeviceInterfaceDetailA");
  PFN_SetupDiGetDeviceRegistryPropertyA GetProperty = Find<PFN_SetupDiGetDeviceRegistryPropertyA>(
      setupModule_, "SetupDiGetDeviceRegistryPropertyA");
  PFN_SetupDiDestroyDeviceInfoList DestroyList =
      Find<PFN_SetupDiDestroyDeviceInfoList>(setupModule_, "SetupDiDestroyDeviceInfoList");

  PFN_CreateFileA CreateFile = Find<PFN_CreateFileA>(kernelModule_, "CreateFileA");
  PFN_CloseHandle CloseHandle = Find<PFN_CloseHandle>(kernelModule_, "CloseHandle");
  PFN_ReadFileEx ReadFileEx = Find<PFN_ReadFileEx>(kernelModule_, "ReadFileEx");
  PFN_GetOverlappedResult GetOverlappedResult =
      Find<PFN_GetOverlappedResult>(kernelModule_, "GetOverlappedResult");
  PFN_SleepEx SleepEx = Find<PFN_SleepEx>(kernelModule_, "SleepEx");
  PFN_CancelIo CancelIo = Find<PFN_CancelIo>(kernelModule_, "CancelIo");
  PFN_GetLastError GetLastError = Find<PFN_GetLastError>(kernelModule_, "GetLastError");
  PFN_SetLastError SetLastError = Find<PFN_SetLastError>(kernelModule_, "SetLastError");
};

}  // namespace servicetest
