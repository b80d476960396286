#include "platform/common/Exports.h"

#include <set>
#include <string>

#include "hid/BindingTables.h"
#include "hid/LibraryLoader.h"
#include "platform/common/LastError.h"

namespace platform::common {
namespace {

// A function pointer as the loader hands it out. The detour through void(*)() is the one cast
// between function types that the compiler accepts as deliberate on every target.
template <class Fn>
FARPROC ToFarProc(Fn fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

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
      implemented.emplace_back(row.exportName, ToFarProc(&NotImplemented));
    }
  }
  return implemented;
}

hid::SymbolTable HidTable(const HidExports& e) {
  return WithStubs(
      {
          {"HidD_GetHidGuid", ToFarProc(&ServeHidD_GetHidGuid)},
          {"HidD_GetAttributes", ToFarProc(e.HidD_GetAttributes)},
          {"HidD_GetProductString", ToFarProc(e.HidD_GetProductString)},
          {"HidD_GetPreparsedData", ToFarProc(e.HidD_GetPreparsedData)},
          {"HidD_FreePreparsedData", ToFarProc(e.HidD_FreePreparsedData)},
          {"HidP_GetCaps", ToFarProc(e.HidP_GetCaps)},
          {"HidD_GetNumInputBuffers", ToFarProc(e.HidD_GetNumInputBuffers)},
          {"HidD_SetNumInputBuffers", ToFarProc(e.HidD_SetNumInputBuffers)},
          {"HidD_GetFeature", ToFarProc(e.HidD_GetFeature)},
          {"HidD_SetFeature", ToFarProc(e.HidD_SetFeature)},
      },
      hid::kHidBindings);
}

hid::SymbolTable SetupApiTable(const SetupApiExports& e) {
  return WithStubs(
      {
          {"SetupDiGetClassDevsA", ToFarProc(e.SetupDiGetClassDevsA)},
          {"SetupDiEnumDeviceInterfaces", ToFarProc(e.SetupDiEnumDeviceInterfaces)},
          {"SetupDiGetDeviceInterfaceDetailA", ToFarProc(e.SetupDiGetDeviceInterfaceDetailA)},
          {"SetupDiGetDeviceRegistryPropertyA", ToFarProc(e.SetupDiGetDeviceRegistryPropertyA)},
          {"SetupDiDestroyDeviceInfoList", ToFarProc(e.SetupDiDestroyDeviceInfoList)},
      },
      hid::kSetupApiBindings);
}

// Only the calls the HID device makes: kernel32 has no binding table to complete.
hid::SymbolTable Kernel32Table(const Kernel32Exports& e) {
  return {
      {"CreateFileA", ToFarProc(e.CreateFileA)},
      {"CloseHandle", ToFarProc(e.CloseHandle)},
      {"ReadFileEx", ToFarProc(e.ReadFileEx)},
      {"GetOverlappedResult", ToFarProc(e.GetOverlappedResult)},
      {"SleepEx", ToFarProc(e.SleepEx)},
      {"CancelIo", ToFarProc(e.CancelIo)},
      {"CancelIoEx", ToFarProc(e.CancelIoEx)},
      {"GetCurrentThreadId", ToFarProc(e.GetCurrentThreadId)},
      {"OpenThread", ToFarProc(e.OpenThread)},
      {"QueueUserAPC", ToFarProc(e.QueueUserAPC)},
      {"GetLastError", ToFarProc(&ServeGetLastError)},
      {"SetLastError", ToFarProc(&ServeSetLastError)},
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
