// The device-info sets of the setup library: each a snapshot of the interfaces present when it
// was made, and the checks on the records callers pass in. What a member holds is the backend's
// own; all the set needs from it is its DevInst.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hid/WinTypes.h"
#include "platform/common/HandleTable.h"
#include "platform/common/LastError.h"

namespace platform::common {

// What SetupDiGetClassDevsA is asked for. Only HID interfaces exist here; any other class, or a
// call for devices rather than interfaces, finds an empty set.
enum class ClassQuery {
  Invalid,  // no class named: ERROR_INVALID_PARAMETER is set
  Empty,
  HidInterfaces,
};
ClassQuery QueryOf(const GUID* classGuid, DWORD flags);

// SetupDiEnumDeviceInterfaces over a set of `members` interfaces.
BOOL EnumInterface(std::size_t members, const GUID* interfaceGuid, DWORD index,
                   SP_DEVICE_INTERFACE_DATA* interfaceData);

// The rest of SetupDiGetDeviceInterfaceDetailA once the member is known: its device path, and
// its DevInst with the interface record's token in the device-info record.
BOOL WriteInterfaceDetail(const std::string& path, DWORD devInst, ULONG_PTR token,
                          SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                          DWORD* requiredSize, SP_DEVINFO_DATA* devInfo);

bool IsInterfaceRecord(const SP_DEVICE_INTERFACE_DATA* record);
bool IsDevInfoRecord(const SP_DEVINFO_DATA* record);

// The sets alive, by handle. The records carry their member's position in the set (plus one) in
// Reserved. Not locked: the backend's lock guards it with the rest of its state.
template <class Member>
class DeviceInfoSets {
 public:
  // Handles count up from past `lastHandle`, so each backend's are told apart.
  explicit DeviceInfoSets(std::uintptr_t lastHandle) : sets_(lastHandle, 0x10) {}

  HDEVINFO Add(std::vector<Member> members) { return sets_.Add(std::move(members)); }

  // SetupDiDestroyDeviceInfoList.
  BOOL Destroy(HDEVINFO set) { return sets_.Remove(set) ? TRUE : Fail(ERROR_INVALID_HANDLE); }

  BOOL EnumInterface(HDEVINFO set, const GUID* interfaceGuid, DWORD index,
                     SP_DEVICE_INTERFACE_DATA* interfaceData) const {
    const std::vector<Member>* members = Find(set);
    if (members == nullptr) return Fail(ERROR_INVALID_HANDLE);
    return common::EnumInterface(members->size(), interfaceGuid, index, interfaceData);
  }

  // The member an interface record names; null with the error set.
  const Member* OfInterface(HDEVINFO set, const SP_DEVICE_INTERFACE_DATA* record) const {
    const std::vector<Member>* members = Find(set);
    if (members == nullptr) return Missing(ERROR_INVALID_HANDLE);
    if (!IsInterfaceRecord(record)) return Missing(kErrorInvalidUserBuffer);
    const Member* member = At(*members, record->Reserved);
    return member != nullptr ? member : Missing(ERROR_INVALID_PARAMETER);
  }

  // The member a device-info record names, still with the DevInst it was given; null with the
  // error set.
  const Member* OfDevInfo(HDEVINFO set, const SP_DEVINFO_DATA* record) const {
    const std::vector<Member>* members = Find(set);
    if (members == nullptr) return Missing(ERROR_INVALID_HANDLE);
    if (!IsDevInfoRecord(record)) return Missing(kErrorInvalidUserBuffer);
    const Member* member = At(*members, record->Reserved);
    if (member == nullptr || member->devInst != record->DevInst) {
      return Missing(kErrorNoSuchDevinst);
    }
    return member;
  }

  std::size_t Count() const { return sets_.Count(); }
  void Clear() { sets_.Clear(); }

 private:
  const std::vector<Member>* Find(HDEVINFO set) const { return sets_.Find(set); }
  static const Member* At(const std::vector<Member>& members, ULONG_PTR token) {
    if (token == 0 || token > members.size()) return nullptr;
    return &members[token - 1];
  }
  static const Member* Missing(DWORD error) {
    SetError(error);
    return nullptr;
  }

  HandleTable<std::vector<Member>, HDEVINFO> sets_;
};

}  // namespace platform::common
