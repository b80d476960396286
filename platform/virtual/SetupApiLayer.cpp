// The setup library of the virtual services: snapshots of the interfaces plugged in, their
// detail records (device path, DevInst) and registry properties.
#include <cstdio>

#include "platform/common/RegistryProperty.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"

namespace virtualhid::detail {
namespace {

using common::Dword;
using common::Hex4;
using common::Property;
using common::Text;
using common::Texts;

// The HIDClass device setup class, as the registry spells it.
constexpr const char* kHidClassGuidText = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";

HDEVINFO WINAPI VirtualSetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
  const common::ClassQuery query = common::QueryOf(classGuid, flags);
  if (query == common::ClassQuery::Invalid) return INVALID_HANDLE_VALUE;
  std::vector<InterfaceSnapshot> snapshot;
  if (query == common::ClassQuery::HidInterfaces) {
    for (const auto& device : s.devices) {
      if (device->plugged) {
        snapshot.push_back({device->id, device->devInst, device->path, device->config});
      }
    }
  }
  return s.sets.Add(std::move(snapshot));
}

BOOL WINAPI VirtualSetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA*,
                                               const GUID* interfaceGuid, DWORD index,
                                               SP_DEVICE_INTERFACE_DATA* interfaceData) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiEnumDeviceInterfaces")) return FALSE;
  return s.sets.EnumInterface(set, interfaceGuid, index, interfaceData);
}

BOOL WINAPI VirtualSetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                                    SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                    DWORD detailSize, DWORD* requiredSize,
                                                    SP_DEVINFO_DATA* devInfo) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiGetDeviceInterfaceDetailA")) return FALSE;
  const InterfaceSnapshot* member = s.sets.OfInterface(set, interfaceData);
  if (member == nullptr) return FALSE;
  return common::WriteInterfaceDetail(member->path, member->devInst, interfaceData->Reserved,
                                      detail, detailSize, requiredSize, devInfo);
}

// Values of the kind the system shows for a HID interface of a USB device.
Property PropertyOf(const InterfaceSnapshot& m, DeviceId position, DWORD code) {
  const DeviceConfig& c = m.config;
  // Made only for the two properties that show them: every enumeration asks for every property
  // of every interface.
  const auto ids = [&c] { return "VID_" + Hex4(c.vendorId) + "&PID_" + Hex4(c.productId); };
  const auto usage = [&c] { return "UP:" + Hex4(c.usagePage) + "_U:" + Hex4(c.usage); };
  switch (code) {
    case SPDRP_DEVICEDESC:
      return Text(c.usagePage >= 0xFF00 ? "HID-compliant vendor-defined device"
                                        : "HID-compliant device");
    case SPDRP_HARDWAREID: {
      const std::string hid = "HID\\" + ids();
      return Texts({hid, hid + "&REV_" + Hex4(c.version), hid + "&" + usage()});
    }
    case SPDRP_COMPATIBLEIDS:
      return Texts({"HID_DEVICE_" + usage(), "HID_DEVICE_UP:" + Hex4(c.usagePage), "HID_DEVICE"});
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
  const InterfaceSnapshot* member = s.sets.OfDevInfo(set, devInfo);
  if (member == nullptr) return FALSE;
  return common::CopyProperty(PropertyOf(*member, member->device, property), regType, buffer, size,
                              requiredSize);
}

BOOL WINAPI VirtualSetupDiDestroyDeviceInfoList(HDEVINFO set) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "SetupDiDestroyDeviceInfoList")) return FALSE;
  return s.sets.Destroy(set);
}

}  // namespace

common::SetupApiExports SetupApiEntries() {
  return {
      .SetupDiGetClassDevsA = &VirtualSetupDiGetClassDevsA,
      .SetupDiEnumDeviceInterfaces = &VirtualSetupDiEnumDeviceInterfaces,
      .SetupDiGetDeviceInterfaceDetailA = &VirtualSetupDiGetDeviceInterfaceDetailA,
      .SetupDiGetDeviceRegistryPropertyA = &VirtualSetupDiGetDeviceRegistryPropertyA,
      .SetupDiDestroyDeviceInfoList = &VirtualSetupDiDestroyDeviceInfoList,
  };
}

}  // namespace virtualhid::detail
