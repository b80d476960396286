// The setup library of the hidraw services: snapshots of the hidraw interfaces present, their
// detail records (device node, DevInst) and registry properties.
#include "platform/common/RegistryProperty.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/Properties.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {
namespace {

HDEVINFO WINAPI HidrawSetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
  State& s = TheState();
  std::shared_ptr<DeviceDirectory> directory;
  {
    Lock lock(s.mutex);
    directory = s.system.directory;
  }
  const common::ClassQuery query = common::QueryOf(classGuid, flags);
  if (query == common::ClassQuery::Invalid) return INVALID_HANDLE_VALUE;
  std::vector<InterfaceInfo> found;
  if (query == common::ClassQuery::HidInterfaces && directory) found = directory->Enumerate();

  Lock lock(s.mutex);
  std::vector<SetMember> members;
  members.reserve(found.size());
  for (InterfaceInfo& info : found) {
    const DWORD devInst = DevInstLocked(s, info);
    members.push_back({std::move(info), devInst});
  }
  TrimDevInstsLocked(s, members);
  HDEVINFO set = s.sets.Add(std::move(members));
  SetError(ERROR_SUCCESS);
  return set;
}

BOOL WINAPI HidrawSetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA*,
                                              const GUID* interfaceGuid, DWORD index,
                                              SP_DEVICE_INTERFACE_DATA* interfaceData) {
  State& s = TheState();
  Lock lock(s.mutex);
  return s.sets.EnumInterface(set, interfaceGuid, index, interfaceData);
}

BOOL WINAPI HidrawSetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                   SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                   DWORD detailSize, DWORD* requiredSize,
                                                   SP_DEVINFO_DATA* devInfo) {
  State& s = TheState();
  Lock lock(s.mutex);
  const SetMember* member = s.sets.OfInterface(set, interfaceData);
  if (member == nullptr) return FALSE;
  // The device node is the device path.
  return common::WriteInterfaceDetail(member->info.devnode, member->devInst,
                                      interfaceData->Reserved, detail, detailSize, requiredSize,
                                      devInfo);
}

BOOL WINAPI HidrawSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* devInfo,
                                                    DWORD property, DWORD* regType, BYTE* buffer,
                                                    DWORD size, DWORD* requiredSize) {
  State& s = TheState();
  Lock lock(s.mutex);
  const SetMember* member = s.sets.OfDevInfo(set, devInfo);
  if (member == nullptr) return FALSE;
  return common::CopyProperty(PropertyOf(member->info, property), regType, buffer, size,
                              requiredSize);
}

BOOL WINAPI HidrawSetupDiDestroyDeviceInfoList(HDEVINFO set) {
  State& s = TheState();
  Lock lock(s.mutex);
  return s.sets.Destroy(set);
}

}  // namespace

common::SetupApiExports SetupApiEntries() {
  return {
      .SetupDiGetClassDevsA = &HidrawSetupDiGetClassDevsA,
      .SetupDiEnumDeviceInterfaces = &HidrawSetupDiEnumDeviceInterfaces,
      .SetupDiGetDeviceInterfaceDetailA = &HidrawSetupDiGetDeviceInterfaceDetailA,
      .SetupDiGetDeviceRegistryPropertyA = &HidrawSetupDiGetDeviceRegistryPropertyA,
      .SetupDiDestroyDeviceInfoList = &HidrawSetupDiDestroyDeviceInfoList,
  };
}

}  // namespace hidraw::detail
