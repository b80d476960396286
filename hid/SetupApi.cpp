#include "hid/SetupApi.h"

#include <array>

#include "hid/LibraryLoader.h"

namespace hid {
namespace {

HMODULE gSetupApiLib = nullptr;
int gSetupApiUsers = 0;
std::array<FARPROC, kSetupApiVariableCount> gVariables{};

int IndexOf(const char* variable) {
  for (int i = 0; i < kSetupApiVariableCount; ++i) {
    if (std::string_view(kSetupApiBindings[i].variable) == variable) return i;
  }
  return -1;
}

template <class Fn>
Fn Variable(const char* name) {
  static const int index = IndexOf(name);
  return index < 0 ? nullptr : SymbolAs<Fn>(gVariables[static_cast<size_t>(index)]);
}

}  // namespace

bool BindSetupApi() {
  if (++gSetupApiUsers > 1) return true;
  if (!OpenLibrary(gSetupApiLib, "SetupApi.dll")) {
    --gSetupApiUsers;
    return false;
  }
  bool allFound = true;
  for (int i = 0; i < kSetupApiVariableCount; ++i) {
    gVariables[static_cast<size_t>(i)] =
        BindSymbol(gSetupApiLib, kSetupApiBindings[i].exportName, allFound);
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
    CloseLibrary(gSetupApiLib);
    gVariables.fill(nullptr);
  }
}

int SetupApiUsers() { return gSetupApiUsers; }
bool SetupApiLoaded() { return gSetupApiLib != nullptr; }

FARPROC SetupApiVariable(int index) {
  if (index < 0 || index >= kSetupApiVariableCount) return nullptr;
  return gVariables[static_cast<size_t>(index)];
}

PFN_SetupDiGetClassDevsA SetupDiGetClassDevsA() {
  return Variable<PFN_SetupDiGetClassDevsA>("SetupDiGetClassDevsA");
}
PFN_SetupDiEnumDeviceInterfaces SetupDiEnumDeviceInterfaces() {
  return Variable<PFN_SetupDiEnumDeviceInterfaces>("SetupDiEnumDeviceInterfaces");
}
PFN_SetupDiGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailA() {
  return Variable<PFN_SetupDiGetDeviceInterfaceDetailA>("SetupDiGetDeviceInterfaceDetailA");
}
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryPropertyA() {
  return Variable<PFN_SetupDiGetDeviceRegistryPropertyA>("SetupDiGetDeviceRegistryPropertyA");
}
PFN_SetupDiGetDeviceRegistryPropertyA SetupDiGetDeviceRegistryProperty() {
  return Variable<PFN_SetupDiGetDeviceRegistryPropertyA>("SetupDiGetDeviceRegistryProperty");
}
PFN_SetupDiDestroyDeviceInfoList SetupDiDestroyDeviceInfoList() {
  return Variable<PFN_SetupDiDestroyDeviceInfoList>("SetupDiDestroyDeviceInfoList");
}

}  // namespace hid
