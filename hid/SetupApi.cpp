#include "hid/SetupApi.h"

#include <array>

#include "hid/LibraryLoader.h"

namespace hid {
namespace {

LibraryHandle gSetupApiLib;
int gSetupApiUsers = 0;
std::array<FARPROC, kSetupApiVariableCount> gVariables{};

template <class Fn>
Fn VariableAt(int index) {
  return index < 0 ? nullptr : FunctionCast<Fn>(gVariables[static_cast<size_t>(index)]);
}

// Each accessor looks its row up once; the row is per name (several entry points share a type).
#define TILL_VARIABLE(Type, name)                          \
  static const int index = RowOf(kSetupApiBindings, name); \
  return VariableAt<Type>(index)

}  // namespace

bool BindSetupApi() {
  if (++gSetupApiUsers > 1) return true;
  if (!gSetupApiLib.Open(kSetupApiLibraryName)) {
    --gSetupApiUsers;
    return false;
  }
  bool allFound = true;
  for (int i = 0; i < kSetupApiVariableCount; ++i) {
    gVariables[static_cast<size_t>(i)] =
        BindSymbol(gSetupApiLib.Get(), kSetupApiBindings[i].exportName, allFound);
  }
  if (!allFound) {
    ReleaseSetupApi();
    return false;
  }
  return true;
}

void ReleaseSetupApi() {
  --gSetupApiUsers;
  if (gSetupApiUsers <= 0) {
    // A failed first binding leaves the count at 0 here, not below it, so the next user binds.
    gSetupApiUsers = 0;
    gSetupApiLib.Close();
    gVariables.fill(nullptr);
  }
}

int SetupApiUsers() {
  return gSetupApiUsers;
}
bool SetupApiLoaded() {
  return gSetupApiLib.Get() != nullptr;
}

FARPROC SetupApiVariable(int index) {
  if (index < 0 || index >= kSetupApiVariableCount) return nullptr;
  return gVariables[static_cast<size_t>(index)];
}

PFN_SetupDiGetClassDevsA SetupDiGetClassDevsA() {
  TILL_VARIABLE(PFN_SetupDiGetClassDevsA, "SetupDiGetClassDevsA");
}
PFN_SetupDiEnumDeviceInterfaces SetupDiEnumDeviceInterfaces() {
  TILL_VARIABLE(PFN_SetupDiEnumDeviceInterfaces, "SetupDiEnumDeviceInterfaces");
}
PFN_SetupDiGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailA() {
  TILL_VARIABLE(PFN_SetupDiGetDeviceInterfaceDetailA, "SetupDiGetDeviceInterfaceDetailA");
}
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryPropertyA() {
  TILL_VARIABLE(PFN_SetupDiGetDeviceRegistryPropertyA, "SetupDiGetDeviceRegistryPropertyA");
}
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryProperty() {
  TILL_VARIABLE(PFN_SetupDiGetDeviceRegistryPropertyA, "SetupDiGetDeviceRegistryProperty");
}
PFN_SetupDiDestroyDeviceInfoList SetupDiDestroyDeviceInfoList() {
  TILL_VARIABLE(PFN_SetupDiDestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList");
}

}  // namespace hid
