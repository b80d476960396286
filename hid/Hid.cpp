#include "hid/Hid.h"

#include <array>
#include <string_view>

#include "hid/LibraryLoader.h"

namespace hid {
namespace {

LibraryHandle gHidLib;
std::array<FARPROC, kHidVariableCount> gVariables{};
bool gVersionOverridden = false;
OsVersion gVersionOverride{};

template <class Fn>
Fn VariableAt(int index) {
  return index < 0 ? nullptr : FunctionCast<Fn>(gVariables[static_cast<size_t>(index)]);
}

// Each accessor looks its row up once; the row is per name (several entry points share a type).
#define TILL_VARIABLE(Type, name)                     \
  static const int index = RowOf(kHidBindings, name); \
  return VariableAt<Type>(index)

bool GateOpen(HidGate gate, const OsVersion& os) {
  switch (gate) {
    case HidGate::kAlways:
      return true;
    case HidGate::kNt51:
      return os.platformId == 2 && os.major >= 5 && os.minor >= 1;
    case HidGate::kNt50:
      return os.platformId == 2 && os.major >= 5;
  }
  return false;
}

}  // namespace

OsVersion CurrentOsVersion() {
  if (gVersionOverridden) return gVersionOverride;
#ifdef _WIN32
  // GetVersionEx answers what the manifest admits to; the kernel's own call tells the truth.
  struct RtlOsVersionInfo {
    ULONG size, major, minor, build, platform;
    WCHAR csd[128];
  } info{};
  info.size = sizeof(info);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  using RtlGetVersionFn = LONG(WINAPI*)(RtlOsVersionInfo*);
  auto rtlGetVersion = ntdll != nullptr
                           ? FunctionCast<RtlGetVersionFn>(GetProcAddress(ntdll, "RtlGetVersion"))
                           : nullptr;
  if (rtlGetVersion != nullptr && rtlGetVersion(&info) == 0) {
    return {info.platform, info.major, info.minor};
  }
  return {2, 10, 0};
#else
  // Other platforms present themselves as a current NT system.
  return {2, 10, 0};
#endif
}

void OverrideOsVersionForTesting(const OsVersion* version) {
  gVersionOverridden = version != nullptr;
  if (version != nullptr) gVersionOverride = *version;
}

bool BindHid() {
  if (!gHidLib.Open(kHidLibraryName)) return false;
  bool allFound = true;
  const OsVersion os = CurrentOsVersion();
  for (int i = 0; i < kHidVariableCount; ++i) {
    if (!GateOpen(kHidBindings[i].gate, os)) continue;
    gVariables[static_cast<size_t>(i)] =
        BindSymbol(gHidLib.Get(), kHidBindings[i].exportName, allFound);
  }
  if (!allFound) {
    ReleaseHid();
    return false;
  }
  return true;
}

void ReleaseHid() {
  gHidLib.Close();
  gVariables.fill(nullptr);
}

bool HidBound() {
  return gHidLib.Get() != nullptr;
}

PFN_HidD_GetHidGuid HidD_GetHidGuid() {
  TILL_VARIABLE(PFN_HidD_GetHidGuid, "HidD_GetHidGuid");
}
PFN_HidD_GetAttributes HidD_GetAttributes() {
  TILL_VARIABLE(PFN_HidD_GetAttributes, "HidD_GetAttributes");
}
PFN_HidD_GetProductString HidD_GetProductString() {
  TILL_VARIABLE(PFN_HidD_GetProductString, "HidD_GetProductString");
}
PFN_HidD_GetPreparsedData HidD_GetPreparsedData() {
  TILL_VARIABLE(PFN_HidD_GetPreparsedData, "HidD_GetPreparsedData");
}
PFN_HidD_FreePreparsedData HidD_FreePreparsedData() {
  TILL_VARIABLE(PFN_HidD_FreePreparsedData, "HidD_FreePreparsedData");
}
PFN_HidP_GetCaps HidP_GetCaps() {
  TILL_VARIABLE(PFN_HidP_GetCaps, "HidP_GetCaps");
}
PFN_HidD_GetNumInputBuffers HidD_GetNumInputBuffers() {
  TILL_VARIABLE(PFN_HidD_GetNumInputBuffers, "HidD_GetNumInputBuffers");
}
PFN_HidD_SetNumInputBuffers HidD_SetNumInputBuffers() {
  TILL_VARIABLE(PFN_HidD_SetNumInputBuffers, "HidD_SetNumInputBuffers");
}
PFN_HidD_GetFeature HidD_GetFeature() {
  TILL_VARIABLE(PFN_HidD_GetFeature, "HidD_GetFeature");
}
PFN_HidD_SetFeature HidD_SetFeature() {
  TILL_VARIABLE(PFN_HidD_SetFeature, "HidD_SetFeature");
}

}  // namespace hid
