#include "platform/common/DeviceInfoSets.h"

#include <cstring>

namespace platform::common {
namespace {

// The HIDClass device setup class (not the interface class).
constexpr GUID kHidClassGuid = {
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};
constexpr DWORD kSpintActive = 1;
constexpr DWORD kDigcfAllClasses = 0x00000004;

bool SameGuid(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

}  // namespace

ClassQuery QueryOf(const GUID* classGuid, DWORD flags) {
  if (classGuid == nullptr && (flags & kDigcfAllClasses) == 0) {
    SetError(ERROR_INVALID_PARAMETER);
    return ClassQuery::Invalid;
  }
  const bool hid = classGuid == nullptr || SameGuid(*classGuid, kHidInterfaceClassGuid);
  return hid && (flags & DIGCF_DEVICEINTERFACE) != 0 ? ClassQuery::HidInterfaces
                                                     : ClassQuery::Empty;
}

BOOL EnumInterface(std::size_t members, const GUID* interfaceGuid, DWORD index,
                   SP_DEVICE_INTERFACE_DATA* interfaceData) {
  if (interfaceData == nullptr || interfaceGuid == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(kErrorInvalidUserBuffer);
  }
  if (!SameGuid(*interfaceGuid, kHidInterfaceClassGuid) || index >= members) {
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  interfaceData->InterfaceClassGuid = kHidInterfaceClassGuid;
  interfaceData->Flags = kSpintActive;
  interfaceData->Reserved = static_cast<ULONG_PTR>(index) + 1;
  return TRUE;
}

BOOL WriteInterfaceDetail(const std::string& path, DWORD devInst, ULONG_PTR token,
                          SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                          DWORD* requiredSize, SP_DEVINFO_DATA* devInfo) {
  const DWORD needed = static_cast<DWORD>(kDetailPathOffset + path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr) {
    return Fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : kErrorInvalidUserBuffer);
  }
  if (detail->cbSize != kDetailDataSize) return Fail(kErrorInvalidUserBuffer);
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (devInfo != nullptr && !IsDevInfoRecord(devInfo)) return Fail(kErrorInvalidUserBuffer);
  char* out = reinterpret_cast<char*>(detail) + kDetailPathOffset;
  std::memcpy(out, path.c_str(), path.size() + 1);
  if (devInfo != nullptr) {
    devInfo->ClassGuid = kHidClassGuid;
    devInfo->DevInst = devInst;
    devInfo->Reserved = token;
  }
  return TRUE;
}

bool IsInterfaceRecord(const SP_DEVICE_INTERFACE_DATA* record) {
  return record != nullptr && record->cbSize == sizeof(SP_DEVICE_INTERFACE_DATA);
}

bool IsDevInfoRecord(const SP_DEVINFO_DATA* record) {
  return record != nullptr && record->cbSize == sizeof(SP_DEVINFO_DATA);
}

}  // namespace platform::common
