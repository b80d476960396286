#include "platform/common/Exports.h"

#include <set>
#include <string>

#include "hid/BindingTables.h"
#include "hid/LibraryLoader.h"
#include "platform/common/LastError.h"

namespace platform::common {
namespace {

using hid::FunctionCast;

// Stands in for every unused export, whatever its parameters: on x86-64 the caller cleans up
// the arguments, and all of them read a zero result as failure (FALSE, a null handle or an
// unsuccessful count).
ULONG_PTR WINAPI NotImplemented() {
  SetError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

void WINAPI ServeHidD_GetHidGuid(GUID* hidGuid) {
  if (hidGuid != nullptr) *hidGuid = kHidInterfaceClassGuid;
}

DWORD WINAPI ServeGetLastError() {
  return LastError();
}

void WINAPI ServeSetLastError(DWORD error) {
  SetError(error);
}

// `implemented`, then a failing stub for every other export the binding table names.
template <class Row, std::size_t N>
hid::SymbolTable WithStubs(hid::SymbolTable implemented, const Row (&rows)[N]) {
  std::set<std::string> present;
  for (const auto& [name, address] : implemented) present.insert(name);
  for (const Row& row : rows) {
    if (present.insert(row.exportName).second) {
      implemented.emplace_back(row.exportName, FunctionCast<FARPROC>(&NotImplemented));
    }
  }
  return implemented;
}

hid::SymbolTable HidTable(const HidExports& e) {
  return WithStubs(
      {
          {"HidD_GetHidGuid", FunctionCast<FARPROC>(&ServeHidD_GetHidGuid)},
          {"HidD_GetAttributes", FunctionCast<FARPROC>(e.HidD_GetAttributes)},
          {"HidD_GetProductString", FunctionCast<FARPROC>(e.HidD_GetProductString)},
          {"HidD_GetPreparsedData", FunctionCast<FARPROC>(e.HidD_GetPreparsedData)},
          {"HidD_FreePreparsedData", FunctionCast<FARPROC>(e.HidD_FreePreparsedData)},
          {"HidP_GetCaps", FunctionCast<FARPROC>(e.HidP_GetCaps)},
          {"HidD_GetNumInputBuffers", FunctionCast<FARPROC>(e.HidD_GetNumInputBuffers)},
          {"HidD_SetNumInputBuffers", FunctionCast<FARPROC>(e.HidD_SetNumInputBuffers)},
          {"HidD_GetFeature", FunctionCast<FARPROC>(e.HidD_GetFeature)},
          {"HidD_SetFeature", FunctionCast<FARPROC>(e.HidD_SetFeature)},
      },
      hid::kHidBindings);
}

hid::SymbolTable SetupApiTable(const SetupApiExports& e) {
  return WithStubs(
      {
          {"SetupDiGetClassDevsA", FunctionCast<FARPROC>(e.SetupDiGetClassDevsA)},
          {"SetupDiEnumDeviceInterfaces", FunctionCast<FARPROC>(e.SetupDiEnumDeviceInterfaces)},
          {"SetupDiGetDeviceInterfaceDetailA",
           FunctionCast<FARPROC>(e.SetupDiGetDeviceInterfaceDetailA)},
          {"SetupDiGetDeviceRegistryPropertyA",
           FunctionCast<FARPROC>(e.SetupDiGetDeviceRegistryPropertyA)},
          {"SetupDiDestroyDeviceInfoList", FunctionCast<FARPROC>(e.SetupDiDestroyDeviceInfoList)},
      },
      hid::kSetupApiBindings);
}

// Only the calls the HID device makes: kernel32 has no binding table to complete.
hid::SymbolTable Kernel32Table(const Kernel32Exports& e) {
  return {
      {"CreateFileA", FunctionCast<FARPROC>(e.CreateFileA)},
      {"CloseHandle", FunctionCast<FARPROC>(e.CloseHandle)},
      {"ReadFileEx", FunctionCast<FARPROC>(e.ReadFileEx)},
      {"GetOverlappedResult", FunctionCast<FARPROC>(e.GetOverlappedResult)},
      {"SleepEx", FunctionCast<FARPROC>(e.SleepEx)},
      {"CancelIo", FunctionCast<FARPROC>(e.CancelIo)},
      {"CancelIoEx", FunctionCast<FARPROC>(e.CancelIoEx)},
      {"GetCurrentThreadId", FunctionCast<FARPROC>(e.GetCurrentThreadId)},
      {"OpenThread", FunctionCast<FARPROC>(e.OpenThread)},
      {"QueueUserAPC", FunctionCast<FARPROC>(e.QueueUserAPC)},
      {"GetLastError", FunctionCast<FARPROC>(&ServeGetLastError)},
      {"SetLastError", FunctionCast<FARPROC>(&ServeSetLastError)},
  };
}

}  // namespace

void RegisterLibraries(const HidExports& hidExports, const SetupApiExports& setupApiExports,
                       const Kernel32Exports& kernel32Exports) {
  hid::RegisterLibrary(hid::kHidLibraryName, HidTable(hidExports));
  hid::RegisterLibrary(hid::kSetupApiLibraryName, SetupApiTable(setupApiExports));
  hid::RegisterLibrary(hid::kKernel32LibraryName, Kernel32Table(kernel32Exports));
}

void UnregisterLibraries() {
  hid::UnregisterLibrary(hid::kHidLibraryName);
  hid::UnregisterLibrary(hid::kSetupApiLibraryName);
  hid::UnregisterLibrary(hid::kKernel32LibraryName);
}

bool LibrariesRegistered() {
  return hid::IsLibraryRegistered(hid::kHidLibraryName) &&
         hid::IsLibraryRegistered(hid::kSetupApiLibraryName) &&
         hid::IsLibraryRegistered(hid::kKernel32LibraryName);
}

}  // namespace platform::common
