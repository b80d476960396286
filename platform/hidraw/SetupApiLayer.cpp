// The setup library of the hidraw services: snapshots of the hidraw interfaces present, their
// detail records (device node, DevInst) and registry properties.
#include <cstring>

#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/Properties.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {
namespace {

// The HIDClass device setup class (not the interface class).
constexpr GUID kHidClassGuid = {
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};
constexpr DWORD kSpintActive = 1;
constexpr DWORD kDigcfAllClasses = 0x00000004;

bool SameGuid(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

BOOL Fail(DWORD error) {
  SetError(error);
  return FALSE;
}

HDEVINFO WINAPI HidrawSetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
  State& s = TheState();
  std::shared_ptr<DeviceDirectory> directory;
  {
    Lock lock(s.mutex);
    directory = s.system.directory;
  }
  if (classGuid == nullptr && (flags & kDigcfAllClasses) == 0) {
    SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Only HID interfaces exist here; any other class finds an empty set.
  std::vector<InterfaceInfo> found;
  const bool hid = classGuid == nullptr || SameGuid(*classGuid, kHidInterfaceClassGuid);
  if (hid && (flags & DIGCF_DEVICEINTERFACE) != 0 && directory) found = directory->Enumerate();

  Lock lock(s.mutex);
  std::vector<SetMember> members;
  members.reserve(found.size());
  for (InterfaceInfo& info : found) {
    const DWORD devInst = DevInstLocked(s, info);
    members.push_back({std::move(info), devInst});
  }
  TrimDevInstsLocked(s, members);
  s.nextSet += 0x10;
  HDEVINFO set = reinterpret_cast<HDEVINFO>(s.nextSet);
  s.sets[set] = std::move(members);
  SetError(ERROR_SUCCESS);
  return set;
}

const std::vector<SetMember>* FindSet(State& s, HDEVINFO set) {
  auto it = s.sets.find(set);
  return it != s.sets.end() ? &it->second : nullptr;
}

// The interface records carry their position in the set (plus one) in Reserved.
const SetMember* Member(const std::vector<SetMember>& members, ULONG_PTR token) {
  if (token == 0 || token > members.size()) return nullptr;
  return &members[token - 1];
}

BOOL WINAPI HidrawSetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA*,
                                              const GUID* interfaceGuid, DWORD index,
                                              SP_DEVICE_INTERFACE_DATA* interfaceData) {
  State& s = TheState();
  Lock lock(s.mutex);
  const auto* members = FindSet(s, set);
  if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (interfaceData == nullptr || interfaceGuid == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (!SameGuid(*interfaceGuid, kHidInterfaceClassGuid) || index >= members->size()) {
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  interfaceData->InterfaceClassGuid = kHidInterfaceClassGuid;
  interfaceData->Flags = kSpintActive;
  interfaceData->Reserved = static_cast<ULONG_PTR>(index) + 1;
  return TRUE;
}

BOOL WINAPI HidrawSetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                   SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                   DWORD detailSize, DWORD* requiredSize,
                                                   SP_DEVINFO_DATA* devInfo) {
  State& s = TheState();
  Lock lock(s.mutex);
  const auto* members = FindSet(s, set);
  if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  const SetMember* member = Member(*members, interfaceData->Reserved);
  if (member == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const std::string& path = member->info.devnode;
  const DWORD needed = static_cast<DWORD>(kDetailPathOffset + path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr) {
    return Fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : kErrorInvalidUserBuffer);
  }
  if (detail->cbSize != kDetailDataSize) return Fail(kErrorInvalidUserBuffer);
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (devInfo != nullptr && devInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  char* out = reinterpret_cast<char*>(detail) + kDetailPathOffset;
  std::memcpy(out, path.c_str(), path.size() + 1);
  if (devInfo != nullptr) {
    devInfo->ClassGuid = kHidClassGuid;
    devInfo->DevInst = member->devInst;
    devInfo->Reserved = interfaceData->Reserved;
  }
  return TRUE;
}

BOOL WINAPI HidrawSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* devInfo,
                                                    DWORD property, DWORD* regType, BYTE* buffer,
                                                    DWORD size, DWORD* requiredSize) {
  State& s = TheState();
  Lock lock(s.mutex);
  const auto* members = FindSet(s, set);
  if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (devInfo == nullptr || devInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  const SetMember* member = Member(*members, devInfo->Reserved);
  if (member == nullptr || member->devInst != devInfo->DevInst) {
    return Fail(kErrorNoSuchDevinst);
  }
  const Property p = PropertyOf(member->info, property);
  if (p.bytes.empty()) return Fail(kErrorInvalidData);
  const DWORD needed = static_cast<DWORD>(p.bytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (regType != nullptr) *regType = p.type;
  if (buffer == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, p.bytes.data(), needed);
  return TRUE;
}

BOOL WINAPI HidrawSetupDiDestroyDeviceInfoList(HDEVINFO set) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (s.sets.erase(set) == 0) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

}  // namespace

hid::SymbolTable SetupApiSymbols() {
  return {
      {"SetupDiGetClassDevsA", ToFarProc(&HidrawSetupDiGetClassDevsA)},
      {"SetupDiEnumDeviceInterfaces", ToFarProc(&HidrawSetupDiEnumDeviceInterfaces)},
      {"SetupDiGetDeviceInterfaceDetailA", ToFarProc(&HidrawSetupDiGetDeviceInterfaceDetailA)},
      {"SetupDiGetDeviceRegistryPropertyA", ToFarProc(&HidrawSetupDiGetDeviceRegistryPropertyA)},
      {"SetupDiDestroyDeviceInfoList", ToFarProc(&HidrawSetupDiDestroyDeviceInfoList)},
  };
}

}  // namespace hidraw::detail
