// The setup library of the virtual services: snapshots of the interfaces plugged in, their
// detail records (device path, DevInst) and registry properties.
#include <cstdio>
#include <cstring>

#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"

namespace virtualhid::detail {
namespace {

// The HIDClass device setup class (not the interface class).
constexpr const char* kHidClassGuidText = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
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

HDEVINFO WINAPI VirtualSetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
  if (classGuid == nullptr && (flags & kDigcfAllClasses) == 0) {
    SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<InterfaceSnapshot> snapshot;
  // Only HID interfaces exist here; any other class finds an empty set.
  const bool hid = classGuid == nullptr || SameGuid(*classGuid, kHidInterfaceClassGuid);
  if (hid && (flags & DIGCF_DEVICEINTERFACE) != 0) {
    for (const auto& device : s.devices) {
      if (device->plugged) {
        snapshot.push_back({device->id, device->devInst, device->path, device->config});
      }
    }
  }
  s.nextSet += 0x10;
  HDEVINFO set = reinterpret_cast<HDEVINFO>(s.nextSet);
  s.sets[set] = std::move(snapshot);
  return set;
}

const std::vector<InterfaceSnapshot>* FindSet(State& s, HDEVINFO set) {
  auto it = s.sets.find(set);
  return it != s.sets.end() ? &it->second : nullptr;
}

// The interface records carry their position in the set (plus one) in Reserved.
const InterfaceSnapshot* Member(const std::vector<InterfaceSnapshot>& members, ULONG_PTR token) {
  if (token == 0 || token > members.size()) return nullptr;
  return &members[token - 1];
}

BOOL WINAPI VirtualSetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA*,
                                               const GUID* interfaceGuid, DWORD index,
                                               SP_DEVICE_INTERFACE_DATA* interfaceData) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiEnumDeviceInterfaces")) return FALSE;
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

BOOL WINAPI VirtualSetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                                    SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                    DWORD detailSize, DWORD* requiredSize,
                                                    SP_DEVINFO_DATA* devInfo) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiGetDeviceInterfaceDetailA")) return FALSE;
  const auto* members = FindSet(s, set);
  if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  const InterfaceSnapshot* member = Member(*members, interfaceData->Reserved);
  if (member == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD needed = static_cast<DWORD>(kDetailPathOffset + member->path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr) {
    return Fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : kErrorInvalidUserBuffer);
  }
  if (detail->cbSize != kDetailDataSize) return Fail(kErrorInvalidUserBuffer);
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (devInfo != nullptr && devInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  char* path = reinterpret_cast<char*>(detail) + kDetailPathOffset;
  std::memcpy(path, member->path.c_str(), member->path.size() + 1);
  if (devInfo != nullptr) {
    devInfo->ClassGuid = kHidClassGuid;
    devInfo->DevInst = member->devInst;
    devInfo->Reserved = interfaceData->Reserved;
  }
  return TRUE;
}

struct Property {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;  // empty: the device has no such property
};

Property Text(const std::string& text) {
  Property p{REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end())};
  p.bytes.push_back(0);
  return p;
}

Property Texts(const std::vector<std::string>& texts) {
  Property p{REG_MULTI_SZ, {}};
  for (const std::string& t : texts) {
    p.bytes.insert(p.bytes.end(), t.begin(), t.end());
    p.bytes.push_back(0);
  }
  p.bytes.push_back(0);
  return p;
}

Property Dword(DWORD value) {
  Property p{REG_DWORD, std::vector<std::uint8_t>(4)};
  std::memcpy(p.bytes.data(), &value, 4);
  return p;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

// Values of the kind the system shows for a HID interface of a USB device.
Property PropertyOf(const InterfaceSnapshot& m, DeviceId position, DWORD code) {
  const DeviceConfig& c = m.config;
  const std::string ids = "VID_" + Hex4(c.vendorId) + "&PID_" + Hex4(c.productId);
  const std::string usage = "UP:" + Hex4(c.usagePage) + "_U:" + Hex4(c.usage);
  switch (code) {
    case SPDRP_DEVICEDESC:
      return Text(c.usagePage >= 0xFF00 ? "HID-compliant vendor-defined device"
                                        : "HID-compliant device");
    case SPDRP_HARDWAREID:
      return Texts(
          {"HID\\" + ids, "HID\\" + ids + "&REV_" + Hex4(c.version), "HID\\" + ids + "&" + usage});
    case SPDRP_COMPATIBLEIDS:
      return Texts({"HID_DEVICE_" + usage, "HID_DEVICE_UP:" + Hex4(c.usagePage), "HID_DEVICE"});
    case SPDRP_SERVICE:
      return Text("HidUsb");
    case SPDRP_CLASS:
      return Text("HIDClass");
    case SPDRP_CLASSGUID:
      return Text(kHidClassGuidText);
    case SPDRP_DRIVER: {
      char text[64];
      std::snprintf(text, sizeof text, "%s\\%04d", kHidClassGuidText, position);
      return Text(text);
    }
    case SPDRP_CONFIGFLAGS:
      return Dword(0);
    case SPDRP_MFG:
      return Text("(Standard system devices)");
    case SPDRP_LOCATION_INFORMATION:
      return Text("Virtual HID bus");
    case SPDRP_PHYSICAL_DEVICE_OBJECT_NAME: {
      char text[32];
      std::snprintf(text, sizeof text, "\\Device\\%08lx", static_cast<unsigned long>(m.devInst));
      return Text(text);
    }
    case SPDRP_CAPABILITIES:
      return Dword(0xA0);  // silent install, surprise removal OK
    case SPDRP_LEGACYBUSTYPE:
      return Dword(0xFFFFFFFFu);  // undefined
    case SPDRP_BUSNUMBER:
      return Dword(0);
    case SPDRP_ENUMERATOR_NAME:
      return Text("HID");
    case SPDRP_ADDRESS:
      return Dword(static_cast<DWORD>(position) + 1);
    default:
      return {};  // friendly name, filters, security, UI number...: not set on HID interfaces
  }
}

BOOL WINAPI VirtualSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* devInfo,
                                                     DWORD property, DWORD* regType, BYTE* buffer,
                                                     DWORD size, DWORD* requiredSize) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiGetDeviceRegistryPropertyA")) return FALSE;
  const auto* members = FindSet(s, set);
  if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (devInfo == nullptr || devInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  const InterfaceSnapshot* member = Member(*members, devInfo->Reserved);
  if (member == nullptr || member->devInst != devInfo->DevInst) {
    return Fail(kErrorNoSuchDevinst);
  }
  const Property p = PropertyOf(*member, member->device, property);
  if (p.bytes.empty()) return Fail(kErrorInvalidData);
  const DWORD needed = static_cast<DWORD>(p.bytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (regType != nullptr) *regType = p.type;
  if (buffer == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, p.bytes.data(), needed);
  return TRUE;
}

BOOL WINAPI VirtualSetupDiDestroyDeviceInfoList(HDEVINFO set) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiDestroyDeviceInfoList")) return FALSE;
  if (s.sets.erase(set) == 0) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

}  // namespace

hid::SymbolTable SetupApiSymbols() {
  return {
      {"SetupDiGetClassDevsA", ToFarProc(&VirtualSetupDiGetClassDevsA)},
      {"SetupDiEnumDeviceInterfaces", ToFarProc(&VirtualSetupDiEnumDeviceInterfaces)},
      {"SetupDiGetDeviceInterfaceDetailA", ToFarProc(&VirtualSetupDiGetDeviceInterfaceDetailA)},
      {"SetupDiGetDeviceRegistryPropertyA", ToFarProc(&VirtualSetupDiGetDeviceRegistryPropertyA)},
      {"SetupDiDestroyDeviceInfoList", ToFarProc(&VirtualSetupDiDestroyDeviceInfoList)},
  };
}

}  // namespace virtualhid::detail
